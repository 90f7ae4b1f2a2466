// The detection lines (four open lines) or loops (two) of a site.
#pragma once

#include <string>

#include "model/ElemIHM.h"

class TLignes : public TLstPoints {
 public:
  explicit TLignes(int index);
  void Reset() override { RefreshPoints(); }
  void ReadImage() override { RefreshPoints(); }
  void WriteImage() override {}
  std::string Caption() const override;
  std::string LabelText() const override { return ShortName(); }
  bool IsUsed() override { return true; }

  int Number() const { return number_; }
  void RefreshPoints();
  int ZoneCount() const;

 protected:
  int number_;
};

class TLigne : public TLignes {
 public:
  using TLignes::TLignes;
  std::string ShortName() const override;
  bool Check(platform::StringList* list) override;
  int ImageIndex() override { return Check(nullptr) ? 8 : 9; }
};

class TBoucle : public TLignes {
 public:
  using TLignes::TLignes;
  std::string ShortName() const override;
  bool Check(platform::StringList* list) override;
  int ImageIndex() override { return Check(nullptr) ? 10 : 11; }
};

class TGstLignes : public TZvoGest {
 public:
  TGstLignes();
  ~TGstLignes() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  bool IsUsed() override { return true; }

  TLignes* GetLine(int index) const;
  bool IsLoopSystem() const { return loopSystem_; }
  void SetLoopSystem(bool loops);
  void BuildLines();
  static void FillSystemList(platform::StringList& list);
  std::string PluralTitle() const;

 private:
  bool loopSystem_ = true;
};

extern TGstLignes* GstLignesInstance;
