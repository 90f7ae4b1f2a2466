// The line simulator's pacing against the ideal of 10 bits a byte, in-process over its two
// ptys, at 9600, 19200 and 115200 baud, one direction alone and both at once:
//   1. end to end: from the write of 2000 bytes on one side to the last of them read on the
//      other, against 2000 byte times: what a protocol test on a paced line sees;
//   2. on the line: when linesim delivered each byte (its timing file), first to last against
//      the ideal, and how far behind its schedule the latest byte came.
// Never below 1: a paced line cannot be faster than its rate (the tests check that). How far
// above is this machine's and its load's doing; target on an idle machine: end to end within
// 1 % at 9600 baud, and no byte later than a byte time.
// Run by hand: build/bench/bench_linesim [runs]   (default 5; the median run, and the worst)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "LineSim.h"
#include "support/LineTiming.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kBytes = 2000;

struct Direction {
  double endToEnd = 0;  // x the ideal
  double line = 0;      // first to last delivery, x the ideal
  double worstLateMs = 0;
  bool intact = false;
};

bool WriteAll(int fd, const Bytes& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

Bytes ReadAll(int fd, std::size_t n) {
  Bytes got;
  std::uint8_t buf[4096];
  while (got.size() < n) {
    const ssize_t k = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (k <= 0) break;
    got.insert(got.end(), buf, buf + k);
  }
  return got;
}

// One run at baud: a2b alone, or a2b and b2a at once.
std::vector<Direction> RunOnce(long baud, bool both, const std::string& timingPath) {
  linesim::Options options;
  options.baud = baud;
  options.timingFile = timingPath;
  linesim::LineSim sim(options, nullptr);
  std::string error;
  if (!sim.Open(error)) {
    std::fprintf(stderr, "linesim: %s\n", error.c_str());
    std::exit(1);
  }
  const int side[2] = {::open(sim.SlavePath(0).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC),
                       ::open(sim.SlavePath(1).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)};
  if (side[0] < 0 || side[1] < 0) {
    std::perror("open");
    std::exit(1);
  }
  std::thread line([&sim] { sim.Run(); });

  Bytes data(kBytes);
  for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(k * 7 + k / 256);
  const int directions = both ? 2 : 1;
  std::vector<Direction> out(static_cast<std::size_t>(directions));
  std::vector<std::thread> threads;
  const auto t0 = Clock::now();
  for (int d = 0; d < directions; ++d) {
    threads.emplace_back([&, d] { WriteAll(side[d], data); });
    threads.emplace_back([&, d] {
      const Bytes got = ReadAll(side[1 - d], data.size());
      const double took = std::chrono::duration<double>(Clock::now() - t0).count();
      out[static_cast<std::size_t>(d)].endToEnd = took / (static_cast<double>(kBytes) * 10.0 / static_cast<double>(baud));
      out[static_cast<std::size_t>(d)].intact = got == data;
    });
  }
  for (auto& t : threads) t.join();
  sim.Stop();
  line.join();
  for (int fd : side) ::close(fd);

  const double byteUs = 10e6 / static_cast<double>(baud);
  const std::vector<Delivered> timing = ReadLineTiming(timingPath);
  for (int d = 0; d < directions; ++d) {
    std::vector<long long> us;
    for (const Delivered& x : timing)
      if (x.a2b == (d == 0)) us.push_back(x.us);
    Direction& r = out[static_cast<std::size_t>(d)];
    if (us.size() != kBytes) {
      r.intact = false;
      continue;
    }
    r.line = static_cast<double>(us.back() - us.front()) / (static_cast<double>(kBytes - 1) * byteUs);
    // Byte k is due k byte times after the schedule's start, which the earliest byte tells.
    double start = static_cast<double>(us.front());
    for (std::size_t k = 0; k < us.size(); ++k)
      start = std::min(start, static_cast<double>(us[k]) - static_cast<double>(k) * byteUs);
    for (std::size_t k = 0; k < us.size(); ++k) {
      const double late = static_cast<double>(us[k]) - static_cast<double>(k) * byteUs - start;
      r.worstLateMs = std::max(r.worstLateMs, late / 1000.0);
    }
  }
  return out;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Worst(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string dir = std::filesystem::temp_directory_path() / ("bench-linesim-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  bool allIntact = true;
  std::printf("%d bytes each way, %d runs: median (worst) of each figure\n", static_cast<int>(kBytes), runs);
  for (long baud : {9600L, 19200L, 115200L}) {
    for (bool both : {false, true}) {
      std::vector<double> endToEnd, line, late;
      for (int run = 0; run < runs; ++run) {
        for (const Direction& d : RunOnce(baud, both, dir + "/timing")) {
          allIntact = allIntact && d.intact;
          endToEnd.push_back(d.endToEnd);
          line.push_back(d.line);
          late.push_back(d.worstLateMs);
        }
      }
      std::printf("%6ld baud, %-9s end to end %.4f (%.4f) x ideal; on the line %.5f (%.5f) x, "
                  "latest byte %.3f (%.3f) ms behind (byte time %.3f ms)\n",
                  baud, both ? "both ways" : "one way", Median(endToEnd), Worst(endToEnd), Median(line), Worst(line),
                  Median(late), Worst(late), 10e3 / static_cast<double>(baud));
    }
  }
  std::filesystem::remove_all(dir);
  if (!allIntact) {
    std::fprintf(stderr, "bytes were lost or changed on the line\n");
    return 1;
  }
  return 0;
}
