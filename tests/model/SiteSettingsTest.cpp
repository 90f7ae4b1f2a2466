// Carry inputs, pulse extension, line of sounders, day/night function and alarm thresholds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/SiteSettings.h"
#include "platform/StringList.h"

namespace {

constexpr std::size_t kCarry1 = 10238;
constexpr std::size_t kCarry2 = 10260;
constexpr std::size_t kThresholds = 10228;
constexpr std::size_t kResistance = 10234;
constexpr std::size_t kPulse = 10282;
constexpr std::size_t kSoundMode = 10303;
constexpr std::size_t kDayNight = 10310;

std::vector<std::string> Texts(const platform::StringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

using SiteSettings = ElementSite;

TEST_F(SiteSettings, FreshSiteWritesTheDefaults) {
  EXPECT_EQ(Bytes(kThresholds, 6), (std::vector<int>{3, 1, 3, 3, 0, 0}));
  EXPECT_EQ(At(kResistance), 0);
  EXPECT_EQ(At(kPulse), 10);
  EXPECT_EQ(Bytes(kSoundMode, 7), (std::vector<int>{0, 0, 0, 5, 0, 2, 0}));
  EXPECT_EQ(Bytes(kDayNight, 9), (std::vector<int>{0, '0', '0', '0', '0', '0', '0', '0', '0'}));
  EXPECT_EQ(Bytes(kCarry1, 22), std::vector<int>(22, 0));
  EXPECT_EQ(Bytes(kCarry2, 22), std::vector<int>(22, 0));
}

// Carry inputs.

TEST_F(SiteSettings, CarryInputRecordRoundTrips) {
  TCarIn2DDS& input = *Root().CarryInput2();
  input.function = 5;
  input.normallyActive = true;
  input.SetLabel("Door contact of the main hall");  // cut to 20
  Encode();
  EXPECT_EQ(At(kCarry2), 5);
  EXPECT_EQ(At(kCarry2 + 1), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Image() + kCarry2 + 2), 20), "Door contact of the ");
  EXPECT_EQ(Bytes(kCarry1, 22), std::vector<int>(22, 0)) << "input 1 untouched";

  input.Reset();
  Redecode();
  EXPECT_EQ(input.function, 5);
  EXPECT_TRUE(input.normallyActive);
  EXPECT_EQ(input.label, "Door contact of the ");
  EXPECT_EQ(input.StateText(), "Normally Active");
}

TEST_F(SiteSettings, CarryInputFunctionByteOutOfRangeKeepsTheCode) {
  struct Case {
    int byte;
    int expected;
  };
  const Case cases[] = {{0, 0}, {6, 6}, {7, 0}, {9, 0}, {0x80, 0}, {0xFF, 0}};
  for (const Case& c : cases) {
    Root().CarryInput1()->Reset();
    Poke(kCarry1, {c.byte});
    Redecode();
    EXPECT_EQ(Root().CarryInput1()->function, c.expected) << "byte " << c.byte;
  }
  // Not reset in between: an invalid byte keeps what the input held.
  Root().CarryInput1()->function = 4;
  Poke(kCarry1, {9});
  Redecode();
  EXPECT_EQ(Root().CarryInput1()->function, 4);
}

TEST(CarryInputCheck, Messages) {
  struct Case {
    const char* label;
    int code;
    bool ok;
    const char* message;
  };
  const Case cases[] = {
      {"", 0, true, ""},
      {"Door", 0, true, ""},
      {"Door", 6, true, ""},
      {"", 3, false, "A label must be set to enable carry input."},
      {"Door", 7, false, "Carry input : incorrect funtion."},
      {"", -1, false, "Carry input : incorrect funtion."},
  };
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(TCarInpDDS::CheckInput(c.label, c.code, message), c.ok) << c.label << "/" << c.code;
    EXPECT_EQ(message, c.message) << c.label << "/" << c.code;
  }
}

TEST_F(SiteSettings, CarryInputFunctionListFollowsThePanelType) {
  const std::vector<std::string> all = {"Not used",          "Class change",    "Panel reset",     "General fault",
                                        "Power supply fault", "Technical input", "Scandinavian key"};
  struct Case {
    std::uint8_t type;
    bool classChange;
    bool scandinavianKey;
  };
  const Case cases[] = {{7, true, true},  {6, true, true},   {10, true, true}, {11, true, true},
                        {3, false, false}, {5, false, false}, {2, true, false}, {4, true, false},
                        {9, true, false}, {1, true, false}};
  for (const Case& c : cases) {
    GetContexte().SetCurrentPanelType(c.type);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if ((i == 1 && !c.classChange) || (i == 6 && !c.scandinavianKey)) continue;
      expected.push_back(all[i]);
    }
    platform::StringList list;
    list.Add("stale");
    Root().CarryInput1()->FillFunctionList(list);
    EXPECT_EQ(Texts(list), expected) << "panel type " << int(c.type);
  }
}

// Pulse extension.

TEST(PulseExtension, Validation) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"10", true}, {"25", true}, {"60", true}, {"7", false},   {"9", false}, {"61", false},
                        {"010", false}, {"", false}, {"x", false}, {"1x", false}, {"-5", false}};
  for (const Case& c : cases) {
    std::string message = "unchanged";
    EXPECT_EQ(TResPulExt::IsValidMsg(c.text, message), c.ok) << c.text;
    EXPECT_EQ(message, c.ok ? "unchanged" : "Pulse extension must be a value\r\nbetween 10 and 60.") << c.text;
  }
}

TEST_F(SiteSettings, PulseExtensionSetTextKeepsTheValueOnBadInput) {
  TResPulExt& pulse = *Root().PulseExtension();
  pulse.SetText("25");
  EXPECT_EQ(pulse.Text(), "25");
  for (const char* bad : {"7", "61", "010", ""}) {
    pulse.SetText(bad);
    EXPECT_EQ(pulse.Text(), "25") << bad;
  }
  Encode();
  EXPECT_EQ(At(kPulse), 25);
}

TEST_F(SiteSettings, PulseExtensionByteOutsideTheRangeReadsTheDefault) {
  struct Case {
    int byte;
    const char* text;
  };
  const Case cases[] = {{5, "10"}, {9, "10"}, {61, "10"}, {255, "10"}, {0, "10"}, {10, "10"}, {60, "60"}, {33, "33"}};
  for (const Case& c : cases) {
    Root().PulseExtension()->Reset();
    Poke(kPulse, {c.byte});
    Redecode();
    EXPECT_EQ(Root().PulseExtension()->Text(), c.text) << "byte " << c.byte;
    Encode();
    EXPECT_EQ(At(kPulse), std::stoi(c.text)) << "byte " << c.byte;
  }
}

// Line of sounders.

TEST_F(SiteSettings, LineSoundRoundTrips) {
  TLineSound& sound = *Root().LineSound();
  sound.mode = 2;
  sound.delay = {0, 30};
  sound.hotelDelay1 = {7, 45};
  sound.hotelDelay2 = {23, 59};
  sound.resistance = 30;
  Encode();
  EXPECT_EQ(Bytes(kSoundMode, 7), (std::vector<int>{2, 0, 30, 7, 45, 23, 59}));
  EXPECT_EQ(At(kResistance), 30);

  sound.Reset();
  Redecode();
  EXPECT_EQ(sound.mode, 2);
  EXPECT_EQ(sound.delay, (TTimeHM{0, 30}));
  EXPECT_EQ(sound.hotelDelay1, (TTimeHM{7, 45}));
  EXPECT_EQ(sound.hotelDelay2, (TTimeHM{23, 59}));
  EXPECT_EQ(sound.resistance, 30);
}

TEST_F(SiteSettings, LineSoundInvalidBytesFallBack) {
  TLineSound& sound = *Root().LineSound();
  sound.mode = 3;
  Encode();
  // Mode 5 is unknown (the mode stays), the first pair is not a time, the second is one,
  // the third has a minute of 60.
  Poke(kSoundMode, {5, 30, 10, 1, 2, 12, 60});
  Redecode();
  EXPECT_EQ(sound.mode, 3);
  EXPECT_EQ(sound.delay, TLineSound::DefaultDelay());
  EXPECT_EQ(sound.hotelDelay1, (TTimeHM{1, 2}));
  EXPECT_EQ(sound.hotelDelay2, TLineSound::DefaultHotelDelay2());
  EXPECT_EQ(TLineSound::DefaultHotelDelay1(), (TTimeHM{5, 0}));
  EXPECT_EQ(TLineSound::DefaultHotelDelay2(), (TTimeHM{2, 0}));

  Poke(kSoundMode, {0xFF});
  Redecode();
  EXPECT_EQ(sound.mode, 3) << "a negative mode byte is refused too";
}

TEST_F(SiteSettings, SoundersResistanceIsReadFromMapVersionThreeOn) {
  struct Case {
    const char* mapVersion;
    int expected;
  };
  const Case cases[] = {{"0002", 0}, {"0001", 0}, {"0003", 17}, {"0004", 17}};
  for (const Case& c : cases) {
    Root().LineSound()->Reset();
    PokeText(1, c.mapVersion);
    Poke(kResistance, {17});
    Redecode();
    EXPECT_EQ(Root().LineSound()->resistance, c.expected) << c.mapVersion;
  }
}

TEST_F(SiteSettings, SoundModeListAndTexts) {
  struct Case {
    std::uint8_t type;
    std::vector<std::string> labels;
    std::vector<std::intptr_t> codes;
  };
  const Case cases[] = {
      {7, {"Not used", "Direct Evacuation", "Mode Hotel Evacuation", "Option C Evacuation"}, {0, 1, 2, 3}},
      {11, {"Not used", "Direct Evacuation", "Mode Hotel Evacuation", "Option C Evacuation"}, {0, 1, 2, 3}},
      {2, {"Not used", "Activated"}, {0, 4}},
      {8, {"Not used", "Activated"}, {0, 4}},
      {3, {"Not used"}, {0}},
      {1, {"Not used"}, {0}},
  };
  for (const Case& c : cases) {
    GetContexte().SetCurrentPanelType(c.type);
    platform::StringList list;
    list.Add("stale");
    TLineSound::FillModeList(list);
    EXPECT_EQ(Texts(list), c.labels) << "panel type " << int(c.type);
    std::vector<std::intptr_t> codes;
    for (int i = 0; i < list.Count(); ++i) codes.push_back(list.Object(i));
    EXPECT_EQ(codes, c.codes) << "panel type " << int(c.type);
  }
  TLineSound& sound = *Root().LineSound();
  const std::pair<int, const char*> texts[] = {{0, "Not used"},
                                               {1, "Direct Evacuation"},
                                               {2, "Mode Hotel Evacuation"},
                                               {3, "Option C Evacuation"},
                                               {4, "Alert output mode"},
                                               {9, "Not used"}};
  for (const auto& [mode, text] : texts) {
    sound.mode = static_cast<std::uint8_t>(mode);
    EXPECT_EQ(sound.ModeText(), text) << mode;
  }
}

// Day/night function.

TEST_F(SiteSettings, DayNightRoundTrips) {
  TDayNightF& dn = *Root().DayNight();
  dn.enabled = true;
  dn.start = {7, 5};
  dn.end = {21, 30};
  Encode();
  EXPECT_EQ(Bytes(kDayNight, 9), (std::vector<int>{1, '0', '7', '0', '5', '2', '1', '3', '0'}));
  dn.Reset();
  Redecode();
  EXPECT_TRUE(dn.enabled);
  EXPECT_EQ(dn.start, (TTimeHM{7, 5}));
  EXPECT_EQ(dn.end, (TTimeHM{21, 30}));
}

TEST_F(SiteSettings, DayNightTimesThatAreNotTimesReadTheDefault) {
  struct Case {
    std::vector<int> digits;
    bool isDefault;
    TTimeHM time;
  };
  const Case cases[] = {
      {{'2', '3', '6', '0'}, true, {}},  {{'2', '4', '0', '0'}, true, {}}, {{'1', 0, '3', '0'}, true, {}},
      {{0, 0, 0, 0}, true, {}},          {{'1', 'a', '3', '0'}, true, {}}, {{' ', '7', '3', '0'}, true, {}},
      {{'2', '3', '5', '9'}, false, {23, 59}}, {{'0', '0', '0', '1'}, false, {0, 1}},
  };
  TDayNightF& dn = *Root().DayNight();
  for (const Case& c : cases) {
    dn.start = {11, 11};
    dn.end = {12, 12};
    Encode();
    Poke(kDayNight + 1, {c.digits[0], c.digits[1], c.digits[2], c.digits[3]});
    Poke(kDayNight + 5, {c.digits[0], c.digits[1], c.digits[2], c.digits[3]});
    Redecode();
    TTimeHM start = c.isDefault ? TDayNightF::DefaultStartTime() : c.time;
    TTimeHM end = c.isDefault ? TDayNightF::DefaultEndTime() : c.time;
    EXPECT_EQ(dn.start, start) << c.digits[0] << c.digits[1] << c.digits[2] << c.digits[3];
    EXPECT_EQ(dn.end, end) << c.digits[0] << c.digits[1] << c.digits[2] << c.digits[3];
  }
  Poke(kDayNight, {7});
  Redecode();
  EXPECT_TRUE(dn.enabled) << "any byte but 0 enables";
  Encode();
  EXPECT_EQ(At(kDayNight), 1);
}

// Alarm thresholds.

TEST_F(SiteSettings, ThresholdsRoundTripAndClearTheSpareBytes) {
  TAlarmThresholds& t = *Root().Thresholds();
  t.optical = 7;
  t.staticHeat = 2;
  t.multicriteria = 0;
  t.airSampling = 1;
  Poke(kThresholds + 4, {9, 9});
  Encode();
  EXPECT_EQ(Bytes(kThresholds, 6), (std::vector<int>{7, 2, 0, 1, 0, 0}));
  t.Reset();
  Redecode();
  EXPECT_EQ(t.optical, 7);
  EXPECT_EQ(t.staticHeat, 2);
  EXPECT_EQ(t.multicriteria, 0);
  EXPECT_EQ(t.airSampling, 1);
  EXPECT_EQ(t.rateOfRise, 0);
}

TEST_F(SiteSettings, ThresholdsOfMapVersionOneKeepTheirDefaults) {
  PokeText(1, "0001");
  Poke(kThresholds, {7, 2, 6, 5});
  Root().Crc()->WriteImage();
  Root().ReadImage();
  const TAlarmThresholds& t = *Root().Thresholds();
  EXPECT_EQ(t.optical, 3);
  EXPECT_EQ(t.staticHeat, 1);
  EXPECT_EQ(t.multicriteria, 3);
  EXPECT_EQ(t.airSampling, 3);

  PokeText(1, "0002");
  Root().Crc()->WriteImage();
  Root().ReadImage();
  EXPECT_EQ(t.optical, 7) << "map version 0002 reads them";
  EXPECT_EQ(t.airSampling, 5);
}

TEST(ThresholdTexts, ListsAndPrintTexts) {
  struct ListCase {
    int kind;
    std::vector<std::string> texts;
  };
  const ListCase lists[] = {
      {1, {"+++ (0)", "++ (1)", "+ (2)", "STD (3)", "- (4)", "-- (5)", "--- (6)", "---- (7)"}},
      {2, {"A1S (0)", "A2S STD (1)", "BS (2)"}},
      {3, {"A1R (0)"}},
      {4, {"++ (1)", "+ (2)", "STD (3)", "- (4)", "-- (5)", "--- (6)", "---- (7)"}},
      {0, {}},
      {5, {}},
  };
  for (const ListCase& c : lists) {
    platform::StringList list;
    list.Add("stale");
    TAlarmThresholds::FillThresholdList(list, c.kind);
    EXPECT_EQ(Texts(list), c.texts) << "kind " << c.kind;
  }
}

TEST_F(SiteSettings, ThresholdPrintTexts) {
  struct Case {
    int code;
    const char* grade;
    const char* staticHeat;
    const char* airSampling;
  };
  const Case cases[] = {{0, "+++ (0)", "A1S (0)", "Sans"},    {1, "++ (1)", "A2S STD (1)", "++ (1)"},
                        {2, "+ (2)", "BS (2)", "+ (2)"},      {3, "STD (3)", "Sans", "STD (3)"},
                        {7, "---- (7)", "Sans", "---- (7)"}, {8, "Sans", "Sans", "Sans"},
                        {-1, "Sans", "Sans", "Sans"}};
  TAlarmThresholds& t = *Root().Thresholds();
  for (const Case& c : cases) {
    t.optical = t.multicriteria = t.staticHeat = t.airSampling = c.code;
    EXPECT_EQ(t.OpticalText(), c.grade) << c.code;
    EXPECT_EQ(t.MulticriteriaText(), c.grade) << c.code;
    EXPECT_EQ(t.StaticHeatText(), c.staticHeat) << c.code;
    EXPECT_EQ(t.AirSamplingText(), c.airSampling) << c.code;
    EXPECT_EQ(t.RateOfRiseText(), "A1R (0)");
  }
}

}  // namespace
