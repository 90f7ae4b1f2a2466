#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

namespace {

namespace fs = std::filesystem;
using platform::IniFile;
using Keys = std::vector<std::string>;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kvx-ini-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr) << std::strerror(errno);
    dir_ = tmpl;
    path_ = dir_ + "/test.ini";
  }
  void TearDown() override {
    platform::SetWriteFaultForTests(-1, 0);
    fs::remove_all(dir_);
  }

  void Put(const std::string& data) const { std::ofstream(path_, std::ios::binary) << data; }
  std::string Get() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Applies edit to a file holding before and returns what lands on disk.
  template <typename Edit>
  std::string Rewrite(const std::string& before, Edit edit) {
    Put(before);
    IniFile ini(path_);
    edit(ini);
    std::string error;
    EXPECT_TRUE(ini.UpdateFile(&error)) << error;
    EXPECT_FALSE(ini.Modified());
    return Get();
  }

  std::string dir_;
  std::string path_;
};

TEST_F(IniFileTest, ReadsLikeTheProfileFunctions) {
  Put(
      "top=before any section\n"
      "[Port]\n"
      "com=3\n"
      "  Baud  =  9600  \n"
      "Name=\"  quoted  \"\n"
      "Single='x y'\n"
      "Mixed=\"abc'\n"
      "Eq=a=b ; not a comment\n"
      ";Hidden=1\n"
      "#Hash=1\n"
      "just some text\n"
      "=orphan\n"
      "Empty=\n"
      "Com=4\n"
      "[ Other ]\n"
      "k=other\n"
      "[PORT]\n"
      "Late=merged\n"
      "\xC4=upper umlaut\n");
  IniFile ini(path_);

  struct Case {
    const char* section;
    const char* key;
    const char* expected;  // nullptr: missing, reads as the default
  };
  const Case cases[] = {
      {"PORT", "COM", "3"},  // case-insensitive, first duplicate wins
      {"port", "baud", "9600"},
      {"Port", "Name", "  quoted  "},
      {"Port", "Single", "x y"},
      {"Port", "Mixed", "\"abc'"},
      {"Port", "Eq", "a=b ; not a comment"},
      {"Port", "Empty", ""},
      {"Port", "Hidden", nullptr},
      {"Port", "#Hash", nullptr},
      {"Port", "just some text", nullptr},
      {"Port", "", nullptr},
      {"", "top", nullptr},
      {"Other", "K", "other"},
      {"Other", "com", nullptr},
      {"Port", "late", "merged"},
      {"Port", "\xC4", "upper umlaut"},
      {"Port", "\xE4", nullptr},  // only ASCII folds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<def>"), c.expected ? c.expected : "<def>");
    EXPECT_EQ(ini.ValueExists(c.section, c.key), c.expected != nullptr);
  }
  EXPECT_EQ(ini.ReadInteger("PORT", "COM", 0), 3);
  EXPECT_EQ(ini.ReadSection("port"), (Keys{"com", "Baud", "Name", "Single", "Mixed", "Eq", "Empty",
                                           "Late", "\xC4"}));
  EXPECT_FALSE(ini.Modified());
}

TEST_F(IniFileTest, IntegersAndBooleans) {
  struct Case {
    const char* text;
    int expected;  // -99 is the default
  };
  const Case cases[] = {
      {"42", 42},          {"-7", -7},          {"+5", 5},
      {"$1F", 31},         {"0x1f", 31},        {"0X1F", 31},
      {"-$10", -16},       {"$FFFFFFFF", -1},   {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},         {"2147483648", -99},
      {"$100000000", -99}, {"12abc", -99},      {"abc", -99},
      {"", -99},           {"0x", -99},         {"$", -99},
      {"1.5", -99},        {"- 5", -99},        {"\"12\"", 12},
  };
  std::string text = "[N]\n";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    text += "k" + std::to_string(i) + "=" + cases[i].text + "\n";
  }
  Put(text);
  IniFile ini(path_);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].text);
    EXPECT_EQ(ini.ReadInteger("N", "k" + std::to_string(i), -99), cases[i].expected);
  }

  Put("[B]\none=1\nzero=0\nfive=5\nword=true\n");
  IniFile b(path_);
  EXPECT_TRUE(b.ReadBool("B", "one", false));
  EXPECT_FALSE(b.ReadBool("B", "zero", true));
  EXPECT_TRUE(b.ReadBool("B", "five", false));
  EXPECT_TRUE(b.ReadBool("B", "word", true));
  EXPECT_FALSE(b.ReadBool("B", "word", false));
  EXPECT_TRUE(b.ReadBool("B", "missing", true));
}

TEST_F(IniFileTest, WriteBackChangesOnlyTheWrittenLine) {
  const std::string before =
      "; Hand-written notes\n"
      "\n"
      "[Com]\n"
      "  Port = 1\n"
      "Quoted = \"old\"\n"
      "# keep this\n"
      "\n"
      "[LABELS]\n"
      "Label1=First\n"
      "weird line\n"
      "Label1=Second\n";
  const std::string after = Rewrite(before, [](IniFile& ini) {
    ini.WriteInteger("COM", "port", 2);
    ini.WriteString("com", "QUOTED", "new value");
  });
  std::string expected = before;
  expected.replace(expected.find("  Port = 1"), 10, "  Port = 2");
  expected.replace(expected.find("\"old\""), 5, "\"new value\"");
  EXPECT_EQ(after, expected);
}

TEST_F(IniFileTest, NewKeysAndSectionsGoWhereExpected) {
  struct Case {
    const char* name;
    std::string before;
    std::string expected;
  };
  const Case cases[] = {
      {"key after the section's last key, before its trailing comment",
       "[A]\nx=1\n; about B\n\n[B]\ny=2\n",
       "[A]\nx=1\nNew=v\n; about B\n\n[B]\ny=2\n"},
      {"key right after the header of a section without keys",
       "[A]\n\n[B]\n", "[A]\nNew=v\n\n[B]\n"},
      {"missing section appended after a blank line", "[B]\ny=2\n",
       "[B]\ny=2\n\n[A]\nNew=v\n"},
      {"no second blank line", "[B]\ny=2\n\n", "[B]\ny=2\n\n[A]\nNew=v\n"},
      {"unterminated last line", "[B]\ny=2", "[B]\ny=2\n\n[A]\nNew=v\n"},
      {"new file", "", "[A]\nNew=v\n"},
      {"CRLF kept for old and new lines", "[A]\r\nx=1\r\n[B]\r\ny=2",
       "[A]\r\nx=1\r\nNew=v\r\n[B]\r\ny=2\r\n\r\n[C]\r\nk=1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Rewrite(c.before, [&](IniFile& ini) {
                ini.WriteString("A", "New", "v");
                if (c.before.find('\r') != std::string::npos) ini.WriteBool("C", "k", true);
              }),
              c.expected);
  }
}

TEST_F(IniFileTest, NewFileIsCreatedOnUpdate) {
  IniFile ini(path_);
  EXPECT_EQ(ini.FileName(), path_);
  EXPECT_TRUE(ini.LoadError().empty());
  EXPECT_FALSE(ini.SectionExists("S"));
  EXPECT_TRUE(ini.UpdateFile());  // nothing to write
  EXPECT_FALSE(fs::exists(path_));

  ini.WriteBool("S", "On", false);
  EXPECT_TRUE(ini.Modified());
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(Get(), "[S]\nOn=0\n");
}

TEST_F(IniFileTest, AwkwardValuesSurviveAReload) {
  struct Case {
    const char* value;
    const char* reads_back;
  };
  const Case cases[] = {
      {"  padded  ", "  padded  "}, {"\"quoted\"", "\"quoted\""}, {"'single'", "'single'"},
      {"\"", "\""},                 {"", ""},                     {"first\r\nsecond", "first"},
      {"\xff\x01 bytes", "\xff\x01 bytes"},
  };
  Put("[V]\nold1='was quoted'\nold2 = plain\n");
  IniFile ini(path_);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.value);
    const std::string key = "new" + std::to_string(i);
    ini.WriteString("V", key, c.value);
    ini.WriteString("V", "old1", c.value);  // replaces a quoted value
    ini.WriteString("V", "old2", c.value);  // replaces a plain one
    EXPECT_EQ(ini.ReadString("V", key, "<def>"), c.reads_back);
    EXPECT_EQ(ini.ReadString("V", "old1", "<def>"), c.reads_back);
    EXPECT_EQ(ini.ReadString("V", "old2", "<def>"), c.reads_back);
  }
  ASSERT_TRUE(ini.UpdateFile());

  // What is in memory is what the file says.
  IniFile reread(path_);
  EXPECT_EQ(reread.ReadSection("V"), ini.ReadSection("V"));
  for (const std::string& key : ini.ReadSection("V")) {
    SCOPED_TRACE(key);
    EXPECT_EQ(reread.ReadString("V", key, "<def>"), ini.ReadString("V", key, "<none>"));
  }

  // Line breaks in names cannot split the line either; blanks around them do not count.
  ini.WriteString(" V\nX", " new0 \r\njunk", "replaced");
  EXPECT_EQ(ini.ReadString("v", "NEW0", "<def>"), "replaced");
  EXPECT_EQ(ini.ReadSection("V").size(), reread.ReadSection("V").size());
}

TEST_F(IniFileTest, ModifiedTracksRealChanges) {
  Put("[A]\nx=1\nq=\"v\"\n");
  IniFile ini(path_);
  ini.WriteString("a", "X", "1");
  ini.WriteString("A", "q", "v");
  ini.DeleteKey("A", "missing");
  ini.EraseSection("missing");
  ini.WriteString("A", "", "ignored");
  EXPECT_FALSE(ini.Modified());
  ini.WriteInteger("A", "x", 2);
  EXPECT_TRUE(ini.Modified());
}

TEST_F(IniFileTest, DeleteKeyAndEraseSection) {
  const std::string before =
      "[A]\n"
      "x=1\n"
      "; note\n"
      "y=2\n"
      "X=3\n"
      "\n"
      "[B]\n"
      "z=1\n"
      "[a]\n"
      "x=4\n"
      "w=5\n";
  EXPECT_EQ(Rewrite(before, [](IniFile& ini) {
              ini.DeleteKey("a", "X");
              EXPECT_FALSE(ini.ValueExists("A", "x"));
              EXPECT_EQ(ini.ReadSection("A"), (Keys{"y", "w"}));
            }),
            "[A]\n; note\ny=2\n\n[B]\nz=1\n[a]\nw=5\n");
  EXPECT_EQ(Rewrite(before, [](IniFile& ini) {
              ini.EraseSection("A");
              EXPECT_FALSE(ini.SectionExists("a"));
              EXPECT_TRUE(ini.SectionExists("b"));
            }),
            "[B]\nz=1\n");

  // Like the Windows functions, a section is only there while it holds keys.
  Put("[Empty]\n; only a comment\n[Full]\nk=1\n");
  IniFile ini(path_);
  EXPECT_FALSE(ini.SectionExists("Empty"));
  EXPECT_TRUE(ini.SectionExists("FULL"));
  ini.DeleteKey("Full", "k");
  EXPECT_FALSE(ini.SectionExists("Full"));
}

TEST_F(IniFileTest, ByteOrderMarkIsKeptAndSkipped) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(Rewrite(bom + "[A]\nx=1\n",
                    [](IniFile& ini) {
                      EXPECT_EQ(ini.ReadInteger("A", "x", 0), 1);
                      ini.EraseSection("A");
                      ini.WriteString("B", "y", "2");
                    }),
            bom + "[B]\ny=2\n");
}

TEST_F(IniFileTest, FailedUpdateKeepsChangesForRetry) {
  const std::string before = "[A]\nx=1\n";
  Put(before);
  IniFile ini(path_);
  ini.WriteString("A", "x", "2");

  platform::SetWriteFaultForTests(3, ENOSPC);
  std::string error;
  EXPECT_FALSE(ini.UpdateFile(&error));
  EXPECT_EQ(error, std::strerror(ENOSPC));
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(Get(), before);

  platform::SetWriteFaultForTests(-1, 0);
  EXPECT_TRUE(ini.UpdateFile(&error)) << error;
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(Get(), "[A]\nx=2\n");
}

TEST_F(IniFileTest, UnreadableFileIsNotOverwritten) {
  fs::create_directory(path_);  // reading a folder fails on every account, root included
  IniFile ini(path_);
  EXPECT_EQ(ini.LoadError(), std::strerror(EISDIR));
  EXPECT_TRUE(ini.UpdateFile());  // nothing changed, nothing to lose

  ini.WriteString("A", "x", "1");
  std::string error;
  EXPECT_FALSE(ini.UpdateFile(&error));
  EXPECT_EQ(error, std::strerror(EISDIR));
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
