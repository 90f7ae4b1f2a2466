// The file-transfer protocol component: its settings and their defaults, engine selection
// and the options it keeps across engines, the companions it links, the engines' messages
// turned into events on the user-interface thread, the history log, and transfers over a
// pty and through the line simulator to lrzsz: finish, cancel (also while an engine step
// waits for the window), a port closing under a transfer, a refused file, and the output
// drained before the port closes.
#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/PtyPair.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SlProtcl.h"
#include "serial/SwDispatcher.h"
#include "serial/SwMsgWindow.h"
#include "serial/SerialTestSupport.h"
#include "support/LineSimFixture.h"

namespace {

using serialtest::CodeOf;
using serialtest::PtyPair;
using serialtest::PumpUntil;
using serialtest::ThreadCount;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

std::string PatternData(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(serialtest::Pattern(i));
  return data;
}

// What the component reported, in order, and on which thread.
struct EventLog {
  explicit EventLog(TSioCustomProtocol& p) {
    const auto note = [this](const std::string& e) {
      if (std::this_thread::get_id() != ui) offThread = true;
      events.push_back(e);
    };
    p.SetOnProtocolStatus([note, this](TSioCustomProtocol* s, std::uint16_t options) {
      if (options & StatusFirst) note("first");
      if (options & StatusLast) note("last");
      lastBlock = s->BlockNumber();
      ++statuses;
    });
    p.SetOnProtocolLog([note](TSioCustomProtocol*, std::uint16_t log) { note("log" + std::to_string(log)); });
    p.SetOnProtocolError([note](TSioCustomProtocol*, std::int32_t code) { note("error" + std::to_string(code)); });
    p.SetOnProtocolFinish([note, this](TSioCustomProtocol*, std::int32_t code) {
      note("finish" + std::to_string(code));
      finished = true;
      finishCode = code;
    });
  }
  bool Has(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
  // Events without the status reports, joined by blanks.
  std::string Flow() const {
    std::string out;
    for (const auto& e : events)
      if (e != "first" && e != "last") out += (out.empty() ? "" : " ") + e;
    return out;
  }

  std::thread::id ui = std::this_thread::get_id();
  std::vector<std::string> events;
  bool offThread = false;
  bool finished = false;
  std::int32_t finishCode = 1;
  int statuses = 0;
  std::uint32_t lastBlock = 0;
};

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread();
    std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
    char pattern[] = "/tmp/kvx-protocol-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    EXPECT_TRUE(PumpUntil([] { return PortListSize() == 0; }));
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string InDir(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

// ---- settings -----------------------------------------------------------------------------

TEST_F(ProtocolTest, StartsWithTheDocumentedSettingsAndFindsThePortDepthFirst) {
  TSioBaseComponent owner;
  TSioBaseComponent panel(&owner);
  TSioComPort nested(&panel);
  TSioComPort later(&owner);
  TSioProtocol p(&owner);

  EXPECT_EQ(p.ComPort(), &nested);
  EXPECT_EQ(p.ProtocolType(), ptNoProtocol);
  EXPECT_EQ(p.DestinationDirectory(), "");
  EXPECT_EQ(p.FileMask(), "*.*");
  EXPECT_EQ(p.HandshakeRetry(), 10u);
  EXPECT_EQ(p.HandshakeWait(), 182);
  EXPECT_EQ(p.TransmitTimeout(), 1092);
  EXPECT_EQ(p.FinishWait(), 364);
  EXPECT_EQ(p.TurnDelay(), 0u);
  EXPECT_EQ(p.Overhead(), 0u);
  EXPECT_EQ(p.WriteFailAction(), wfWriteRename);
  EXPECT_FALSE(p.HonorDirectory() || p.IncludeDirectory() || p.RTSLowForWrite() || p.AbortNoCarrier() ||
               p.BP2KTransmit() || p.AsciiSuppressCtrlZ());
  EXPECT_EQ(p.StatusDisplay(), nullptr);
  EXPECT_EQ(p.ProtocolLog(), nullptr);
  EXPECT_EQ(p.StatusInterval(), 10);
  EXPECT_EQ(p.FileName(), "");
  EXPECT_EQ(p.XYmodemBlockWait(), 91);
  EXPECT_FALSE(p.ZmodemOptionOverride() || p.ZmodemSkipNoFile() || p.ZmodemRecover() || p.Zmodem8K());
  EXPECT_EQ(p.ZmodemFileOption(), zfoWriteNewer);
  EXPECT_EQ(p.ZmodemFinishRetry(), 0u);
  EXPECT_EQ(p.KermitMaxLen(), 80u);
  EXPECT_EQ(p.KermitMaxWindows(), 0u);
  EXPECT_EQ(p.KermitTimeoutSecs(), 5u);
  EXPECT_EQ(p.KermitPadCharacter(), 0);
  EXPECT_EQ(p.KermitTerminator(), 13);
  EXPECT_EQ(p.KermitCtlPrefix(), '#');
  EXPECT_EQ(p.KermitHighbitPrefix(), 'Y');
  EXPECT_EQ(p.KermitRepeatPrefix(), '~');
  EXPECT_EQ(p.AsciiEOLChar(), 13);
  EXPECT_EQ(p.AsciiCRTranslation(), aetNone);
  EXPECT_EQ(p.AsciiLFTranslation(), aetNone);
  EXPECT_EQ(p.AsciiEOFTimeout(), 364);
  EXPECT_TRUE(p.UpcaseFileNames());
  EXPECT_FALSE(p.InProgress());
  EXPECT_NE(p.WindowHandle(), 0u);
  EXPECT_TRUE(IsMsgWindow(p.WindowHandle()));

  // The flags land on their bits of the record.
  p.SetHonorDirectory(true);
  p.SetAsciiSuppressCtrlZ(true);
  EXPECT_EQ(p.Data()->Flags & 0x1FFu, 0x102u);
  p.SetHonorDirectory(false);
  EXPECT_EQ(p.Data()->Flags & 0x1FFu, 0x100u);
}

TEST_F(ProtocolTest, SelectsTheXmodemVariantsAndRefusesEnginesNotBuilt) {
  TSioProtocol p;
  p.SetProtocolType(ptXmodemCRC);
  EXPECT_EQ(p.BlockLength(), 128u);
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrc16);
  EXPECT_EQ(p.FinishWait(), 0);  // selecting XMODEM lets the engine compute it

  // The same type again changes nothing.
  p.SetFinishWait(100);
  p.SetProtocolType(ptXmodemCRC);
  EXPECT_EQ(p.FinishWait(), 100);

  p.SetProtocolType(ptXmodem1K);
  EXPECT_EQ(p.BlockLength(), 1024u);
  p.SetProtocolType(ptXmodem1KG);
  EXPECT_EQ(p.BlockLength(), 1024u);
  p.SetProtocolType(ptXmodem);
  EXPECT_EQ(p.BlockLength(), 128u);
  EXPECT_EQ(p.BlockCheckMethod(), bcmChecksum);

  for (TProtocolType t : {ptYmodem, ptYmodemG, ptZmodem, ptKermit, ptAscii}) {
    EXPECT_EQ(CodeOf([&] { p.SetProtocolType(t); }), ecBadProtocolFunction) << ProtocolName(t);
    EXPECT_EQ(p.ProtocolType(), ptXmodem);
  }
  p.SetProtocolType(ptNoProtocol);
  EXPECT_EQ(p.ProtocolType(), ptNoProtocol);
}

TEST_F(ProtocolTest, BlockCheckMethodSwitchesBetweenChecksumAndCrc) {
  TSioProtocol p;
  p.SetProtocolType(ptXmodem);
  p.SetBlockCheckMethod(bcmCrc16);
  EXPECT_EQ(p.ProtocolType(), ptXmodemCRC);
  p.SetBlockCheckMethod(bcmCrc32);  // not an XMODEM check: ignored
  EXPECT_EQ(p.ProtocolType(), ptXmodemCRC);
  EXPECT_EQ(p.BlockCheckMethod(), bcmCrc16);
  p.SetBlockCheckMethod(bcmChecksum);
  EXPECT_EQ(p.ProtocolType(), ptXmodem);
  p.SetProtocolType(ptXmodem1K);
  p.SetBlockCheckMethod(bcmChecksum);  // 1K blocks always carry a CRC
  EXPECT_EQ(p.ProtocolType(), ptXmodem1K);
}

TEST_F(ProtocolTest, EngineOptionsSurviveAChangeOfEngine) {
  TSioProtocol p;
  p.SetXYmodemBlockWait(40);  // no engine yet: stored
  p.SetProtocolType(ptXmodemCRC);
  EXPECT_EQ(p.Data()->BlockWait, 40);
  p.SetXYmodemBlockWait(55);
  EXPECT_EQ(p.Data()->BlockWait, 55);
  p.SetProtocolType(ptNoProtocol);
  p.SetProtocolType(ptXmodem1K);
  EXPECT_EQ(p.Data()->BlockWait, 55);
  EXPECT_EQ(p.XYmodemBlockWait(), 55);

  // Options of engines not built are kept with their limits.
  p.SetAsciiEOLChar(10);
  p.SetAsciiCRTranslation(aetStrip);
  p.SetProtocolType(ptXmodemCRC);
  EXPECT_EQ(p.AsciiEOLChar(), 10);
  EXPECT_EQ(p.AsciiCRTranslation(), aetStrip);
  struct Clamp {
    std::uint32_t in, maxLen, windows;
  };
  for (const Clamp& c : {Clamp{5, 5, 5}, Clamp{1, 1, 0}, Clamp{2000, 1024, 27}, Clamp{500, 500, 27}}) {
    p.SetKermitMaxLen(c.in);
    p.SetKermitMaxWindows(c.in);
    EXPECT_EQ(p.KermitMaxLen(), c.maxLen) << c.in;
    EXPECT_EQ(p.KermitMaxWindows(), c.windows) << c.in;
  }
  p.SetZmodemFileOption(zfoWriteClobber);
  p.SetZmodemFileOption(zfoWriteCrc);
  EXPECT_EQ(p.ZmodemFileOption(), zfoWriteClobber);
}

TEST_F(ProtocolTest, AssignCopiesTheSettingsAndTheEngine) {
  TSioComPort port;
  TSioProtocol source;
  source.SetComPort(&port);
  source.SetProtocolType(ptXmodem1K);
  source.SetXYmodemBlockWait(33);
  source.SetHandshakeWait(50);
  source.SetFileMask(InDir("*.bin"));
  source.SetAbortNoCarrier(true);
  source.SetKermitMaxLen(500);
  TSioProtocol copy;
  copy.Assign(source);
  EXPECT_EQ(copy.ComPort(), &port);
  EXPECT_EQ(copy.ProtocolType(), ptXmodem1K);
  EXPECT_EQ(copy.BlockLength(), 1024u);
  EXPECT_EQ(copy.XYmodemBlockWait(), 33);
  EXPECT_EQ(copy.HandshakeWait(), 50);
  EXPECT_EQ(copy.FileMask(), InDir("*.bin"));
  EXPECT_TRUE(copy.AbortNoCarrier());
  EXPECT_EQ(copy.KermitMaxLen(), 500u);
  EXPECT_EQ(copy.Data()->ProtocolWindow, copy.WindowHandle());  // its own window still
  EXPECT_EQ(source.ProtocolType(), ptXmodem1K);
}

TEST_F(ProtocolTest, StartingNeedsATypeAndAPort) {
  TSioProtocol p;
  EventLog log(p);
  p.StartTransmit();  // ptNoProtocol: nothing at all
  p.StartReceive();
  PumpUntil([] { return false; }, 50);
  EXPECT_TRUE(log.events.empty());
  p.SetProtocolType(ptXmodemCRC);
  EXPECT_EQ(CodeOf([&] { p.StartTransmit(); }), ecPortNotAssigned);
  EXPECT_EQ(CodeOf([&] { p.StartReceive(); }), ecPortNotAssigned);
}

TEST_F(ProtocolTest, CompanionsLinkBothWaysAndForgetEachOther) {
  struct Display : TSioAbstractStatus {
    using TSioAbstractStatus::TSioAbstractStatus;
    void UpdateDisplay(bool first, bool last) override { calls.push_back({first, last}); }
    std::vector<std::pair<bool, bool>> calls;
  };
  TSioBaseComponent owner;
  auto display = std::make_unique<Display>(&owner);
  auto history = std::make_unique<TSioProtocolLog>(&owner);
  TSioProtocol p(&owner);
  EXPECT_EQ(p.StatusDisplay(), display.get());
  EXPECT_EQ(display->Protocol(), &p);
  EXPECT_EQ(p.ProtocolLog(), history.get());
  EXPECT_EQ(history->Protocol(), &p);
  EXPECT_EQ(display->Caption(), "Protocol Status");
  EXPECT_EQ(history->HistoryName(), "SIO.HIS");
  EXPECT_EQ(history->DeleteFailed(), dfNonRecoverable);

  // A second protocol finds them taken; a display made after it links to it.
  TSioProtocol second(&owner);
  EXPECT_EQ(second.StatusDisplay(), nullptr);
  Display late(&owner);
  EXPECT_EQ(late.Protocol(), &second);
  EXPECT_EQ(second.StatusDisplay(), &late);

  ASSERT_TRUE(SendMessageTimeout(p.WindowHandle(), MsgProtocolStatus, StatusFirst, 0, 1000, nullptr));
  ASSERT_TRUE(SendMessageTimeout(p.WindowHandle(), MsgProtocolStatus, StatusLast, 0, 1000, nullptr));
  EXPECT_EQ(display->calls, (std::vector<std::pair<bool, bool>>{{true, false}, {false, true}}));

  display.reset();
  history.reset();
  EXPECT_EQ(p.StatusDisplay(), nullptr);
  EXPECT_EQ(p.ProtocolLog(), nullptr);
  auto third = std::make_unique<TSioProtocol>();
  late.SetProtocol(third.get());
  EXPECT_EQ(third->StatusDisplay(), &late);
  EXPECT_EQ(second.StatusDisplay(), nullptr);
  third.reset();
  EXPECT_EQ(late.Protocol(), nullptr);
}

// ---- messages and events ------------------------------------------------------------------------

TEST_F(ProtocolTest, MessagesFromAnotherThreadBecomeEventsInOrderOnTheUserInterfaceThread) {
  TSioProtocol p;
  EventLog log(p);
  const HWND wnd = p.WindowHandle();
  std::thread engine([wnd] {
    SendMessageTimeout(wnd, MsgProtocolStatus, StatusFirst, 0, serialtest::kPatienceMs, nullptr);
    SendMessageTimeout(wnd, MsgProtocolLog, lfTransmitStart, 0, serialtest::kPatienceMs, nullptr);
    PostMessage(wnd, MsgProtocolError, static_cast<std::uintptr_t>(std::intptr_t{ecTimeout}), 0);
    SendMessageTimeout(wnd, MsgProtocolLog, lfTransmitFail, 0, serialtest::kPatienceMs, nullptr);
    SendMessageTimeout(wnd, MsgProtocolStatus, StatusLast, 0, serialtest::kPatienceMs, nullptr);
    // A code in the low 16 bits only still reads as the negative code.
    PostMessage(wnd, MsgProtocolFinish, static_cast<std::uint16_t>(ecCancelRequested), 0);
  });
  EXPECT_TRUE(PumpUntil([&] { return log.finished; }));
  engine.join();
  EXPECT_FALSE(log.offThread);
  EXPECT_EQ(log.events, (std::vector<std::string>{"first", "log4", "error-6006", "log6", "last", "finish-6005"}));
}

TEST_F(ProtocolTest, AsksForTheNextFileAndWhetherToAcceptOne) {
  TSioProtocol p;
  const HWND wnd = p.WindowHandle();
  WriteFile(InDir("a.bin"), "x");
  p.SetFileMask(InDir("a.bin"));
  p.Data()->FindFirstPending = true;  // as a start sets it

  // The engine's buffers: asked from another thread as the engine does.
  const auto ask = [wnd](std::uint32_t msg, char* buffer) {
    std::intptr_t result = -1;
    std::atomic<bool> done{false};
    std::thread t([&] {
      SendMessageTimeout(wnd, msg, 0, reinterpret_cast<std::intptr_t>(buffer), serialtest::kPatienceMs, &result);
      done = true;
    });
    PumpUntil([&] { return done.load(); });
    t.join();
    return result;
  };
  char name[NameBufferSize] = {};
  EXPECT_EQ(ask(MsgProtocolNextFile, name), 1);  // no handler: the mask's match
  EXPECT_EQ(std::string(name), InDir("a.bin"));

  p.SetOnProtocolNextFile([](TSioCustomProtocol*, std::string& n) { n = "chosen.bin"; });
  EXPECT_EQ(ask(MsgProtocolNextFile, name), 1);
  EXPECT_EQ(std::string(name), "chosen.bin");
  p.SetOnProtocolNextFile([](TSioCustomProtocol*, std::string&) {});
  EXPECT_EQ(ask(MsgProtocolNextFile, name), 0);

  std::strcpy(name, "OFFERED.BIN");
  EXPECT_EQ(ask(MsgProtocolAcceptFile, name), 1);  // no handler: accepted as offered
  EXPECT_EQ(std::string(name), "OFFERED.BIN");
  std::string seen;
  p.SetOnProtocolAccept([&](TSioCustomProtocol*, bool& accept, std::string& n) {
    seen = n;
    accept = n != "BAD.BIN";
    n = "renamed.bin";
  });
  EXPECT_EQ(ask(MsgProtocolAcceptFile, name), 1);
  EXPECT_EQ(seen, "OFFERED.BIN");
  EXPECT_EQ(std::string(name), "renamed.bin");
  std::strcpy(name, "BAD.BIN");
  EXPECT_EQ(ask(MsgProtocolAcceptFile, name), 0);
  EXPECT_EQ(std::string(name), "BAD.BIN");  // a refused name is left alone

  p.SetOnProtocolResume([](TSioCustomProtocol*, TWriteFailAction& a) { a = wfWriteFail; });
  std::intptr_t resume = -1;
  EXPECT_TRUE(SendMessageTimeout(wnd, MsgProtocolResume, wfWriteResume, 0, 1000, &resume));
  EXPECT_EQ(resume, wfWriteFail);
}

TEST_F(ProtocolTest, TextRoutines) {
  const char* const names[] = {"None", "Xmodem", "XmodemCRC", "Xmodem1K", "Xmodem1KG",
                               "Ymodem", "YmodemG", "Zmodem", "Kermit", "Ascii", "None"};
  for (int t = 0; t <= 10; ++t) EXPECT_EQ(ProtocolName(t), names[t]);
  const char* const checks[] = {"No check", "Checksum", "Checksum2", "Crc16", "Crc32", "CrcKermit", "No check"};
  for (int m = 0; m <= 6; ++m) EXPECT_EQ(CheckNameString(m), checks[m]);
  EXPECT_EQ(FormatMinSec(0), "  0:00");
  EXPECT_EQ(FormatMinSec(75), "  1:15");
  EXPECT_EQ(FormatMinSec(6005), "100:05");
  EXPECT_EQ(FormatMinSec(600000), "10000:00");
  TSioProtocol p;
  EXPECT_EQ(p.StatusMsg(psDuplicateBlock), "Duplicate block received and ignored ");
  EXPECT_EQ(p.StatusMsg(psCancelRequested), "Cancel requested");
  EXPECT_EQ(p.StatusMsg(ecCancelRequested), "");
}

// ---- history log ----------------------------------------------------------------------------------

TEST_F(ProtocolTest, HistoryLogWritesALineShapePerCodeAndDeletesFailedReceptions) {
  TSioBaseComponent owner;
  TSioProtocol p(&owner);
  TSioProtocolLog history(&owner);
  history.SetHistoryName(InDir("SIO.HIS"));
  p.SetProtocolType(ptXmodemCRC);
  p.SetFileName(InDir("got.bin"));
  PProtocolData d = p.Data();

  history.UpdateLog(lfReceiveStart);
  d->FileLength = 10000;
  d->ElapsedTicks = 182;  // 10 s
  history.UpdateLog(lfTransmitOk);
  d->ElapsedTicks = 10;  // too short to divide by
  history.UpdateLog(lfReceiveOk);
  d->ProtocolStatus = psTimeout;
  history.UpdateLog(lfTransmitSkip);
  history.UpdateLog(8);  // no line

  const std::string text = Slurp(InDir("SIO.HIS"));
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  // Every line ends with one CR LF: no empty lines between entries.
  ASSERT_EQ(lines.size(), 6u) << text;
  const std::string file = InDir("got.bin");
  EXPECT_EQ(lines[0].rfind("XmodemCRC receive started on  ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - file.size() - 3), " : " + file);
  EXPECT_EQ(lines[1].rfind("XmodemCRC transmit finished OK ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "   Elapsed time:   0:10   CPS: 1000   Size: 10000");
  EXPECT_EQ(lines[3].rfind("XmodemCRC receive finished OK ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4], "   Elapsed time:   0:01   CPS: 10000   Size: 10000");
  EXPECT_EQ(lines[5], "XmodemCRC transmit skipped " + file + " Time out in protocol");
  EXPECT_EQ(text.find("\r\n\r\n"), std::string::npos) << text;

  // Failed receptions: the partial file goes unless it was not ours to write.
  struct Case {
    TDeleteFailed mode;
    TProtocolType type;
    std::int32_t error;
    bool deleted;
  };
  const Case cases[] = {
      {dfNever, ptXmodemCRC, ecTimeout, false},
      {dfAlways, ptXmodemCRC, ecTimeout, true},
      {dfAlways, ptXmodemCRC, ecCantWriteFile, false},
      {dfNonRecoverable, ptXmodem, ecTimeout, true},
  };
  for (const Case& c : cases) {
    WriteFile(file, "partial");
    p.SetProtocolType(c.type);
    history.SetDeleteFailed(c.mode);
    d->ProtocolError = c.error;
    history.UpdateLog(lfReceiveFail);
    EXPECT_EQ(std::filesystem::exists(file), !c.deleted) << c.mode << " " << c.error;
  }
  EXPECT_NE(Slurp(InDir("SIO.HIS")).find("XmodemCRC receive failed " + file + " Time out in protocol\r\n"),
            std::string::npos);

  history.SetHistoryName(InDir("no/such/folder/SIO.HIS"));
  EXPECT_THROW(history.UpdateLog(lfReceiveStart), EInOutError);
  history.SetHistoryName("");
  history.UpdateLog(lfReceiveStart);  // no history: nothing
}

// ---- transfers over a pty -----------------------------------------------------------------------

// Reads everything the port sends to the pty's master on a thread of its own, so that the
// far side never holds up the port.
class MasterReader {
 public:
  explicit MasterReader(int master) : master_(master), thread_([this] { Run(); }) {}
  ~MasterReader() {
    stop_ = true;
    thread_.join();
  }
  std::string Data() {
    std::lock_guard guard(lock_);
    return data_;
  }
  bool WaitFor(const std::function<bool(const std::string&)>& cond, int timeoutMs = serialtest::kPatienceMs) {
    return serialtest::WaitFor([&] { return cond(Data()); }, timeoutMs);
  }

 private:
  void Run() {
    char buffer[4096];
    while (!stop_) {
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, 5) <= 0) continue;
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      std::lock_guard guard(lock_);
      data_.append(buffer, static_cast<std::size_t>(n));
    }
  }
  int master_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::string data_;
  std::thread thread_;
};

const std::string kCancelSequence = "\x18\x18\x18\x08\x08\x08";

// The last bytes of what the peer got, in hex, for a failure message.
std::string Tail(const std::string& d) {
  std::string out = std::to_string(d.size()) + " bytes, last:";
  char hex[4];
  for (std::size_t i = d.size() > 12 ? d.size() - 12 : 0; i < d.size(); ++i) {
    std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned>(static_cast<std::uint8_t>(d[i])));
    out += hex;
  }
  return out;
}

class ProtocolPtyTest : public ProtocolTest {
 protected:
  void SetUp() override {
    ProtocolTest::SetUp();
    threads_ = ThreadCount();
    port_ = std::make_unique<TSioComPort>(&owner_);
    port_->SetComNumber(7);
    port_->SetBaud(115200);
    protocol_ = std::make_unique<TSioProtocol>(&owner_);
    protocol_->SetProtocolType(ptXmodemCRC);
  }
  void TearDown() override {
    protocol_.reset();
    port_.reset();
    ProtocolTest::TearDown();
    EXPECT_TRUE(serialtest::WaitFor([&] { return ThreadCount() == threads_; })) << "a thread is left";
  }
  bool Write(const std::string& bytes) { return pty_.Write(bytes.data(), bytes.size()); }

  PtyPair pty_;
  int threads_ = 0;
  TSioBaseComponent owner_;
  std::unique_ptr<TSioComPort> port_;
  std::unique_ptr<TSioProtocol> protocol_;
};

TEST_F(ProtocolPtyTest, CancellingARunningTransmitEndsItAndTheCancelReachesThePeerDespiteTheClose) {
  WriteFile(InDir("data.bin"), PatternData(5000));
  EventLog log(*protocol_);
  protocol_->SetFileMask(InDir("data.bin"));
  port_->SetOpen(true);
  MasterReader peer(pty_.Master());
  protocol_->StartTransmit();
  ASSERT_TRUE(Write("C"));
  ASSERT_TRUE(peer.WaitFor([](const std::string& d) { return d.size() >= 133; }));
  EXPECT_TRUE(protocol_->InProgress());

  protocol_->CancelProtocol();
  port_->SetOpen(false);  // at once, as the transfer window does after an abort
  EXPECT_TRUE(peer.WaitFor([](const std::string& d) { return d.find(kCancelSequence) != std::string::npos; }))
      << Tail(peer.Data());
  ASSERT_TRUE(PumpUntil([&] { return log.finished; }));
  EXPECT_EQ(log.finishCode, ecCancelRequested);
  EXPECT_EQ(log.Flow(), "log4 log6 finish-6005");
  EXPECT_FALSE(log.offThread);
  EXPECT_FALSE(protocol_->InProgress());
  EXPECT_FALSE(port_->Open());
}

TEST_F(ProtocolPtyTest, CancelWhileAnEngineStepWaitsForTheWindowDoesNotHoldEitherUp) {
  WriteFile(InDir("data.bin"), PatternData(500));
  EventLog log(*protocol_);
  protocol_->SetFileMask(InDir("data.bin"));
  port_->SetOpen(true);
  MasterReader peer(pty_.Master());
  protocol_->StartTransmit();  // waits for the receiver's handshake

  // A step as the dispatch thread runs it: the record held while a status goes to the window.
  PProtocolData data = protocol_->Data();
  const HWND wnd = protocol_->WindowHandle();
  std::atomic<bool> holding{false};
  std::atomic<int> delivered{-1};
  std::thread step([&] {
    std::lock_guard guard(data->DataLock);
    holding = true;
    // A time-out no correct run reaches: a cancel that waited for the record rather than
    // delivering the step's message would have it fail.
    delivered = SendMessageTimeout(wnd, MsgProtocolStatus, 0, reinterpret_cast<std::intptr_t>(data),
                                   2 * serialtest::kPatienceMs, nullptr);
  });
  ASSERT_TRUE(serialtest::WaitFor([&] { return holding.load(); }));
  const int statusesBefore = log.statuses;
  protocol_->CancelProtocol();
  step.join();
  EXPECT_EQ(delivered.load(), 1);  // the step's message ran during the cancel
  EXPECT_GT(log.statuses, statusesBefore);
  ASSERT_TRUE(PumpUntil([&] { return log.finished; }));
  EXPECT_EQ(log.finishCode, ecCancelRequested);
  EXPECT_TRUE(peer.WaitFor([](const std::string& d) { return d.find(kCancelSequence) != std::string::npos; }))
      << Tail(peer.Data());
}

TEST_F(ProtocolPtyTest, ClosingThePortUnderATransferFinishesItWithACancel) {
  EventLog log(*protocol_);
  protocol_->SetFileName(InDir("got.bin"));
  port_->SetOpen(true);
  MasterReader peer(pty_.Master());
  protocol_->StartReceive();
  ASSERT_TRUE(peer.WaitFor([](const std::string& d) { return d.find('C') != std::string::npos; }));
  port_->SetOpen(false);
  // Drained before the close: what reached the pty stays readable after it.
  EXPECT_TRUE(peer.WaitFor([](const std::string& d) { return d.find(kCancelSequence) != std::string::npos; }))
      << Tail(peer.Data());
  ASSERT_TRUE(PumpUntil([&] { return log.finished; }));
  EXPECT_EQ(log.finishCode, ecCancelRequested);
  EXPECT_TRUE(log.Has("log2"));
}

TEST_F(ProtocolPtyTest, DestroyingTheComponentUnderATransferCancelsItQuietly) {
  WriteFile(InDir("data.bin"), PatternData(5000));
  MasterReader peer(pty_.Master());
  // As it is, and as the transfer window frees it: detached from the port first.
  for (const bool detachFirst : {false, true}) {
    SCOPED_TRACE(detachFirst ? "detached first" : "destroyed");
    if (!protocol_) {
      protocol_ = std::make_unique<TSioProtocol>(&owner_);
      protocol_->SetProtocolType(ptXmodemCRC);
    }
    int events = 0;
    protocol_->SetOnProtocolLog([&](TSioCustomProtocol*, std::uint16_t) { ++events; });
    protocol_->SetOnProtocolFinish([&](TSioCustomProtocol*, std::int32_t) { ++events; });
    protocol_->SetFileMask(InDir("data.bin"));
    port_->SetOpen(true);
    const std::size_t from = peer.Data().size();
    protocol_->StartTransmit();
    EXPECT_EQ(protocol_->ActualBPS(), 115200u);  // taken from the port
    ASSERT_TRUE(Write("C"));
    ASSERT_TRUE(peer.WaitFor([from](const std::string& d) { return d.size() >= from + 133; }));
    PumpUntil([] { return false; }, 20);
    const int before = events;
    if (detachFirst) {
      protocol_->SetOnProtocolLog(nullptr);
      protocol_->SetOnProtocolFinish(nullptr);
      protocol_->SetComPort(nullptr);
    }
    protocol_.reset();
    port_->SetOpen(false);
    EXPECT_TRUE(peer.WaitFor([from](const std::string& d) { return d.find(kCancelSequence, from) != std::string::npos; }))
        << Tail(peer.Data());
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(events, before);  // a component being destroyed raises no events
  }
}

TEST_F(ProtocolPtyTest, ARefusedFileEndsTheReceptionWithFileRejected) {
  EventLog log(*protocol_);
  protocol_->SetOnProtocolAccept([](TSioCustomProtocol*, bool& accept, std::string&) { accept = false; });
  protocol_->SetFileName(InDir("got.bin"));
  protocol_->SetActualBPS(2400);
  port_->SetOpen(true);
  MasterReader peer(pty_.Master());
  protocol_->StartReceive();
  EXPECT_EQ(protocol_->ActualBPS(), 2400u);  // set: not taken from the port
  ASSERT_TRUE(PumpUntil([&] { return log.finished; }));
  EXPECT_EQ(log.finishCode, ecFileRejected);
  EXPECT_TRUE(log.Has("log3"));
  EXPECT_FALSE(std::filesystem::exists(InDir("got.bin")));
}

TEST_F(ProtocolPtyTest, TheFinalAckReachesThePeerWhenTheFinishEventClosesThePort) {
  EventLog log(*protocol_);
  bool closedInEvent = false;
  const TProtocolFinishEvent noted = protocol_->OnProtocolFinish();
  protocol_->SetOnProtocolFinish([&](TSioCustomProtocol* s, std::int32_t code) {
    noted(s, code);
    port_->SetOpen(false);
    closedInEvent = true;
  });
  protocol_->SetFileName(InDir("got.bin"));
  port_->SetOpen(true);
  MasterReader peer(pty_.Master());
  protocol_->StartReceive();
  ASSERT_TRUE(peer.WaitFor([](const std::string& d) { return d == "C"; }));

  // One CRC block, then the two EOTs.
  std::string block = "\x01\x01\xFE";
  const std::string data = PatternData(128);
  block += data;
  std::uint32_t crc = 0;
  for (char c : data) crc = apUpdateCrc(static_cast<std::uint8_t>(c), crc);
  crc = apUpdateCrc(0, apUpdateCrc(0, crc));
  block += static_cast<char>((crc >> 8) & 0xFF);
  block += static_cast<char>(crc & 0xFF);
  ASSERT_TRUE(Write(block));
  ASSERT_TRUE(peer.WaitFor([](const std::string& d) { return d == "C\x06"; }));
  ASSERT_TRUE(Write("\x04"));
  ASSERT_TRUE(peer.WaitFor([](const std::string& d) { return d == "C\x06\x15"; }));
  ASSERT_TRUE(Write("\x04"));
  ASSERT_TRUE(PumpUntil([&] { return log.finished; }));
  EXPECT_TRUE(closedInEvent);
  EXPECT_EQ(log.finishCode, 0);
  EXPECT_EQ(peer.Data(), "C\x06\x15\x06");
  EXPECT_EQ(log.Flow(), "log0 log1 finish0");
  EXPECT_EQ(Slurp(InDir("got.bin")), data);
}

// ---- transfers with lrzsz through the line simulator ---------------------------------------------

class ProtocolLineTest : public LineSimFixture {
 protected:
  void SetUp() override {
    if (system("command -v sx >/dev/null && command -v rx >/dev/null && command -v socat >/dev/null") != 0)
      GTEST_SKIP() << "lrzsz or socat not installed";
    LineSimFixture::SetUp();
    SetMainThread();
  }
  void TearDown() override {
    LineSimFixture::TearDown();
    EXPECT_TRUE(PumpUntil([] { return PortListSize() == 0; }));
  }
};

TEST_F(ProtocolLineTest, SendsToRxAndReceivesFromSxWithEventsInOrder) {
  ASSERT_TRUE(StartLine({"--baud", "115200"}));
  const std::string data = PatternData(3000);
  WriteFile(Dir() + "/out.bin", data);

  TSioBaseComponent owner;
  TSioComPort port(&owner);
  port.SetComNumber(7);
  port.SetBaud(115200);
  TSioProtocol p(&owner);
  p.SetProtocolType(ptXmodemCRC);
  p.SetFileMask(Dir() + "/out.bin");
  port.SetOpen(true);
  {
    EventLog log(p);
    p.StartTransmit();
    // rx flushes its tty as it ends, which on a pty can discard its last ACK before the line
    // has read it; through socat its tty is a socket, and socat passes everything on.
    ChildProcess& rx = StartPeer({"socat", "STDIO", "EXEC:rx -c got.bin"});
    ASSERT_TRUE(PumpUntil([&] { return log.finished; }, 2 * serialtest::kPatienceMs));
    EXPECT_EQ(rx.Wait(testwait::kPatience), 0);
    EXPECT_EQ(log.finishCode, 0);
    EXPECT_EQ(log.Flow(), "log4 log5 finish0");
    EXPECT_EQ(log.events.front(), "first");
    EXPECT_FALSE(log.offThread);
    EXPECT_EQ(log.lastBlock, 25u);  // 24 blocks acknowledged
    const std::string got = ReadWholeFile(Dir() + "/got.bin");
    ASSERT_EQ(got.size(), 3072u);
    EXPECT_EQ(got.substr(0, 3000), data);
  }
  {
    EventLog log(p);
    ChildProcess& sx = StartPeer({"sx", "out.bin"});
    ASSERT_TRUE(serialtest::WaitFor([&] { return Line().Log().find("side B opened") != std::string::npos; }));
    p.SetFileName(Dir() + "/back.bin");
    p.StartReceive();
    ASSERT_TRUE(PumpUntil([&] { return log.finished; }, 2 * serialtest::kPatienceMs));
    EXPECT_EQ(log.finishCode, 0);
    EXPECT_EQ(log.Flow(), "log0 log1 finish0");
    port.SetOpen(false);
    EXPECT_EQ(sx.Wait(testwait::kPatience), 0) << "sx missed the final ACK";
    EXPECT_EQ(ReadWholeFile(Dir() + "/back.bin").substr(0, 3000), data);
  }
}

}  // namespace
