// The line simulator (tests/tools/linesim) as a child process of a test, with the peers
// on its far side (lrzsz's sx and rx, a simulated panel):
//
//   class XferTest : public LineSimFixture {};
//   TEST_F(XferTest, SendsToRx) {
//     ASSERT_TRUE(StartLine({"--baud", "9600"}));      // COM7 -> side A, Dir()/peer -> side B
//     ChildProcess& rx = StartPeer({"rx", "-c", "got"});  // runs in Dir()
//     ... open COM7 through KORVANEX_SERIAL_DIR, send ...
//     EXPECT_EQ(rx.Wait(testwait::kPatience), 0);      // support/Patience.h
//   }
//
// The simulator's binary is $KORVANEX_LINESIM, else KVX_LINESIM_PATH (a compile definition
// the test target sets to $<TARGET_FILE:linesim>, with add_dependencies on linesim).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Patience.h"

extern char** environ;

// A test tool's binary: the environment variable's path, else the built one, else the name.
inline std::string ToolBinary(const char* variable, const char* built) {
  if (const char* path = std::getenv(variable); path && *path) return path;
  return built;
}

inline std::string LineSimBinary() {
#ifdef KVX_LINESIM_PATH
  return ToolBinary("KORVANEX_LINESIM", KVX_LINESIM_PATH);
#else
  return ToolBinary("KORVANEX_LINESIM", "linesim");
#endif
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A spawned program, ended (SIGTERM, then SIGKILL) when destroyed.
class ChildProcess {
 public:
  struct Stdio {
    std::string tty;  // stdin and stdout on this file, as `prog < TTY > TTY`
    std::string out;  // else stdout into this file
    std::string err;  // stderr into this file
    std::string dir;  // working folder
  };

  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // argv[0] is looked up in PATH. Empty fields of io leave the stream inherited.
  bool Start(const std::vector<std::string>& argv, const Stdio& io) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!io.tty.empty()) {
      posix_spawn_file_actions_addopen(&fa, 0, io.tty.c_str(), O_RDWR | O_NOCTTY, 0);
      posix_spawn_file_actions_adddup2(&fa, 0, 1);
    } else if (!io.out.empty()) {
      posix_spawn_file_actions_addopen(&fa, 1, io.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!io.err.empty())
      posix_spawn_file_actions_addopen(&fa, 2, io.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!io.dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, io.dir.c_str());
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) pid_ = -1;
    status_.reset();
    return rc == 0;
  }

  // The exit status (128 + the signal after a signal) once it ended within timeout, else -1.
  int Wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!Poll()) {
      if (std::chrono::steady_clock::now() >= end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return *status_;
  }

  bool Running() { return pid_ > 0 && !Poll(); }

  // Ends it if it still runs; its exit status, or -1 when it was never started. SIGKILL
  // only for a program that ignores SIGTERM: a loaded machine may take a while to end one.
  int Stop() {
    if (pid_ <= 0) return -1;
    if (!Poll()) {
      ::kill(pid_, SIGTERM);
      if (Wait(testwait::kPatience) < 0) {
        ::kill(pid_, SIGKILL);
        Wait(testwait::kPatience);
      }
    }
    return status_.value_or(-1);
  }

  pid_t Pid() const { return pid_; }

 private:
  bool Poll() {
    if (status_) return true;
    if (pid_ <= 0) return false;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) != pid_) return false;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return true;
  }

  pid_t pid_ = -1;
  std::optional<int> status_;
};

// linesim with its two sides linked at given paths.
class LineSimProcess {
 public:
  // Starts linesim with args plus --link-a linkA --link-b linkB, its stderr into logFile, and
  // waits until both links exist. False (with the log so far in Log()) when it does not come up.
  bool Start(const std::vector<std::string>& args, const std::string& linkA, const std::string& linkB,
             const std::string& logFile, std::chrono::milliseconds timeout = testwait::kPatience) {
    namespace fs = std::filesystem;
    std::vector<std::string> argv{LineSimBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--link-a", linkA, "--link-b", linkB});
    std::error_code ec;
    fs::remove(linkA, ec);
    fs::remove(linkB, ec);
    log_ = logFile;
    if (!child_.Start(argv, {"", logFile + ".out", logFile, ""})) return false;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!(fs::is_symlink(linkA, ec) && fs::is_symlink(linkB, ec))) {
      if (!child_.Running() || std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  // SIGTERM; linesim then removes its links, prints its counts and exits 0.
  int Stop() { return child_.Stop(); }
  bool Running() { return child_.Running(); }
  // What linesim wrote to stderr so far: faults, side open/close, counts (after Stop).
  std::string Log() const { return log_.empty() ? std::string() : ReadWholeFile(log_); }

 private:
  ChildProcess child_;
  std::string log_;
};

// A test with a line: a fresh folder for KORVANEX_SERIAL_DIR whose COM<port> is side A and
// whose "peer" is side B, and peers started on side B. All stopped at teardown.
class LineSimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-line-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    dir_ = made;
    if (const char* old = std::getenv("KORVANEX_SERIAL_DIR")) savedDir_ = old;
    ::setenv("KORVANEX_SERIAL_DIR", dir_.c_str(), 1);
  }

  void TearDown() override {
    peers_.clear();
    line_.Stop();
    if (savedDir_)
      ::setenv("KORVANEX_SERIAL_DIR", savedDir_->c_str(), 1);
    else
      ::unsetenv("KORVANEX_SERIAL_DIR");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  bool StartLine(const std::vector<std::string>& args, int port = 7) {
    port_ = port;
    return line_.Start(args, ComPath(), PeerPath(), dir_ + "/linesim.log");
  }

  // Runs argv in Dir() with stdin and stdout on side B; its stderr goes to Dir()/peer<N>.log.
  // lrzsz's rx refuses absolute file names ("Security Violation"): give it names in Dir().
  ChildProcess& StartPeer(const std::vector<std::string>& argv) {
    ChildProcess& p = peers_.emplace_back();
    const std::string err = dir_ + "/peer" + std::to_string(peers_.size()) + ".log";
    EXPECT_TRUE(p.Start(argv, {PeerPath(), "", err, dir_})) << argv[0];
    return p;
  }

  const std::string& Dir() const { return dir_; }
  std::string ComPath() const { return dir_ + "/COM" + std::to_string(port_); }
  std::string PeerPath() const { return dir_ + "/peer"; }
  LineSimProcess& Line() { return line_; }

 private:
  std::string dir_;
  std::optional<std::string> savedDir_;
  int port_ = 7;
  LineSimProcess line_;
  std::list<ChildProcess> peers_;
};
