// panelsim against a small responder played by the test: on a bare pty pair for the bytes on
// the line, and across linesim (PanelSimFixture) with lrzsz for the transfer roads.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/PanelSimFixture.h"
#include "support/Patience.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testwait::kPatience;

// The panel waits this long for an answer where the test gives one: only once the test has
// read the request, which on a loaded machine may take longer than the panel's own 5 s.
const std::vector<std::string> kAnswerPatience{"--answer-timeout", std::to_string(testwait::kPatienceMs)};

constexpr std::uint8_t kCan = 0x18;

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Hex(const Bytes& bytes) {
  std::ostringstream s;
  for (std::uint8_t b : bytes) s << std::hex << (b < 16 ? "0" : "") << int{b} << ' ';
  return s.str();
}

bool HaveLrzsz() { return std::system("command -v sx >/dev/null && command -v rx >/dev/null") == 0; }

void MakeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
}

// Reads up to n bytes from fd within timeout.
Bytes ReadBytes(int fd, std::size_t n, milliseconds timeout) {
  Bytes got;
  const auto end = Clock::now() + timeout;
  while (got.size() < n) {
    const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    std::uint8_t buf[64];
    const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (r <= 0) {
      if (r < 0 && errno == EINTR) continue;
      break;
    }
    got.insert(got.end(), buf, buf + r);
  }
  return got;
}

void WriteBytes(int fd, const Bytes& bytes) {
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// The program's end of a pty pair: the test holds the master, panelsim gets the slave. The
// test keeps the slave open too, so nothing panelsim wrote is lost when it exits.
class PanelSimPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = name;
    MakeRaw(slave_);
    char pattern[] = "/tmp/kvx-panelsim-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    ASSERT_NE(made, nullptr);
    dir_ = made;
  }

  void TearDown() override {
    panel_.Stop();
    ::close(master_);
    ::close(slave_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Later options win, so args may set their own --answer-timeout.
  void StartPanel(const std::vector<std::string>& args) {
    std::vector<std::string> argv{PanelSimBinary(), "--tty", slavePath_, "--timing", dir_ + "/timing"};
    argv.insert(argv.end(), kAnswerPatience.begin(), kAnswerPatience.end());
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_TRUE(panel_.Start(argv, {"", dir_ + "/out", dir_ + "/err", dir_}));
  }

  int WaitPanel() { return panel_.Wait(kPatience); }
  std::string Log() const { return ReadWholeFile(dir_ + "/err"); }
  std::string Timing() const { return ReadWholeFile(dir_ + "/timing"); }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string dir_;
  ChildProcess panel_;
};

const Bytes kRequest{0x01, 0x12, 0x34, 0x03};
const Bytes kAnswerType7{0x01, 0x99, 0xFD, 0x03};

// Known answers by CRC variant; wrong is another variant's answer to the same request.
struct AnswerCase {
  int type;
  Bytes data;
  Bytes answer;
  Bytes wrong;
};

void PrintTo(const AnswerCase& c, std::ostream* os) { *os << "type " << c.type << " request " << Hex(c.data); }

class AnswerTest : public PanelSimPtyTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, AcceptsTheVariantOfItsTypeAndCancelsAnother) {
  const AnswerCase& c = GetParam();
  const std::string data = Hex(c.data);
  const Bytes request = Cat(Cat({0x01}, c.data), {0x03});
  for (bool right : {true, false}) {
    SCOPED_TRACE(right ? "right answer" : "wrong answer");
    StartPanel({"--type", std::to_string(c.type), "--request", data, "request"});
    ASSERT_EQ(ReadBytes(master_, 4, kPatience), request) << Log();
    WriteBytes(master_, right ? c.answer : c.wrong);
    if (right) {
      EXPECT_EQ(WaitPanel(), 0) << Log();
      EXPECT_NE(Timing().find("answer "), std::string::npos) << Timing();
    } else {
      EXPECT_EQ(ReadBytes(master_, 2, kPatience), Bytes({kCan, kCan}));
      EXPECT_EQ(WaitPanel(), panelsim::kWrongAnswer) << Log();
      EXPECT_NE(Log().find("wrong"), std::string::npos) << Log();
    }
  }
}

// The types of one family share a variant: 2, 3, 7; 4, 5, 6; 8, 9; the rest.
INSTANTIATE_TEST_SUITE_P(
    Variants, AnswerTest,
    ::testing::Values(AnswerCase{7, {0x12, 0x34}, {0x01, 0x99, 0xFD, 0x03}, {0x01, 0xC7, 0x0C, 0x03}},
                      AnswerCase{7, {0x00, 0x00}, {0x01, 0xEE, 0xF0, 0x03}, {0x01, 0xF0, 0xEE, 0x03}},
                      AnswerCase{2, {0x12, 0x34}, {0x01, 0x99, 0xFD, 0x03}, {0x01, 0x9C, 0xAE, 0x03}},
                      AnswerCase{3, {0x12, 0x34}, {0x01, 0x99, 0xFD, 0x03}, {0x01, 0x57, 0x63, 0x03}},
                      AnswerCase{4, {0x12, 0x34}, {0x01, 0x9C, 0xAE, 0x03}, {0x01, 0x99, 0xFD, 0x03}},
                      AnswerCase{6, {0x12, 0x34}, {0x01, 0x9C, 0xAE, 0x03}, {0x01, 0xC7, 0x0C, 0x03}},
                      AnswerCase{8, {0x12, 0x34}, {0x01, 0x57, 0x63, 0x03}, {0x01, 0xC7, 0x0C, 0x03}},
                      AnswerCase{9, {0x12, 0x34}, {0x01, 0x57, 0x63, 0x03}, {0x01, 0x9C, 0xAE, 0x03}},
                      AnswerCase{1, {0x12, 0x34}, {0x01, 0xC7, 0x0C, 0x03}, {0x01, 0x99, 0xFD, 0x03}},
                      AnswerCase{11, {0x12, 0x34}, {0x01, 0xC7, 0x0C, 0x03}, {0x01, 0x57, 0x63, 0x03}}));

TEST_F(PanelSimPtyTest, NoAnswerEndsAfterTheTimeOut) {
  const auto start = Clock::now();
  StartPanel({"--answer-timeout", "200", "request"});
  ASSERT_EQ(ReadBytes(master_, 4, kPatience), kRequest);
  WriteBytes(master_, {0x01, 0x99});  // half an answer is no answer
  EXPECT_EQ(WaitPanel(), panelsim::kNoAnswer) << Log();
  EXPECT_GE(Clock::now() - start, milliseconds(200));
  EXPECT_NE(Log().find("01 99"), std::string::npos) << Log();
}

// What goes on the line before the valid request 01 12 34 03, and the pauses in it: the byte
// at index goes out at least ms after the one before, on panelsim's own clock (its timing
// events), since the test may read either byte late.
struct MalformedCase {
  const char* name;
  std::vector<std::string> args;
  Bytes before;
  std::vector<std::pair<std::size_t, int>> pauses;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedTest : public PanelSimPtyTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedTest, SendsItsBytesThenTheValidRequest) {
  const MalformedCase& c = GetParam();
  std::vector<std::string> args = c.args;
  args.insert(args.end(), {"--gap", "150", "request"});
  StartPanel(args);
  const Bytes expected = Cat(c.before, kRequest);
  ASSERT_EQ(ReadBytes(master_, expected.size(), kPatience), expected) << Log();
  WriteBytes(master_, kAnswerType7);
  EXPECT_EQ(WaitPanel(), 0) << Log();

  // Each write is an event "sent|request TIME_US HEX..." logged once it is done: the write
  // whose first byte has the index started at least ms after the event before it.
  std::map<std::size_t, long long> writeAt;  // first byte index -> time of the write's event
  std::vector<long long> eventTimes;
  std::istringstream lines(Timing());
  std::size_t index = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string event;
    long long us = 0;
    fields >> event >> us;
    if (event != "sent" && event != "request") continue;
    writeAt[index] = static_cast<long long>(eventTimes.size());
    eventTimes.push_back(us);
    for (std::string hex; fields >> hex;) ++index;
  }
  EXPECT_EQ(index, expected.size()) << Timing();
  for (const auto& [at, ms] : c.pauses) {
    const auto write = writeAt.find(at);
    ASSERT_TRUE(write != writeAt.end() && write->second > 0) << "no write starts at byte " << at << "\n" << Timing();
    const auto k = static_cast<std::size_t>(write->second);
    EXPECT_GE(eventTimes[k] - eventTimes[k - 1], ms * 1000LL) << "before byte " << at << "\n" << Timing();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, MalformedTest,
    ::testing::Values(
        MalformedCase{"Noise", {"--noise", "55aa0003"}, {0x55, 0xAA, 0x00, 0x03}, {}},
        MalformedCase{"OneDataByte", {"--bad-length", "1"}, {0x01, 0x41, 0x03}, {{3, 150}}},
        MalformedCase{"ThreeDataBytes", {"--bad-length", "3"}, {0x01, 0x41, 0x42, 0x43, 0x03}, {{5, 150}}},
        MalformedCase{"EtxFirst", {"--etx-first"}, {0x01, 0x03, 0x34, 0x03}, {{4, 150}}},
        MalformedCase{"SplitSoh", {"--split-soh", "200"}, {0x01, 0x12, 0x34, 0x03}, {{1, 200}, {4, 150}}},
        MalformedCase{"InTheOrderGiven",
                      {"--etx-first", "--noise", "ff", "--bad-length", "1"},
                      {0x01, 0x03, 0x34, 0x03, 0xFF, 0x01, 0x41, 0x03},
                      {{4, 150}, {8, 150}}}),
    [](const auto& param) { return std::string(param.param.name); });

// Silence is checked: after a malformed request and with --expect-silence.
TEST_F(PanelSimPtyTest, SilenceWantedAndKept) {
  StartPanel({"--request", "41", "--expect-silence", "200", "request"});
  EXPECT_EQ(ReadBytes(master_, 3, kPatience), Bytes({0x01, 0x41, 0x03}));
  EXPECT_EQ(WaitPanel(), 0) << Log();
}

TEST_F(PanelSimPtyTest, SilenceWantedAndBroken) {
  // The silence is broken by the test's write, however late that comes.
  StartPanel({"--request", "41", "--expect-silence", std::to_string(testwait::kPatienceMs), "request"});
  ASSERT_EQ(ReadBytes(master_, 3, kPatience), Bytes({0x01, 0x41, 0x03}));
  WriteBytes(master_, {0x01, 0x12, 0x34, 0x03});
  EXPECT_EQ(WaitPanel(), panelsim::kNotSilent) << Log();
}

TEST_F(PanelSimPtyTest, AnswerToAMalformedRequestIsAFault) {
  StartPanel({"--bad-length", "3", "--gap", std::to_string(testwait::kPatienceMs), "request"});
  ASSERT_EQ(ReadBytes(master_, 5, kPatience), Bytes({0x01, 0x41, 0x42, 0x43, 0x03}));
  WriteBytes(master_, {0x01, 0x12, 0x34, 0x03});
  EXPECT_EQ(WaitPanel(), panelsim::kNotSilent) << Log();
  // The valid request never went out.
  EXPECT_TRUE(ReadBytes(master_, 1, milliseconds(50)).empty());
}

TEST_F(PanelSimPtyTest, PassesThePeersStatusThrough) {
  StartPanel({"--rx", "false", "download", "got.srd"});
  ASSERT_EQ(ReadBytes(master_, 4, kPatience), kRequest);
  WriteBytes(master_, kAnswerType7);
  EXPECT_EQ(WaitPanel(), 1) << Log();
  StartPanel({"--rx", "/nonexistent/rx", "download", "got.srd"});
  ASSERT_EQ(ReadBytes(master_, 4, kPatience), kRequest);
  WriteBytes(master_, kAnswerType7);
  EXPECT_EQ(WaitPanel(), 127) << Log();
}

TEST_F(PanelSimPtyTest, StoppingItStopsItsPeer) {
  if (!HaveLrzsz()) GTEST_SKIP() << "lrzsz missing";
  StartPanel({"download", "got.srd"});
  ASSERT_EQ(ReadBytes(master_, 4, kPatience), kRequest);
  WriteBytes(master_, kAnswerType7);
  // rx asks for the first block with 'C' once it runs.
  ASSERT_EQ(ReadBytes(master_, 1, kPatience), Bytes({'C'})) << Log();
  std::string timing = Timing();
  const auto at = timing.find("peer_start");
  ASSERT_NE(at, std::string::npos) << timing;
  const std::string line = timing.substr(at, timing.find('\n', at) - at);
  const pid_t rx = static_cast<pid_t>(std::stol(line.substr(line.rfind(' ') + 1)));
  EXPECT_EQ(panel_.Stop(), 128 + SIGTERM) << Log();
  EXPECT_EQ(::kill(rx, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

struct UsageCase {
  std::vector<std::string> args;
  int status;
};

TEST(PanelSimUsage, RefusesBadCommandLines) {
  const UsageCase cases[] = {
      {{}, panelsim::kUsage},
      {{"request"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "fly"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "upload"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "request", "file"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "--request", "1g", "request"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "--type", "0", "request"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "--bad-length", "2", "request"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "--expect-silence", "10", "download", "f"}, panelsim::kUsage},
      {{"--tty", "/dev/null", "--gap"}, panelsim::kUsage},
      {{"--tty", "/nonexistent/tty", "request"}, panelsim::kTtyFailed},
      {{"--tty", "/dev/null", "request"}, panelsim::kTtyFailed},
  };
  for (const UsageCase& c : cases) {
    std::vector<std::string> argv{PanelSimBinary()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ChildProcess p;
    ASSERT_TRUE(p.Start(argv, {"", "/dev/null", "/dev/null", ""}));
    std::string shown;
    for (const auto& a : c.args) shown += a + ' ';
    EXPECT_EQ(p.Wait(kPatience), c.status) << shown;
  }
}

// The roads across linesim at 9600 baud, the test playing the program with lrzsz.
struct RoadCase {
  const char* name;
  std::vector<std::string> panelArgs;
  bool request;                       // the program answers a request first
  std::vector<std::string> program;   // the program's XMODEM end, run on COM7
  const char* received;
};

void PrintTo(const RoadCase& c, std::ostream* os) { *os << c.name; }

class RoadTest : public PanelSimFixture, public ::testing::WithParamInterface<RoadCase> {};

TEST_P(RoadTest, CarriesTheFile) {
  if (!HaveLrzsz()) GTEST_SKIP() << "lrzsz missing";
  const RoadCase& c = GetParam();
  std::string site(1000, '\0');
  for (std::size_t k = 0; k < site.size(); ++k) site[k] = static_cast<char>((k * 37 + k / 7) % 256);
  std::ofstream(Panel().File("site.srd"), std::ios::binary) << site;

  ASSERT_TRUE(Panel().StartLine({"--baud", "9600"})) << Panel().LineLog();
  std::vector<std::string> panelArgs = kAnswerPatience;
  panelArgs.insert(panelArgs.end(), c.panelArgs.begin(), c.panelArgs.end());
  // Held open throughout, so that no byte for the program's side is lost.
  const int com = ::open(Panel().ComPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(com, 0);
  MakeRaw(com);
  ASSERT_TRUE(Panel().StartPanel(panelArgs));
  if (c.request) {
    ASSERT_EQ(ReadBytes(com, 4, kPatience), kRequest) << Panel().PanelLog();
    WriteBytes(com, kAnswerType7);
  }
  ChildProcess program;
  ASSERT_TRUE(program.Start(c.program, {Panel().ComPath(), "", Panel().File("program.log"), Panel().Dir()}));
  EXPECT_EQ(program.Wait(2 * kPatience), 0)
      << ReadWholeFile(Panel().File("program.log")) << Panel().PanelLog() << Panel().LineLog();
  // rx's flush at exit can swallow its last ACK on a pty; the program's end repeats it, as
  // panelsim does for its own rx.
  if (c.program[0] == "rx") WriteBytes(com, {0x06});
  EXPECT_EQ(Panel().WaitPanel(kPatience), 0) << Panel().PanelLog();
  ::close(com);

  // XMODEM pads the last block with SUB.
  const std::string got = ReadWholeFile(Panel().File(c.received));
  ASSERT_GE(got.size(), site.size());
  EXPECT_EQ(got.substr(0, site.size()), site);
  EXPECT_EQ(got.substr(site.size()), std::string(got.size() - site.size(), '\x1a'));

  const std::string timing = Panel().Timing();
  EXPECT_EQ(timing.find("request ") != std::string::npos, c.request) << timing;
  EXPECT_EQ(timing.find(" ok\n") != std::string::npos, c.request) << timing;
  EXPECT_NE(timing.find("peer_end "), std::string::npos) << timing;
}

INSTANTIATE_TEST_SUITE_P(
    Lrzsz, RoadTest,
    ::testing::Values(RoadCase{"Download", {"download", "got.srd"}, true, {"sx", "site.srd"}, "got.srd"},
                      RoadCase{"Upload", {"upload", "site.srd"}, true, {"rx", "-c", "got.srd"}, "got.srd"},
                      RoadCase{"Language", {"language", "got.bin"}, false, {"sx", "site.srd"}, "got.bin"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
