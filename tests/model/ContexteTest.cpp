#include "model/Contexte.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Version.h"
#include "support/TempHome.h"

namespace {

namespace fs = std::filesystem;

class ContexteTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetWriteFaultForTests(-1, 0);
    SetSettingsErrorHandler({});
    ::unsetenv("XDG_CONFIG_HOME");
    if (!oldCwd_.empty()) fs::current_path(oldCwd_);
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteSettingsFile(const std::string& text) const {
    fs::create_directories(fs::path(home_.SettingsFile()).parent_path());
    std::ofstream(home_.SettingsFile(), std::ios::binary) << text;
  }
  // Settings errors land here instead of standard error.
  void CollectErrors() {
    SetSettingsErrorHandler([this](const std::string& message) { errors_.push_back(message); });
  }
  // The context of a new start, after the previous one wrote its settings back.
  static TContexte& Restart() {
    FreeContexte();
    return GetContexte();
  }

  TempHome home_;
  std::vector<std::string> errors_;
  fs::path oldCwd_;
};

}  // namespace

TEST_F(ContexteTest, FirstStartCreatesTheSettingsFileWithItsDefaults) {
  ASSERT_FALSE(fs::exists(home_.Path() + "/.config"));
  TContexte& ctx = GetContexte();
  const std::string& home = home_.Path();
  EXPECT_EQ(ctx.SettingsFolder(), home + "/.config/Korvanex");
  EXPECT_EQ(ctx.SettingsFilePath(), home_.SettingsFile());
  EXPECT_EQ(ctx.DocumentsFolder(), home);
  EXPECT_EQ(Slurp(home_.SettingsFile()),
            "[GENERAL]\nCOM=1\nSAVE_AS_PATH=" + home + "\nLOADSAVEPATH=" + home + "\nUPLOADEDPATH=" + home +
                "\n\n[MULTILANGUE]\nLANGUEDEFAUT=\n\n[POINT]\nAVSA=1\n");

  EXPECT_EQ(ctx.PanelType(), 7);
  EXPECT_EQ(ctx.ComPort(), 1);
  EXPECT_FALSE(ctx.Trace());
  EXPECT_FALSE(ctx.Log());
  EXPECT_TRUE(ctx.Avsa());
  EXPECT_EQ(ctx.LangueDefaut(), "");
  EXPECT_EQ(ctx.LoadSavePath(), home);
  EXPECT_EQ(ctx.SaveAsPath(), home);
  EXPECT_EQ(ctx.UploadedPath(), home);
  EXPECT_EQ(ctx.HelpFilePath(), platform::ProgramFolder() + "/Help.html");
  EXPECT_EQ(&GetContexte(), &ctx);  // one context

  // The empty language written at the first start reads back empty, not as the default.
  EXPECT_EQ(Restart().LangueDefaut(), "");
}

TEST_F(ContexteTest, HandWrittenSettingsAreReadAndSurviveTheWriteBack) {
  const std::string original =
      "; kept by hand\r\n"
      "[general]\r\n"
      "com=3\r\n"
      "TRACE=1\r\n"
      "log = 1\r\n"
      "[LABELS]\r\n"
      "SHOWZONE=1\r\n"
      "Layout=Sheet 3x8\r\n"
      "[Point]\r\n"
      "Avsa=0\r\n";
  WriteSettingsFile(original);
  TContexte& ctx = GetContexte();
  EXPECT_EQ(ctx.ComPort(), 3);
  EXPECT_TRUE(ctx.Trace());
  EXPECT_TRUE(ctx.Log());
  EXPECT_FALSE(ctx.Avsa());
  EXPECT_EQ(ctx.LangueDefaut(), "LANGUE_ANGLAIS");  // missing key: its default
  EXPECT_EQ(ctx.LoadSavePath(), home_.Path());

  ctx.SetComPort(4);
  ctx.SetLangueDefaut("LANGUE_FRANCAIS");
  FreeContexte();
  const std::string written = Slurp(home_.SettingsFile());
  for (const char* line : {"; kept by hand\r\n", "[general]\r\n", "TRACE=1\r\n", "log = 1\r\n", "[LABELS]\r\n",
                           "SHOWZONE=1\r\n", "Layout=Sheet 3x8\r\n", "[Point]\r\n"}) {
    EXPECT_NE(written.find(line), std::string::npos) << line;
  }
  platform::IniFile ini(home_.SettingsFile());
  EXPECT_EQ(ini.ReadInteger("GENERAL", "COM", 0), 4);
  EXPECT_EQ(ini.ReadString("MULTILANGUE", "LANGUEDEFAUT", ""), "LANGUE_FRANCAIS");
  EXPECT_EQ(ini.ReadString("GENERAL", "LOADSAVEPATH", ""), home_.Path());
  EXPECT_EQ(ini.ReadSection("LABELS"), (std::vector<std::string>{"SHOWZONE", "Layout"}));
  EXPECT_EQ(ini.ReadSection("GENERAL").front(), "com");  // updated in place

  TContexte& again = GetContexte();
  EXPECT_EQ(again.ComPort(), 4);
  EXPECT_TRUE(again.Trace());
  EXPECT_FALSE(again.Avsa());
}

TEST_F(ContexteTest, RememberedFoldersMustBeAbsoluteExistingFolders) {
  const std::string home = home_.Path();
  const std::string docs = home + "/docs";
  fs::create_directories(docs);
  fs::create_directories(home + "/.config");
  std::ofstream(home + "/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/docs\"\n";
  fs::create_directories(home + "/sites");
  std::ofstream(home + "/file") << "x";
  oldCwd_ = fs::current_path();
  fs::current_path(home);  // so that "sites" exists as a relative folder too

  struct Case {
    std::string value;
    std::string expected;
  };
  const Case cases[] = {
      {home + "/sites", home + "/sites"},
      {home + "/sites/", home + "/sites"},
      {"/", docs},
      {"//", docs},
      {"", docs},
      {"sites", docs},
      {"./sites", docs},
      {home + "/missing", docs},
      {home + "/file", docs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("'" + c.value + "'");
    FreeContexte();
    WriteSettingsFile("[GENERAL]\nLOADSAVEPATH=" + c.value + "\nSAVE_AS_PATH=" + c.value +
                      "\nUPLOADEDPATH=" + c.value + "\n");
    TContexte& ctx = GetContexte();
    EXPECT_EQ(ctx.DocumentsFolder(), docs);
    EXPECT_EQ(ctx.LoadSavePath(), c.expected);
    EXPECT_EQ(ctx.SaveAsPath(), c.expected);
    EXPECT_EQ(ctx.UploadedPath(), c.expected);
  }
}

TEST_F(ContexteTest, FoldersRememberedFromFilePaths) {
  const std::string home = home_.Path();
  fs::create_directories(home + "/a");
  fs::create_directories(home + "/gone");
  oldCwd_ = fs::current_path();
  fs::current_path(home);
  TContexte& ctx = GetContexte();

  struct Case {
    std::string filePath;
    std::string expected;  // LOADSAVEPATH afterwards
  };
  const Case cases[] = {
      {home + "/a/site.srd", home + "/a"},
      {home + "/missing/site.srd", home + "/a"},  // unchanged
      {"/site.srd", home + "/a"},
      {"site.srd", home + "/a"},
      {home + "/gone/site.srd", home + "/gone"},
      {"a/site.srd", home + "/a"},  // relative: against the current directory
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filePath);
    ctx.SetLoadSavePath(c.filePath);
    EXPECT_EQ(ctx.LoadSavePath(), c.expected);
  }
  ctx.SetSaveAsPath(home + "/gone/x.srd");
  ctx.SetUploadedPath(home + "/gone/x.srd");
  EXPECT_EQ(ctx.SaveAsPath(), home + "/gone");
  fs::remove(home + "/gone");
  EXPECT_EQ(ctx.UploadedPath(), home);  // a folder deleted meanwhile falls back
  ctx.SetLoadSavePath(home + "/gone/x.srd");
  EXPECT_EQ(ctx.LoadSavePath(), home + "/a");

  TContexte& again = Restart();
  EXPECT_EQ(again.LoadSavePath(), home + "/a");
  EXPECT_EQ(again.SaveAsPath(), home);  // its folder went away before the restart
}

TEST_F(ContexteTest, ConfigurationFolderFromTheEnvironment) {
  const std::string xdg = home_.Path() + "/xdg";
  ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  EXPECT_EQ(Restart().SettingsFilePath(), xdg + "/Korvanex/Korvanex.ini");
  EXPECT_TRUE(fs::exists(xdg + "/Korvanex/Korvanex.ini"));

  // A configuration folder that cannot exist: the settings go to the documents folder.
  std::ofstream(home_.Path() + "/plain") << "x";
  ::setenv("XDG_CONFIG_HOME", (home_.Path() + "/plain/cfg").c_str(), 1);
  CollectErrors();
  TContexte& ctx = Restart();
  EXPECT_EQ(ctx.SettingsFolder(), home_.Path());
  EXPECT_EQ(ctx.SettingsFilePath(), home_.Path() + "/Korvanex.ini");
  EXPECT_TRUE(fs::exists(home_.Path() + "/Korvanex.ini"));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(ContexteTest, UnwritableSettingsAreReportedAndNothingThrows) {
  CollectErrors();
  platform::SetWriteFaultForTests(0, ENOSPC);
  const std::string expected =
      "Unable to write the settings file\r\n" + home_.SettingsFile() + " :\r\n" + std::strerror(ENOSPC);

  // At the first start, with no settings file yet: the program goes on with defaults.
  TContexte* ctx = nullptr;
  ASSERT_NO_THROW(ctx = &GetContexte());
  EXPECT_EQ(ctx->ComPort(), 1);
  EXPECT_EQ(errors_, std::vector<std::string>{expected});
  EXPECT_FALSE(fs::exists(home_.SettingsFile()));

  // At shut-down.
  ctx->SetComPort(2);
  EXPECT_NO_THROW(FreeContexte());
  EXPECT_EQ(errors_, (std::vector<std::string>{expected, expected}));
  platform::SetWriteFaultForTests(-1, 0);

  // A read-only settings file, where permissions apply.
  if (::geteuid() != 0) {
    GetContexte().SetComPort(5);  // unchanged settings are not written at all
    ::chmod(home_.SettingsFile().c_str(), 0444);
    ::chmod(fs::path(home_.SettingsFile()).parent_path().c_str(), 0555);
    errors_.clear();
    EXPECT_NO_THROW(FreeContexte());
    ::chmod(fs::path(home_.SettingsFile()).parent_path().c_str(), 0755);
    EXPECT_EQ(errors_.size(), 1u);
  }
}

TEST_F(ContexteTest, PanelTypeRules) {
  struct Case {
    int type;
    bool evacuation, fscVariants, fsc, fscCie, t23, t45, t61011, t11, t7;
    int relays, crc;
  };
  const Case cases[] = {
      {1, false, false, false, false, false, false, false, false, false, 5, 0},
      {2, false, true, true, false, true, false, false, false, false, 5, 1},
      {3, false, true, false, true, true, false, false, false, false, 4, 1},
      {4, false, true, true, false, false, true, false, false, false, 5, 3},
      {5, false, true, false, true, false, true, false, false, false, 4, 3},
      {6, true, false, false, false, false, false, true, false, false, 5, 3},
      {7, true, false, false, false, false, false, false, false, true, 5, 1},
      {8, false, true, true, false, false, false, false, false, false, 5, 2},
      {9, false, true, false, true, false, false, false, false, false, 4, 2},
      {10, true, false, false, false, false, false, true, false, false, 5, 0},
      {11, true, false, false, false, false, false, true, true, false, 5, 0},
  };
  TContexte& ctx = GetContexte();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    ctx.SetCurrentPanelType(static_cast<std::uint8_t>(c.type));
    EXPECT_EQ(ctx.HasEvacuationModes(), c.evacuation);
    EXPECT_EQ(ctx.HasOptionCEvacuation(), c.evacuation);
    EXPECT_EQ(ctx.HasFscVariants(), c.fscVariants);
    EXPECT_EQ(ctx.IsFscVariant(), c.fsc);
    EXPECT_EQ(ctx.IsFscCieVariant(), c.fscCie);
    EXPECT_EQ(ctx.IsType2Or3(), c.t23);
    EXPECT_EQ(ctx.IsType4Or5(), c.t45);
    EXPECT_EQ(ctx.IsType6Or10Or11(), c.t61011);
    EXPECT_EQ(ctx.IsType11(), c.t11);
    EXPECT_EQ(ctx.IsType7(), c.t7);
    EXPECT_EQ(ctx.OnBoardRelayCount(), c.relays);
    EXPECT_EQ(ctx.CrcVariant(), c.crc);
    for (int other = 0; other < 256; ++other) {
      const int partner[] = {0, 0, 3, 2, 5, 4, 0, 0, 9, 8, 0, 0};
      EXPECT_EQ(ctx.IsCompatible(static_cast<std::uint8_t>(other)), other == c.type || (partner[c.type] != 0 && other == partner[c.type]))
          << other;
    }
  }
}

TEST_F(ContexteTest, SwitchingThePanelType) {
  TContexte& ctx = GetContexte();
  struct SetCase {
    int current, requested;
    bool accepted;
    int after;
  };
  const SetCase sets[] = {{7, 7, true, 7}, {7, 3, false, 7}, {2, 3, true, 3}, {3, 2, true, 2},
                          {9, 8, true, 8}, {4, 6, false, 4}, {1, 10, false, 1}};
  for (const SetCase& c : sets) {
    ctx.SetCurrentPanelType(static_cast<std::uint8_t>(c.current));
    EXPECT_EQ(ctx.SetPanelType(static_cast<std::uint8_t>(c.requested)), c.accepted) << c.current << "->" << c.requested;
    EXPECT_EQ(ctx.PanelType(), c.after);
  }
  struct FscCase {
    int current;
    bool security;
    int after;
  };
  const FscCase variants[] = {{2, true, 3}, {3, true, 3}, {4, true, 5}, {8, true, 9}, {3, false, 2},
                              {5, false, 4}, {9, false, 8}, {8, false, 8}, {7, true, 7}, {7, false, 7},
                              {1, true, 1}, {6, true, 6}, {11, false, 11}};
  for (const FscCase& c : variants) {
    ctx.SetCurrentPanelType(static_cast<std::uint8_t>(c.current));
    ctx.SelectFscVariant(c.security);
    EXPECT_EQ(ctx.PanelType(), c.after) << c.current << (c.security ? " +fsc" : " -fsc");
  }
  ctx.SetInstallerMode(true);  // does nothing
  EXPECT_TRUE(ctx.SettingsFlag());
}

TEST_F(ContexteTest, VersionFromTheBuild) {
  TContexte& ctx = GetContexte();
  EXPECT_EQ(ctx.VersionMajor(), platform::kVersionMajor);
  EXPECT_EQ(ctx.VersionMinor(), platform::kVersionMinor);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%2d.%02d", platform::kVersionMajor, platform::kVersionMinor);
  std::string text = expected;
  if (platform::kVersionRelease < 100) text += "B" + std::to_string(platform::kVersionRelease);
  EXPECT_EQ(ctx.VersionText(), text);
}
