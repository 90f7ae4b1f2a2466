// The 28 panel signals (LEDs and outputs) and events that can trigger groups.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemIHM.h"
#include "model/GroupTable.h"

class TSigEvt : public TElemIHM {
 public:
  explicit TSigEvt(int index);
  ~TSigEvt() override;
  void Reset() override { groups_->Reset(); }
  void ReadImage() override { groups_->ReadImage(); }
  void WriteImage() override { groups_->WriteImage(); }
  std::string Caption() const override { return LabelText(); }
  std::string ShortName() const override { return LabelText(); }
  std::string LabelText() const override;
  int ImageIndex() override { return IsSignal() ? 4 : 5; }
  // Whether the current panel type has it; asking empties the group table of one it lacks.
  bool IsUsed() override;

  bool IsSignal() const { return index_ < 16; }
  bool IsPanelReset() const { return index_ == 20; }
  int Index() const { return index_; }
  int Category() const { return category_; }
  TTabGrpDDS* Groups() const { return groups_; }

 private:
  std::uint8_t* position_;
  int textId_;
  std::uint8_t index_;
  std::uint8_t category_;
  TTabGrpDDS groupTable_;  // in place, one allocation less per element; groups_ points at it
  TTabGrpDDS* groups_;
};

class TGstSigEvt : public TZvoGest {
 public:
  static constexpr int kSigEvtCount = 28;
  TGstSigEvt();
  ~TGstSigEvt() override;
  bool IsUsed() override { return true; }

  TSigEvt* GetSigEvt(int index) const { return static_cast<TSigEvt*>(Item(index)); }
  int GroupUseCount(int group) const;
  TSigEvt* FindByGroup(int group) const;
};

extern TGstSigEvt* GstSigEvtInstance;
