#include "serial/SlStrMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

using platform::SlMessageNumberLookup;
using platform::SlMessageNumberLookupCount;

std::int64_t Abs(std::int64_t v) { return v < 0 ? -v : v; }

// The areas of the code table by absolute code, with their row counts and the sign
// their codes are written with (errors negative, texts positive).
struct Area {
  std::int64_t lo;
  std::int64_t hi;
  std::size_t rows;
  int sign;
};

constexpr Area kAreas[] = {
    {0, 0, 1, 0},          {2, 162, 27, -1},       {1001, 1009, 9, -1},    {2001, 2012, 12, -1},
    {3001, 3010, 10, -1},  {4001, 4021, 19, -1},   {4101, 4843, 141, 1},   {5001, 5003, 3, -1},
    {5501, 5506, 6, -1},   {6001, 6016, 16, -1},   {7001, 7014, 14, -1},   {7500, 7502, 3, -1},
    {8001, 8092, 38, -1},  {8100, 8103, 4, -1},    {8300, 8340, 22, -1},   {8500, 8500, 1, -1},
    {9001, 9007, 7, 1},    {10000, 11004, 52, 1},  {13501, 13670, 68, 1},  {13801, 13980, 113, -1},
    {15001, 15021, 21, 1}, {15100, 15351, 252, 1}, {15501, 15502, 2, 1},   {15601, 15608, 8, 1},
    {15700, 15742, 43, 1},
};

TEST(SlStrMapTable, SortedByAbsoluteValueUniqueAndAreaCountsHold) {
  ASSERT_EQ(SlMessageNumberLookupCount, 892u);
  for (std::size_t i = 1; i < SlMessageNumberLookupCount; ++i) {
    EXPECT_LT(Abs(SlMessageNumberLookup[i - 1].id), Abs(SlMessageNumberLookup[i].id)) << "row " << i;
  }
  std::size_t inAreas = 0;
  for (const Area& area : kAreas) {
    std::size_t rows = 0;
    for (std::size_t i = 0; i < SlMessageNumberLookupCount; ++i) {
      const int id = SlMessageNumberLookup[i].id;
      if (Abs(id) < area.lo || Abs(id) > area.hi) continue;
      ++rows;
      const int sign = id < 0 ? -1 : (id > 0 ? 1 : 0);
      if (id != 13933) {  // the one positive telephony row
        EXPECT_EQ(sign, area.sign) << "code " << id;
      }
    }
    EXPECT_EQ(rows, area.rows) << "area " << area.lo << ".." << area.hi;
    inAreas += rows;
  }
  EXPECT_EQ(inAreas, SlMessageNumberLookupCount);
}

TEST(SlStrMapTable, TextsOfTheCodesThisLibraryReportsAreNeverEmpty) {
  struct Range {
    std::int64_t lo;
    std::int64_t hi;
  };
  const Range used[] = {{0, 162},     {1001, 1009},   {2001, 2012},   {3001, 3010},  {5001, 5003},
                        {5501, 5506}, {6001, 6016},   {4700, 4723},   {15001, 15021}, {15101, 15351},
                        {15501, 15502}, {15601, 15608}};
  for (std::size_t i = 0; i < SlMessageNumberLookupCount; ++i) {
    const std::int64_t a = Abs(SlMessageNumberLookup[i].id);
    for (const Range& r : used) {
      if (a >= r.lo && a <= r.hi) {
        EXPECT_STRNE(SlMessageNumberLookup[i].text, "") << "code " << a;
      }
    }
  }
  // Rows that stay empty on purpose (the protocol engines' internal and abort statuses,
  // the dispatch log's subtype 0).
  for (int code : {4725, 4726, 4727, 4728, 4730, 15100}) EXPECT_EQ(MessageNumberToString(code), "") << code;
}

TEST(SlStrMapLookup, EveryRowIsFoundByItsCodeAndItsNegation) {
  for (std::size_t i = 0; i < SlMessageNumberLookupCount; ++i) {
    const int id = SlMessageNumberLookup[i].id;
    EXPECT_EQ(MessageNumberToString(id), SlMessageNumberLookup[i].text) << id;
    EXPECT_EQ(MessageNumberToString(-id), SlMessageNumberLookup[i].text) << id;
  }
}

TEST(SlStrMapLookup, TextsByCode) {
  const struct {
    std::int32_t code;
    const char* text;
  } cases[] = {
      {0, "OK"},
      {-2001, "ie_BadId - Specified comport doesn't exist"},
      {2001, "ie_BadId - Specified comport doesn't exist"},
      {-2, "File not found"},
      {-162, "General failure"},
      {-101, "Disk is full"},
      {-6009, "Block sequence error in Xmodem"},
      {4711, "Duplicate block received and ignored "},  // trailing blanks survive the data file
      {15601, "DCTS "},
      {15101, "ReadCom"},
      {15220, "txWtFreeSpc"},
      {15231, "rxWtFrHSRply"},
      {15233, "rxCollBlock"},
      {15351, "Collecting"},
      {15501, "Time      Type      SubType       Data      OtherData"},
      {15742, "Character Set"},  // the last row
      {1, ""},
      {7, ""},
      {4729, ""},
      {15743, ""},
      {std::numeric_limits<std::int32_t>::max(), ""},
      {std::numeric_limits<std::int32_t>::min(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MessageNumberToString(c.code), c.text) << c.code;
}

TEST(SlStrMapLoadStr, PrefersTheTableAndIgnoresTheSign) {
  EXPECT_EQ(SioLoadStr(2001), "ie_BadId - Specified comport doesn't exist");
  EXPECT_EQ(SioLoadStr(-2001), SioLoadStr(2001));
  // 2 is also a system error number; the table's text wins.
  EXPECT_EQ(SioLoadStr(-2), "File not found");
  EXPECT_EQ(ErrorMsg(-5003), "Bad trigger handle");
}

TEST(SlStrMapLoadStr, FallsBackToTheCLibraryText) {
  // -7 has no row: the C library's text for 7 stands in.
  const std::string system = std::strerror(7);
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(SioLoadStr(-7), system);
  EXPECT_EQ(SioLoadStr(7), system);
  // An empty row the C library does not know either gives an empty text, not
  // "Unknown error 4200".
  EXPECT_EQ(SioLoadStr(4200), "");
  EXPECT_EQ(SioLoadStr(15100), "");
  EXPECT_EQ(SioLoadStr(std::numeric_limits<std::int32_t>::min()), "");
}

TEST(SlStrMapLoadStr, SystemTextsAreMadeOneLine) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Broken pipe", "Broken pipe"},
      {"Line one.\r\nLine two.\r\n", "Line one. Line two. "},
      {"a\t\tb", "a b"},
      {"  two  blanks  ", " two blanks "},
      {std::string(300, 'x'), std::string(255, 'x')},
      // cut first, then tidied: the blanks past 255 do not count
      {std::string(250, 'x') + "\n\n\n\n\n\n\n\n", std::string(250, 'x') + " "},
      // a cut never splits a UTF-8 sequence
      {std::string(254, 'x') + "\xC3\xA9", std::string(254, 'x')},
  };
  for (const auto& c : cases) EXPECT_EQ(SioCleanSystemText(c.in), c.out) << c.in;
}

TEST(SlStrMapLoadZ, CopiesZeroTerminatedAndCutsToTheBuffer) {
  char big[256];
  std::memset(big, '#', sizeof big);
  EXPECT_EQ(SioLoadZ(big, sizeof big, -3007), big);
  EXPECT_STREQ(big, "Buffer is empty");

  char small[7];
  std::memset(small, '#', sizeof small);
  SioLoadZ(small, sizeof small, -3007);
  EXPECT_STREQ(small, "Buffer");

  char one[1] = {'#'};
  SioLoadZ(one, sizeof one, -3007);
  EXPECT_EQ(one[0], '\0');
}

}  // namespace
