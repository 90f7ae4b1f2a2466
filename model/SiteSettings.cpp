#include "model/SiteSettings.h"

#include "model/Contexte.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::LoadStr;

namespace {

constexpr std::size_t kPulseOffset = 10282;
constexpr std::size_t kResistanceOffset = 10234;
constexpr std::size_t kSoundModeOffset = 10303;
constexpr std::size_t kDayNightOffset = 10310;
constexpr std::size_t kThresholdsOffset = 10228;

// Four digits hhmm of the image, read as "hh:mm".
std::optional<TTimeHM> ReadDigits(const std::uint8_t* p) {
  std::string text;
  text += static_cast<char>(p[0]);
  text += static_cast<char>(p[1]);
  text += ':';
  text += static_cast<char>(p[2]);
  text += static_cast<char>(p[3]);
  for (char c : text) {
    if (c != ':' && (c < '0' || c > '9')) return std::nullopt;
  }
  return StrToTimeHM(text);
}

void WriteDigits(std::uint8_t* p, TTimeHM t) {
  std::string text = TimeToStr(t);
  p[0] = static_cast<std::uint8_t>(text[0]);
  p[1] = static_cast<std::uint8_t>(text[1]);
  p[2] = static_cast<std::uint8_t>(text[3]);
  p[3] = static_cast<std::uint8_t>(text[4]);
}

std::string GradeText(int code) {
  static const char* const kTexts[] = {"+++ (0)", "++ (1)", "+ (2)", "STD (3)", "- (4)", "-- (5)", "--- (6)", "---- (7)"};
  return code >= 0 && code <= 7 ? kTexts[code] : "Sans";
}

}  // namespace

// Carry inputs.

TCarInpDDS::TCarInpDDS(std::size_t offset) : position_(SiteImage + offset) { TCarInpDDS::Reset(); }
TCarIn1DDS::TCarIn1DDS() : TCarInpDDS(10238) {}
TCarIn2DDS::TCarIn2DDS() : TCarInpDDS(10260) {}

void TCarInpDDS::Reset() {
  label.clear();
  function = 0;
  normallyActive = false;
}

void TCarInpDDS::ReadImage() {
  auto code = static_cast<std::int8_t>(position_[0]);
  if (code >= 0 && code <= 6) function = code;
  normallyActive = position_[1] != 0;
  SetLabel(ReadText(position_ + 2, 20));
}

void TCarInpDDS::WriteImage() {
  position_[0] = static_cast<std::uint8_t>(function);
  position_[1] = normallyActive ? 1 : 0;
  WriteZeroPadded(label, position_ + 2, 20);
}

void TCarInpDDS::FillFunctionList(platform::StringList& list) const {
  list.Clear();
  const TContexte& ctx = GetContexte();
  std::uint8_t t = ctx.PanelType();
  for (int code = 0; code <= 6; ++code) {
    if (code == 1 && (t == 3 || t == 5)) continue;
    if (code == 6 && !(t == 6 || t == 7 || t == 10 || t == 11)) continue;
    list.AddObject(LoadStr(code == 6 ? 478 : 100 + code), code);
  }
}

std::string TCarInpDDS::FunctionText() const {
  // Function 6 has no text of its own in the lookup by code; the list's text is used.
  if (function == 6) return LoadStr(478);
  return function >= 0 && function <= 5 ? LoadStr(100 + function) : std::string();
}

void TCarInpDDS::FillStateList(platform::StringList& list) {
  list.Clear();
  list.Add(LoadStr(107));
  list.Add(LoadStr(108));
}

std::string TCarInpDDS::StateText() const { return LoadStr(normallyActive ? 108 : 107); }

bool TCarInpDDS::CheckInput(std::string_view text, int code, std::string& message) {
  if (code < 0 || code > 6) {
    message = LoadStr(109);
    return false;
  }
  if (code > 0 && text.empty()) {
    message = LoadStr(110);
    return false;
  }
  return true;
}

void TCarInpDDS::SetLabel(std::string_view text) {
  label = std::string(text.substr(0, static_cast<std::size_t>(labelWidth)));
}

// Pulse extension.

TResPulExt::TResPulExt() { TResPulExt::Reset(); }

std::string TResPulExt::DefaultText() { return LoadStr(83); }

void TResPulExt::Reset() { text_ = DefaultText(); }

bool TResPulExt::IsValid(std::string_view text) {
  int v = 0;
  return !text.empty() && text.size() <= 2 && platform::TryStrToInt(text, v) && v >= 10 && v <= 60;
}

bool TResPulExt::IsValidMsg(std::string_view text, std::string& message) {
  if (IsValid(text)) return true;
  message = LoadStr(111);
  return false;
}

void TResPulExt::SetText(std::string_view text) {
  if (IsValid(text)) text_ = platform::Format("%2.2d", {platform::StrToInt(text)});
}

void TResPulExt::ReadImage() { SetText(std::to_string(SiteImage[kPulseOffset])); }

void TResPulExt::WriteImage() {
  SiteImage[kPulseOffset] = static_cast<std::uint8_t>(platform::StrToIntDef(text_, 10));
}

// Line of sounders.

TLineSound::TLineSound() { TLineSound::Reset(); }

TTimeHM TLineSound::DefaultDelay() { return TimeOfText(130); }
TTimeHM TLineSound::DefaultHotelDelay1() { return TimeOfText(131); }
TTimeHM TLineSound::DefaultHotelDelay2() { return TimeOfText(132); }

void TLineSound::Reset() {
  mode = 0;
  delay = DefaultDelay();
  hotelDelay1 = DefaultHotelDelay1();
  hotelDelay2 = DefaultHotelDelay2();
  resistance = 0;
}

void TLineSound::ReadImage() {
  const std::uint8_t* p = SiteImage + kSoundModeOffset;
  auto code = static_cast<std::int8_t>(p[0]);
  if (code >= 0 && code <= 4) mode = static_cast<std::uint8_t>(code);
  delay = TimeOfBytes(p[1], p[2]).value_or(DefaultDelay());
  hotelDelay1 = TimeOfBytes(p[3], p[4]).value_or(DefaultHotelDelay1());
  hotelDelay2 = TimeOfBytes(p[5], p[6]).value_or(DefaultHotelDelay2());
  TProjet* db = CurrentDatabase();
  if (db && db->Root() && db->Root()->MapVersion() > 2) resistance = SiteImage[kResistanceOffset];
}

void TLineSound::WriteImage() {
  std::uint8_t* p = SiteImage + kSoundModeOffset;
  p[0] = mode;
  const TTimeHM* delays[] = {&delay, &hotelDelay1, &hotelDelay2};
  for (int i = 0; i < 3; ++i) {
    p[1 + 2 * i] = static_cast<std::uint8_t>(delays[i]->hour);
    p[2 + 2 * i] = static_cast<std::uint8_t>(delays[i]->minute);
  }
  SiteImage[kResistanceOffset] = resistance;
}

void TLineSound::FillModeList(platform::StringList& list) {
  list.Clear();
  const TContexte& ctx = GetContexte();
  list.AddObject(LoadStr(124), 0);
  if (ctx.HasEvacuationModes()) {
    list.AddObject(LoadStr(126), 1);
    list.AddObject(LoadStr(127), 2);
  }
  if (ctx.HasOptionCEvacuation()) list.AddObject(LoadStr(128), 3);
  if (ctx.IsFscVariant()) list.AddObject(LoadStr(125), 4);
}

std::string TLineSound::ModeText() const {
  switch (mode) {
    case 1: return LoadStr(126);
    case 2: return LoadStr(127);
    case 3: return LoadStr(128);
    case 4: return LoadStr(129);
    default: return LoadStr(124);
  }
}

// Day/night function.

TDayNightF::TDayNightF() { TDayNightF::Reset(); }

TTimeHM TDayNightF::DefaultStartTime() { return TimeOfText(84); }
TTimeHM TDayNightF::DefaultEndTime() { return TimeOfText(85); }

void TDayNightF::Reset() {
  enabled = false;
  start = DefaultStartTime();
  end = DefaultEndTime();
}

void TDayNightF::ReadImage() {
  const std::uint8_t* p = SiteImage + kDayNightOffset;
  enabled = p[0] != 0;
  start = ReadDigits(p + 1).value_or(DefaultStartTime());
  end = ReadDigits(p + 5).value_or(DefaultEndTime());
}

void TDayNightF::WriteImage() {
  std::uint8_t* p = SiteImage + kDayNightOffset;
  p[0] = enabled ? 1 : 0;
  WriteDigits(p + 1, start);
  WriteDigits(p + 5, end);
}

// Alarm thresholds.

TAlarmThresholds::TAlarmThresholds() { TAlarmThresholds::Reset(); }

void TAlarmThresholds::Reset() {
  optical = 3;
  staticHeat = 1;
  rateOfRise = 0;
  multicriteria = 3;
  airSampling = 3;
}

void TAlarmThresholds::ReadImage() {
  const std::uint8_t* p = SiteImage + kThresholdsOffset;
  optical = p[0];
  staticHeat = p[1];
  multicriteria = p[2];
  airSampling = p[3];
}

void TAlarmThresholds::WriteImage() {
  std::uint8_t* p = SiteImage + kThresholdsOffset;
  p[0] = static_cast<std::uint8_t>(optical);
  p[1] = static_cast<std::uint8_t>(staticHeat);
  p[2] = static_cast<std::uint8_t>(multicriteria);
  p[3] = static_cast<std::uint8_t>(airSampling);
  p[4] = 0;
  p[5] = 0;
}

void TAlarmThresholds::FillThresholdList(platform::StringList& list, int kind) {
  list.Clear();
  int first = 0;
  int last = -1;
  switch (kind) {
    case 1: first = 112, last = 119; break;
    case 2: first = 120, last = 122; break;
    case 3: first = 123, last = 123; break;
    case 4: first = 255, last = 261; break;
    default: break;
  }
  for (int id = first; id <= last; ++id) list.Add(LoadStr(id));
}

std::string TAlarmThresholds::OpticalText() const { return GradeText(optical); }
std::string TAlarmThresholds::MulticriteriaText() const { return GradeText(multicriteria); }
std::string TAlarmThresholds::RateOfRiseText() const { return "A1R (0)"; }

std::string TAlarmThresholds::StaticHeatText() const {
  switch (staticHeat) {
    case 0: return "A1S (0)";
    case 1: return "A2S STD (1)";
    case 2: return "BS (2)";
    default: return "Sans";
  }
}

std::string TAlarmThresholds::AirSamplingText() const { return airSampling == 0 ? "Sans" : GradeText(airSampling); }
