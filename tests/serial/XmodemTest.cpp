// The XMODEM engine end to end: sending to and receiving from lrzsz's rx and sx through the
// line simulator (clean and with faults), and scripted peers on a pty for the cases a real
// peer will not produce on demand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/PtyPair.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SwAbsPcl.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwXModem.h"
#include "support/LineSimFixture.h"
#include "support/Patience.h"

namespace {

using namespace std::chrono_literals;
using testwait::kPatience;

bool HaveProgram(const char* name) {
  const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string MakeData(std::size_t size, std::uint8_t seed = 0) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(serialtest::Pattern(i, seed));
  return data;
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// received is sent followed by 0x1A fill up to a whole number of blocks.
::testing::AssertionResult PaddedEqual(const std::string& received, const std::string& sent, std::size_t block) {
  if (received.size() < sent.size() || received.compare(0, sent.size(), sent) != 0)
    return ::testing::AssertionFailure() << "data differs (got " << received.size() << " bytes for " << sent.size()
                                         << ")";
  if (received.size() % block != 0 || received.size() - sent.size() >= block + (sent.empty() ? 1 : 0))
    return ::testing::AssertionFailure() << "length " << received.size() << " is not " << sent.size()
                                         << " padded to " << block;
  for (std::size_t i = sent.size(); i < received.size(); ++i)
    if (received[i] != '\x1A') return ::testing::AssertionFailure() << "fill byte " << i << " is not 0x1A";
  return ::testing::AssertionSuccess();
}

// The protocol component's window, as a test sees it: records every message.
class ProtocolSink {
 public:
  ProtocolSink() {
    wnd_ = CreateMsgWindow("swMsgHandler", [this](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
      return Handle(msg, wParam, lParam);
    });
  }
  ~ProtocolSink() { DestroyMsgWindow(wnd_); }
  ProtocolSink(const ProtocolSink&) = delete;
  ProtocolSink& operator=(const ProtocolSink&) = delete;

  HWND Wnd() const { return wnd_; }

  // Pumps the thread's messages until the finish message came; false on time-out.
  bool WaitFinish(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!finish) {
      if (std::chrono::steady_clock::now() >= end) return false;
      if (PumpOneMessage() == 0) WaitForMessages(20);
    }
    return true;
  }

  std::string sendName;  // given once to the next-file question
  bool accept = true;
  std::optional<std::int32_t> finish;
  std::vector<std::uint16_t> logs;
  std::vector<std::int32_t> errors;
  int statusReports = 0;
  int firstReports = 0;
  int lastReports = 0;

 private:
  std::intptr_t Handle(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (msg) {
      case MsgProtocolStatus:
        ++statusReports;
        if (wParam & StatusFirst) ++firstReports;
        if (wParam & StatusLast) ++lastReports;
        return 0;
      case MsgProtocolLog: logs.push_back(static_cast<std::uint16_t>(wParam)); return 0;
      case MsgProtocolError: errors.push_back(static_cast<std::int16_t>(wParam)); return 0;
      case MsgProtocolFinish: finish = static_cast<std::int16_t>(wParam); return 0;
      case MsgProtocolNextFile:
        if (sendName.empty()) return 0;
        apCopyName(reinterpret_cast<char*>(lParam), sendName);
        sendName.clear();
        return 1;
      case MsgProtocolAcceptFile: return accept ? 1 : 0;
      default: return 0;
    }
  }

  HWND wnd_ = 0;
};

// One engine on COM7 with its window; the port closes before the record goes.
class Engine {
 public:
  explicit Engine(std::uint32_t baud = 9600) {
    port_.SetComNumber(7);
    port_.SetBaud(baud);
    port_.SetOutSize(8192);
    port_.SetOpen(true);
  }
  ~Engine() {
    // A close during a notification finishes later, on the window: wait for it, so that
    // no dispatch thread is left in the engine when the record goes.
    port_.SetOpen(false);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (port_.PortState() != psClosed && std::chrono::steady_clock::now() < end)
      if (PumpOneMessage() == 0) WaitForMessages(5);
    if (P_ != nullptr) xpDone(P_);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // xpReinit as the component does for the type.
  void Init(std::uint8_t type) {
    ASSERT_EQ(xpInit(P_, &port_, type != ptXmodem, type == ptXmodem1K || type == ptXmodem1KG, type == ptXmodem1KG, 0),
              0);
    apSetProtocolWindow(P_, sink.Wnd());
  }
  void Send(const std::string& path) {
    sink.sendName = path;
    apStartProtocol(P_, P_->ProtocolType, xpTransmit, xpPrepareTransmit);
  }
  void Receive(const std::string& path) {
    apSetReceiveFilename(P_, path);
    apStartProtocol(P_, P_->ProtocolType, xpReceive, xpPrepareReceive);
  }
  // The record's fields, read under its lock once the transfer has ended.
  template <class F>
  auto Read(F f) {
    std::lock_guard guard(P_->DataLock);
    return f(*P_);
  }
  void Cancel() { xpTransmit(MsgProtocolCancel, 0, port_.Dispatcher()->Handle() * 65536); }

  PProtocolData P() { return P_; }
  TSioComPort& Port() { return port_; }
  ProtocolSink sink;

 private:
  TSioComPort port_;
  PProtocolData P_ = nullptr;
};

class XmodemLineTest : public LineSimFixture {
 protected:
  void SetUp() override {
    LineSimFixture::SetUp();
    SetMainThread();
    if (!HaveProgram("sx") || !HaveProgram("rx")) GTEST_SKIP() << "lrzsz (sx, rx) is not installed";
  }
  void TearDown() override {
    if (HasFailure()) {
      for (int i = 1; i <= 3; ++i) {
        const std::string log = ReadWholeFile(Path("peer" + std::to_string(i) + ".log"));
        if (!log.empty()) std::fprintf(stderr, "peer %d:\n%s\n", i, log.c_str());
      }
      Line().Stop();  // for its counts
      const std::string timing = ReadWholeFile(Path("timing.txt"));
      std::fprintf(stderr, "timing tail:\n%s\n", timing.substr(timing.size() > 2000 ? timing.size() - 2000 : 0).c_str());
      std::fprintf(stderr, "line:\n%s\n", Line().Log().c_str());
    }
    LineSimFixture::TearDown();
  }
  std::string Path(const std::string& name) const { return Dir() + "/" + name; }

  // rx as a peer. rx flushes its terminal as it exits, right after acknowledging the end
  // of transmission; on a loaded machine that flush can take the acknowledgement off a pty
  // before it was passed on. Behind socat, rx's terminal is a socket and the byte is safe.
  ChildProcess& Rx(const std::vector<std::string>& args) {
    std::string cmd = "EXEC:rx";
    for (const auto& a : args) cmd += " " + a;
    return StartPeer({"socat", "-", cmd});
  }

  // A peer whose first byte must not be lost: bytes to a side nobody has open are dropped.
  ChildProcess& Peer(const std::vector<std::string>& argv) {
    ChildProcess& p = StartPeer(argv);
    EXPECT_TRUE(serialtest::WaitFor([&] { return Line().Log().find("side B opened") != std::string::npos; }, 5000));
    return p;
  }
};

// ---- Clean line, lrzsz on the far side -----------------------------------------------

struct SendCase {
  const char* name;
  std::uint8_t type;
  std::vector<std::string> rx;
  std::size_t size;
  std::size_t block;
};
void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class XmodemSendTest : public XmodemLineTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(XmodemSendTest, ReachesRxPaddedToAWholeBlock) {
  const SendCase& c = GetParam();
  ASSERT_TRUE(StartLine({"--timing", Path("timing.txt")}));
  const std::string data = MakeData(c.size);
  WriteFile(Path("site.bin"), data);
  std::vector<std::string> argv(c.rx.begin() + 1, c.rx.end());
  argv.push_back("got.bin");

  // The sender first: what the receiver says before the sender is ready is discarded.
  Engine e;
  e.Init(c.type);
  e.Send(Path("site.bin"));
  ChildProcess& rx = Rx(argv);
  ASSERT_TRUE(e.sink.WaitFinish(60s));
  EXPECT_EQ(*e.sink.finish, 0);
  EXPECT_EQ(rx.Wait(20s), 0);
  EXPECT_TRUE(PaddedEqual(ReadWholeFile(Path("got.bin")), data, c.block));
  EXPECT_EQ(e.sink.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitOk}));
  EXPECT_EQ(e.sink.firstReports, 1);
  EXPECT_EQ(e.sink.lastReports, 1);
  e.Read([&](const TProtocolData& p) {
    EXPECT_EQ(p.ProtocolStatus, psEndFile);
    EXPECT_EQ(p.FileLength, static_cast<std::int32_t>(c.size));
    EXPECT_EQ(p.InProgress, 0);
    return 0;
  });
}

INSTANTIATE_TEST_SUITE_P(
    Variants, XmodemSendTest,
    ::testing::Values(SendCase{"Crc", ptXmodemCRC, {"rx", "-c"}, 10322, 128},
                      SendCase{"OneK", ptXmodem1K, {"rx", "-c"}, 10322, 1024},
                      SendCase{"OneKGFollowsACrcReceiver", ptXmodem1KG, {"rx", "-c"}, 10322, 1024},
                      SendCase{"Checksum", ptXmodem, {"rx"}, 10322, 128},
                      SendCase{"CrcSenderFollowsAChecksumReceiver", ptXmodemCRC, {"rx"}, 3000, 128},
                      SendCase{"EmptyFile", ptXmodemCRC, {"rx", "-c"}, 0, 128},
                      SendCase{"ExactBlocks", ptXmodemCRC, {"rx", "-c"}, 8192, 128}),
    [](const auto& param) { return std::string(param.param.name); });

struct ReceiveCase {
  const char* name;
  std::uint8_t type;
  std::vector<std::string> sx;
  std::size_t size;
};
void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }

class XmodemReceiveTest : public XmodemLineTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(XmodemReceiveTest, TakesWhatSxSends) {
  const ReceiveCase& c = GetParam();
  ASSERT_TRUE(StartLine({}));
  const std::string data = MakeData(c.size, 3);
  WriteFile(Path("out.bin"), data);
  std::vector<std::string> argv = c.sx;
  argv.push_back("out.bin");
  ChildProcess& sx = Peer(argv);

  Engine e;
  e.Init(c.type);
  e.Receive(Path("in.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(60s));
  EXPECT_EQ(*e.sink.finish, 0);
  EXPECT_EQ(sx.Wait(20s), 0);
  EXPECT_TRUE(PaddedEqual(ReadWholeFile(Path("in.bin")), data, 128));
  EXPECT_EQ(e.sink.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveOk}));
  e.Read([&](const TProtocolData& p) {
    EXPECT_EQ(p.ProtocolStatus, psEndFile);
    EXPECT_FALSE(p.FileOpen);
    return 0;
  });
}

INSTANTIATE_TEST_SUITE_P(Peers, XmodemReceiveTest,
                         ::testing::Values(ReceiveCase{"Sx", ptXmodemCRC, {"sx"}, 10322},
                                           ReceiveCase{"SxOneK", ptXmodemCRC, {"sx", "-k"}, 10322},
                                           ReceiveCase{"SxChecksum", ptXmodem, {"sx"}, 4000}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(XmodemLineTest, AnExistingTargetIsKeptAndTheNewFileTakesADollarName) {
  ASSERT_TRUE(StartLine({}));
  const std::string data = MakeData(1000, 5);
  WriteFile(Path("out.bin"), data);
  WriteFile(Path("data.bin"), "old contents");
  ChildProcess& sx = Peer({"sx", "out.bin"});

  Engine e;
  e.Init(ptXmodemCRC);
  apSetOverwriteOption(e.P(), wfWriteRename);
  e.Receive(Path("data.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(60s));
  EXPECT_EQ(*e.sink.finish, 0);
  EXPECT_EQ(sx.Wait(20s), 0);
  EXPECT_EQ(ReadWholeFile(Path("data.bin")), "old contents");
  EXPECT_TRUE(PaddedEqual(ReadWholeFile(Path("$ata.bin")), data, 128));
  EXPECT_EQ(e.Read([](const TProtocolData& p) { return std::string(p.PathName); }), Path("$ata.bin"));
}

TEST_F(XmodemLineTest, AnExistingTargetWithWriteFailIsSkipped) {
  ASSERT_TRUE(StartLine({}));
  WriteFile(Path("data.bin"), "old contents");
  Engine e;
  e.Init(ptXmodemCRC);
  apSetOverwriteOption(e.P(), wfWriteFail);
  e.Receive(Path("data.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecCantWriteFile);
  EXPECT_EQ(ReadWholeFile(Path("data.bin")), "old contents");
  EXPECT_EQ(e.sink.logs, (std::vector<std::uint16_t>{lfReceiveStart, lfReceiveSkip}));
}

TEST_F(XmodemLineTest, ARefusedFileIsNotCreated) {
  ASSERT_TRUE(StartLine({}));
  Engine e;
  e.Init(ptXmodemCRC);
  e.sink.accept = false;
  e.Receive(Path("data.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecFileRejected);
  EXPECT_FALSE(std::filesystem::exists(Path("data.bin")));
}

TEST_F(XmodemLineTest, AMissingFileToSendFinishesWithItsCode) {
  ASSERT_TRUE(StartLine({}));
  Engine e;
  e.Init(ptXmodemCRC);
  e.Send(Path("nothing.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecFileNotFound);
  EXPECT_EQ(e.sink.errors, std::vector<std::int32_t>{ecFileNotFound});
  EXPECT_EQ(e.sink.logs, (std::vector<std::uint16_t>{lfTransmitStart, lfTransmitFail}));
}

// ---- Faults on the line ----------------------------------------------------------------

struct FaultCase {
  const char* name;
  bool weSend;
  std::vector<std::string> line;
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class XmodemFaultTest : public XmodemLineTest, public ::testing::WithParamInterface<FaultCase> {};

// Every fault the protocol can repair ends with the same data, and a success is never
// reported for anything else.
TEST_P(XmodemFaultTest, IsRepairedWithIdenticalData) {
  const FaultCase& c = GetParam();
  ASSERT_TRUE(StartLine(c.line));
  const std::string data = MakeData(3000, 7);
  Engine e;
  e.Init(ptXmodemCRC);
  std::string received;
  if (c.weSend) {
    WriteFile(Path("site.bin"), data);
    e.Send(Path("site.bin"));
    ChildProcess& rx = Rx({"-c", "got.bin"});
    ASSERT_TRUE(e.sink.WaitFinish(90s));
    EXPECT_EQ(rx.Wait(20s), 0);
    received = ReadWholeFile(Path("got.bin"));
  } else {
    WriteFile(Path("out.bin"), data);
    ChildProcess& sx = Peer({"sx", "out.bin"});
    e.Receive(Path("in.bin"));
    ASSERT_TRUE(e.sink.WaitFinish(90s));
    EXPECT_EQ(sx.Wait(20s), 0);
    received = ReadWholeFile(Path("in.bin"));
  }
  EXPECT_EQ(*e.sink.finish, 0) << Line().Log();
  EXPECT_TRUE(PaddedEqual(received, data, 128));
  EXPECT_NE(Line().Log().find(" byte "), std::string::npos) << "the fault never happened";
}

// a2b carries what we send (blocks when sending), b2a what the peer sends. Byte 0 of a
// direction is the first byte of block 1 for the sending side.
INSTANTIATE_TEST_SUITE_P(
    Faults, XmodemFaultTest,
    ::testing::Values(FaultCase{"SendFlippedData", true, {"--flip", "a2b:150:3"}},
                      FaultCase{"SendFlippedCrc", true, {"--flip", "a2b:264:0"}},
                      FaultCase{"SendDroppedByte", true, {"--drop", "a2b:200"}},
                      FaultCase{"SendDroppedBlock", true, {"--drop-block", "a2b:3"}},
                      FaultCase{"SendAckTurnedNak", true, {"--ack-to-nak", "b2a:2"}},
                      FaultCase{"ReceiveFlippedData", false, {"--flip", "b2a:150:3"}},
                      FaultCase{"ReceiveFlippedCrc", false, {"--flip", "b2a:265:1"}},
                      FaultCase{"ReceiveFlippedComplement", false, {"--flip", "b2a:135:2"}},
                      FaultCase{"ReceiveDroppedByte", false, {"--drop", "b2a:200"}},
                      FaultCase{"ReceiveDroppedBlock", false, {"--drop-block", "b2a:3"}},
                      FaultCase{"ReceiveRepeatedBlock", false, {"--repeat-block", "b2a:2"}}),
    [](const auto& param) { return std::string(param.param.name); });

// ACKs of a 1K transfer turned into NAKs: the receiver holds the block the sender keeps
// repeating. However it ends, a success on either side means the file arrived whole.
struct AckFaultCase {
  const char* name;
  const char* acks;  // the ACKs, counted from 1, that reach us as NAKs
  bool repairable;
};
void PrintTo(const AckFaultCase& c, std::ostream* os) { *os << c.name; }

class XmodemOneKAckFaultTest : public XmodemLineTest, public ::testing::WithParamInterface<AckFaultCase> {};

TEST_P(XmodemOneKAckFaultTest, ASuccessAlwaysMeansAnIdenticalFile) {
  const AckFaultCase& c = GetParam();
  ASSERT_TRUE(StartLine({"--ack-to-nak", std::string("b2a:") + c.acks}));
  const std::string data = MakeData(10322, 8);
  WriteFile(Path("site.bin"), data);
  Engine e;
  e.Init(ptXmodem1K);
  e.Send(Path("site.bin"));
  ChildProcess& rx = Rx({"-c", "got.bin"});
  ASSERT_TRUE(e.sink.WaitFinish(120s));
  const int rxStatus = rx.Wait(60s);
  const std::string got = ReadWholeFile(Path("got.bin"));
  if (*e.sink.finish == 0 || rxStatus == 0) {
    EXPECT_TRUE(PaddedEqual(got, data, 1024)) << "finish " << *e.sink.finish << ", rx " << rxStatus;
  }
  EXPECT_EQ(*e.sink.finish == 0, c.repairable) << *e.sink.finish;
  if (!c.repairable) {
    EXPECT_EQ(*e.sink.finish, ecTooManyErrors);
  }
}

INSTANTIATE_TEST_SUITE_P(OneK, XmodemOneKAckFaultTest,
                         ::testing::Values(AckFaultCase{"FirstBlockSixTimes", "1-6", false},
                                           AckFaultCase{"SecondBlockSixTimes", "2-7", false},
                                           AckFaultCase{"FirstBlockThreeTimes", "1-3", true}),
                         [](const auto& param) { return std::string(param.param.name); });

// A receiver on a line that carries only noise ends with a failure, never a success.
struct NoiseCase {
  const char* name;
  const char* command;  // the far side's program, writing to the line
};
void PrintTo(const NoiseCase& c, std::ostream* os) { *os << c.name; }

class XmodemNoiseTest : public XmodemLineTest, public ::testing::WithParamInterface<NoiseCase> {};

TEST_P(XmodemNoiseTest, EndsTheReceptionWithAFailure) {
  const NoiseCase& c = GetParam();
  ASSERT_TRUE(StartLine({"--baud", "9600"}));
  Engine e;
  e.Init(ptXmodemCRC);
  const auto start = std::chrono::steady_clock::now();
  e.Receive(Path("in.bin"));
  StartPeer({"sh", "-c", c.command});
  // Only a guard against a hang: how long it takes is no business of this test's.
  ASSERT_TRUE(e.sink.WaitFinish(300s));
  std::fprintf(stderr, "noise (%s) ended after %.1f s with %d\n", c.name,
               std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), *e.sink.finish);
  EXPECT_NE(*e.sink.finish, 0);
  EXPECT_EQ(e.sink.logs.back(), lfReceiveFail);
}

INSTANTIATE_TEST_SUITE_P(Lines, XmodemNoiseTest,
                         ::testing::Values(NoiseCase{"Letters", "yes abcdefghij | tr -d '\\n'"},
                                           NoiseCase{"RandomBytes", "exec cat /dev/urandom"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(XmodemLineTest, ASenderWhoseReceiverFallsSilentGivesUpWithTooManyErrors) {
  // rx sends its 'C' and two ACKs, then nothing reaches us any more.
  ASSERT_TRUE(StartLine({"--silent-after", "b2a:3"}));
  WriteFile(Path("site.bin"), MakeData(10322));
  Engine e;
  e.Init(ptXmodemCRC);
  e.Send(Path("site.bin"));
  Rx({"-c", "got.bin"});
  ASSERT_TRUE(e.sink.WaitFinish(180s));
  EXPECT_EQ(*e.sink.finish, ecTooManyErrors);
  EXPECT_EQ(e.sink.logs.back(), lfTransmitFail);
}

TEST_F(XmodemLineTest, AReceiverWhoseSenderFallsSilentGivesUpWithTooManyErrors) {
  ASSERT_TRUE(StartLine({"--silent-after", "b2a:300"}));
  WriteFile(Path("out.bin"), MakeData(10322));
  Peer({"sx", "out.bin"});
  Engine e;
  e.Init(ptXmodemCRC);
  apSetHandshakeWait(e.P(), 55, 0);  // 3 s between our NAKs keeps the test short
  e.Receive(Path("in.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(180s));
  EXPECT_EQ(*e.sink.finish, ecTooManyErrors);
  EXPECT_EQ(e.sink.logs.back(), lfReceiveFail);
}

TEST_F(XmodemLineTest, ThreeCansFromTheSenderCancelTheReception) {
  // Before the third block's SOH: between blocks, as a cancelling sender sends them.
  ASSERT_TRUE(StartLine({"--insert-can", "b2a:266:3"}));
  WriteFile(Path("out.bin"), MakeData(3000));
  Peer({"sx", "out.bin"});
  Engine e;
  e.Init(ptXmodemCRC);
  e.Receive(Path("in.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecCancelRequested);
  EXPECT_EQ(e.sink.logs.back(), lfReceiveFail);
}

TEST_F(XmodemLineTest, CansFromTheReceiverCancelTheSending) {
  // In place of rx's second ACK (b2a byte 0 is its 'C').
  ASSERT_TRUE(StartLine({"--insert-can", "b2a:2:3"}));
  WriteFile(Path("site.bin"), MakeData(3000));
  Engine e;
  e.Init(ptXmodemCRC);
  e.Send(Path("site.bin"));
  Rx({"-c", "got.bin"});
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecCancelRequested);
  EXPECT_EQ(e.sink.logs.back(), lfTransmitFail);
}

// ---- Scripted peers on a pty --------------------------------------------------------------

class XmodemPtyTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThread(); }

  // Pumps messages until cond holds; false on time-out.
  static bool PumpUntil(Engine& e, const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      if (PumpOneMessage() == 0) WaitForMessages(5);
      (void)e;
    }
    return true;
  }

  // Reads from the master while pumping, until n bytes came.
  std::vector<std::uint8_t> ReadPumping(Engine& e, std::size_t n, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> got;
    PumpUntil(
        e,
        [&] {
          auto more = pty_.Read(n - got.size(), 1);
          got.insert(got.end(), more.begin(), more.end());
          return got.size() >= n;
        },
        timeout);
    return got;
  }

  // What the engine sent, once at least n bytes have come: a finished engine's last bytes may
  // still be on their way through the port's writer.
  std::vector<std::uint8_t> SentAtLeast(Engine& e, std::size_t n) {
    auto got = ReadPumping(e, n, kPatience);
    const auto rest = pty_.Drain();
    got.insert(got.end(), rest.begin(), rest.end());
    return got;
  }

  // A CRC block of size 128 (SOH) or 1024 (STX), the data padded with SUB.
  static std::vector<std::uint8_t> Block(std::uint8_t num, const std::string& data, bool badComplement = false,
                                         std::size_t size = 128) {
    std::vector<std::uint8_t> b{size == 1024 ? cStx : cSoh, num, static_cast<std::uint8_t>(badComplement ? num : ~num)};
    std::string padded = data;
    padded.resize(size, '\x1A');
    b.insert(b.end(), padded.begin(), padded.end());
    const std::uint16_t crc = apCrc16OfBlock(reinterpret_cast<const std::uint8_t*>(padded.data()), static_cast<std::uint32_t>(size));
    b.push_back(static_cast<std::uint8_t>(crc >> 8));
    b.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return b;
  }

  std::string Path(const std::string& name) const { return pty_.Dir() + "/" + name; }

  serialtest::PtyPair pty_;
};

TEST_F(XmodemPtyTest, ABadComplementIsNakedAndTheBlockTakenWhenRepeated) {
  Engine e;
  e.Init(ptXmodemCRC);
  e.Receive(Path("in.bin"));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{ChrC});
  const std::string data = MakeData(128, 1);
  auto bad = Block(1, data, true);
  ASSERT_TRUE(pty_.Write(bad.data(), bad.size()));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cNak});
  auto good = Block(1, data);
  ASSERT_TRUE(pty_.Write(good.data(), good.size()));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cAck});
  // A repeat of the block just taken is acknowledged and not written twice.
  ASSERT_TRUE(pty_.Write(good.data(), good.size()));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cAck});
  const std::uint8_t eot = cEot;
  ASSERT_TRUE(pty_.Write(&eot, 1));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cNak});
  ASSERT_TRUE(pty_.Write(&eot, 1));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, 0);
  EXPECT_EQ(ReadWholeFile(Path("in.bin")), data);
  EXPECT_EQ(e.Read([](const TProtocolData& p) { return p.TotalErrors; }), 1u);
}

TEST_F(XmodemPtyTest, AGoodBlockWithAnUnexpectedNumberCancels) {
  Engine e;
  e.Init(ptXmodemCRC);
  e.Receive(Path("in.bin"));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{ChrC});
  auto block = Block(5, "x");
  ASSERT_TRUE(pty_.Write(block.data(), block.size()));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecSequenceError);
  const auto sent = SentAtLeast(e, 3);
  const std::uint8_t cans[] = {cCan, cCan, cCan};
  EXPECT_NE(std::search(sent.begin(), sent.end(), std::begin(cans), std::end(cans)), sent.end());
}

TEST_F(XmodemPtyTest, SilenceAfterAGoodBlockIsAnsweredWithNak) {
  Engine e;
  e.Init(ptXmodemCRC);
  xpSetBlockWait(e.P(), 9);  // half a second
  e.Receive(Path("in.bin"));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{ChrC});
  auto block = Block(1, "first");
  ASSERT_TRUE(pty_.Write(block.data(), block.size()));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cAck});
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cNak});
  e.Cancel();
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecCancelRequested);
}

TEST_F(XmodemPtyTest, ThreeNaksToTheEndOfTransmissionGiveUp) {
  const std::string data = MakeData(100);
  WriteFile(Path("site.bin"), data);
  Engine e;
  e.Init(ptXmodemCRC);
  e.Send(Path("site.bin"));
  const std::uint8_t c = ChrC;
  ASSERT_TRUE(pty_.Write(&c, 1));
  EXPECT_EQ(ReadPumping(e, 133, kPatience), Block(1, data));
  const std::uint8_t ack = cAck;
  ASSERT_TRUE(pty_.Write(&ack, 1));
  const std::uint8_t nak = cNak;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cEot}) << i;
    ASSERT_TRUE(pty_.Write(&nak, 1));
  }
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecTooManyErrors);
}

// The panel starts its receiver as soon as it has its answer: a 'C' that came before the
// sender started is answered with the first block at once, while what came before it is
// dropped.
TEST_F(XmodemPtyTest, AHandshakeThatCameBeforeTheStartIsAnsweredAtOnce) {
  const std::string data = MakeData(100);
  WriteFile(Path("site.bin"), data);
  Engine e;
  e.Init(ptXmodemCRC);
  const std::uint8_t early[] = {0x01, 0x12, ChrC, 0x34};
  const std::uint8_t c = ChrC;
  for (bool handshake : {true, false}) {
    SCOPED_TRACE(handshake ? "with a 'C' waiting" : "with no 'C' waiting");
    if (handshake)
      ASSERT_TRUE(pty_.Write(early, 3));  // ends with the 'C'
    else
      ASSERT_TRUE(pty_.Write(early + 3, 1));
    ASSERT_TRUE(PumpUntil(e, [&] { return e.Port().InBuffUsed() == (handshake ? 3u : 1u); }, kPatience));
    e.sink.finish.reset();
    e.Send(Path("site.bin"));
    if (!handshake) {
      // Nothing goes out until the receiver asks.
      EXPECT_TRUE(ReadPumping(e, 1, 300ms).empty());
      ASSERT_TRUE(pty_.Write(&c, 1));
    }
    EXPECT_EQ(ReadPumping(e, 133, kPatience), Block(1, data));
    const std::uint8_t ack = cAck;
    ASSERT_TRUE(pty_.Write(&ack, 1));
    EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cEot});
    ASSERT_TRUE(pty_.Write(&ack, 1));
    ASSERT_TRUE(e.sink.WaitFinish(kPatience));
    EXPECT_EQ(*e.sink.finish, 0);
  }
}

// The read hook of a disk that fails on the second block.
bool FailingRead(PProtocolData P, std::uint8_t* block, std::uint32_t& count) {
  if (P->FileOfs >= 128) {
    apProtocolError(P, -100);
    count = 0;
    return true;
  }
  return aapReadProtocolBlock(P, block, count);
}

TEST_F(XmodemPtyTest, ADiskReadErrorCancelsInsteadOfEndingTheFileShort) {
  WriteFile(Path("site.bin"), MakeData(1000));
  Engine e;
  e.Init(ptXmodemCRC);
  e.P()->ReadProtocolBlock = FailingRead;
  e.Send(Path("site.bin"));
  const std::uint8_t c = ChrC, ack = cAck;
  ASSERT_TRUE(pty_.Write(&c, 1));
  EXPECT_EQ(ReadPumping(e, 133, kPatience).size(), 133u);
  ASSERT_TRUE(pty_.Write(&ack, 1));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, -100);
  const auto sent = SentAtLeast(e, 6);
  EXPECT_EQ(sent, (std::vector<std::uint8_t>{cCan, cCan, cCan, cBs, cBs, cBs}));
  EXPECT_EQ(e.sink.logs.back(), lfTransmitFail);
}

// The receiver may hold a 1024-byte block whose ACKs were damaged: a 128-byte resend would
// be taken as its duplicate and the next as the following block. Too many errors end the
// transfer instead.
TEST_F(XmodemPtyTest, AOneKBlockRefusedTooOftenCancelsWithoutFallingBack) {
  WriteFile(Path("site.bin"), MakeData(3000, 4));
  Engine e;
  e.Init(ptXmodem1K);
  e.Send(Path("site.bin"));
  const std::uint8_t c = ChrC, nak = cNak;
  ASSERT_TRUE(pty_.Write(&c, 1));
  for (int i = 0; i < 6; ++i) {  // more than MaxBlockErrors refusals of the 1024-byte block
    const auto block = ReadPumping(e, 1029, kPatience);
    ASSERT_EQ(block.size(), 1029u) << i;
    EXPECT_EQ(block[0], cStx);
    EXPECT_EQ(block[1], 1);
    ASSERT_TRUE(pty_.Write(&nak, 1));
  }
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecTooManyErrors);
  EXPECT_EQ(SentAtLeast(e, 6), (std::vector<std::uint8_t>{cCan, cCan, cCan, cBs, cBs, cBs}));
  EXPECT_EQ(e.sink.logs.back(), lfTransmitFail);
}

// A streaming sender whose receiver asks for CRC blocks sends 1024-byte blocks that each
// wait for their ACK, and ends only on the reply to its own end of transmission.
TEST_F(XmodemPtyTest, AStreamingSenderFollowsAReceiverThatAsksForCrc) {
  const std::string data = MakeData(1500, 2);
  WriteFile(Path("site.bin"), data);
  Engine e;
  e.Init(ptXmodem1KG);
  e.Send(Path("site.bin"));
  const std::uint8_t c = ChrC, ack = cAck;
  ASSERT_TRUE(pty_.Write(&c, 1));
  std::string got;
  for (std::uint8_t n = 1; n <= 2; ++n) {
    const auto block = ReadPumping(e, 1029, kPatience);
    ASSERT_EQ(block.size(), 1029u) << int(n);
    EXPECT_EQ(block[1], n);
    got.append(block.begin() + 3, block.begin() + 1027);
    EXPECT_TRUE(ReadPumping(e, 1, 300ms).empty()) << "streamed on without the ACK of block " << int(n);
    ASSERT_TRUE(pty_.Write(&ack, 1));
  }
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cEot});
  EXPECT_FALSE(e.sink.finish.has_value());
  ASSERT_TRUE(pty_.Write(&ack, 1));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, 0);
  EXPECT_TRUE(PaddedEqual(got, data, 1024));
  EXPECT_EQ(e.Read([](const TProtocolData& p) { return p.ProtocolType; }), ptXmodem1K);
}

// The receiver's side of the same fault: the block it holds, again in another size, would
// shift the file.
TEST_F(XmodemPtyTest, ADuplicateInAnotherSizeCancelsTheReception) {
  Engine e;
  e.Init(ptXmodemCRC);
  e.Receive(Path("in.bin"));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{ChrC});
  const std::string data = MakeData(1024, 6);
  const auto big = Block(1, data, false, 1024);
  ASSERT_TRUE(pty_.Write(big.data(), big.size()));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cAck});
  const auto small = Block(1, data.substr(0, 128));
  ASSERT_TRUE(pty_.Write(small.data(), small.size()));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecSequenceError);
  EXPECT_EQ(e.sink.logs.back(), lfReceiveFail);
}

// A line that carries only noise ends the reception with a failure, whatever end of
// transmission bytes come by: each of the receiver's replies is answered with the pattern.
TEST_F(XmodemPtyTest, NoiseEndsTheReceptionAsAFailureNeverAsASuccess) {
  const std::pair<const char*, std::string> cases[] = {
      {"letters", "abc"},
      {"two EOTs behind noise", "ab\x04\x04"},
      {"two EOTs at once", "\x04\x04"},
      {"an EOT behind noise", "q\x04"},
  };
  for (const auto& [what, pattern] : cases) {
    SCOPED_TRACE(what);
    Engine e;
    e.Init(ptXmodemCRC);
    xpSetBlockWait(e.P(), 9);  // half a second
    apSetHandshakeWait(e.P(), 9, 0);
    e.Receive(Path("in.bin"));
    int replies = 0;
    ASSERT_TRUE(PumpUntil(
        e,
        [&] {
          if (!pty_.Read(64, 1).empty()) {
            ++replies;
            EXPECT_TRUE(pty_.Write(pattern.data(), pattern.size()));
          }
          return e.sink.finish.has_value();
        },
        60s));
    EXPECT_EQ(*e.sink.finish, ecTooManyErrors) << replies << " replies";
    EXPECT_EQ(e.sink.logs.back(), lfReceiveFail);
    pty_.Drain();
  }
}

// A sender's lone end of transmission after a block, then silence: the reception is done.
TEST_F(XmodemPtyTest, ALoneEndOfTransmissionFollowedBySilenceEndsTheReception) {
  Engine e;
  e.Init(ptXmodemCRC);
  xpSetBlockWait(e.P(), 9);
  e.Receive(Path("in.bin"));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{ChrC});
  const auto block = Block(1, "only");
  ASSERT_TRUE(pty_.Write(block.data(), block.size()));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cAck});
  const std::uint8_t eot = cEot;
  ASSERT_TRUE(pty_.Write(&eot, 1));
  EXPECT_EQ(ReadPumping(e, 1, kPatience), std::vector<std::uint8_t>{cNak});
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, 0);
  EXPECT_EQ(ReadWholeFile(Path("in.bin")).substr(0, 4), "only");
}

TEST_F(XmodemPtyTest, StreamingWithAnUnknownLineRateStillFinishes) {
  // ActCPS 0 feeds the computed FinishWait; it must not divide by it.
  const std::string data = MakeData(2000);
  WriteFile(Path("site.bin"), data);
  Engine e;
  e.Init(ptXmodem1KG);
  e.P()->ActCPS = 0;
  e.Send(Path("site.bin"));
  const std::uint8_t g = ChrG;
  ASSERT_TRUE(pty_.Write(&g, 1));
  const auto blocks = ReadPumping(e, 2 * 1029 + 1, 15s);
  ASSERT_EQ(blocks.size(), 2u * 1029 + 1);
  EXPECT_EQ(blocks[0], cStx);
  EXPECT_EQ(blocks[1029], cStx);
  EXPECT_EQ(blocks.back(), cEot);
  const std::uint8_t ack = cAck;
  ASSERT_TRUE(pty_.Write(&ack, 1));
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, 0);
}

TEST_F(XmodemPtyTest, ACancelFromTheUserEndsTheSendingWithTheCancelSequence) {
  WriteFile(Path("site.bin"), MakeData(1000));
  Engine e;
  e.Init(ptXmodemCRC);
  e.Send(Path("site.bin"));
  e.Cancel();
  ASSERT_TRUE(e.sink.WaitFinish(kPatience));
  EXPECT_EQ(*e.sink.finish, ecCancelRequested);
  const auto sent = SentAtLeast(e, 6);
  EXPECT_EQ(sent, (std::vector<std::uint8_t>{cCan, cCan, cCan, cBs, cBs, cBs}));
  EXPECT_EQ(e.sink.logs.back(), lfTransmitFail);
}

TEST_F(XmodemPtyTest, AReceiverThatNeverAnswersFallsBackToChecksumThenGivesUp) {
  Engine e;
  e.Init(ptXmodemCRC);
  apSetHandshakeWait(e.P(), 2, 0);  // 110 ms per try
  e.Receive(Path("in.bin"));
  ASSERT_TRUE(e.sink.WaitFinish(20s));
  EXPECT_EQ(*e.sink.finish, ecTooManyErrors);
  const auto sent = SentAtLeast(e, 5);
  std::string text(sent.begin(), sent.end());
  EXPECT_EQ(text.substr(0, 5), "CCCC\x15");
  EXPECT_EQ(text.find('C', 4), std::string::npos);
}

}  // namespace
