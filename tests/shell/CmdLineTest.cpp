#include "shell/CmdLine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Exception.h"

namespace {

using Params = std::vector<std::pair<std::string, std::string>>;  // name ("" = bare), value

// The message of the platform::Exception the call raises; "" when it raises none.
std::string FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::Exception& e) {
    return e.Message().empty() ? std::string("<empty message>") : e.Message();
  }
  return {};
}

// A failure message must name its cause.
::testing::AssertionResult Holds(const std::string& message, const std::string& part) {
  if (message.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "message \"" << message << "\" lacks \"" << part << "\"";
}

// Every parameter in order by index, and each named one by its name too.
void ExpectParams(const TCmdLine& cmd, const Params& expected) {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& [name, value] = expected[i];
    EXPECT_EQ(cmd.GetParametre(static_cast<int>(i)), value) << "index " << i;
    if (!name.empty()) {
      EXPECT_EQ(cmd.GetParametre(name), value) << "name " << name;
    }
  }
  EXPECT_EQ(cmd.GetParametre(static_cast<int>(expected.size())), "") << "one past the last";
}

struct ArgsCase {
  std::vector<std::string> args;
  std::string path;
  std::string file;
  Params params;
};

TEST(CmdLineTest, ArgumentsGiveProgramPathAndParameters) {
  const ArgsCase cases[] = {
      {{"/usr/bin/korvanex", "/prj=/home/u/Sites/Alpha.srd"},
       "/usr/bin/", "korvanex", {{"prj", "/home/u/Sites/Alpha.srd"}}},
      {{"/opt/kvx/korvanex", "/PRJ=Beta.SRD"}, "/opt/kvx/", "korvanex", {{"prj", "Beta.SRD"}}},
      {{"korvanex", "/verbose"}, "", "korvanex", {{"verbose", "1"}}},
      {{"/korvanex"}, "/", "korvanex", {}},
      // The first sign splits; a value from the process may hold blanks.
      {{"./bin/korvanex", "Plain File.srd", "/a=b=c", "/name=a b"},
       "./bin/", "korvanex", {{"", "Plain File.srd"}, {"a", "b=c"}, {"name", "a b"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    TCmdLine cmd;
    cmd.CommandeLigneToListe(c.args);
    EXPECT_EQ(cmd.GetPath(), c.path);
    EXPECT_EQ(cmd.GetFile(), c.file);
    EXPECT_EQ(cmd.GetFilePath(), c.args.front());
    EXPECT_EQ(cmd.DonneNombreDeParametres(), static_cast<int>(c.args.size()));
    ExpectParams(cmd, c.params);
  }
}

TEST(CmdLineTest, NamesMatchInAnyCaseAndBareValuesHaveNoName) {
  TCmdLine cmd;
  cmd.CommandeLigneToListe({"/usr/bin/korvanex", "/Prj=/home/U/Alpha.srd", "Alpha.srd"});
  for (const char* name : {"prj", "Prj", "PRJ"}) EXPECT_EQ(cmd.GetParametre(name), "/home/U/Alpha.srd") << name;
  EXPECT_EQ(cmd.GetParametre("absent"), "");
  // The bare value is reachable by index only.
  EXPECT_EQ(cmd.GetParametre(1), "Alpha.srd");
  EXPECT_EQ(cmd.GetParametre(""), "");
  EXPECT_EQ(cmd.GetParametre("Alpha.srd"), "");
  EXPECT_EQ(cmd.GetParametre(-1), "");

  // A second command line replaces the first entirely.
  cmd.CommandeLigneToListe({"/other/korvanex", "/verbose"});
  EXPECT_EQ(cmd.GetParametre("prj"), "");
  EXPECT_EQ(cmd.GetParametre(1), "");
  EXPECT_EQ(cmd.GetPath(), "/other/");
}

TEST(CmdLineTest, MalformedTokensFailWithTheTokenAsTyped) {
  for (const char* token : {"/=x", "/=", "/prj=", "/PRJ="}) {
    TCmdLine cmd;
    const std::string message = FailureOf([&] { cmd.CommandeLigneToListe({"/usr/bin/korvanex", token}); });
    EXPECT_TRUE(Holds(message, token)) << token;
  }
}

TEST(CmdLineTest, SeparatorAndSignAreStoredInLowerCase) {
  TCmdLine cmd;
  EXPECT_EQ(cmd.Separateur(), "/");
  EXPECT_EQ(cmd.Affecteur(), "=");
  cmd.SetSeparateur("-X");
  cmd.SetAffecteur(":");
  EXPECT_EQ(cmd.Separateur(), "-x");
  cmd.CommandeLigneToListe({"korvanex", "-Xprj:Value", "-xflag", "/prj=other"});
  ExpectParams(cmd, {{"prj", "Value"}, {"flag", "1"}, {"", "/prj=other"}});
  EXPECT_EQ(cmd.GetParamValeur(0), "-xprj:Value");
}

struct StringCase {
  std::string text;
  std::string path;
  std::string file;
  Params params;
};

TEST(CmdLineTest, CommandStringSplitsAtBlanksOutsideQuotes) {
  const StringCase cases[] = {
      {R"("/home/u/My Apps/korvanex" /name="a b" /prj=/x/Y.srd)",
       "/home/u/My Apps/", "korvanex", {{"name", "a b"}, {"prj", "/x/Y.srd"}}},
      {R"(   /usr/bin/korvanex   "quoted path/File.srd"   /v   )",
       "/usr/bin/", "korvanex", {{"", "quoted path/File.srd"}, {"v", "1"}}},
      {R"(korvanex /prj="x" next)", "", "korvanex", {{"prj", "x"}, {"", "next"}}},
      // A quote after the first blank belongs to the next token.
      {R"(korvanex /flag "two words")", "", "korvanex", {{"flag", "1"}, {"", "two words"}}},
      {R"(korvanex "open ended)", "", "korvanex", {{"", "open ended"}}},
      {"  \t ", "", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TCmdLine cmd;
    cmd.CommandeStringToListe(c.text);
    EXPECT_EQ(cmd.GetCommande(), c.text);
    EXPECT_EQ(cmd.GetPath(), c.path);
    EXPECT_EQ(cmd.GetFile(), c.file);
    if (!c.file.empty()) {
      EXPECT_EQ(cmd.DonneNombreDeParametres(), static_cast<int>(c.params.size()) + 1);
    }
    ExpectParams(cmd, c.params);
  }
}

TEST(CmdLineTest, CommandStringFailureShowsTheTokenAsTyped) {
  TCmdLine cmd;
  EXPECT_TRUE(Holds(FailureOf([&] { cmd.CommandeStringToListe("korvanex /Name= /ok"); }), "/Name="));
}

TEST(CmdLineTest, StructToStringRoundTrips) {
  TCmdLine built;
  built.SetPath("/home/u/My Apps/");
  built.SetFile("korvanex");
  built.SetNewParam("Prj", "/home/u/Sites/Beta Site.srd");
  built.SetNewParam("", "bare path.srd");
  built.SetNewParam("verbose", "");
  const std::string text = built.CommandeStructToString();
  EXPECT_EQ(text, R"("/home/u/My Apps/korvanex" /prj="/home/u/Sites/Beta Site.srd" "bare path.srd" /verbose=1 )");
  EXPECT_EQ(built.GetCommande(), text);
  EXPECT_EQ(built.GetParamValeur(0), R"(/prj="/home/u/Sites/Beta Site.srd")");
  EXPECT_EQ(built.GetParamValeur(3), "");

  TCmdLine read;
  read.CommandeStringToListe(text);
  EXPECT_EQ(read.GetFilePath(), "/home/u/My Apps/korvanex");
  ExpectParams(read, {{"prj", "/home/u/Sites/Beta Site.srd"}, {"", "bare path.srd"}, {"verbose", "1"}});
  EXPECT_EQ(read.CommandeStructToString(), text);

  // The process's own arguments come back as one command line.
  TCmdLine fromArgs;
  EXPECT_EQ(fromArgs.RenseigneAppCmdLine({"/home/u/My Apps/korvanex", "/Prj=/home/u/Sites/Beta Site.srd",
                                          "bare path.srd", "/verbose"}),
            text);
}

TEST(CmdLineTest, StructToStringNeedsTheProgramFile) {
  TCmdLine empty;
  EXPECT_NE(FailureOf([&] { empty.CommandeStructToString(); }), "");

  TCmdLine folderOnly;
  EXPECT_NE(FailureOf([&] { folderOnly.RenseigneAppCmdLine({"/usr/bin/", "/prj=x"}); }), "");
  EXPECT_EQ(folderOnly.GetParametre("prj"), "x");
}

TEST(CmdLineTest, SettersChangeOrRefuse) {
  TCmdLine cmd;
  cmd.CommandeLigneToListe({"/usr/bin/korvanex", "/prj=a", "bare"});

  cmd.SetValeur("PRJ", "New Value");
  cmd.SetValeur(1, "other");
  ExpectParams(cmd, {{"prj", "New Value"}, {"", "other"}});

  EXPECT_TRUE(Holds(FailureOf([&] { cmd.SetValeur("Missing", "v"); }), "Missing"));
  EXPECT_NE(FailureOf([&] { cmd.SetValeur("", "v"); }), "");
  EXPECT_TRUE(Holds(FailureOf([&] { cmd.SetValeur(2, "v"); }), "2"));
  EXPECT_TRUE(Holds(FailureOf([&] { cmd.SetValeur(-1, "v"); }), "-1"));

  EXPECT_TRUE(Holds(FailureOf([&] { cmd.SetNewParam("two words", "v"); }), "two words"));
  cmd.SetNewParam("Flag", "");
  EXPECT_EQ(cmd.GetParametre("flag"), "1");
  EXPECT_EQ(cmd.GetParametre(2), "1");
  EXPECT_EQ(cmd.GetParametre(3), "");
}

}  // namespace
