#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "LineSim.h"
#include "support/LineSimFixture.h"
#include "support/Patience.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using testwait::kPatience;

constexpr std::uint8_t kSoh = 0x01, kStx = 0x02, kEot = 0x04, kAck = 0x06, kNak = 0x15, kCan = 0x18;

// An XMODEM-shaped block whose data holds SOH, STX and ACK bytes, so that framing that looks
// at values inside a block shows up.
Bytes Block(std::uint8_t start, std::uint8_t number, std::size_t size) {
  Bytes b{start, number, static_cast<std::uint8_t>(~number)};
  for (std::size_t k = b.size(); k < size; ++k) b.push_back(static_cast<std::uint8_t>(k % 8));
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

const Bytes kB1 = Block(kSoh, 1, 133), kB2 = Block(kSoh, 2, 133), kB3 = Block(kStx, 3, 1029);
const Bytes kSend = Cat({kB1, kB2, kB3, {kEot}});
const Bytes kReplies = {'C', kAck, kAck, kAck, kAck};

struct FaultCase {
  const char* name;
  std::vector<std::string> args;
  Bytes input;
  Bytes expected;
  const char* log;  // a line the filter must log
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

std::vector<FaultCase> FaultCases() {
  return {
      {"FlipBit", {"--flip", "a2b:1:7"}, Text("abc"), {'a', 0xe2, 'c'}, "a2b byte 1: bit 7 flipped (0x62 -> 0xe2)"},
      {"FlipDefaultsToBit0", {"--flip", "a2b:0"}, Text("abc"), Text("`bc"), "a2b byte 0: bit 0 flipped"},
      // Indexes are input positions: a drop does not move the flip.
      {"DropKeepsLaterIndexes", {"--drop", "a2b:1", "--flip", "a2b:3"}, Text("abcdef"), Text("aceef"),
       "a2b byte 1: dropped (0x62)"},
      {"DropBlock", {"--drop-block", "a2b:2"}, kSend, Cat({kB1, kB3, {kEot}}),
       "a2b byte 133: block 2 (133 bytes) dropped"},
      {"DropStxBlock", {"--drop-block", "a2b:3"}, kSend, Cat({kB1, kB2, {kEot}}),
       "a2b byte 266: block 3 (1029 bytes) dropped"},
      {"RepeatBlock", {"--repeat-block", "a2b:1"}, kSend, Cat({kB1, kB1, kB2, kB3, {kEot}}),
       "a2b byte 132: block 1 repeated (133 bytes)"},
      {"ChecksumBlocks", {"--checksum-blocks", "--drop-block", "a2b:2"},
       Cat({Block(kSoh, 1, 132), Block(kSoh, 2, 132), {kEot}}), Cat({Block(kSoh, 1, 132), {kEot}}),
       "a2b byte 132: block 2 (132 bytes) dropped"},
      {"FirstAcksToNak", {"--ack-to-nak", "b2a:2"}, kReplies, {'C', kNak, kNak, kAck, kAck},
       "b2a byte 2: ACK 2 replaced by NAK"},
      {"AckRangeToNak", {"--ack-to-nak", "b2a:2-3"}, kReplies, {'C', kAck, kNak, kNak, kAck},
       "b2a byte 3: ACK 3 replaced by NAK"},
      // The 0x06 bytes inside the block are data, not ACK 1.
      {"AcksCountedOutsideBlocks", {"--ack-to-nak", "a2b:1"}, Cat({kB1, {kAck}}), Cat({kB1, {kNak}}),
       "a2b byte 133: ACK 1 replaced by NAK"},
      {"InsertCans", {"--insert-can", "b2a:3:2"}, Text("abcdef"), {'a', 'b', 'c', kCan, kCan, 'd', 'e', 'f'},
       "b2a byte 3: 2 CAN inserted before it"},
      {"SilentAfter", {"--silent-after", "a2b:4"}, Text("abcdef"), Text("abcd"), "a2b byte 4: silent from here on"},
      {"SilentWinsOverInsert", {"--silent-after", "a2b:0", "--insert-can", "a2b:0:3"}, Text("ab"), {},
       "a2b byte 0: silent from here on"},
  };
}

class FaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultTest, AppliedAtItsIndexOnly) {
  const FaultCase& c = GetParam();
  linesim::Options options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(linesim::ParseArguments(c.args, options, help, error)) << error;
  const int dir = c.args.back().rfind("b2a", 0) == 0 ? linesim::kBtoA : linesim::kAtoB;
  std::vector<std::string> log;
  linesim::FaultFilter filter(dir, options.faults[dir], options.checksumBlocks,
                              [&log](const std::string& s) { log.push_back(s); });
  Bytes out;
  for (std::uint8_t b : c.input) filter.Feed(b, out);
  EXPECT_EQ(out, c.expected);
  bool found = false;
  for (const auto& line : log) found = found || line.rfind(c.log, 0) == 0;
  EXPECT_TRUE(found) << "log: " << ::testing::PrintToString(log);

  // The other direction is left alone.
  linesim::FaultFilter other(1 - dir, options.faults[1 - dir], options.checksumBlocks, nullptr);
  Bytes same;
  for (std::uint8_t b : c.input) other.Feed(b, same);
  EXPECT_EQ(same, c.input);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultTest, ::testing::ValuesIn(FaultCases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(LineSimArguments, RefusesBadValues) {
  const std::vector<std::vector<std::string>> bad = {
      {"--flip", "a2b"},          {"--flip", "a2b:1:8"},        {"--flip", "c2d:1"},
      {"--drop", "a2b:-1"},       {"--drop-block", "a2b:0"},    {"--ack-to-nak", "b2a:3-2"},
      {"--ack-to-nak", "b2a:0"},  {"--insert-can", "a2b:1"},    {"--insert-can", "a2b:1:0"},
      {"--baud", "fast"},         {"--silent-after", "a2b:1:2"}, {"--drop"},
      {"--bogus"},
  };
  for (const auto& args : bad) {
    linesim::Options options;
    bool help = false;
    std::string error;
    EXPECT_FALSE(linesim::ParseArguments(args, options, help, error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
  linesim::Options options;
  bool help = false;
  std::string error;
  linesim::ParseArguments({"--flip", "a2b:1:8"}, options, help, error);
  EXPECT_EQ(error, "bad value for --flip: 'a2b:1:8'");
}

TEST(LineSimArguments, TakesBothForms) {
  linesim::Options o;
  bool help = false;
  std::string error;
  ASSERT_TRUE(linesim::ParseArguments({"--baud=9600", "--exit-when-idle", "250", "--silent-after", "b2a:9",
                                       "--silent-after=b2a:4", "--timing", "/tmp/t", "-v"},
                                      o, help, error))
      << error;
  EXPECT_EQ(o.baud, 9600);
  EXPECT_EQ(o.exitWhenIdleMs, 250);
  EXPECT_EQ(o.faults[linesim::kBtoA].silentFrom, 4U);  // the earlier of the two
  EXPECT_FALSE(o.faults[linesim::kAtoB].silentFrom);
  EXPECT_EQ(o.timingFile, "/tmp/t");
  EXPECT_TRUE(o.verbose);
  EXPECT_FALSE(help);
}

// ---------------------------------------------------------------------------------------

class InProcessLine {
 public:
  explicit InProcessLine(linesim::Options options)
      : sim_(std::move(options), [this](const std::string& s) {
          std::lock_guard<std::mutex> g(mutex_);
          log_ += s + "\n";
        }) {}
  ~InProcessLine() {
    Stop();
    for (int fd : fds_) ::close(fd);
  }

  // beforeRun may open sides and write to them before the line looks at anything.
  bool Start(const std::function<void()>& beforeRun = nullptr) {
    std::string error;
    if (!sim_.Open(error)) {
      ADD_FAILURE() << error;
      return false;
    }
    if (beforeRun) beforeRun();
    thread_ = std::thread([this] {
      status_ = sim_.Run();
      doneAt_ = Clock::now();
      done_ = true;
    });
    return true;
  }
  int Stop() {
    if (thread_.joinable()) {
      sim_.Stop();
      thread_.join();
    }
    return status_;
  }
  bool Done() const { return done_; }
  // Whether Run() returned within the test's patience.
  bool WaitDone() {
    const auto end = Clock::now() + kPatience;
    while (!done_ && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done_;
  }
  // When Run() had returned; valid once Done().
  Clock::time_point DoneAt() const { return doneAt_; }
  int OpenSide(int side) {
    const int fd = ::open(sim_.SlavePath(side).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << sim_.SlavePath(side);
    fds_.push_back(fd);
    return fd;
  }
  void CloseSide(int fd) {
    ::close(fd);
    std::erase(fds_, fd);
  }
  std::string Log() {
    std::lock_guard<std::mutex> g(mutex_);
    return log_;
  }
  // Whether the log came to satisfy cond within the test's patience.
  bool WaitLog(const std::function<bool(const std::string&)>& cond) {
    const auto end = Clock::now() + kPatience;
    while (!cond(Log())) {
      if (Clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::string log_;
  linesim::LineSim sim_;
  std::thread thread_;
  int status_ = -1;
  Clock::time_point doneAt_;
  std::atomic<bool> done_{false};
  std::vector<int> fds_;
};

linesim::Options Unpaced() { return {}; }

void WriteAll(int fd, const Bytes& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// Up to n bytes, reading until they are there or nothing came for `quiet`; a short quiet
// only where nothing is to come.
Bytes ReadUpTo(int fd, std::size_t n, std::chrono::milliseconds quiet = kPatience) {
  Bytes got;
  std::uint8_t buf[4096];
  while (got.size() < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
    const ssize_t k = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (k <= 0) break;
    got.insert(got.end(), buf, buf + k);
  }
  return got;
}

TEST(LineSimLine, PassesEveryByteUnalteredBothWays) {
  InProcessLine line(Unpaced());
  ASSERT_TRUE(line.Start());
  const int a = line.OpenSide(0), b = line.OpenSide(1);
  std::mt19937 rng(12345);
  Bytes ab(65536), ba(65536);
  for (auto& x : ab) x = static_cast<std::uint8_t>(rng());
  for (auto& x : ba) x = static_cast<std::uint8_t>(rng());

  std::thread wa([&] { WriteAll(a, ab); });
  std::thread wb([&] { WriteAll(b, ba); });
  auto atB = std::async(std::launch::async, [&] { return ReadUpTo(b, ab.size()); });
  auto atA = std::async(std::launch::async, [&] { return ReadUpTo(a, ba.size()); });
  const Bytes gotB = atB.get(), gotA = atA.get();
  wa.join();
  wb.join();
  EXPECT_TRUE(gotB == ab) << "a2b: " << gotB.size() << " bytes, differs";
  EXPECT_TRUE(gotA == ba) << "b2a: " << gotA.size() << " bytes, differs";
  EXPECT_EQ(line.Stop(), 0);
  EXPECT_NE(line.Log().find("a2b: 65536 bytes in, 65536 delivered, 0 lost"), std::string::npos) << line.Log();
}

// A paced line is never faster than its baud rate allows; how close to it it keeps is measured
// by bench/bench_linesim, since a loaded machine only makes it later.
TEST(LineSimLine, PacesEachDirectionAtTenBitsAByte) {
  linesim::Options options;
  options.baud = 9600;
  InProcessLine line(options);
  ASSERT_TRUE(line.Start());
  const int a = line.OpenSide(0), b = line.OpenSide(1);

  Bytes data(1000);
  for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(k * 7 + k / 256);
  const auto t0 = Clock::now();
  // Both directions at once: each is paced on its own, so neither ends before one byte time
  // x 1000 and both carry their bytes intact and in order.
  const auto timed = [&](int from, int to) {
    WriteAll(from, data);
    const Bytes got = ReadUpTo(to, data.size());
    EXPECT_TRUE(got == data) << got.size() << " bytes, differs";
    return std::chrono::duration<double>(Clock::now() - t0).count();
  };
  auto ab = std::async(std::launch::async, timed, a, b);
  auto ba = std::async(std::launch::async, timed, b, a);
  const double ideal = 1000 * 10.0 / 9600;  // 1.0417 s
  for (double took : {ab.get(), ba.get()}) EXPECT_GE(took, ideal * 0.999);
}

// The a2b bytes the line has logged as lost so far (verbose lines "a2b: N bytes lost, ...").
std::size_t LostAtoB(const std::string& log) {
  std::size_t lost = 0;
  std::istringstream lines(log);
  std::string line;
  const std::string head = "a2b: ", tail = " bytes lost";
  while (std::getline(lines, line))
    if (line.rfind(head, 0) == 0 && line.find(tail) != std::string::npos) lost += std::stoul(line.substr(head.size()));
  return lost;
}

TEST(LineSimLine, BytesForAClosedSideAreLostNotKept) {
  linesim::Options options;
  options.verbose = true;  // each loss is logged: the test waits for it rather than for a time
  InProcessLine line(options);
  ASSERT_TRUE(line.Start());
  const int a = line.OpenSide(0);
  WriteAll(a, Text("lost"));
  ASSERT_TRUE(line.WaitLog([](const std::string& log) { return LostAtoB(log) >= 4; })) << line.Log();
  int b = line.OpenSide(1);
  WriteAll(a, Text("kept"));
  EXPECT_EQ(ReadUpTo(b, 4), Text("kept"));

  line.CloseSide(b);
  WriteAll(a, Text("gone"));
  ASSERT_TRUE(line.WaitLog([](const std::string& log) { return LostAtoB(log) >= 8; })) << line.Log();
  b = line.OpenSide(1);
  EXPECT_EQ(ReadUpTo(b, 4, std::chrono::milliseconds(200)), Bytes());
  EXPECT_EQ(line.Stop(), 0);
  EXPECT_NE(line.Log().find("a2b: 12 bytes in, 4 delivered, 8 lost"), std::string::npos) << line.Log();
}

// Bytes written before the line runs, on a line paced at 10 ms a byte: the last is delivered
// no earlier than 200 ms after the write, and the idle time counts from there, so the line
// cannot end before 400 ms. Counted from the start it would end 200 ms sooner.
TEST(LineSimLine, ExitsWhenIdleCountedFromTheLastByte) {
  linesim::Options options;
  options.baud = 1000;
  options.exitWhenIdleMs = 200;
  InProcessLine line(options);
  const Bytes data = Text("twenty bytes, paced.");
  int b = -1;
  Clock::time_point written;
  ASSERT_TRUE(line.Start([&] {
    const int a = line.OpenSide(0);
    b = line.OpenSide(1);
    written = Clock::now();
    WriteAll(a, data);
  }));
  EXPECT_EQ(ReadUpTo(b, data.size()), data);
  ASSERT_TRUE(line.WaitDone());
  EXPECT_GE(line.DoneAt() - written, std::chrono::milliseconds(400));
  EXPECT_EQ(line.Stop(), 0);
}

// ---------------------------------------------------------------------------------------

class LineSimBinary : public LineSimFixture {};

TEST_F(LineSimBinary, RunsAsAChildWithLinksTraceAndTiming) {
  const std::string timing = Dir() + "/timing";
  ASSERT_TRUE(StartLine({"--verbose", "--flip", "a2b:1:7", "--timing", timing})) << Line().Log();
  EXPECT_EQ(std::string(std::getenv("KORVANEX_SERIAL_DIR")), Dir());
  const int com = ::open(ComPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const int peer = ::open(PeerPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(com, 0);
  ASSERT_GE(peer, 0);
  WriteAll(com, Text("abc"));
  EXPECT_EQ(ReadUpTo(peer, 3), (Bytes{'a', 0xe2, 'c'}));
  WriteAll(peer, {kAck});
  EXPECT_EQ(ReadUpTo(com, 1), Bytes{kAck});
  ::close(com);
  ::close(peer);
  // The line notices a close at its next look; stop it only after that.
  const auto seen = std::chrono::steady_clock::now() + kPatience;
  const auto bothClosed = [this] {
    const std::string log = Line().Log();
    return log.find("side A closed") != std::string::npos && log.find("side B closed") != std::string::npos;
  };
  while (!bothClosed() && std::chrono::steady_clock::now() < seen)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  EXPECT_EQ(Line().Stop(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(ComPath()));
  EXPECT_FALSE(std::filesystem::is_symlink(PeerPath()));
  const std::string log = Line().Log();
  for (const char* want : {"linesim: a2b byte 1: bit 7 flipped (0x62 -> 0xe2)\n", " 61 e2 63\n",
                           "linesim: side A opened\n", "linesim: side B closed\n",
                           "linesim: a2b: 3 bytes in, 3 delivered, 0 lost\n",
                           "linesim: b2a: 1 bytes in, 1 delivered, 0 lost\n"})
    EXPECT_NE(log.find(want), std::string::npos) << want << "\nin:\n" << log;

  // DIR INDEX TIME_US HEX, in delivery order.
  std::istringstream lines(ReadWholeFile(timing));
  std::vector<std::string> dirs, hex;
  std::string d, h;
  unsigned long long index = 0, us = 0, lastUs = 0;
  while (lines >> d >> index >> us >> h) {
    dirs.push_back(d + " " + std::to_string(index));
    hex.push_back(h);
    EXPECT_GE(us, lastUs);
    lastUs = us;
  }
  EXPECT_EQ(dirs, (std::vector<std::string>{"a2b 0", "a2b 1", "a2b 2", "b2a 0"}));
  EXPECT_EQ(hex, (std::vector<std::string>{"61", "e2", "63", "06"}));
}

// The road the transfer tests take: a peer started on side B, the far program on COM7.
TEST_F(LineSimBinary, CarriesAnLrzszTransferBetweenPeers) {
  if (std::system("command -v sx >/dev/null && command -v rx >/dev/null") != 0) GTEST_SKIP() << "lrzsz missing";
  Bytes file(3000);
  std::mt19937 rng(7);
  for (auto& x : file) x = static_cast<std::uint8_t>(rng());
  std::ofstream(Dir() + "/send", std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                          static_cast<std::streamsize>(file.size()));
  ASSERT_TRUE(StartLine({"--baud", "115200"})) << Line().Log();
  StartPeer({"sx", "send"});
  const auto end = Clock::now() + kPatience;
  while (Line().Log().find("side B opened") == std::string::npos && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ChildProcess rx;
  ASSERT_TRUE(rx.Start({"rx", "-c", "got"}, {ComPath(), "", Dir() + "/rx.log", Dir()}));
  EXPECT_EQ(rx.Wait(kPatience), 0) << ReadWholeFile(Dir() + "/rx.log");
  const std::string got = ReadWholeFile(Dir() + "/got");
  ASSERT_EQ(got.size(), 3072U);  // 24 blocks of 128
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 3000), file);
  EXPECT_EQ(got.substr(3000), std::string(72, '\x1a'));
}

}  // namespace
