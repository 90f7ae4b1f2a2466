#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace platform;

TEST(Paths, ComponentsOfAPath) {
  struct Case {
    const char* path;
    const char* filePath;
    const char* dir;
    const char* name;
    const char* ext;
    const char* asBak;
  };
  const Case cases[] = {
      {"/a/b.srd", "/a/", "/a", "b.srd", ".srd", "/a/b.bak"},
      {"/b.srd", "/", "/", "b.srd", ".srd", "/b.bak"},
      {"b.srd", "", "", "b.srd", ".srd", "b.bak"},
      {"/a.d/b", "/a.d/", "/a.d", "b", "", "/a.d/b.bak"},
      {"/a/b.tar.gz", "/a/", "/a", "b.tar.gz", ".gz", "/a/b.tar.bak"},
      {"/a/b/", "/a/b/", "/a/b", "", "", "/a/b/.bak"},
      {"/a/.srd", "/a/", "/a", ".srd", ".srd", "/a/.bak"},
      {"", "", "", "", "", ".bak"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFilePath(c.path), c.filePath);
    EXPECT_EQ(ExtractFileDir(c.path), c.dir);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
    EXPECT_EQ(ChangeFileExt(c.path, ".bak"), c.asBak);
  }
}

TEST(Paths, SeparatorsAndJoining) {
  EXPECT_EQ(ExcludeTrailingSeparator("/a/b/"), "/a/b");
  EXPECT_EQ(ExcludeTrailingSeparator("/a/b"), "/a/b");
  EXPECT_EQ(ExcludeTrailingSeparator("/"), "/");
  EXPECT_EQ(ExcludeTrailingSeparator(""), "");
  EXPECT_EQ(JoinPath("/a", "b.srd"), "/a/b.srd");
  EXPECT_EQ(JoinPath("/a/", "b.srd"), "/a/b.srd");
  EXPECT_EQ(JoinPath("/", "b.srd"), "/b.srd");
  EXPECT_EQ(JoinPath("", "b.srd"), "b.srd");
}

class PathsOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-paths-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const char* home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    oldHome_ = home ? home : "";
    hadXdg_ = xdg != nullptr;
    oldXdg_ = xdg ? xdg : "";
    ::setenv("HOME", dir_.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
  }
  void TearDown() override {
    ::setenv("HOME", oldHome_.c_str(), 1);
    if (hadXdg_) ::setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir_);
  }
  void WriteUserDirs(const std::string& line) {
    fs::create_directories(dir_ + "/.config");
    std::ofstream(dir_ + "/.config/user-dirs.dirs") << "# written by xdg-user-dirs-update\n" << line << "\n";
  }

  std::string dir_, oldHome_, oldXdg_;
  bool hadXdg_ = false;
};

TEST_F(PathsOnDisk, FoldersAndFiles) {
  const std::string file = dir_ + "/f.srd";
  std::ofstream(file) << "x";
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(dir_));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(DirectoryExists(dir_));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(DirectoryExists(""));

  EXPECT_TRUE(CreateDir(dir_ + "/one"));
  EXPECT_TRUE(CreateDir(dir_ + "/one"));  // already there
  EXPECT_FALSE(CreateDir(dir_ + "/two/three"));
  EXPECT_TRUE(CreateDirs(dir_ + "/two/three/"));
  EXPECT_TRUE(DirectoryExists(dir_ + "/two/three"));
  EXPECT_FALSE(CreateDir(file));

  EXPECT_TRUE(CopyFileAtomic(file, dir_ + "/one/copy.srd"));
  EXPECT_TRUE(FileExists(dir_ + "/one/copy.srd"));
  EXPECT_FALSE(CopyFileAtomic(dir_ + "/missing", dir_ + "/one/copy.srd"));
  EXPECT_TRUE(FileExists(dir_ + "/one/copy.srd"));

  EXPECT_TRUE(DeleteFileAt(file));
  EXPECT_FALSE(DeleteFileAt(file));
  EXPECT_TRUE(FileDate(dir_ + "/one/copy.srd").has_value());
  EXPECT_FALSE(FileDate(file).has_value());
}

TEST_F(PathsOnDisk, UserFolders) {
  EXPECT_EQ(HomeFolder(), dir_);
  EXPECT_EQ(ConfigHomeFolder(), dir_ + "/.config");
  EXPECT_EQ(DocumentsFolder(), dir_);

  WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"");
  EXPECT_EQ(DocumentsFolder(), dir_ + "/Dokumente");
  WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/\"");  // disabled: the home folder
  EXPECT_EQ(DocumentsFolder(), dir_);
  WriteUserDirs("XDG_DOCUMENTS_DIR=\"/srv/docs\"");
  EXPECT_EQ(DocumentsFolder(), "/srv/docs");

  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored, as the XDG rules say
  EXPECT_EQ(ConfigHomeFolder(), dir_ + "/.config");
  ::setenv("XDG_CONFIG_HOME", (dir_ + "/cfg/").c_str(), 1);
  EXPECT_EQ(ConfigHomeFolder(), dir_ + "/cfg");

  EXPECT_FALSE(ProgramFolder().empty());
  EXPECT_EQ(ExtractFileDir(ProgramFile()), ProgramFolder());
  EXPECT_EQ(CurrentDirectory(), fs::current_path().string());
}
