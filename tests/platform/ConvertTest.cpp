#include "platform/Convert.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"

TEST(Convert, StrToIntAcceptsWhatTheValidatorsExpect) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {"0", true, 0},           {"007", true, 7},         {"  42", true, 42},
      {"-12", true, -12},       {"+5", true, 5},          {"$1F", true, 31},
      {"0x1f", true, 31},       {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0}, {"99999999999", false, 0}, {"", false, 0},
      {" ", false, 0},          {"-", false, 0},           {"$", false, 0},
      {"0x", false, 0},         {"1a", false, 0},          {"12 ", false, 0},
      {"- 1", false, 0},        {"1.5", false, 0},
  };
  for (const Case& c : cases) {
    int value = -99;
    EXPECT_EQ(platform::TryStrToInt(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(platform::StrToIntDef(c.text, -99), c.ok ? c.value : -99) << c.text;
  }
  EXPECT_THROW(platform::StrToInt("1a"), platform::EConvertError);
  try {
    platform::StrToInt("x");
  } catch (const platform::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
}

TEST(Convert, DecimalDigitsOnly) {
  EXPECT_TRUE(platform::IsDecimalDigits("0"));
  EXPECT_TRUE(platform::IsDecimalDigits("0123456789"));
  for (const char* text : {"", " 1", "1 ", "-1", "+1", "$1", "0x1", "1a", "\xB2"}) {
    EXPECT_FALSE(platform::IsDecimalDigits(text)) << text;
  }
}
