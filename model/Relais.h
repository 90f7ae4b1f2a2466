// The relays on the board and on the optional relay card.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemIHM.h"
#include "model/GroupTable.h"

class TRelais : public TElemIHM {
 public:
  ~TRelais() override;
  void Reset() override { groups_->Reset(); }
  void ReadImage() override;
  void WriteImage() override;
  std::string Caption() const override { return ShortName(); }
  std::string LabelText() const override { return ShortName(); }
  int ImageIndex() override { return 9; }
  virtual bool IsCardRelay() const { return true; }

  int Number() const { return number_; }
  TTabGrpDDS* Groups() const { return groups_; }

 protected:
  TRelais(int index, std::size_t tableOffset);

  int number_;
  std::uint8_t* position_;
  TTabGrpDDS groupTable_;  // in place, one allocation less per element; groups_ points at it
  TTabGrpDDS* groups_;
};

// An on-board relay that is fitted.
class TCmRelai : public TRelais {
 public:
  explicit TCmRelai(int index);
  bool IsCardRelay() const override { return false; }
  bool IsUsed() override { return true; }
  std::string ShortName() const override;
  int ImageIndex() override { return 8; }
  bool Check(platform::StringList* list) override;
  std::string CheckText() override { return CheckedText(); }
};

// An on-board position without a relay.
class TNoCmRelai : public TRelais {
 public:
  explicit TNoCmRelai(int index);
  bool IsCardRelay() const override { return false; }
  std::string ShortName() const override;
};

class TOrlaRelai : public TRelais {
 public:
  explicit TOrlaRelai(int index);
  bool IsUsed() override { return true; }
  std::string ShortName() const override;
};

class TBrennRelai : public TRelais {
 public:
  explicit TBrennRelai(int index);
  bool IsUsed() override { return true; }
  std::string ShortName() const override;
};

// A card position without a usable relay.
class TNoDuolRelai : public TRelais {
 public:
  explicit TNoDuolRelai(int index);
  std::string ShortName() const override;
};

class TGstRelais : public TZvoGest {
 public:
  TGstRelais();
  ~TGstRelais() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  bool IsUsed() override { return true; }
  // Item and Count cover the usable relays only.
  TElemIHM* Item(int index) const override;
  int Count() const override { return static_cast<int>(usable_.size()); }

  TRelais* UsableRelay(int index) const { return static_cast<TRelais*>(Item(index)); }
  TRelais* OnBoardRelay(int index) const;
  TRelais* CardRelay(int index) const;
  int OnBoardCount() const { return static_cast<int>(onBoard_.size()); }
  int CardCount() const { return static_cast<int>(card_.size()); }
  // Every position object, in rebuild order.
  int PositionCount() const { return static_cast<int>(items_.size()); }
  TRelais* Position(int index) const { return static_cast<TRelais*>(TZvoList::Item(index)); }

  int CardType() const { return cardType_; }
  static void FillCardTypeList(platform::StringList& list);
  std::string CardTypeText() const;
  static bool IsValidCardType(int code) { return code >= 0 && code <= 2; }
  void SetCardType(int code);
  int GroupUseCount(int group) const;

 private:
  void BuildOnBoardRelays();
  void BuildCardRelays();
  void RemoveKind(bool cardRelays);
  void AddRelay(TRelais* relay, bool usable, std::vector<TRelais*>* kindList);

  int cardType_ = 0;
  std::vector<TRelais*> usable_;
  std::vector<TRelais*> onBoard_;
  std::vector<TRelais*> card_;
};

extern TGstRelais* GstRelaisInstance;
