#include "platform/LanguageModule.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using platform::LanguageModule;
using platform::ParseLanguageModule;

namespace {

LanguageModule Parsed(std::string_view content) {
  LanguageModule m;
  std::string error;
  EXPECT_TRUE(ParseLanguageModule(content, m, &error)) << error;
  return m;
}

}  // namespace

TEST(LanguageModule, EntriesEscapesAndComments) {
  LanguageModule m = Parsed(
      "\xEF\xBB\xBF# Fran\xC3\xA7" "ais\n"
      "464\t Korvanex FR \r\n"
      "\n"
      "#465\tnot an entry\n"
      "10\tVeuillez fermer\\r\\ntoutes les fen\xC3\xAAtres\n"
      "11\ttab\\there \\\\ \\\"q\\\" \\x41\\xc3\\xa9\n"
      "12\tsecond\ttab kept\n"
      "13\t\n"
      "-5\tnegative\n"
      "TFormZvoPrincipale.MenuFichier.Caption\t&Fichier\n"
      "TFormZvoPrincipale.MenuFichier.Caption.Extra\tdeeper\n"
      "TNoSuchForm.Nothing.Hint\tkept all the same");
  EXPECT_EQ(m.texts, (std::map<int, std::string>{{464, " Korvanex FR "},
                                                 {10, "Veuillez fermer\r\ntoutes les fen\xC3\xAAtres"},
                                                 {11, "tab\there \\ \"q\" A\xC3\xA9"},
                                                 {12, "second\ttab kept"},
                                                 {13, ""},
                                                 {-5, "negative"}}));
  EXPECT_EQ(m.formTexts.size(), 3U);
  EXPECT_EQ(m.formTexts.at("TFormZvoPrincipale.MenuFichier.Caption"), "&Fichier");
  EXPECT_EQ(m.formTexts.at("TNoSuchForm.Nothing.Hint"), "kept all the same");
  EXPECT_TRUE(m.refused.empty());
}

TEST(LanguageModule, TextsWithOtherPlaceholdersThanTheBuiltinOnesAreLeftOut) {
  // 35 "Unable to load\r\n%s\r\nZavo database.", 94 "... %d character(s) allowed",
  // 242 "Group %2.2d ...", 464 " Korvanex " (none).
  LanguageModule m = Parsed(
      "35\tImpossible de charger\\r\\n%s\n"   // same placeholders, other words: kept
      "94\tLongueur incorrecte, %s\n"          // text for an integer
      "242\tGroupe %2.2d %d\n"                 // one too many
      "464\t Korvanex %d \n"                   // one where there is none
      "156\tBoucle %% vide\n"                  // "%%" is no placeholder, but %d is missing
      "143\tRelais %02i\n"                     // another integer conversion is the same kind
      "90001\tnew number %s %f\n");            // no built-in text to compare with
  EXPECT_EQ(m.texts, (std::map<int, std::string>{{35, "Impossible de charger\r\n%s"},
                                                 {143, "Relais %02i"},
                                                 {90001, "new number %s %f"}}));
  ASSERT_EQ(m.refused.size(), 4U);
  EXPECT_EQ(m.refused[0].number, 94);
  EXPECT_EQ(m.refused[0].line, 2);
  EXPECT_EQ(m.refused[3].number, 156);
  EXPECT_EQ(m.refused[3].line, 5);
}

TEST(LanguageModule, BrokenLineIsReportedWithItsNumber) {
  struct Case {
    const char* content;
    const char* error;
  };
  const Case cases[] = {
      {"# ok\n464\tfine\n465 no tab\n", "line 3: no tab after the key"},
      {"\t no key\n", "line 1: bad key \"\""},
      {"464 \ttrailing blank in the key\n", "line 1: bad key \"464 \""},
      {"12a\tx\n", "line 1: bad key \"12a\""},
      {"99999999999\ttoo big\n", "line 1: bad key \"99999999999\""},
      {"TForm.Caption\ttwo parts only\n", "line 1: bad key \"TForm.Caption\""},
      {"TForm..Caption\tempty part\n", "line 1: bad key \"TForm..Caption\""},
      {"TForm.Bouton-1.Caption\tx\n", "line 1: bad key \"TForm.Bouton-1.Caption\""},
      {"1\ta\\qb\n", "line 1: unknown escape \\q"},
      {"1\tends with \\\n", "line 1: a backslash ends the line"},
      {"1\t\\x4\n", "line 1: \\x needs two hexadecimal digits"},
      {"1\t\\xg1\n", "line 1: \\x needs two hexadecimal digits"},
      {"1\t\\x00\n", "line 1: \\x00 is not allowed"},
      {"1\tcut \xC3\n", "line 1: the text is not valid UTF-8"},
      {"1\t\\xff\n", "line 1: the text is not valid UTF-8"},
      {"1\toverlong \xC0\xAF\n", "line 1: the text is not valid UTF-8"},
      {"1\tsurrogate \xED\xA0\x80\n", "line 1: the text is not valid UTF-8"},
      {"1\ta\r\n2\tb\r\n1\tc\r\n", "line 3: duplicate number 1"},
      {"94\t%s\n94\t%d\n", "line 2: duplicate number 94"},  // a refused line still counts
      {"A.B.C\tx\nA.B.C\ty\n", "line 2: duplicate key A.B.C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    LanguageModule m;
    m.texts[7] = "before";
    std::string error;
    EXPECT_FALSE(ParseLanguageModule(c.content, m, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(m.texts, (std::map<int, std::string>{{7, "before"}}));  // untouched
    EXPECT_TRUE(m.formTexts.empty());
  }
}

TEST(LanguageModule, FileIsReadOrTheReasonGiven) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/kvx-lang-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string path = dir + "/korvanex.FRA";
  std::ofstream(path, std::ios::binary) << "464\t Korvanex FR \nA.B.C\tx\n";

  LanguageModule m;
  std::string error;
  ASSERT_TRUE(platform::LoadLanguageModule(path, m, &error)) << error;
  EXPECT_EQ(m.texts.at(464), " Korvanex FR ");

  EXPECT_FALSE(platform::LoadLanguageModule(dir + "/korvanex.ITA", m, &error));
  EXPECT_EQ(error, "cannot be read: No such file or directory");
  EXPECT_FALSE(platform::LoadLanguageModule(dir, m, &error));
  EXPECT_EQ(error, "cannot be read: Is a directory");
  if (::geteuid() != 0) {
    fs::permissions(path, fs::perms::none);
    EXPECT_FALSE(platform::LoadLanguageModule(path, m, &error));
    EXPECT_EQ(error, "cannot be read: Permission denied");
  }
  EXPECT_EQ(m.texts.at(464), " Korvanex FR ");  // failures leave the module as it was
  fs::remove_all(dir);
}
