#include "model/Projet.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "support/TempHome.h"
#include "support/Checks.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class ProjetTest : public ::testing::Test {
 protected:
  void SetUp() override { At(1); }
  void TearDown() override {
    CloseDatabase();
    platform::SetFixedNow(std::nullopt);
    platform::SetWriteFaultForTests(-1, 0);
    if (!oldCwd_.empty()) fs::current_path(oldCwd_);
  }

  // Saves get distinct time stamps, so that files tell which save wrote them.
  static void At(int minute) { platform::SetFixedNow(platform::LocalDateTime{2031, 1, 1, 9, minute, 0}); }
  std::string PathOf(const std::string& name) const { return home_.Sub(name); }
  static Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static std::string StampOf(const Bytes& b) {
    return b.size() < 272 ? std::string() : std::string(b.begin() + 262, b.begin() + 272);
  }
  void EnterHome() {
    oldCwd_ = fs::current_path();
    fs::current_path(home_.Path());
  }
  std::vector<std::string> Entries(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempHome home_;
  fs::path oldCwd_;
};

}  // namespace

TEST_F(ProjetTest, OneDatabaseAtATime) {
  EXPECT_FALSE(IsDatabaseLoaded());
  CloseDatabase();  // nothing open: nothing happens

  NewDatabase("Alpha", home_.Path() + "/");
  TProjet* db = CurrentDatabase();
  ASSERT_NE(db, nullptr);
  EXPECT_NE(SiteImage, nullptr);
  EXPECT_EQ(db->Name(), "Alpha");
  EXPECT_EQ(db->Folder(), home_.Path());
  EXPECT_EQ(SiteFileName(*db), "Alpha.srd");
  EXPECT_EQ(DatabasePath(*db), PathOf("Alpha.srd"));
  EXPECT_EQ(db->CaptionText(), "[" + PathOf("Alpha.srd") + "]");
  EXPECT_FALSE(fs::exists(PathOf("Alpha.srd")));  // nothing written yet

  EXPECT_EQ(MessageOf([] { NewDatabase("Beta", "/tmp"); }),
            "Unable to create new [Beta] database :\r\nA database is already loaded");
  EXPECT_EQ(CurrentDatabase(), db);

  EXPECT_TRUE(DeleteSiteFile(*db));  // never saved
  SaveDatabase(*db);
  EXPECT_TRUE(fs::exists(PathOf("Alpha.srd")));
  EXPECT_TRUE(DeleteSiteFile(*db));
  EXPECT_FALSE(fs::exists(PathOf("Alpha.srd")));

  CloseDatabase();
  EXPECT_FALSE(IsDatabaseLoaded());
  EXPECT_EQ(SiteImage, nullptr);
}

TEST_F(ProjetTest, SavingTwiceKeepsTheFirstSaveAsBackup) {
  NewDatabase("Alpha", home_.Path());
  SaveDatabase(*CurrentDatabase());
  EXPECT_FALSE(fs::exists(PathOf("Alpha.bak")));
  const Bytes first = Read(PathOf("Alpha.srd"));

  At(2);
  SaveDatabase(*CurrentDatabase());
  EXPECT_EQ(Read(PathOf("Alpha.bak")), first);
  EXPECT_EQ(StampOf(Read(PathOf("Alpha.srd"))), "3101010902");

  // Saving elsewhere backs up the file there and leaves the database where it was.
  At(3);
  SaveDatabase(*CurrentDatabase(), PathOf("Alpha.srd.copy"));
  At(4);
  SaveDatabase(*CurrentDatabase(), PathOf("Alpha.srd.copy"));
  EXPECT_EQ(StampOf(Read(PathOf("Alpha.srd.bak"))), "3101010903");
  EXPECT_EQ(DatabasePath(*CurrentDatabase()), PathOf("Alpha.srd"));
  EXPECT_EQ(Entries(home_.Path()),
            (std::vector<std::string>{".config", "Alpha.bak", "Alpha.srd", "Alpha.srd.bak", "Alpha.srd.copy"}));
}

TEST_F(ProjetTest, FailedSaveKeepsThePreviousFileAndTheBackup) {
  NewDatabase("Alpha", home_.Path());
  SaveDatabase(*CurrentDatabase());
  At(2);
  SaveDatabase(*CurrentDatabase());
  const Bytes previous = Read(PathOf("Alpha.srd"));
  const Bytes backup = Read(PathOf("Alpha.bak"));

  At(3);
  CurrentDatabase()->Root()->SetModified(true);
  for (long after : {0L, 5000L, 10321L}) {
    SCOPED_TRACE(after);
    platform::SetWriteFaultForTests(after, ENOSPC);
    EXPECT_EQ(MessageOf([] { SaveDatabase(*CurrentDatabase()); }),
              "An error occurs while saving database :\r\nWrite datas error\r\n" + std::string(std::strerror(ENOSPC)));
    platform::SetWriteFaultForTests(-1, 0);
    EXPECT_EQ(Read(PathOf("Alpha.srd")), previous);
    EXPECT_EQ(Read(PathOf("Alpha.bak")), backup);
    EXPECT_EQ(Entries(home_.Path()), (std::vector<std::string>{".config", "Alpha.bak", "Alpha.srd"}));
    EXPECT_TRUE(IsDatabaseLoaded());
    EXPECT_TRUE(CurrentDatabase()->Root()->Modified()) << "the changes are still unsaved";
  }
  SaveDatabase(*CurrentDatabase());  // the next save works again
  EXPECT_FALSE(CurrentDatabase()->Root()->Modified());
  EXPECT_EQ(StampOf(Read(PathOf("Alpha.srd"))), "3101010903");
}

TEST_F(ProjetTest, SaveIntoAReadOnlyFolderFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  const std::string folder = PathOf("ro");
  fs::create_directory(folder);
  NewDatabase("Alpha", folder);
  SaveDatabase(*CurrentDatabase());
  const Bytes previous = Read(folder + "/Alpha.srd");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  At(2);
  const std::string message = MessageOf([] { SaveDatabase(*CurrentDatabase()); });
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(message.rfind("An error occurs while saving database :\r\n", 0), 0u) << message;
  EXPECT_NE(message.find(std::strerror(EACCES)), std::string::npos) << message;
  EXPECT_EQ(Read(folder + "/Alpha.srd"), previous);
}

TEST_F(ProjetTest, SaveCreatesOneMissingFolderLevel) {
  NewDatabase("Alpha", PathOf("new"));
  SaveDatabase(*CurrentDatabase());
  EXPECT_TRUE(fs::exists(PathOf("new/Alpha.srd")));

  const std::string deep = PathOf("a/b");
  EXPECT_EQ(MessageOf([&] { SaveDatabase(*CurrentDatabase(), deep + "/Alpha.srd"); }),
            "Unable to create backup directory : \r\n\r\n" + deep + ".");
  EXPECT_FALSE(fs::exists(PathOf("a")));
}

TEST_F(ProjetTest, OpenReadsTheChosenFileAndKeepsItsName) {
  NewDatabase("Alpha", home_.Path());
  SaveDatabase(*CurrentDatabase());
  At(2);
  SaveDatabase(*CurrentDatabase());
  CloseDatabase();
  fs::remove(PathOf("Alpha.srd"));  // only the backup is left

  At(3);
  OpenDatabase(PathOf("Alpha.bak"));
  ASSERT_TRUE(IsDatabaseLoaded());
  EXPECT_EQ(CurrentDatabase()->Name(), "Alpha");
  EXPECT_EQ(CurrentDatabase()->Folder(), home_.Path());
  EXPECT_EQ(StampOf(Bytes(SiteImage, SiteImage + kSiteImageSize)), "3101010901");
  SaveDatabase(*CurrentDatabase());
  EXPECT_EQ(StampOf(Read(PathOf("Alpha.srd"))), "3101010903");

  // A file saved under another name keeps its own name as the database's.
  fs::copy_file(PathOf("Alpha.srd"), PathOf("Copy.SRD"));
  OpenDatabase(PathOf("Copy.SRD"));
  EXPECT_EQ(CurrentDatabase()->Name(), "Copy");
  EXPECT_EQ(DatabasePath(*CurrentDatabase()), PathOf("Copy.srd"));
}

TEST_F(ProjetTest, PathsWithoutAFolderResolveAgainstTheCurrentDirectory) {
  EnterHome();
  NewDatabase("Rel", "");
  EXPECT_EQ(CurrentDatabase()->Folder(), home_.Path());
  SaveDatabase(*CurrentDatabase());
  EXPECT_TRUE(fs::exists(PathOf("Rel.srd")));
  SaveDatabase(*CurrentDatabase(), "sub/Other.srd");
  EXPECT_TRUE(fs::exists(PathOf("sub/Other.srd")));
  CloseDatabase();

  OpenDatabase("Rel.srd");
  EXPECT_EQ(CurrentDatabase()->Folder(), home_.Path());
  EXPECT_EQ(DatabasePath(*CurrentDatabase()), PathOf("Rel.srd"));
  CloseDatabase();
  OpenDatabase("sub/Other.srd");
  EXPECT_EQ(CurrentDatabase()->Folder(), PathOf("sub"));

  EXPECT_EQ(MessageOf([] { OpenDatabase("Nowhere.srd"); }), "Unable to load\r\nNowhere.srd\r\nZavo database.");
}
