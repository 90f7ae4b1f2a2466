#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

using platform::FromUnicode;
using platform::ToUnicode;

TEST(CodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = ToUnicode(all);
  EXPECT_EQ(FromUnicode(utf8), all);
  // Also one at a time, so that a byte cannot hide behind its neighbours.
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(FromUnicode(ToUnicode(one)), one) << b;
  }
}

TEST(CodePage, KnownMappings) {
  struct Case {
    unsigned char ansi;
    const char* utf8;
  };
  const Case cases[] = {
      {0x41, "A"},           {0x80, "\u20AC"},  // euro sign
      {0x8A, "\u0160"},      {0x9F, "\u0178"},   // S caron, Y diaeresis
      {0xA0, "\u00A0"},      {0xE9, "\u00E9"},   // e acute
      {0xFF, "\u00FF"},
  };
  for (const Case& c : cases) {
    const std::string ansi(1, static_cast<char>(c.ansi));
    EXPECT_EQ(ToUnicode(ansi), c.utf8) << int{c.ansi};
    EXPECT_EQ(FromUnicode(c.utf8), ansi) << int{c.ansi};
  }
}

TEST(CodePage, UnmappableAndMalformedUtf8BecomesQuestionMarks) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string ansi;
  };
  const Case cases[] = {
      {"outside the code page", "a\u4E2Db", "a?b"},
      {"four-byte character", "\xF0\x9F\x98\x80!", "?!"},
      {"lone continuation byte", "a\x80z", "a?z"},
      {"Latin-1 byte in the middle", "caf\xE9 ok", "caf? ok"},
      {"Latin-1 byte before the last character", "caf\xE9!", "caf?!"},
      {"truncated at the end", "ab\xE2\x82", "ab?"},
      {"overlong encoding of A", "\xC1\x81", "?"},
      {"overlong encoding of NUL", std::string("x\xC0\x80y"), "x?y"},
      {"overlong three-byte e acute", "\xE0\x83\xA9", "?"},
      {"invalid lead byte", "\xFF\xFE", "??"},
  };
  for (const Case& c : cases) EXPECT_EQ(FromUnicode(c.utf8), c.ansi) << c.name;
}

TEST(CodePage, UpperCaseAndTrim) {
  EXPECT_EQ(platform::AnsiUpperCase(FromUnicode("é")), FromUnicode("É"));
  EXPECT_EQ(platform::AnsiUpperCase(FromUnicode("abz àÿšœž ß÷µ 1")), FromUnicode("ABZ ÀŸŠŒŽ ß÷µ 1"));
  EXPECT_EQ(platform::Trim(" \t\r\n SARDEL 128 \r\n"), "SARDEL 128");
  EXPECT_EQ(platform::Trim(" \x01 "), "");
  EXPECT_EQ(platform::Trim(FromUnicode("\u00A0é\u00A0")), FromUnicode("\u00A0é\u00A0"));
}
