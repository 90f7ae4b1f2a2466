// linesim: a paced, faulty serial line between two pseudo-terminals, for protocol tests.
// Run `linesim --help` for the options; LineSim.h says how bytes, blocks and ACKs are counted.
//
//   linesim --baud 9600 --link-a $DIR/COM7 --link-b $DIR/peer --flip a2b:200 &
//   sx FILE < $DIR/peer > $DIR/peer
//
// Stdout gets "A <slave path>" and "B <slave path>" once the links exist; stderr gets the
// faults as they are applied and the byte counts at the end. Exit status: 0 after SIGTERM,
// SIGINT or the idle time, 1 when the ptys cannot be set up, 2 on a bad command line.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "LineSim.h"

namespace {

linesim::LineSim* g_line = nullptr;

void OnSignal(int) {
  if (g_line) g_line->Stop();
}

}  // namespace

int main(int argc, char** argv) {
  linesim::Options options;
  bool help = false;
  std::string error;
  if (!linesim::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options, help, error)) {
    std::fprintf(stderr, "linesim: %s\n%s", error.c_str(), linesim::kUsage);
    return 2;
  }
  if (help) {
    std::fputs(linesim::kUsage, stdout);
    return 0;
  }

  linesim::LineSim line(options, [](const std::string& text) { std::fprintf(stderr, "linesim: %s\n", text.c_str()); });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  g_line = &line;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  if (!line.Open(error)) {
    std::fprintf(stderr, "linesim: %s\n", error.c_str());
    return 1;
  }
  std::printf("A %s\nB %s\n", line.SlavePath(0).c_str(), line.SlavePath(1).c_str());
  std::fflush(stdout);
  const int status = line.Run();
  g_line = nullptr;
  return status;
}
