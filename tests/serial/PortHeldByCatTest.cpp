// A program that takes no lock of any kind holds the port: a `cat` of the device, run by
// this user (root in CI, which TIOCEXCL never stops) or by another one. The port must not
// open, and the failed open must leave the line to cat: no setting changed, no byte written
// or read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "serial/LockDir.h"
#include "serial/PortLock.h"
#include "serial/PtyPair.h"
#include "serial/SerialTestSupport.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwPosixDispatcher.h"

namespace {

namespace fs = std::filesystem;
using serialtest::CodeOf;
using serialtest::Pattern;
using serialtest::PtyPair;
using serialtest::WaitFor;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

// `cat DEVICE > OUT`, as user when one is given; it inherits none of the test's descriptors
// (the test's own pty slave among them), so cat's is the only other one on the device.
class Cat {
 public:
  Cat(const std::string& device, const std::string& out, const passwd* user) {
    std::vector<std::string> argv;
    if (user != nullptr)
      argv = {"setpriv", "--reuid=" + std::to_string(user->pw_uid), "--regid=" + std::to_string(user->pw_gid),
              "--clear-groups", "cat", device};
    else
      argv = {"cat", device};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int inFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (outFd < 0 || inFd < 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // Only system calls from here: the parent may have threads.
      if (dup2(inFd, 0) < 0 || dup2(outFd, 1) < 0) _exit(126);
      close_range(3, ~0U, 0);
      execvp(args[0], args.data());
      _exit(127);
    }
    ::close(outFd);
    ::close(inFd);
  }
  ~Cat() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  Cat(const Cat&) = delete;
  Cat& operator=(const Cat&) = delete;

  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

struct Holder {
  const char* name;
  const char* user;  // nullptr: this test's own user
};

class PortHeldByCatTest : public ::testing::TestWithParam<Holder> {
 protected:
  void SetUp() override { SetMainThread(); }

  PtyPair pty_;  // COM7 is its slave; the master is the panel's side of the line
  serialtest::LockDir lockDir_;
};

TEST_P(PortHeldByCatTest, ThePortIsAccessDeniedAndCatKeepsTheLine) {
  const Holder holder = GetParam();
  const passwd* user = nullptr;
  if (holder.user != nullptr) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can run cat as another user";
    user = getpwnam(holder.user);
    if (user == nullptr) GTEST_SKIP() << "no user " << holder.user;
    ASSERT_EQ(chmod(pty_.SlavePath().c_str(), 0666), 0);
  }
  RecordProperty("holder_uid", static_cast<int>(user != nullptr ? user->pw_uid : geteuid()));
  struct stat node {};
  ASSERT_EQ(stat(pty_.SlavePath().c_str(), &node), 0);
  EXPECT_FALSE(DeviceOpenElsewhere(node.st_rdev)) << "this process's own descriptor counts";

  const termios before = pty_.SlaveTermios();
  const std::string out = pty_.Dir() + "/cat.out";
  {
    Cat cat(pty_.SlavePath(), out, user);
    ASSERT_TRUE(cat.Started());
    // cat reads the line once what the panel sent reaches its output.
    ASSERT_TRUE(pty_.Write("ready\n"));
    ASSERT_TRUE(WaitFor([&] { return ReadFile(out) == "ready\n"; })) << ReadFile(out);
    EXPECT_TRUE(DeviceOpenElsewhere(node.st_rdev));

    // Both stay until the end, so that a port opened by mistake would take bytes of cat's.
    TSioPosixDispatcher d(nullptr);
    EXPECT_EQ(d.InitPort("COM7", 9600, 0, 8, 1, 4096, 4096, ipDtrOn | ipRtsOn), ecAccessDenied);
    TSioComPort port;  // the component reports it as its open error
    port.SetComNumber(7);
    EXPECT_EQ(CodeOf([&] { port.SetOpen(true); }), ecAlreadyOpen);
    EXPECT_FALSE(port.Open());
    EXPECT_THROW(port.SetOpen(true), EAlreadyOpen);

    // The failed opens left the line as they found it: the same settings, not exclusive,
    // nothing sent towards the panel, no lock file.
    EXPECT_TRUE(SameSettings(pty_.SlaveTermios(), before));
    int exclusive = -1;
    ASSERT_EQ(ioctl(pty_.Slave(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_TRUE(pty_.Drain().empty());
    EXPECT_TRUE(fs::is_empty(lockDir_.Path()));

    // Everything the panel sends now is cat's, whole and in order.
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(Pattern(i));
    ASSERT_TRUE(pty_.Write(data));
    const std::string expected = "ready\n" + data;
    EXPECT_TRUE(WaitFor([&] { return ReadFile(out).size() >= expected.size(); }));
    EXPECT_EQ(ReadFile(out), expected);
  }
  EXPECT_FALSE(DeviceOpenElsewhere(node.st_rdev)) << "cat has ended";
  TSioPosixDispatcher d(nullptr);
  EXPECT_EQ(d.InitPort("COM7", 9600, 0, 8, 1, 4096, 4096, ipDtrOn | ipRtsOn), ecOK);
}

INSTANTIATE_TEST_SUITE_P(Users, PortHeldByCatTest,
                         ::testing::Values(Holder{"ThisUser", nullptr}, Holder{"AnotherUser", "nobody"}),
                         [](const ::testing::TestParamInfo<Holder>& param) { return param.param.name; });

}  // namespace
