// The site's identification texts and access codes.
#include <gtest/gtest.h>

#include <string>

#include "ElementSite.h"
#include "model/ParamsGen.h"
#include "support/Checks.h"

namespace {

using ParamsGen = ElementSite;

std::string Raw(const std::uint8_t* p, int n) { return RawText(p, static_cast<std::size_t>(n)); }

TEST_F(ParamsGen, FreshSiteBytes) {
  EXPECT_EQ(Raw(Image() + 34, 20), "     SARDEL128      ");
  EXPECT_EQ(At(54), 'A');
  EXPECT_EQ(Bytes(55, 200), std::vector<int>(200, 0));
  EXPECT_EQ(Raw(Image() + 255, 6), "794862");
}

TEST_F(ParamsGen, FieldsRoundTripThroughTheirBytes) {
  TParamsGen& p = *Root().ParamsGen();
  p.SiteName()->SetText("  North Plant  ");
  p.EditorName()->SetText("Exactly twenty chars");
  p.Localisation()->SetText("A localisation that is too long");
  p.Remarks()->SetText(std::string(170, 'r'));
  p.DataIndex()->SetText("q");
  p.AccessCode2()->SetText("7");
  p.AccessCode3()->SetText("123");
  Encode();
  EXPECT_EQ(Raw(Image() + 34, 20), "    North Plant     ");
  EXPECT_EQ(Raw(Image() + 55, 20), "Exactly twenty chars");
  EXPECT_EQ(Raw(Image() + 75, 20), "A localisation that ");
  EXPECT_EQ(Raw(Image() + 95, 160), std::string(160, 'r'));
  EXPECT_EQ(At(54), 'Q');
  EXPECT_EQ(Raw(Image() + 255, 6), "007123");

  p.Reset();
  Redecode();
  EXPECT_EQ(p.SiteName()->Text(), "North Plant");
  EXPECT_EQ(p.EditorName()->Text(), "Exactly twenty chars") << "no terminating zero needed";
  EXPECT_EQ(p.Localisation()->Text(), "A localisation that ");
  EXPECT_EQ(p.Remarks()->Text(), std::string(160, 'r'));
  EXPECT_EQ(p.DataIndex()->Text(), "Q");
  EXPECT_EQ(p.AccessCode2()->Text(), "007");
  EXPECT_EQ(p.AccessCode3()->Text(), "123");
}

TEST_F(ParamsGen, SiteNameLongerThanItsFieldIsCutAtBothEnds) {
  TParamsGen& p = *Root().ParamsGen();
  p.SiteName()->SetText("0123456789abcdefghijKL");  // 22 characters: one cut at each end
  EXPECT_EQ(p.SiteName()->Text(), "0123456789abcdefghijKL") << "stored whole, cut only when written";
  Encode();
  EXPECT_EQ(Raw(Image() + 34, 20), "123456789abcdefghijK");
}

TEST_F(ParamsGen, ReadingTakesTheBytesAsTheyAre) {
  PokeText(255, "abc");
  Poke(258, {'9', 0, 0});
  PokeText(54, "7");
  Redecode();
  TParamsGen& p = *Root().ParamsGen();
  EXPECT_EQ(p.AccessCode2()->Text(), "abc");
  EXPECT_EQ(p.AccessCode3()->Text(), "9");
  EXPECT_EQ(p.DataIndex()->Text(), "7");
  Poke(55, {0, 'x'});
  Redecode();
  EXPECT_EQ(p.EditorName()->Text(), "") << "a first zero byte reads as the empty text";
}

TEST_F(ParamsGen, AccessCodeValidation) {
  struct Case {
    const char* text;
    bool ok;
    const char* message;
    const char* stored;  // after SetText on the default "794"
  };
  const Case cases[] = {
      {"7", true, "", "007"},
      {"12", true, "", "012"},
      {"000", true, "", "000"},
      {"999", true, "", "999"},
      {"9090", false, "Code size is incorrect", "794"},
      {"1a", false, "Access Code must be a three digits numeric value", "794"},
      {"", false, "Access Code must be a three digits numeric value", "794"},
      {"abcd", false, "Access Code must be a three digits numeric value", "794"},
      {"-1", false, "Access Code must be a three digits numeric value", "794"},
      {"+12", false, "Access Code must be a three digits numeric value", "794"},
      {"$1F", false, "Access Code must be a three digits numeric value", "794"},
      {" 12", false, "Access Code must be a three digits numeric value", "794"},
  };
  TAxessCod2& code = *Root().ParamsGen()->AccessCode2();
  for (const Case& c : cases) {
    code.Reset();
    std::string message;
    EXPECT_EQ(code.IsValid(c.text), c.ok) << c.text;
    EXPECT_EQ(code.IsValidMsg(c.text, message), c.ok) << c.text;
    EXPECT_EQ(message, c.message) << c.text;
    code.SetText(c.text);
    EXPECT_EQ(code.Text(), c.stored) << c.text;
  }
}

TEST_F(ParamsGen, DataIndexValidation) {
  struct Case {
    const char* text;
    bool ok;
    const char* message;
    const char* stored;  // after SetText on the default "A"
  };
  const Case cases[] = {
      {"b", true, "", "B"},
      {"Z", true, "", "Z"},
      {"1", false, "Data index must be an A to Z character", "A"},
      {"[", false, "Data index must be an A to Z character", "A"},
      {"AB", false, "Incorrect length, 1 character(s) allowed", "A"},
      {"", false, "Incorrect length, 1 character(s) allowed", "A"},
  };
  TDataIndex& index = *Root().ParamsGen()->DataIndex();
  for (const Case& c : cases) {
    index.Reset();
    std::string message;
    EXPECT_EQ(index.IsValidMsg(c.text, message), c.ok) << c.text;
    EXPECT_EQ(message, c.message) << c.text;
    index.SetText(c.text);
    EXPECT_EQ(index.Text(), c.stored) << c.text;
  }
}

TEST_F(ParamsGen, LabelLengthMessage) {
  TParamsGen& p = *Root().ParamsGen();
  std::string message;
  EXPECT_TRUE(p.EditorName()->IsValidMsg(std::string(20, 'e'), message));
  EXPECT_EQ(message, "");
  EXPECT_FALSE(p.EditorName()->IsValidMsg(std::string(25, 'e'), message));
  EXPECT_EQ(message, "Incorrect length, 20 character(s) allowed");
  EXPECT_FALSE(p.Remarks()->IsValidMsg(std::string(161, 'e'), message));
  EXPECT_EQ(message, "Incorrect length, 160 character(s) allowed");
  EXPECT_FALSE(p.SiteName()->IsValidMsg(std::string(21, 'e'), message));
  EXPECT_EQ(message, "Incorrect length, 20 character(s) allowed");
}

}  // namespace
