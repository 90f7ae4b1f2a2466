#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kvx-atomic-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr) << std::strerror(errno);
    dir_ = tmpl;
  }
  void TearDown() override {
    platform::SetWriteFaultForTests(-1, 0);
    ::chmod(dir_.c_str(), 0700);
    fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static void Put(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Everything in the folder, to catch stray temporaries.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }
  static mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  }
  static bool Write(const std::string& path, const std::string& data, std::string* error = nullptr,
                    platform::AtomicStage* stage = nullptr) {
    return platform::WriteFileAtomic(path, data.data(), data.size(), error, stage);
  }

  std::string dir_;
};

TEST_F(AtomicFileTest, NewFileGetsContentsAndUmaskMode) {
  const mode_t old = ::umask(027);
  std::string error = "stale";
  platform::AtomicStage stage = platform::AtomicStage::Write;
  const std::string data("a\0b\r\n\xff", 6);
  const bool ok = Write(Path("new.ini"), data, &error, &stage);
  ::umask(old);

  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(stage, platform::AtomicStage::None);
  EXPECT_EQ(Get(Path("new.ini")), data);
  EXPECT_EQ(ModeOf(Path("new.ini")), 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"new.ini"});
}

TEST_F(AtomicFileTest, ReplacesExistingFileKeepingItsMode) {
  Put(Path("a.ini"), "old contents that are longer than the new ones");
  ASSERT_EQ(::chmod(Path("a.ini").c_str(), 0604), 0);

  ASSERT_TRUE(Write(Path("a.ini"), "new"));
  EXPECT_EQ(Get(Path("a.ini")), "new");
  EXPECT_EQ(ModeOf(Path("a.ini")), 0604u);

  ASSERT_TRUE(Write(Path("a.ini"), ""));
  EXPECT_EQ(Get(Path("a.ini")), "");
  EXPECT_EQ(Entries(), std::vector<std::string>{"a.ini"});
}

TEST_F(AtomicFileTest, FollowsSymlinkAndKeepsIt) {
  Put(Path("real.ini"), "old");
  fs::create_symlink("real.ini", Path("link.ini"));

  ASSERT_TRUE(Write(Path("link.ini"), "new"));
  EXPECT_TRUE(fs::is_symlink(Path("link.ini")));
  EXPECT_EQ(Get(Path("real.ini")), "new");
}

TEST_F(AtomicFileTest, InjectedFaultLeavesPreviousFileAndNoTemporary) {
  struct Case {
    long bytes;
    int err;
    bool ok;
  };
  const std::string data = "0123456789";
  const Case cases[] = {
      {0, ENOSPC, false},
      {1, EIO, false},
      {9, ENOSPC, false},
      {10, ENOSPC, true},  // the fault only hits beyond the given size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string previous = "previous\r\ncontents\n";
    Put(Path("s.ini"), previous);
    platform::SetWriteFaultForTests(c.bytes, c.err);
    std::string error;
    platform::AtomicStage stage = platform::AtomicStage::None;
    EXPECT_EQ(Write(Path("s.ini"), data, &error, &stage), c.ok);
    if (c.ok) {
      EXPECT_EQ(Get(Path("s.ini")), data);
    } else {
      EXPECT_EQ(error, std::strerror(c.err));
      EXPECT_EQ(stage, platform::AtomicStage::Write);
      EXPECT_EQ(Get(Path("s.ini")), previous);
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"s.ini"});
  }

  platform::SetWriteFaultForTests(-1, 0);
  EXPECT_TRUE(Write(Path("s.ini"), "after"));
  EXPECT_EQ(Get(Path("s.ini")), "after");
}

TEST_F(AtomicFileTest, MissingFolderFailsAtCreate) {
  std::string error;
  platform::AtomicStage stage = platform::AtomicStage::None;
  EXPECT_FALSE(Write(Path("no/such/folder/x.ini"), "data", &error, &stage));
  EXPECT_EQ(error, std::strerror(ENOENT));
  EXPECT_EQ(stage, platform::AtomicStage::Create);
  EXPECT_TRUE(Entries().empty());
  // The out-parameters are optional.
  EXPECT_FALSE(Write(Path("no/x.ini"), "data"));
}

TEST_F(AtomicFileTest, WriteProtectionIsRespected) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  Put(Path("ro.ini"), "keep me");
  ASSERT_EQ(::chmod(Path("ro.ini").c_str(), 0444), 0);
  std::string error;
  platform::AtomicStage stage = platform::AtomicStage::None;
  EXPECT_FALSE(Write(Path("ro.ini"), "new", &error, &stage));
  EXPECT_EQ(error, std::strerror(EACCES));
  EXPECT_EQ(stage, platform::AtomicStage::Create);
  EXPECT_EQ(Get(Path("ro.ini")), "keep me");

  // A writable file in a read-only folder cannot be replaced either.
  ASSERT_EQ(::chmod(Path("ro.ini").c_str(), 0644), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  EXPECT_FALSE(Write(Path("ro.ini"), "new", &error, &stage));
  EXPECT_EQ(error, std::strerror(EACCES));
  EXPECT_EQ(stage, platform::AtomicStage::Create);
  EXPECT_EQ(Get(Path("ro.ini")), "keep me");
  ASSERT_EQ(::chmod(dir_.c_str(), 0700), 0);
  EXPECT_EQ(Entries(), std::vector<std::string>{"ro.ini"});
}

}  // namespace
