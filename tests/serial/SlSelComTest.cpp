// The availability test of the port selection: free, held elsewhere, missing and
// non-serial ports under both probing methods and both in-use settings.
#include "serial/SlSelCom.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "serial/PortHolder.h"
#include "serial/PtyPair.h"
#include "serial/SlConst.h"
#include "serial/SwPosixDispatcher.h"

namespace {

using serialtest::PortHolder;
using serialtest::PtyPair;

int OpenFds() {
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  int n = 0;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

class SlSelComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The second pair set the folder to its own; every port lives in the first one's.
    setenv("KORVANEX_SERIAL_DIR", free_.Dir().c_str(), 1);
    std::filesystem::create_symlink(held_.SlavePath(), free_.Dir() + "/COM10");
    std::FILE* f = std::fopen((free_.Dir() + "/COM8").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  void TearDown() override {
    UseDispatcherForAvail = savedUseDispatcher_;
    ShowPortsInUse = savedShowInUse_;
  }

  PtyPair free_;  // COM7
  PtyPair held_;  // COM10, once a PortHolder has it
  const bool savedUseDispatcher_ = UseDispatcherForAvail;
  const bool savedShowInUse_ = ShowPortsInUse;
};

TEST_F(SlSelComTest, BothSettingsStartTrue) {
  EXPECT_TRUE(savedUseDispatcher_);
  EXPECT_TRUE(savedShowInUse_);
}

struct AvailCase {
  const char* what;
  int number;
  bool inUse;
  bool available[2];  // without, with ShowPortsInUse
};

TEST_F(SlSelComTest, AvailabilityOfEachKindOfPort) {
  PortHolder holder(held_.SlavePath());
  ASSERT_TRUE(holder.Held());
  const AvailCase cases[] = {
      {"a free pty", 7, false, {true, true}},
      {"a pty held by another process", 10, true, {false, true}},
      {"no entry", 9, false, {false, false}},
      {"a plain file", 8, false, {false, false}},
      {"port 0", 0, false, {false, false}},
      {"a negative number", -1, false, {false, false}},
  };
  for (const bool useDispatcher : {true, false}) {
    for (const bool showInUse : {false, true}) {
      UseDispatcherForAvail = useDispatcher;
      ShowPortsInUse = showInUse;
      for (const AvailCase& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (useDispatcher ? ", dispatcher" : ", plain open") +
                     (showInUse ? ", in use shown" : ""));
        bool inUse = !c.inUse;
        EXPECT_EQ(IsPortAvailable(c.number, inUse), c.available[showInUse]);
        EXPECT_EQ(inUse, c.inUse);
        EXPECT_EQ(IsPortAvailable(c.number), c.available[showInUse]);
        EXPECT_EQ(IsPortInUse(c.number), c.inUse);
      }
    }
  }
}

TEST_F(SlSelComTest, AProbeLeavesThePortAsItFoundIt) {
  for (const bool useDispatcher : {true, false}) {
    SCOPED_TRACE(useDispatcher ? "dispatcher" : "plain open");
    UseDispatcherForAvail = useDispatcher;
    const int fds = OpenFds();
    EXPECT_TRUE(IsPortAvailable(7));
    EXPECT_TRUE(IsPortAvailable(7));  // the first probe released its lock
    EXPECT_EQ(OpenFds(), fds);
    EXPECT_EQ(PortListSize(), 0u);
    // The component opens it next; while it has it, this program's own port is in use.
    TSioPosixDispatcher port(nullptr);
    ASSERT_EQ(port.InitPort("COM7", 9600, 0, 8, 1, 4096, 4096, 0), ecOK);
    EXPECT_TRUE(IsPortInUse(7));
  }
}

// Counts what the probe does with the dispatchers the creation hook hands out.
std::atomic<int> created{0};
std::atomic<int> started{0};

class CountingDispatcher : public TSioPosixDispatcher {
 public:
  CountingDispatcher() : TSioPosixDispatcher(nullptr) { ++created; }
  ~CountingDispatcher() override { Shutdown(); }
  std::int32_t StartDispatcher() override {
    ++started;
    return TSioPosixDispatcher::StartDispatcher();
  }
};

TEST_F(SlSelComTest, TheDispatcherProbeUsesTheCreationHookAndStartsNoThreads) {
  SetDispatcherFactory([](void*) { return new CountingDispatcher; });
  created = started = 0;
  EXPECT_TRUE(IsPortAvailable(7));
  EXPECT_EQ(created.load(), 1);
  EXPECT_EQ(started.load(), 0);
  UseDispatcherForAvail = false;
  EXPECT_TRUE(IsPortAvailable(7));
  EXPECT_EQ(created.load(), 1);
  SetDispatcherFactory({});
  EXPECT_EQ(PortListSize(), 0u);
}

TEST_F(SlSelComTest, WithoutTheFolderNumbersBeyondTheDeviceFamiliesAreNeverAvailable) {
  unsetenv("KORVANEX_SERIAL_DIR");
  for (const bool useDispatcher : {true, false}) {
    UseDispatcherForAvail = useDispatcher;
    for (const int n : {0, 49, 50, 60}) {
      SCOPED_TRACE(n);
      EXPECT_FALSE(IsPortAvailable(n));
      EXPECT_FALSE(IsPortInUse(n));
    }
  }
}

}  // namespace
