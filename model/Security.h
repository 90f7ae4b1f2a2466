// The security functions of panel types 3, 5 and 9: the evacuation function and
// two breaking functions driving on-board relays 6 and 7.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemIHM.h"
#include "model/GroupTable.h"
#include "model/TimeOfDay.h"

class TFoncSecu : public TElemIHM {
 public:
  bool IsUsed() override;
  virtual TTimeHM DefaultTime() const;
  virtual bool IsEnabled() { return false; }
  virtual void SetEnabled(bool) {}

  int Number() const { return number_; }
  TTimeHM Time() const { return time_; }
  void SetTime(TTimeHM t) { time_ = t; }

 protected:
  explicit TFoncSecu(int number) : number_(number) {}

  int number_;
  TTimeHM time_;
};

// The evacuation function: delay (Time), duration and the auxiliary-contact flag.
class TFoncUGA : public TFoncSecu {
 public:
  TFoncUGA();
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  TTimeHM DefaultTime() const override;
  TTimeHM DefaultTimeB() const;
  // Enabled as soon as one point in use has its evacuation selection 1.
  bool IsEnabled() override;

  TTimeHM Duration() const { return duration_; }
  void SetDuration(TTimeHM t) { duration_ = t; }
  int AuxContactFlag() const { return auxContact_; }
  void SetAuxContactFlag(int flag) { auxContact_ = flag; }

 private:
  TTimeHM duration_;
  int auxContact_ = 0;
};

class TFoncBrk : public TFoncSecu {
 public:
  explicit TFoncBrk(int number);
  ~TFoncBrk() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  std::string ShortName() const override;
  int ImageIndex() override { return 10; }
  bool Check(platform::StringList* list) override;
  std::string CheckText() override { return CheckedText(); }
  bool IsEnabled() override { return enabled_ != 0; }
  void SetEnabled(bool on) override { enabled_ = on ? 1 : 0; }
  TTabGrpDDS* Groups() const { return groups_; }

 private:
  std::uint8_t* position_;
  TTabGrpDDS groupTable_;  // in place, one allocation less per element; groups_ points at it
  TTabGrpDDS* groups_;
  std::uint8_t enabled_ = 0;
};

class TSecurity : public TElemDDS {
 public:
  TSecurity();
  ~TSecurity() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  bool IsEnabled() const;

  TFoncUGA* Evacuation() const { return evacuation_; }
  TFoncBrk* Breaking(int number) const { return number == 1 ? breaking1_ : breaking2_; }

 private:
  TFoncUGA* evacuation_;
  TFoncBrk* breaking1_;
  TFoncBrk* breaking2_;
};

extern TSecurity* SecurityInstance;
