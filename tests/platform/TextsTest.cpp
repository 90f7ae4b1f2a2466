#include "platform/Texts.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/StringList.h"

namespace {

class TextsTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetTextOverrides({}); }
};

}  // namespace

TEST_F(TextsTest, BuiltinTextsWithTheirEscapes) {
  EXPECT_EQ(platform::LoadStr(37), "An error occurs while loading database :\r\n");
  EXPECT_EQ(platform::FmtLoadStr(35, {"/x/a.srd"}), "Unable to load\r\n/x/a.srd\r\nZavo database.");
  EXPECT_EQ(platform::FmtLoadStr(94, {20}), "Incorrect length, 20 character(s) allowed");
  EXPECT_EQ(platform::LoadStr(-1), "");
  EXPECT_EQ(platform::BuiltinTextUtf8(-1), nullptr);
}

TEST_F(TextsTest, LanguageLayerReplacesTextsAsAnsi) {
  platform::SetTextOverrides({{92, "Mauvais format de fichier é"}});
  EXPECT_EQ(platform::LoadStr(92), platform::FromUnicode("Mauvais format de fichier é"));
  EXPECT_EQ(platform::LoadStr(93), "Read datas error");  // untouched texts stay built-in
  platform::SetTextOverrides({});
  EXPECT_EQ(platform::LoadStr(92), "Wrong file format");
}

TEST(StringList, TextAndLines) {
  platform::StringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("one");
  list.AddObject("two\r\nthree", 7);
  list.Add("four\nfive");
  list.Add("");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\nfive\r\n\r\n");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"one", "two", "three", "four", "five", ""}));
  EXPECT_EQ(list.IndexOf("four\nfive"), 2);
  EXPECT_EQ(list.IndexOf("five"), -1);
  EXPECT_EQ(list.IndexOfObject(7), 1);
  EXPECT_EQ(list.IndexOfObject(8), -1);
  EXPECT_THROW(static_cast<void>(list[4]), std::out_of_range);
}
