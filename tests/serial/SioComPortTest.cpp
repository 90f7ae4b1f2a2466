// The serial port component over a pseudo-terminal (COM7): opening on first use and its
// failures, settings reaching the device, flow thresholds, the trace and log states and
// their files, trigger events through the hidden window, closing and destroying from
// inside an event, users told of open and close, waiting for text, and the search for a
// port among owned components.
#include <dirent.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/PortHolder.h"
#include "serial/PtyPair.h"
#include "serial/SerialTestSupport.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwPosixDispatcher.h"

namespace {

using serialtest::CodeOf;
using serialtest::PortHolder;
using serialtest::PtyPair;
using serialtest::PumpUntil;
using serialtest::ThreadCount;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A second pseudo-terminal, reached as COM8 through the first pair's folder.
class SecondPty {
 public:
  explicit SecondPty(const PtyPair& first) {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    termios t {};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    std::filesystem::create_symlink(name, first.Dir() + "/COM8");
  }
  ~SecondPty() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  SecondPty(const SecondPty&) = delete;
  SecondPty& operator=(const SecondPty&) = delete;
  bool Write(const std::string& text) const {
    return ::write(master_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread();
    ASSERT_EQ(PortListSize(), 0u) << "a dispatcher of an earlier test is left";
    std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
    SetSioExceptionHandler([this](const std::exception& e) { errors_.push_back(e.what()); });
  }
  void TearDown() override {
    SetPortPrompt(nullptr);
    SetSioExceptionHandler(nullptr);
    // A dispatcher a destroyed port left to its window goes once the messages have run.
    EXPECT_TRUE(PumpUntil([] { return PortListSize() == 0; }));
    EXPECT_TRUE(errors_.empty()) << errors_.front();
  }

  std::unique_ptr<TSioComPort> Com7() {
    auto port = std::make_unique<TSioComPort>();
    port->SetComNumber(7);
    return port;
  }
  std::string InDir(const char* name) const { return pty_.Dir() + "/" + name; }

  PtyPair pty_;
  std::vector<std::string> errors_;
};

// ---- opening -------------------------------------------------------------------------------

TEST_F(ComPortTest, AClosedPortReportsItsBufferCountsWithoutOpening) {
  auto port = Com7();
  port->SetOutSize(1000);
  EXPECT_EQ(port->OutBuffFree(), 1000u);
  EXPECT_EQ(port->InBuffFree(), 8192u);
  EXPECT_EQ(port->InBuffUsed(), 0u);
  EXPECT_EQ(port->OutBuffUsed(), 0u);
  EXPECT_EQ(port->ModemStatus(), 0);
  EXPECT_FALSE(port->CTS());
  EXPECT_EQ(port->FlowState(), fcOff);
  EXPECT_FALSE(port->Open());
  EXPECT_EQ(PortListSize(), 0u);

  port->SetOpen(true);
  EXPECT_EQ(port->OutBuffFree(), 1000u);
  EXPECT_EQ(port->InBuffFree(), 8192u);
  EXPECT_EQ(port->ModemStatus(), msCts | msDsr | msDcd);  // a pty's lines read as asserted
  EXPECT_TRUE(port->CTS());
  EXPECT_EQ(port->FlowState(), fcOff);
  port->SetSWFlowOptions(swfBoth);
  EXPECT_EQ(port->FlowState(), fcOn);
}

TEST_F(ComPortTest, FirstUseOpensAPortOnlyWithAutoOpen) {
  struct Use {
    const char* what;
    std::function<void(TSioComPort&)> call;
  };
  const Use uses[] = {
      {"ValidDispatcher", [](TSioComPort& p) { p.ValidDispatcher(); }},
      {"PutString", [](TSioComPort& p) { p.PutString("x"); }},
      {"CharReady", [](TSioComPort& p) { p.CharReady(); }},
      {"AddDataTrigger", [](TSioComPort& p) { p.AddDataTrigger("OK", false); }},
      {"InitTracing", [](TSioComPort& p) { p.InitTracing(100); }},
  };
  for (const Use& use : uses) {
    SCOPED_TRACE(use.what);
    auto port = Com7();
    port->SetAutoOpen(false);
    EXPECT_EQ(port->Dispatcher(), nullptr);
    EXPECT_THROW(use.call(*port), ECommNotOpen);
    EXPECT_EQ(CodeOf([&] { use.call(*port); }), ecCommNotOpen);
    EXPECT_EQ(PortListSize(), 0u);

    port->SetAutoOpen(true);
    use.call(*port);
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(port->PortState(), psOpen);
    EXPECT_NE(port->Dispatcher(), nullptr);
  }
}

// For open cases: a port whose supported device layers can be widened.
class LayeredPort : public TSioComPort {
 public:
  void AllowAllLayers() { SetDeviceLayers(DeviceLayerBit(dlWin32) | DeviceLayerBit(dlWinsock)); }
};

TEST_F(ComPortTest, AFailedOpenLeavesThePortClosedWithTheMatchingError) {
  enum Prompt { kNoHook, kRefuse, kPick9 };
  struct Case {
    const char* what;
    std::function<void(LayeredPort&)> setup;
    Prompt prompt;
    bool heldElsewhere;
    std::int32_t code;
  };
  const Case cases[] = {
      {"no number, prompting off", [](LayeredPort& p) { p.SetPromptForPort(false); }, kPick9, false,
       ecNoPortSelected},
      {"no number, no prompt installed", [](LayeredPort&) {}, kNoHook, false, ecNoPortSelected},
      {"no number, prompt cancelled", [](LayeredPort&) {}, kRefuse, false, ecNoPortSelected},
      {"prompt picks a missing port", [](LayeredPort&) {}, kPick9, false, ecBadId},
      {"missing COM9", [](LayeredPort& p) { p.SetComNumber(9); }, kNoHook, false, ecBadId},
      {"held by another process", [](LayeredPort& p) { p.SetComNumber(7); }, kNoHook, true, ecAlreadyOpen},
      {"telephony mode", [](LayeredPort& p) { p.SetComNumber(7); p.SetTapiMode(tmOn); }, kNoHook, false,
       ecNotOpenedByTapi},
      {"socket layer",
       [](LayeredPort& p) {
         p.SetComNumber(7);
         p.AllowAllLayers();
         p.SetDeviceLayer(dlWinsock);
       },
       kNoHook, false, ecNullApi},
  };
  const int threads = ThreadCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    switch (c.prompt) {
      case kNoHook: SetPortPrompt(nullptr); break;
      case kRefuse: SetPortPrompt([](int&) { return false; }); break;
      case kPick9: SetPortPrompt([](int& n) { n = 9; return true; }); break;
    }
    LayeredPort port;
    c.setup(port);
    std::unique_ptr<PortHolder> holder;
    if (c.heldElsewhere) {
      holder = std::make_unique<PortHolder>(pty_.SlavePath());
      ASSERT_TRUE(holder->Held());
    }
    EXPECT_EQ(CodeOf([&] { port.SetOpen(true); }), c.code);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.PortState(), psClosed);
    EXPECT_EQ(PortListSize(), 0u);
    EXPECT_EQ(ThreadCount(), threads);
  }

  // The exception classes callers catch.
  TSioComPort missing;
  missing.SetComNumber(9);
  EXPECT_THROW(missing.SetOpen(true), EBadId);
  TSioComPort unselected;
  unselected.SetPromptForPort(false);
  EXPECT_THROW(unselected.SetOpen(true), ENoPortSelected);
  {
    PortHolder holder(pty_.SlavePath());
    TSioComPort held;
    held.SetComNumber(7);
    EXPECT_THROW(held.SetOpen(true), EAlreadyOpen);
  }

  // Without the wider set the socket layer is not even stored.
  TSioComPort plain;
  plain.SetDeviceLayer(dlWinsock);
  EXPECT_EQ(plain.DeviceLayer(), dlWin32);
}

TEST_F(ComPortTest, ThePromptChoosesThePortWhenNoneIsSet) {
  int asked = 0;
  SetPortPrompt([&](int& n) {
    ++asked;
    n = 7;
    return true;
  });
  TSioComPort port;
  port.SetOpen(true);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(port.ComNumber(), 7);
  EXPECT_TRUE(port.Open());
  port.PutString("hi");
  EXPECT_EQ(pty_.Read(2), (std::vector<std::uint8_t>{'h', 'i'}));
  port.SetOpen(false);
  port.SetOpen(true);  // the number is set now: no second question
  EXPECT_EQ(asked, 1);
}

// A pty keeps only the rate, the stop bits and the flow settings (it forces 8 bits, no
// parity), so those stand for the line settings here.
TEST_F(ComPortTest, SettingsReachTheDeviceAtOpenAndWhileOpen) {
  struct Setting {
    const char* what;
    std::function<void(TSioComPort&)> apply;
    std::function<bool(const termios&)> applied;
  };
  const Setting settings[] = {
      {"Baud", [](TSioComPort& p) { p.SetBaud(9600); }, [](const termios& t) { return cfgetospeed(&t) == B9600; }},
      {"StopBits", [](TSioComPort& p) { p.SetStopBits(2); }, [](const termios& t) { return (t.c_cflag & CSTOPB) != 0; }},
      {"SWFlowOptions", [](TSioComPort& p) { p.SetSWFlowOptions(swfBoth); },
       [](const termios& t) { return (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF); }},
      {"XOnChar after SWFlowOptions",
       [](TSioComPort& p) {
         p.SetXOnChar('Q');
         p.SetSWFlowOptions(swfTransmit);
       },
       [](const termios& t) { return t.c_cc[VSTART] == 'Q' && (t.c_iflag & IXON) != 0; }},
  };
  for (const Setting& s : settings) {
    for (const bool whileOpen : {false, true}) {
      SCOPED_TRACE(std::string(s.what) + (whileOpen ? " while open" : " before the open"));
      auto port = Com7();
      if (whileOpen) port->SetOpen(true);
      EXPECT_FALSE(s.applied(pty_.SlaveTermios()));
      EXPECT_NO_THROW(s.apply(*port));
      EXPECT_NO_THROW(port->SetOpen(true));
      EXPECT_TRUE(s.applied(pty_.SlaveTermios()));
      port->SetOpen(false);
      // Back to the defaults for the next case.
      TSioComPort reset;
      reset.SetComNumber(7);
      reset.SetOpen(true);
    }
  }
}

// ---- flow control ------------------------------------------------------------------------

TEST_F(ComPortTest, FlowThresholdsFollowTheInputSize) {
  struct Case {
    const char* what;
    std::function<void(TSioComPort&)> apply;
    std::uint16_t full, resume;
    THWFlowOptions hw;
    bool rs485, rts;
  };
  const Case cases[] = {
      {"hardware flow, thresholds 0", [](TSioComPort& p) { p.SetHWFlowOptions(hwfUseRTS); }, 3686, 409,
       hwfUseRTS, false, true},
      {"software flow, thresholds 0", [](TSioComPort& p) { p.SetSWFlowOptions(swfBoth); }, 3072, 1024, 0,
       false, true},
      {"thresholds set before are kept",
       [](TSioComPort& p) {
         p.SetBufferFull(2000);
         p.SetBufferResume(100);
         p.SetHWFlowOptions(hwfUseDTR);
       },
       2000, 100, hwfUseDTR, false, true},
      {"a full mark beyond the input size", [](TSioComPort& p) { p.SetBufferFull(5000); }, 3686, 0, 0, false,
       true},
      {"a resume mark above the full mark",
       [](TSioComPort& p) {
         p.SetBufferFull(2000);
         p.SetBufferResume(3000);
       },
       2000, 200, 0, false, true},
      {"a lower full mark takes the resume mark down",
       [](TSioComPort& p) {
         p.SetSWFlowOptions(swfReceive);
         p.SetBufferFull(500);
       },
       500, 50, 0, false, true},
      {"RS485 drops the RTS handshake and RTS",
       [](TSioComPort& p) {
         p.SetHWFlowOptions(hwfUseRTS | hwfRequireCTS | hwfUseDTR);
         p.SetRS485Mode(true);
       },
       3686, 409, hwfUseDTR, true, false},
      {"a CTS handshake ends RS485",
       [](TSioComPort& p) {
         p.SetRS485Mode(true);
         p.SetHWFlowOptions(hwfRequireCTS);
       },
       3686, 409, hwfRequireCTS, false, false},
  };
  for (const Case& c : cases) {
    for (const bool whileOpen : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (whileOpen ? " while open" : " while closed"));
      auto port = Com7();
      if (whileOpen) port->SetOpen(true);
      c.apply(*port);
      EXPECT_EQ(port->BufferFull(), c.full);
      EXPECT_EQ(port->BufferResume(), c.resume);
      EXPECT_EQ(port->HWFlowOptions(), c.hw);
      EXPECT_EQ(port->RS485Mode(), c.rs485);
      EXPECT_EQ(port->RTS(), c.rts);
      // A closed port takes the settings to its open.
      if (!whileOpen) {
        EXPECT_NO_THROW(port->SetOpen(true));
      }
    }
  }
}

// ---- trace and dispatch log ---------------------------------------------------------------

struct Channel {
  const char* name;
  void (TSioCustomComPort::*set)(TTraceLogState);
  TTraceLogState (TSioCustomComPort::*get)() const;
  void (TSioCustomComPort::*setFile)(const std::string&);
};
const Channel kChannels[] = {
    {"trace", &TSioCustomComPort::SetTracing, &TSioCustomComPort::Tracing, &TSioCustomComPort::SetTraceName},
    {"log", &TSioCustomComPort::SetLogging, &TSioCustomComPort::Logging, &TSioCustomComPort::SetLogName},
};

TEST_F(ComPortTest, TraceAndLogStatesWhileOpen) {
  struct Case {
    TTraceLogState from, to, after;
    bool writtenByChange, writtenByClose;
  };
  const Case cases[] = {
      {tlOff, tlOff, tlOff, false, false},     {tlOff, tlOn, tlOn, false, false},
      {tlOff, tlDump, tlOff, false, false},    {tlOff, tlAppend, tlOff, false, false},
      {tlOff, tlClear, tlOff, false, false},   {tlOff, tlPause, tlOff, false, false},
      {tlOn, tlOff, tlOff, false, false},      {tlOn, tlOn, tlOn, false, true},
      {tlOn, tlDump, tlOff, true, false},      {tlOn, tlAppend, tlOff, true, false},
      {tlOn, tlClear, tlOn, false, false},     {tlOn, tlPause, tlPause, false, true},
      {tlPause, tlOff, tlOff, false, false},   {tlPause, tlOn, tlOn, false, true},
      {tlPause, tlDump, tlOff, true, false},   {tlPause, tlAppend, tlOff, true, false},
      {tlPause, tlClear, tlPause, false, false}, {tlPause, tlPause, tlPause, false, true},
  };
  const std::string file = InDir("out.txt");
  for (const Channel& ch : kChannels) {
    auto port = Com7();
    (port.get()->*ch.setFile)(file);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(ch.name) + " " + std::to_string(c.from) + " -> " + std::to_string(c.to));
      std::filesystem::remove(file);
      port->SetOpen(true);
      if (c.from != tlOff) (port.get()->*ch.set)(tlOn);
      port->PutString("AB");  // recorded only while on
      port->AddStringToLog("AB");
      ASSERT_EQ(pty_.Read(2).size(), 2u);
      if (c.from == tlPause) (port.get()->*ch.set)(tlPause);
      ASSERT_EQ((port.get()->*ch.get)(), c.from);

      if (c.to == tlAppend) std::ofstream(file) << "before\n";
      (port.get()->*ch.set)(c.to);
      EXPECT_EQ((port.get()->*ch.get)(), c.after);
      const std::string text = ReadFile(file);
      if (c.to == tlAppend) {
        EXPECT_EQ(text.rfind("before\n", 0), 0u);
        EXPECT_EQ(text.size() > 7, c.writtenByChange);
      } else {
        EXPECT_EQ(Exists(file), c.writtenByChange);
      }

      std::filesystem::remove(file);
      port->SetOpen(false);
      EXPECT_EQ(Exists(file), c.writtenByClose);
      EXPECT_EQ((port.get()->*ch.get)(), tlOff);
    }

    // Closed, only "on" is kept.
    for (const TTraceLogState s : {tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause}) {
      (port.get()->*ch.set)(s);
      EXPECT_EQ((port.get()->*ch.get)(), s == tlOn ? tlOn : tlOff) << ch.name << " " << static_cast<int>(s);
    }
  }
}

TEST_F(ComPortTest, TheCloseWritesTheTraceAndTheLogOfTheTraffic) {
  auto port = Com7();
  port->SetTraceName(InDir("sio.trc"));
  port->SetLogName(InDir("sio.log"));
  port->SetTracing(tlOn);
  port->SetLogging(tlOn);
  port->SetOpen(true);
  EXPECT_EQ(port->Tracing(), tlOn);
  EXPECT_EQ(port->Logging(), tlOn);

  port->PutString("PING");
  EXPECT_EQ(pty_.Read(4).size(), 4u);
  ASSERT_TRUE(pty_.Write("PONG"));
  ASSERT_TRUE(PumpUntil([&] { return port->InBuffUsed() >= 4; }));
  char got[4] = {};
  EXPECT_EQ(port->GetBlock(got, 4), 4);
  EXPECT_EQ(std::string(got, 4), "PONG");
  port->AddStringToLog("note to self");
  port->SetOpen(false);

  const std::string trace = ReadFile(InDir("sio.trc"));
  EXPECT_NE(trace.find("Transmit: \nPING\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("Receive: \nPONG\n"), std::string::npos) << trace;
  const std::string log = ReadFile(InDir("sio.log"));
  EXPECT_NE(log.find("Device: COM7\n"), std::string::npos) << log;
  EXPECT_NE(log.find("note[20]to[20]self"), std::string::npos) << log;
  EXPECT_EQ(port->Tracing(), tlOff);
  EXPECT_EQ(port->Logging(), tlOff);

  // Switched off by the close, the next open records nothing.
  std::filesystem::remove(InDir("sio.trc"));
  std::filesystem::remove(InDir("sio.log"));
  port->SetOpen(true);
  port->PutString("AGAIN");
  port->AddStringToLog("again");
  port->SetOpen(false);
  EXPECT_FALSE(Exists(InDir("sio.trc")));
  EXPECT_FALSE(Exists(InDir("sio.log")));
}

TEST_F(ComPortTest, ANewPortNumberWhileOpenKeepsTracingLoggingAndTriggers) {
  SecondPty com8(pty_);
  auto port = Com7();
  port->SetTraceName(InDir("sio.trc"));
  port->SetLogName(InDir("sio.log"));
  port->SetOpen(true);
  port->SetTracing(tlOn);
  port->SetLogging(tlOn);
  std::vector<std::uint16_t> fired;
  port->SetOnTriggerData([&](TSioCustomComPort*, std::uint16_t handle) { fired.push_back(handle); });
  const std::uint16_t handle = port->AddDataTrigger("OK", false);
  port->PutString("on 7");

  port->SetComNumber(8);
  EXPECT_TRUE(port->Open());
  EXPECT_EQ(port->ComNumber(), 8);
  EXPECT_NE(ReadFile(InDir("sio.trc")).find("Transmit: \non[20]7"), std::string::npos);
  EXPECT_NE(ReadFile(InDir("sio.log")).find("Device: COM7\n"), std::string::npos);
  EXPECT_EQ(port->Tracing(), tlOn);
  EXPECT_EQ(port->Logging(), tlOn);

  ASSERT_TRUE(com8.Write("xOKx"));
  ASSERT_TRUE(PumpUntil([&] { return !fired.empty(); }));
  EXPECT_EQ(fired, std::vector<std::uint16_t>{handle});
  port->PutString("on 8");
  port->SetOpen(false);
  EXPECT_NE(ReadFile(InDir("sio.trc")).find("Transmit: \non[20]8"), std::string::npos);
  EXPECT_NE(ReadFile(InDir("sio.log")).find("Device: COM8\n"), std::string::npos);
}

// ---- trigger events ------------------------------------------------------------------------

TEST_F(ComPortTest, ADataTriggerReachesItsEventsOnTheUserInterfaceThread) {
  auto port = Com7();
  port->SetOpen(true);
  const auto ui = std::this_thread::get_id();
  std::vector<std::string> seen;
  bool offThread = false;
  port->SetOnTrigger([&](TSioCustomComPort*, std::uint16_t msg, std::uint16_t handle, std::uint16_t data) {
    offThread |= std::this_thread::get_id() != ui;
    seen.push_back("trigger " + std::to_string(msg - MsgTriggerAvail + 1) + " " + std::to_string(handle) + " " +
                   std::to_string(data));
  });
  port->SetOnTriggerAvail([&](TSioCustomComPort* p, std::uint16_t count) {
    offThread |= std::this_thread::get_id() != ui;
    char buffer[16] = {};
    p->GetBlock(buffer, count);
    seen.push_back("avail " + std::string(buffer, count));
  });
  port->SetOnTriggerData([&](TSioCustomComPort*, std::uint16_t handle) {
    offThread |= std::this_thread::get_id() != ui;
    seen.push_back("data " + std::to_string(handle));
  });
  const std::uint16_t handle = port->AddDataTrigger("OK", false);
  const std::string h = std::to_string(handle);

  ASSERT_TRUE(pty_.Write("xxOK"));
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 4; }));
  EXPECT_FALSE(offThread);
  EXPECT_EQ(seen, (std::vector<std::string>{"trigger 1 2 2", "avail xx", "trigger 2 " + h + " 2", "data " + h}));

  // The trigger survives a close and re-open.
  seen.clear();
  port->SetOnTriggerAvail(nullptr);
  port->SetOnTrigger(nullptr);
  port->SetOpen(false);  // may finish later: the notification just delivered may still run
  port->SetOpen(true);
  ASSERT_TRUE(PumpUntil([&] { return port->PortState() == psOpen; }));
  ASSERT_TRUE(pty_.Write("OK"));
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(seen, std::vector<std::string>{"data " + h});

  // An exception of an event goes to the exception handler, not to the dispatcher.
  port->SetOnTriggerData([](TSioCustomComPort*, std::uint16_t) { throw ESioException("from the event"); });
  ASSERT_TRUE(pty_.Write("OK"));
  ASSERT_TRUE(PumpUntil([&] { return !errors_.empty(); }));
  EXPECT_EQ(errors_, std::vector<std::string>{"from the event"});
  errors_.clear();
  EXPECT_TRUE(port->Open());
}

TEST_F(ComPortTest, ClosingOrDestroyingFromInsideATriggerEvent) {
  struct Case {
    const char* what;
    bool close, reopen, destroy;
  };
  const Case cases[] = {
      {"close", true, false, false},
      {"close and open again", true, true, false},
      {"destroy", false, false, true},
      {"close, then destroy", true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto port = Com7();
    port->SetOpen(true);
    int closes = 0;
    port->SetOnPortClose([&](TSioCustomComPort*) { ++closes; });
    int fired = 0;
    TPortState inside = psOpen;
    port->SetOnTriggerData([&](TSioCustomComPort* p, std::uint16_t) {
      if (++fired > 1) return;
      if (c.close) {
        p->SetOpen(false);
        inside = p->PortState();
      }
      if (c.reopen) p->SetOpen(true);
      if (c.destroy) port.reset();
    });
    port->AddDataTrigger("GO", false);
    ASSERT_TRUE(pty_.Write("GO"));
    ASSERT_TRUE(PumpUntil([&] { return fired == 1; }));
    if (c.close) {
      EXPECT_EQ(inside, psShuttingDown);  // the notification is still running
    }

    if (c.destroy) {
      EXPECT_EQ(port, nullptr);
      EXPECT_TRUE(PumpUntil([] { return PortListSize() == 0; }));
      continue;
    }
    EXPECT_EQ(closes, 1);
    if (!c.reopen) {
      ASSERT_TRUE(PumpUntil([&] { return port->PortState() == psClosed; }));
      EXPECT_FALSE(port->Open());
      EXPECT_EQ(PortListSize(), 0u);
      continue;
    }
    ASSERT_TRUE(PumpUntil([&] { return port->PortState() == psOpen; }));
    EXPECT_TRUE(port->Open());
    EXPECT_EQ(PortListSize(), 1u);
    ASSERT_TRUE(pty_.Write("GO"));  // the trigger came back with the re-open
    EXPECT_TRUE(PumpUntil([&] { return fired == 2; }));
  }
}

// ---- users ------------------------------------------------------------------------------------

TEST_F(ComPortTest, UsersAreToldOfOpenClosingAndCloseLastFirst) {
  std::vector<std::string> told;
  const auto window = [&](const char* name) {
    return CreateMsgWindow("user", [&told, name](std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
      const char* what = msg == MsgPortOpen ? "open" : msg == MsgPortClose ? "close" : msg == MsgPortClosing ? "closing" : "?";
      told.push_back(std::string(name) + " " + what);
      return 0;
    });
  };
  const HWND plainWnd = window("wnd");
  const HWND exWnd = window("wndEx");
  const int plainKey = 0, exKey = 0;
  auto port = Com7();
  port->RegisterUser(plainWnd);
  port->RegisterUserCallback(&plainKey, [&](TSioCustomComPort*, bool opening) {
    told.push_back(opening ? "cb open" : "cb close");
  });
  port->RegisterUserEx(exWnd);
  port->RegisterUserCallbackEx(&exKey, [&](TSioCustomComPort*, TSioCallbackType type) {
    told.push_back(type == ctOpen ? "cbEx open" : type == ctClosing ? "cbEx closing" : "cbEx close");
  });
  port->SetOnPortOpen([&](TSioCustomComPort*) { told.push_back("OnPortOpen"); });
  port->SetOnPortClose([&](TSioCustomComPort*) { told.push_back("OnPortClose"); });

  port->SetOpen(true);
  EXPECT_EQ(told, (std::vector<std::string>{"cbEx open", "wndEx open", "cb open", "wnd open", "OnPortOpen"}));
  told.clear();
  port->SetOpen(false);
  EXPECT_EQ(told, (std::vector<std::string>{"cbEx closing", "wndEx closing", "cbEx close", "wndEx close",
                                            "cb close", "wnd close", "OnPortClose"}));

  told.clear();
  port->RegisterUser(plainWnd);  // twice: deregistering removes both
  port->DeregisterUser(plainWnd);
  port->DeregisterUserCallbackEx(&exKey);
  port->DeregisterUserCallback(&exKey);  // not a plain callback's key: nothing
  port->SetOpen(true);
  EXPECT_EQ(told, (std::vector<std::string>{"wndEx open", "cb open", "OnPortOpen"}));
  port.reset();
  DestroyMsgWindow(plainWnd);
  DestroyMsgWindow(exWnd);
}

TEST_F(ComPortTest, AssignCopiesTheSettingsAndTheOpenSourcesTriggers) {
  auto source = Com7();
  source->SetBaud(9600);
  source->SetOpen(true);
  const std::uint16_t handle = source->AddDataTrigger("OK", true);
  TSioComPort copy;
  copy.Assign(*source);
  EXPECT_EQ(copy.ComNumber(), 7);
  EXPECT_EQ(copy.Baud(), 9600u);
  EXPECT_FALSE(copy.Open());
  source.reset();  // frees the device

  std::vector<std::uint16_t> fired;
  copy.SetOnTriggerData([&](TSioCustomComPort*, std::uint16_t h) { fired.push_back(h); });
  copy.SetOpen(true);
  const termios t = pty_.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B9600);
  ASSERT_TRUE(pty_.Write("ok"));
  ASSERT_TRUE(PumpUntil([&] { return !fired.empty(); }));
  EXPECT_EQ(fired, std::vector<std::uint16_t>{handle});
}

// ---- waiting for text ---------------------------------------------------------------------------

// A found text ends the wait, whose limit is set far beyond any load; a wait that finds
// nothing runs out its limit and still sees every byte: those bytes are in the ring before
// it starts, so that a loaded machine cannot make them come after its end.
TEST_F(ComPortTest, WaitingForTextThatAPeerWrites) {
  struct Case {
    const char* what;
    const char* peer;
    const char* texts;  // '^' separates several
    bool ignoreCase, yield;
    int expected;  // 1-based index of the text found, 0 for a time-out
    const char* charsSeen;
  };
  const Case cases[] = {
      {"the text arrives", "noise CONNECT 9600", "CONNECT", false, true, 1, "noise CONNECT"},
      {"without pumping", "noise CONNECT 9600", "CONNECT", false, false, 1, "noise CONNECT"},
      {"a repeated first character", "CCONNECT", "CONNECT", false, true, 1, "CCONNECT"},
      {"another case, ignored", "connect", "CONNECT", true, true, 1, "connect"},
      {"another case, not ignored", "connect", "CONNECT", false, true, 0, "connect"},
      {"one of several", "xxBUSY", "OK^ERROR^BUSY", false, true, 3, "xxBUSY"},
      {"the first completed of several", "ERROK", "OK^ERROR^ERR", false, true, 3, "ERR"},
      {"none of several", "NOPE", "OK^ERROR^BUSY", false, true, 0, "NOPE"},
  };
  auto port = Com7();
  port->SetOpen(true);
  std::string seen;
  port->SetOnWaitChar([&](TSioCustomComPort*, char c) { seen += c; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    port->FlushInBuffer();
    const std::string sent = c.peer;
    if (c.expected == 0) {
      ASSERT_TRUE(pty_.Write(sent));
      ASSERT_TRUE(PumpUntil([&] { return port->InBuffUsed() == sent.size(); }));
    }
    std::thread peer([&] {
      if (c.expected == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      pty_.Write(sent);
    });
    const std::string texts = c.texts;
    const std::int32_t ticks = c.expected != 0 ? Secs2Ticks(2 * testwait::kPatienceMs / 1000) : 8;
    const auto t0 = std::chrono::steady_clock::now();
    int got;
    if (texts.find('^') == std::string::npos)
      got = port->WaitForString(texts, ticks, c.yield, c.ignoreCase) ? 1 : 0;
    else
      got = port->WaitForMultiString(texts, ticks, c.yield, c.ignoreCase, '^');
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    peer.join();
    EXPECT_EQ(got, c.expected);
    if (c.expected == 0) {
      EXPECT_GE(ms, 8 * 55.0 - 55.0);
    }
    if (c.expected == 0) PumpUntil([&] { return seen.size() >= std::string(c.charsSeen).size(); });
    EXPECT_EQ(seen, c.charsSeen);
  }
  EXPECT_TRUE(port->WaitForString("", 0, false, false));
}

TEST_F(ComPortTest, CheckForStringStepsThroughTheText) {
  struct Case {
    const char* text;
    const char* stream;
    bool ignoreCase;
    const char* completions;  // '1' where the text completes
  };
  const Case cases[] = {
      {"ab", "aab", false, "001"},
      {"ab", "abab", false, "0101"},
      {"OK", "ok", true, "01"},
      {"OK", "ok", false, "00"},
      {"a", "aa", false, "11"},
  };
  TSioComPort port;
  for (const Case& c : cases) {
    std::uint16_t index = 0;
    std::string completions;
    for (const char* s = c.stream; *s != '\0'; ++s)
      completions += port.CheckForString(index, *s, c.text, c.ignoreCase) ? '1' : '0';
    EXPECT_EQ(completions, c.completions) << c.text << " over " << c.stream;
    EXPECT_EQ(index, 0) << c.text << " over " << c.stream;
  }
}

// ---- unit functions ---------------------------------------------------------------------------

TEST(ComPortUnit, ComNameAndTheSearchForAPortAmongOwnedComponents) {
  EXPECT_EQ(ComName(12), "COM12");
  EXPECT_EQ(ComName(1), "COM1");

  TSioBaseComponent form;
  TSioBaseComponent panel(&form);
  TSioComPort inner(&panel);
  TSioComPort outer(&form);
  EXPECT_EQ(SearchComPort(&form), &inner);  // the panel's own components come before the next
  EXPECT_EQ(SearchComPort(&panel), &inner);
  EXPECT_EQ(SearchComPort(&inner), nullptr);
  EXPECT_EQ(SearchComPort(nullptr), nullptr);

  TSioBaseComponent other;
  TSioComPort first(&other);
  TSioBaseComponent group(&other);
  TSioComPort deep(&group);
  EXPECT_EQ(SearchComPort(&other), &first);

  TSioBaseComponent empty;
  {
    TSioBaseComponent child(&empty);
    TSioComPort gone(&child);
  }
  EXPECT_EQ(empty.ComponentCount(), 0u);  // leaving detaches
  EXPECT_EQ(SearchComPort(&empty), nullptr);
}

}  // namespace
