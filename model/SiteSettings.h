// Panel-wide settings of a site: carry inputs, pulse extension, line of sounders,
// day/night function and alarm thresholds.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemDDS.h"
#include "model/TimeOfDay.h"
#include "platform/StringList.h"

class TCarInpDDS : public TElemDDS {
 public:
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;

  void FillFunctionList(platform::StringList& list) const;
  std::string FunctionText() const;
  static void FillStateList(platform::StringList& list);
  std::string StateText() const;
  static bool CheckInput(std::string_view label, int code, std::string& message);
  void SetLabel(std::string_view text);

  // Read and written directly by the general parameters window.
  int labelWidth = 20;
  std::string label;
  int function = 0;
  bool normallyActive = false;

 protected:
  explicit TCarInpDDS(std::size_t offset);

 private:
  std::uint8_t* position_;
};

class TCarIn1DDS : public TCarInpDDS {
 public:
  TCarIn1DDS();
};

class TCarIn2DDS : public TCarInpDDS {
 public:
  TCarIn2DDS();
};

class TResPulExt : public TElemDDS {
 public:
  TResPulExt();
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  static std::string DefaultText();
  static bool IsValid(std::string_view text);
  static bool IsValidMsg(std::string_view text, std::string& message);
  void SetText(std::string_view text);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class TLineSound : public TElemDDS {
 public:
  TLineSound();
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  static void FillModeList(platform::StringList& list);
  std::string ModeText() const;
  static TTimeHM DefaultDelay();
  static TTimeHM DefaultHotelDelay1();
  static TTimeHM DefaultHotelDelay2();

  std::uint8_t mode = 0;
  TTimeHM delay;
  TTimeHM hotelDelay1;
  TTimeHM hotelDelay2;
  std::uint8_t resistance = 0;
};

class TDayNightF : public TElemDDS {
 public:
  TDayNightF();
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  static TTimeHM DefaultStartTime();
  static TTimeHM DefaultEndTime();

  bool enabled = false;
  TTimeHM start;
  TTimeHM end;
};

class TAlarmThresholds : public TElemDDS {
 public:
  TAlarmThresholds();
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  // Kinds: 1 optical, 2 static heat, 3 rate of rise, 4 air sampling.
  static void FillThresholdList(platform::StringList& list, int kind);
  std::string OpticalText() const;
  std::string StaticHeatText() const;
  std::string MulticriteriaText() const;
  std::string RateOfRiseText() const;
  std::string AirSamplingText() const;

  int optical = 3;
  int staticHeat = 1;
  int rateOfRise = 0;
  int multicriteria = 3;
  int airSampling = 3;
};
