#include "platform/Format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

using platform::FmtArg;
using platform::Format;

TEST(Format, PlaceholdersOfTheStringTable) {
  struct Case {
    const char* format;
    std::initializer_list<FmtArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {"Address %3.3d is already used", {7}, "Address 007 is already used"},
      {"Incorrect length, %d character(s) allowed", {20}, "Incorrect length, 20 character(s) allowed"},
      {"%2.2d%2.2d", {1, 15}, "0115"},
      {"%2d.%2.2d", {1, 5}, " 1.05"},
      {"%4.4x", {0xA5}, "00a5"},
      {"%04X", {-1}, "FFFFFFFF"},
      {"%-5s|", {"ab"}, "ab   |"},
      {"%*d|%-*d|", {4, 7, 3, 8}, "   7|8  |"},
      {"%.2f %e", {1.005, 0.5}, "1.00 5.000000e-01"},
      {"100%%", {}, "100%"},
      {"%c%c", {65, "Bc"}, "AB"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.format, c.args), c.expected) << c.format;
}

// Translated texts may carry placeholders that do not match their arguments; the
// output may be odd but every case must come back without reading a wrong argument.
TEST(Format, MismatchedOrMissingArgumentsNeverCrash) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* format;
    std::initializer_list<FmtArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {"%d", {"abc"}, "0"},
      {"%d", {"42 apples"}, "42"},
      {"%s", {12}, "12"},
      {"%s and %s", {"one"}, "one and "},
      {"%d-%d", {}, "0-0"},
      {"%*d", {}, "0"},
      {"%.*s", {2, "abcdef"}, "ab"},
      {"%*d", {-3, 5}, "5  "},
      {"%", {}, "%"},
      {"50%", {1}, "50%"},
      {"%5", {1}, "%5"},
      {"%y%d", {3}, "%y3"},
      {"%n%s", {"x"}, "%nx"},
      {"%ls|%lld", {"w", 9}, "w|9"},
      {"%s", {}, ""},
      {"a", {1, 2, 3}, "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.format, c.args), c.expected) << c.format;

  // Extreme values: only that they return, with some text.
  EXPECT_FALSE(Format("%d %x %u", {1e300, -1e300, nan}).empty());
  EXPECT_FALSE(Format("%*d", {LLONG_MIN, 1}).empty());
  EXPECT_FALSE(Format("%.*d", {LLONG_MIN, 1}).empty());
  EXPECT_EQ(Format("%99999d", {1}).size(), 99999u);
  EXPECT_GE(Format("%.99999f", {1e308}).size(), 100000u);
  EXPECT_EQ(Format("%c", {0}), std::string(1, '\0'));
}

TEST(Format, PlaceholderSignature) {
  EXPECT_EQ(platform::PlaceholderSignature("Address %3.3d of %s at %.1f, 100%%"), "d s f");
  EXPECT_EQ(platform::PlaceholderSignature("%*.*s"), "d d s");
  EXPECT_EQ(platform::PlaceholderSignature("no placeholder, a stray % and %y"), "");
}
