// The lock files of serial devices: what a lock folder may hold and what taking the lock
// then does with it, a second taker in this process and in a forked child, a folder this
// user cannot write, and the port's open and close: every link to a device shares its
// lock, and no failed open leaves one behind.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "serial/LockDir.h"
#include "serial/PortHolder.h"
#include "serial/PortLock.h"
#include "serial/PtyPair.h"
#include "serial/SlConst.h"
#include "serial/SwPosixDispatcher.h"

namespace {

namespace fs = std::filesystem;
using serialtest::PortHolder;
using serialtest::PtyPair;

constexpr const char* kDevice = "/dev/ttyKVX9";  // the lock alone never opens its device

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string LockText(pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  return text;
}

// A process number that surely belongs to no live process: a child that has been reaped.
pid_t DeadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

std::string RealPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  std::string out = real != nullptr ? real : "";
  std::free(real);
  return out;
}

// In a forked child: root becomes nobody, anyone else stays who it is.
bool BecomeNobodyIfRoot(const passwd* nobody) {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) == 0 &&
         setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) == 0;
}

std::int32_t Open(TSioBaseDispatcher& d, const char* name) {
  return d.InitPort(name, 9600, 0, 8, 1, 4096, 4096, ipDtrOn | ipRtsOn);
}

// Every test here has its own lock folder, so that tests running side by side never meet.
class PortLockTest : public ::testing::Test {
 protected:
  std::string LockOf(const std::string& device) const { return Dir() + "/" + PortLockName(device); }

  // The names in the lock folder, sorted: a stray temporary file shows here too.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Whether path is the lock this process made: "%10d\n" of our PID, readable by all.
  static ::testing::AssertionResult IsOurLock(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return ::testing::AssertionFailure() << path << " is missing";
    if (!S_ISREG(st.st_mode)) return ::testing::AssertionFailure() << path << " is not a plain file";
    if ((st.st_mode & 07777) != 0644)
      return ::testing::AssertionFailure() << "mode " << std::oct << (st.st_mode & 07777);
    const std::string text = ReadFile(path).value_or("");
    if (text != LockText(getpid())) return ::testing::AssertionFailure() << "holds \"" << text << "\"";
    return ::testing::AssertionSuccess();
  }

  serialtest::LockDir lockDir_;
  const std::string& Dir() const { return lockDir_.Path(); }
};

TEST(PortLockName, IsTheDevicePathUnderDevWithSlashesAsUnderscores) {
  const std::pair<const char*, const char*> cases[] = {
      {"/dev/ttyS0", "LCK..ttyS0"},
      {"/dev/ttyUSB3", "LCK..ttyUSB3"},
      {"/dev/pts/12", "LCK..pts_12"},
      {"/dev/usb/tts/0", "LCK..usb_tts_0"},
      {"/srv/ports/ttyX1", "LCK..ttyX1"},  // outside /dev: its last element
  };
  for (const auto& [device, name] : cases) EXPECT_EQ(PortLockName(device), name) << device;
}

TEST(PortLockDir, IsVarLockUnlessSet) {
  EXPECT_EQ(PortLockDir(), "/var/lock");
  SetPortLockDir("/tmp/elsewhere");
  EXPECT_EQ(PortLockDir(), "/tmp/elsewhere");
  SetPortLockDir("");
  EXPECT_EQ(PortLockDir(), "/var/lock");
}

// The real folder, as every other program on the machine sees it.
TEST(PortLockDir, AnOpenPortHoldsItsLockInVarLock) {
  if (access("/var/lock", W_OK | X_OK) != 0) GTEST_SKIP() << "/var/lock is not writable here";
  PtyPair pty;
  const std::string lock = "/var/lock/" + PortLockName(RealPath(pty.SlavePath()));
  ASSERT_FALSE(fs::exists(lock)) << "left by someone: " << lock;
  {
    TSioPosixDispatcher d(nullptr);
    ASSERT_EQ(Open(d, "COM7"), ecOK);
    EXPECT_EQ(ReadFile(lock).value_or("(none)"), LockText(getpid()));
    d.DonePort();
    EXPECT_FALSE(fs::exists(lock));
  }
  EXPECT_FALSE(fs::exists(lock));
}

TEST_F(PortLockTest, TakingTheLockDependsOnWhatTheFolderHolds) {
  enum Plant { kNothing, kText, kSymlink, kFolder };
  struct Case {
    const char* what;
    Plant plant;
    std::string text;
    bool taken;
  };
  const pid_t live = getppid();  // whoever started this test lives as long as it runs
  const Case cases[] = {
      {"nothing", kNothing, "", true},
      {"a live process's lock", kText, LockText(live), false},
      {"a live process's lock without padding", kText, std::to_string(live) + "\n", false},
      {"a live lock with the owner's name and user after the number", kText,
       LockText(live).substr(0, 10) + " term root\n", false},
      {"a dead process's lock", kText, LockText(DeadPid()), true},
      {"our own number, left by an earlier process", kText, LockText(getpid()), true},
      {"garbage", kText, "garbage\n", true},
      {"an empty file", kText, "", true},
      {"PID 0", kText, LockText(0), true},
      {"digits and junk", kText, "123abc\n", true},
      {"a number too large for a PID", kText, "99999999999\n", true},
      {"a symlink", kSymlink, "", true},
      {"a folder, which cannot be read and so may be live", kFolder, "", false},
  };
  const std::string target = Dir() + ".target";  // outside the folder, never to be touched
  WriteFile(target, "keep\n");
  const std::string path = LockOf(kDevice);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    switch (c.plant) {
      case kNothing: break;
      case kText: WriteFile(path, c.text); break;
      case kSymlink: fs::create_symlink(target, path); break;
      case kFolder: fs::create_directory(path); break;
    }
    {
      TPortLock lock;
      if (c.taken) {
        EXPECT_EQ(lock.Acquire(kDevice), ecOK);
        EXPECT_EQ(lock.Path(), path);
        EXPECT_TRUE(IsOurLock(path));
        EXPECT_EQ(Entries(), std::vector<std::string>{PortLockName(kDevice)});
        lock.Release();
        EXPECT_TRUE(Entries().empty());
      } else {
        EXPECT_EQ(lock.Acquire(kDevice), ecAccessDenied);
        EXPECT_TRUE(lock.Path().empty());
      }
    }
    if (!c.taken) {
      // Untouched, also by the lock object's end.
      if (c.plant == kText) {
        EXPECT_EQ(ReadFile(path), c.text);
      } else if (c.plant == kFolder) {
        EXPECT_TRUE(fs::is_directory(path));
      }
      EXPECT_EQ(Entries(), std::vector<std::string>{PortLockName(kDevice)});
    }
    EXPECT_EQ(ReadFile(target), "keep\n");
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::remove(target);
}

TEST_F(PortLockTest, ASecondTakerInThisProcessIsDeniedUntilTheFirstGivesItBack) {
  auto first = std::make_unique<TPortLock>();
  ASSERT_EQ(first->Acquire(kDevice), ecOK);
  TPortLock second;
  EXPECT_EQ(second.Acquire(kDevice), ecAccessDenied);
  EXPECT_TRUE(IsOurLock(LockOf(kDevice)));
  TPortLock other;  // another device is free meanwhile
  EXPECT_EQ(other.Acquire("/dev/ttyKVX8"), ecOK);
  first.reset();
  EXPECT_EQ(Entries(), std::vector<std::string>{PortLockName("/dev/ttyKVX8")});
  EXPECT_EQ(second.Acquire(kDevice), ecOK);
  EXPECT_TRUE(IsOurLock(LockOf(kDevice)));
}

// A forked child inherits the lock object but not the lock: giving back its copy leaves the
// parent's lock alone, and it takes the lock once the parent gave it back, not before.
TEST_F(PortLockTest, AForkedChildDoesNotShareTheLock) {
  TPortLock parent;
  ASSERT_EQ(parent.Acquire(kDevice), ecOK);
  int status = 0;
  const pid_t releaser = fork();
  ASSERT_GE(releaser, 0);
  if (releaser == 0) {
    parent.Release();
    _exit(0);
  }
  ASSERT_EQ(waitpid(releaser, &status, 0), releaser);
  EXPECT_TRUE(IsOurLock(LockOf(kDevice))) << "the child's copy removed the parent's lock";

  int done[2], go[2];
  ASSERT_EQ(pipe(done), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t taker = fork();
  ASSERT_GE(taker, 0);
  if (taker == 0) {
    ::close(done[0]);
    ::close(go[1]);
    char failures = 0;
    TPortLock early;
    if (early.Acquire(kDevice) != ecAccessDenied) failures |= 1;  // the parent holds it
    char c;
    if (::write(done[1], &failures, 1) != 1 || ::read(go[0], &c, 1) != 1) _exit(100);
    TPortLock late;
    if (late.Acquire(kDevice) != ecOK) failures |= 2;
    late.Release();
    _exit(failures);
  }
  ::close(done[1]);
  ::close(go[0]);
  char early = -1;
  ASSERT_EQ(::read(done[0], &early, 1), 1);
  ::close(done[0]);
  EXPECT_EQ(early, 0) << "the child took its parent's lock";
  EXPECT_TRUE(IsOurLock(LockOf(kDevice)));
  parent.Release();
  ASSERT_EQ(::write(go[1], "g", 1), 1);
  ::close(go[1]);
  ASSERT_EQ(waitpid(taker, &status, 0), taker);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "the child could not take the lock once it was free";
  EXPECT_TRUE(Entries().empty());
}

// A folder this user may not write: no lock to take, but a live one is still respected and
// a stale one stays. Root writes every folder, so then a child checks as nobody.
TEST_F(PortLockTest, AFolderThatTakesNoLockFile) {
  const std::string path = LockOf(kDevice);
  const std::string dead = LockText(DeadPid());
  const std::string live = LockText(getppid());
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() == 0 && nobody == nullptr) GTEST_SKIP() << "no user nobody to check as";
  ASSERT_EQ(chmod(Dir().c_str(), 0555), 0);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!BecomeNobodyIfRoot(nobody)) _exit(100);
    int failures = 0;
    TPortLock lock;
    if (lock.Acquire(kDevice) != ecOK || !lock.Path().empty()) failures |= 1;
    lock.Release();
    _exit(failures);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a free device in a folder that takes no lock is not free";
  EXPECT_TRUE(Entries().empty());

  struct Case {
    const char* what;
    std::string text;
    std::int32_t code;
  };
  for (const Case& c : {Case{"a live lock", live, ecAccessDenied}, Case{"a stale lock", dead, ecOK}}) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(chmod(Dir().c_str(), 0755), 0);
    WriteFile(path, c.text);
    ASSERT_EQ(chmod(Dir().c_str(), 0555), 0);
    const pid_t checker = fork();
    ASSERT_GE(checker, 0);
    if (checker == 0) {
      if (!BecomeNobodyIfRoot(nobody)) _exit(100);
      TPortLock lock;
      _exit(lock.Acquire(kDevice) == c.code && lock.Path().empty() ? 0 : 1);
    }
    ASSERT_EQ(waitpid(checker, &status, 0), checker);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path), c.text);  // neither removed nor replaced
  }
}

// ---- the port's open and close --------------------------------------------------------------

class PortOpenLockTest : public PortLockTest {
 protected:
  void SetUp() override {
    device_ = RealPath(pty_.SlavePath());
    ASSERT_FALSE(device_.empty());
  }
  std::string Lock() const { return LockOf(device_); }

  PtyPair pty_;  // COM7 links to its slave
  std::string device_;
};

TEST_F(PortOpenLockTest, TheOpenPortHoldsTheLockUntilItCloses) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, "COM7"), ecOK);
  EXPECT_TRUE(IsOurLock(Lock()));
  EXPECT_EQ(Entries(), std::vector<std::string>{PortLockName(device_)});
  d.DonePort();
  EXPECT_TRUE(Entries().empty());
  ASSERT_EQ(Open(d, "COM7"), ecOK);  // and again
  EXPECT_TRUE(IsOurLock(Lock()));
  d.Shutdown();
  EXPECT_TRUE(Entries().empty());
}

// COM8 links to COM7, COM9 to the device itself: one device, one lock, whichever name.
TEST_F(PortOpenLockTest, EveryLinkToADeviceSharesItsLock) {
  fs::create_symlink(pty_.Dir() + "/COM7", pty_.Dir() + "/COM8");
  fs::create_symlink(pty_.SlavePath(), pty_.Dir() + "/COM9");
  const std::string held = LockText(getppid());
  WriteFile(Lock(), held);
  for (const char* name : {"COM7", "COM8", "COM9"}) {
    TSioPosixDispatcher d(nullptr);
    EXPECT_EQ(Open(d, name), ecAccessDenied) << name;
  }
  EXPECT_EQ(ReadFile(Lock()), held);
  fs::remove(Lock());

  TSioPosixDispatcher first(nullptr);
  ASSERT_EQ(Open(first, "COM8"), ecOK);
  EXPECT_EQ(Entries(), std::vector<std::string>{PortLockName(device_)});
  EXPECT_TRUE(IsOurLock(Lock()));
  for (const char* name : {"COM7", "COM9"}) {
    TSioPosixDispatcher d(nullptr);
    EXPECT_EQ(Open(d, name), ecAccessDenied) << name;
  }
  EXPECT_TRUE(IsOurLock(Lock()));  // the denied opens leave it alone
  first.DonePort();
  EXPECT_TRUE(Entries().empty());
}

// Each refusal after the lock was taken gives it back, and leaves the tty's exclusive flag
// as it found it.
TEST_F(PortOpenLockTest, AFailedOpenLeavesNoLockBehind) {
  fs::create_symlink("/dev/null", pty_.Dir() + "/COM9");  // a character device, not a tty
  struct Case {
    const char* what;
    const char* port;
    bool holder;
    std::int32_t code;
  };
  const Case cases[] = {
      {"not a tty", "COM9", false, ecFileNotFound},
      {"held with flock and TIOCEXCL by another process", "COM7", true, ecAccessDenied},
      {"no such port", "COM5", false, ecFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<PortHolder> holder;
    if (c.holder) {
      holder = std::make_unique<PortHolder>(pty_.SlavePath());
      ASSERT_TRUE(holder->Held());
    }
    TSioPosixDispatcher d(nullptr);
    EXPECT_EQ(Open(d, c.port), c.code);
    EXPECT_TRUE(Entries().empty());
    int exclusive = -1;
    ASSERT_EQ(ioctl(pty_.Slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, c.holder ? 1 : 0);  // the holder's flag is the holder's
  }
  TSioPosixDispatcher d(nullptr);  // and the port is free after all that
  EXPECT_EQ(Open(d, "COM7"), ecOK);
}

}  // namespace
