// Data packets over a pseudo-terminal (COM7; the test writes the far end on the master):
// start and end conditions, wildcards and case, size packets, the time-out, packets that
// share one port, arming errors, arming before the port opens, and handlers that disarm,
// re-arm or destroy packets from inside the synchronised delivery.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/PtyPair.h"
#include "serial/SerialTestSupport.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SlPacket.h"
#include "serial/SwMsgWindow.h"

namespace {

using serialtest::CodeOf;
using serialtest::PtyPair;
using serialtest::PumpUntil;

// Keeps messages moving for a while; used only to show that nothing more happens.
void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

// What a packet delivered, in order.
struct Recorder {
  std::vector<std::string> packets;
  std::vector<std::string> strings;
  std::vector<std::string> timeouts;
  bool offMainThread = false;

  void Attach(TSioDataPacket& p) {
    p.SetOnPacket([this](TSioDataPacket*, const void* data, int size) {
      offMainThread |= !IsMainThread();
      packets.emplace_back(static_cast<const char*>(data), static_cast<std::size_t>(size));
    });
    p.SetOnStringPacket([this](TSioDataPacket*, const std::string& text) { strings.push_back(text); });
    p.SetOnTimeout([this](TSioDataPacket* sender) {
      std::string text;
      sender->GetCollectedString(text);
      timeouts.push_back(text);
    });
  }
};

class PacketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread();
    std::thread([] {}).join();
    ASSERT_EQ(PortListSize(), 0u);
    port_ = std::make_unique<TSioComPort>();
    port_->SetComNumber(7);
  }
  void TearDown() override {
    packets_.clear();
    port_.reset();
    EXPECT_TRUE(PumpUntil([] { return PortListSize() == 0 && !HasPendingMessages(); }));
    EXPECT_EQ(PacketManagerList().Count(), 0u);
  }

  TSioDataPacket& NewPacket(const std::string& start, const std::string& end, bool include = true) {
    auto p = std::make_unique<TSioDataPacket>();
    p->SetComPort(port_.get());
    p->SetStartString(start);
    if (!end.empty()) {
      p->SetEndString(end);
      p->SetEndCond(PacketEndBit(ecString));
    }
    p->SetIncludeStrings(include);
    packets_.push_back(std::move(p));
    return *packets_.back();
  }
  void Open() { port_->SetOpen(true); }
  void Send(const std::string& bytes) { ASSERT_TRUE(pty_.Write(bytes)); }
  TSioDataPacketManager* Manager() const { return PacketManagerList().GetPortManager(port_.get()); }

  PtyPair pty_;
  std::unique_ptr<TSioComPort> port_;
  std::vector<std::unique_ptr<TSioDataPacket>> packets_;
};

// ---- start and end conditions ---------------------------------------------------------------

TEST_F(PacketTest, StartAndEndBytesFrameTheDataOnTheUserInterfaceThread) {
  Open();
  TSioDataPacket& p = NewPacket("\x01", "\x03", false);
  Recorder r;
  r.Attach(p);
  p.SetEnabled(true);
  Send("noise\x01" "AB\x03");
  ASSERT_TRUE(PumpUntil([&] { return r.strings.size() == 1; }));
  EXPECT_EQ(r.packets, std::vector<std::string>{"AB"});
  EXPECT_EQ(r.strings, std::vector<std::string>{"AB"});
  EXPECT_FALSE(r.offMainThread);
  // Re-armed by itself once the event is over, and the bytes before the start went with
  // the packet.
  ASSERT_TRUE(PumpUntil([&] { return p.Mode() == dpWaitStart; }));
  EXPECT_TRUE(p.Enabled());
  EXPECT_EQ(Manager()->BufferUsed(), 0u);

  // With the strings included, and two packets in one read: both are delivered.
  p.SetIncludeStrings(true);
  Send("\x01x\x03\x01yz\x03");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 3; }));
  EXPECT_EQ(r.packets[1], "\x01x\x03");
  EXPECT_EQ(r.packets[2], "\x01yz\x03");
  std::string collected;
  p.GetCollectedString(collected);
  EXPECT_EQ(collected, "\x01yz\x03");
}

TEST_F(PacketTest, StartPatternsWithWildcardsCaseAndBacktracking) {
  struct Case {
    const char* pattern;
    bool ignoreCase;
    const char* input;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"A?C", true, "ABC.AXC.AC", {"ABC", "AXC"}},
      {"A\\?C", true, "ABC.A?C", {"A?C"}},
      {"\\\\", true, "x\\y", {"\\"}},
      {"abc", true, "ABC.aBc", {"ABC", "aBc"}},
      {"abc", false, "ABC.aBc.abc", {"abc"}},
      {"AAB", true, "AAAB", {"AAB"}},
  };
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern + std::string(" in ") + c.input);
    // No end condition: the start string alone is the packet.
    TSioDataPacket& p = NewPacket(c.pattern, "");
    p.SetIgnoreCase(c.ignoreCase);
    Recorder r;
    r.Attach(p);
    p.SetEnabled(true);
    Send(c.input);
    ASSERT_TRUE(PumpUntil([&] { return r.packets.size() >= c.expected.size(); }));
    PumpFor(100);  // and no more
    EXPECT_EQ(r.packets, c.expected);
    packets_.clear();
  }
}

TEST_F(PacketTest, AnyDataWithASizeMakesAPacketOfEveryFourBytes) {
  Open();
  TSioDataPacket& p = NewPacket("", "");
  p.SetStartCond(scAnyData);
  p.SetEndCond(PacketEndBit(ecPacketSize));
  p.SetPacketSize(4);
  Recorder r;
  r.Attach(p);
  p.SetEnabled(true);
  EXPECT_EQ(p.Mode(), dpCollecting);
  Send("0123456789");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 2; }));
  ASSERT_TRUE(PumpUntil([&] { return Manager()->BufferUsed() == 2; }));
  Send("ab");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 3; }));
  EXPECT_EQ(r.packets, (std::vector<std::string>{"0123", "4567", "89ab"}));
}

TEST_F(PacketTest, WhicheverEndComesFirstAndAMultiByteEndAfterAFalseStart) {
  struct Case {
    const char* what;
    const char* end;
    bool sized;
    const char* input;
    const char* expected;
  };
  const Case cases[] = {
      {"end string first", ">", true, "<ab>", "<ab>"},
      {"size first", ">", true, "<abcdef>", "<abc"},
      {"end string re-aligned", "aab", false, "<xaaab", "<xaaab"},
      {"end string over a false start", "abac", false, "<ababac", "<ababac"},
  };
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TSioDataPacket& p = NewPacket("<", c.end);
    if (c.sized) {
      p.SetEndCond(PacketEndBit(ecString) | PacketEndBit(ecPacketSize));
      p.SetPacketSize(4);
    }
    Recorder r;
    r.Attach(p);
    p.SetEnabled(true);
    Send(c.input);
    ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 1; }));
    EXPECT_EQ(r.packets[0], c.expected);
    packets_.clear();
    port_->FlushInBuffer();
  }
}

// ---- time-out -----------------------------------------------------------------------------------

TEST_F(PacketTest, ATimeOutDeliversWhatCameAndLeavesThePacketDisarmed) {
  Open();
  TSioDataPacket& p = NewPacket("<", ">");
  p.SetTimeOut(2);
  Recorder r;
  r.Attach(p);
  // Taken before the packet is armed, so that a late start of this thread only lengthens it.
  const auto started = std::chrono::steady_clock::now();
  p.SetEnabled(true);
  Send("<abc");
  ASSERT_TRUE(PumpUntil([&] { return r.timeouts.size() == 1; }));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(55));
  EXPECT_EQ(r.timeouts[0], "abc");
  ASSERT_TRUE(PumpUntil([&] { return Manager()->BufferUsed() == 0; }));  // flushed after the event
  // AutoEnable does not re-arm after a time-out.
  EXPECT_FALSE(p.Enabled());
  EXPECT_EQ(p.Mode(), dpIdle);
  Send("<x>");
  PumpFor(150);
  EXPECT_TRUE(r.packets.empty());

  // Without the flush the partial packet stays; a handler may re-arm.
  p.SetFlushOnTimeout(false);
  p.SetOnTimeout([&](TSioDataPacket* sender) {
    r.timeouts.emplace_back("again");
    sender->SetEnabled(true);
  });
  port_->FlushInBuffer();
  p.SetEnabled(true);
  Send("<de");
  ASSERT_TRUE(PumpUntil([&] { return r.timeouts.size() >= 2; }));
  // Re-armed from inside the event: it waits for a new start, and the kept "<de" is
  // offered again, so it collects once more.
  ASSERT_TRUE(PumpUntil([&] { return p.Mode() == dpCollecting; }));
  EXPECT_TRUE(p.Enabled());
  Send("f>");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 1; }));
  EXPECT_EQ(r.packets[0], "<def>");
}

// ---- several packets, arming ------------------------------------------------------------------

TEST_F(PacketTest, APacketCollectingItsBodyHoldsTheStream) {
  Open();
  TSioDataPacket& a = NewPacket("<", ">");
  TSioDataPacket& b = NewPacket("[", "]");
  EXPECT_EQ(Manager()->PacketCount(), 2u);
  Recorder ra, rb;
  ra.Attach(a);
  rb.Attach(b);
  a.SetEnabled(true);
  b.SetEnabled(true);
  Send("<a[b]>");
  ASSERT_TRUE(PumpUntil([&] { return ra.packets.size() == 1; }));
  EXPECT_EQ(ra.packets[0], "<a[b]>");
  Send("[c]");
  ASSERT_TRUE(PumpUntil([&] { return rb.packets.size() == 1; }));
  EXPECT_EQ(rb.packets[0], "[c]");
  EXPECT_EQ(ra.packets.size(), 1u);

  // Disarming the holder offers what it held to the others, here and now.
  ASSERT_TRUE(PumpUntil([&] { return a.Mode() == dpWaitStart && b.Mode() == dpWaitStart; }));
  Send("<q[r]");
  ASSERT_TRUE(PumpUntil([&] { return Manager()->BufferUsed() == 5; }));
  EXPECT_EQ(a.Mode(), dpCollecting);
  a.SetEnabled(false);
  ASSERT_EQ(rb.packets.size(), 2u);
  EXPECT_EQ(rb.packets[1], "[r]");
}

TEST_F(PacketTest, InvalidSettingsAreRefusedAndLeaveThePacketIdle) {
  struct Case {
    const char* what;
    TPacketStartCond start;
    TPacketEndSet end;
    const char* startString;
    const char* endString;
    std::int32_t size;
    std::int32_t code;
  };
  const TPacketEndSet s = PacketEndBit(ecString), n = PacketEndBit(ecPacketSize);
  const Case cases[] = {
      {"empty start", scString, s, "", ">", 0, ecStartStringEmpty},
      {"size below start", scString, n, "<<<", "", 2, ecPacketTooSmall},
      {"any data without end", scAnyData, 0, "", "", 0, ecNoEndCharCount},
      {"empty end", scAnyData, s, "", "", 0, ecEmptyEndString},
      {"zero size", scAnyData, n, "", "", 0, ecZeroSizePacket},
      {"zero size after a start string", scString, n, "<", "", 0, ecPacketTooSmall},
  };
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TSioDataPacket& p = NewPacket(c.startString, "");
    p.SetStartCond(c.start);
    p.SetEndString(c.endString);
    p.SetEndCond(c.end);
    p.SetPacketSize(c.size);
    EXPECT_EQ(CodeOf([&] { p.SetEnabled(true); }), c.code);
    EXPECT_THROW(p.SetEnabled(true), EInvalidProperty);
    EXPECT_FALSE(p.Enabled());
    EXPECT_EQ(p.Mode(), dpIdle);  // an any-data packet does not keep the stream
    packets_.clear();
  }
}

TEST_F(PacketTest, ArmedBeforeTheOpenItMatchesOnceThePortIsOpen) {
  TSioDataPacket& p = NewPacket("<", ">");
  Recorder r;
  r.Attach(p);
  p.SetEnabled(true);
  EXPECT_TRUE(p.Enabled());
  EXPECT_EQ(p.Mode(), dpIdle);
  EXPECT_FALSE(Manager()->Enabled());
  Open();
  EXPECT_TRUE(Manager()->Enabled());
  EXPECT_EQ(p.Mode(), dpWaitStart);
  Send("<1>");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 1; }));
  // Closed only once the delivery is over: a close during it would finish later.
  ASSERT_TRUE(PumpUntil([&] { return p.Mode() == dpWaitStart; }));
  port_->SetOpen(false);
  EXPECT_EQ(p.Mode(), dpIdle);
  EXPECT_FALSE(Manager()->Enabled());
  Open();
  Send("<2>");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 2; }));
  EXPECT_EQ(r.packets[1], "<2>");
}

TEST_F(PacketTest, WithNoPacketArmedTheBytesStayForTheOtherReadersOfThePort) {
  Open();
  TSioDataPacket& p = NewPacket("<", ">");
  Recorder r;
  r.Attach(p);
  Send("x<y>");
  ASSERT_TRUE(PumpUntil([&] { return port_->InBuffUsed() == 4; }));
  PumpFor(100);
  EXPECT_EQ(port_->InBuffUsed(), 4u);
  char got[4] = {};
  EXPECT_EQ(port_->GetBlock(got, 4), 4);
  EXPECT_EQ(std::string(got, 4), "x<y>");
  EXPECT_TRUE(r.packets.empty());
  // Armed, it takes what comes next.
  p.SetEnabled(true);
  Send("<z>");
  ASSERT_TRUE(PumpUntil([&] { return r.packets.size() == 1; }));
  EXPECT_EQ(r.packets[0], "<z>");
  EXPECT_EQ(port_->InBuffUsed(), 0u);
}

// ---- handlers inside the synchronised delivery --------------------------------------------------

TEST_F(PacketTest, AHandlerMayDisarmAndArmPacketsWithoutADeadlock) {
  Open();
  TSioDataPacket& a = NewPacket("<", ">");
  TSioDataPacket& b = NewPacket("[", "]");
  Recorder rb;
  rb.Attach(b);
  int calls = 0;
  a.SetOnPacket([&](TSioDataPacket* sender, const void*, int) {
    ++calls;
    sender->SetAutoEnable(false);
    sender->SetEnabled(false);
    b.SetEnabled(true);
  });
  a.SetEnabled(true);
  Send("<x>");
  ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
  ASSERT_TRUE(PumpUntil([&] { return b.Mode() == dpWaitStart; }));
  EXPECT_FALSE(a.Enabled());
  EXPECT_EQ(a.Mode(), dpIdle);
  Send("<y>[z]");
  ASSERT_TRUE(PumpUntil([&] { return rb.packets.size() == 1; }));
  EXPECT_EQ(rb.packets[0], "[z]");
  EXPECT_EQ(calls, 1);
}

TEST_F(PacketTest, AHandlerMayDestroyItsPacketAndThePortMayGoRightAfter) {
  Open();
  auto p = std::make_unique<TSioDataPacket>();
  p->SetComPort(port_.get());
  p->SetStartString("<");
  p->SetEndString(">");
  p->SetEndCond(PacketEndBit(ecString));
  bool stringEvent = false;
  p->SetOnPacket([&](TSioDataPacket*, const void*, int) { p.reset(); });
  p->SetOnStringPacket([&](TSioDataPacket*, const std::string&) { stringEvent = true; });
  p->SetEnabled(true);
  Send("<gone>");
  ASSERT_TRUE(PumpUntil([&] { return p == nullptr; }));
  EXPECT_FALSE(stringEvent);
  EXPECT_EQ(PacketManagerList().Count(), 0u);
  // The manager left the port with its last packet: the port can go before the manager
  // has been freed.
  port_.reset();
  PumpFor(50);
}

TEST_F(PacketTest, WaitForStringArmsOnceAndReturnsThePacket) {
  Open();
  TSioDataPacket& p = NewPacket("<", ">");
  std::thread peer([&] {
    serialtest::WaitFor([&] { return p.Mode() == dpWaitStart; });
    pty_.Write(std::string("<w>"));
  });
  std::string text;
  const bool got = p.WaitForString(text);
  peer.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(text, "<w>");
  EXPECT_FALSE(p.AutoEnable());
  EXPECT_FALSE(p.Enabled());
}

}  // namespace
