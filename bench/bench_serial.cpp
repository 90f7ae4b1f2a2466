// The serial port's two costs that matter on a quiet line, measured over a pty pair:
//   1. latency from a byte written by the far end to the byte being in the input ring
//      (median, 90th percentile and worst of 1000 bytes; target: median under 2 ms);
//   2. CPU time of an open, idle port over 10 s (target: under 0.5 % of one core).
// Run by hand: build/bench/bench_serial [idle seconds]
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "serial/SwPosixDispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  int master = -1, slave = -1;
  char name[128] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  termios raw {};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);

  TSioPosixDispatcher port(nullptr);
  const std::int32_t opened = port.InitPort(name, 9600, 0, 8, 1, 4096, 4096, ipDtrOn | ipRtsOn);
  if (opened != 0) {
    std::fprintf(stderr, "open %s failed: %d\n", name, opened);
    return 1;
  }

  // 1. Latency: the byte is written at a random point of the dispatch thread's wait; the
  // ring is watched by a tight loop so that the figure is the dispatcher's alone.
  constexpr int kSamples = 1000;
  std::vector<double> ms;
  ms.reserve(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(500 + (i * 7919) % 20000));
    const std::uint8_t byte = static_cast<std::uint8_t>(i);
    const auto t0 = Clock::now();
    if (write(master, &byte, 1) != 1) {
      std::perror("write");
      return 1;
    }
    while (!port.CharReady()) std::this_thread::yield();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (port.GetChar() != byte) {
      std::fprintf(stderr, "wrong byte at sample %d\n", i);
      return 1;
    }
  }
  std::sort(ms.begin(), ms.end());
  std::printf("receive latency over %d bytes: median %.3f ms, p90 %.3f ms, max %.3f ms (target: median < 2 ms)\n",
              kSamples, ms[kSamples / 2], ms[kSamples * 9 / 10], ms.back());

  // 2. Idle cost: nothing moves; only the worker threads run.
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = CpuSeconds() - cpu0;
  std::printf("idle open port: %.1f ms CPU in %.1f s = %.3f %% of a core (target: < 0.5 %%)\n", cpu * 1e3,
              wall, 100.0 * cpu / wall);

  port.DonePort();
  close(master);
  close(slave);
  return 0;
}
