// What the checks for other holders add to opening a port: the scan of every process's
// descriptors, the lock file taken and given back, and the device layer's whole open and
// close of a pseudo-terminal with both. The scan grows with the processes and descriptors
// this user may look at; the second argument adds idle processes holding 64 descriptors
// each, like a busy desktop.
//   build/bench/bench_portlock
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "serial/PortLock.h"
#include "serial/SlConst.h"
#include "serial/SwPosixDispatcher.h"

namespace {

// Idle children, each with 64 more descriptors open, until destroyed.
class Crowd {
 public:
  explicit Crowd(int processes) {
    int release[2];
    if (processes == 0 || pipe(release) != 0) return;
    for (int i = 0; i < processes; ++i) {
      const pid_t child = fork();
      if (child == 0) {
        ::close(release[1]);
        for (int n = 0; n < 64; ++n) ::open("/dev/null", O_RDONLY);
        char c;
        while (::read(release[0], &c, 1) < 0) {
        }
        _exit(0);
      }
      if (child > 0) children_.push_back(child);
    }
    ::close(release[0]);
    release_ = release[1];
  }
  ~Crowd() {
    if (release_ >= 0) ::close(release_);
    for (const pid_t child : children_) waitpid(child, nullptr, 0);
  }
  Crowd(const Crowd&) = delete;
  Crowd& operator=(const Crowd&) = delete;

 private:
  std::vector<pid_t> children_;
  int release_ = -1;
};

struct Pty {
  Pty() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
  }
  ~Pty() {
    ::close(master);
    ::close(slave);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

int Processes() {
  int n = 0;
  DIR* proc = opendir("/proc");
  while (const dirent* e = proc != nullptr ? readdir(proc) : nullptr)
    if (e->d_name[0] >= '1' && e->d_name[0] <= '9') ++n;
  if (proc != nullptr) closedir(proc);
  return n;
}

void BM_ScanForOtherHolders(benchmark::State& state) {
  const Crowd crowd(static_cast<int>(state.range(0)));
  const Pty pty;
  struct stat node {};
  if (stat(pty.path.c_str(), &node) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(DeviceOpenElsewhere(node.st_rdev));
  state.counters["processes"] = Processes();
}
BENCHMARK(BM_ScanForOtherHolders)->Arg(0)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_LockFileTakenAndGivenBack(benchmark::State& state) {
  char dir[] = "/tmp/kvx-bench-lock-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  SetPortLockDir(state.range(0) == 0 ? dir : "");  // 1: the real /var/lock
  for (auto _ : state) {
    TPortLock lock;
    benchmark::DoNotOptimize(lock.Acquire("/dev/ttyKVXBENCH"));
  }
  SetPortLockDir("");
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LockFileTakenAndGivenBack)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The device layer's open and close, without the dispatcher's threads.
void BM_OpenAndClosePort(benchmark::State& state) {
  const Crowd crowd(static_cast<int>(state.range(0)));
  const Pty pty;
  TSioPosixDispatcher d(nullptr);
  for (auto _ : state) {
    if (d.OpenCom(pty.path, 4096, 4096) < 0) {
      state.SkipWithError("the port did not open");
      return;
    }
    d.CloseCom();
  }
  state.counters["processes"] = Processes();
}
BENCHMARK(BM_OpenAndClosePort)->Arg(0)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
