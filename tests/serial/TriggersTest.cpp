// Triggers of the port dispatcher over a pseudo-terminal: handles, the data matcher, the
// avail/data order and shared reading, timer and status triggers, the four kinds of
// handler with their threads and time-out, closing from inside a handler, saving over a
// close, and what the dispatcher writes to the dispatch log and the trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/PtyPair.h"
#include "serial/SlConst.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwPosixDispatcher.h"
#include "serial/FakeLinesDispatcher.h"

namespace {

using serialtest::CreateFakeLinesDispatcher;
using serialtest::FakeLinesDispatcher;

using serialtest::kPatienceMs;
using serialtest::PtyPair;
using serialtest::WaitFor;
using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

std::int32_t Open(TSioBaseDispatcher& d, std::uint32_t outSize = 4096) {
  return d.InitPort("COM7", 9600, 0, 8, 1, 4096, outSize, ipDtrOn | ipRtsOn);
}

// WaitFor that keeps this thread's messages moving (synchronised handlers run here).
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!cond()) {
    if (Clock::now() >= deadline) return cond();
    SafeYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct Note {
  std::uint32_t msg;
  std::uint32_t wParam;
  std::int32_t lParam;
  Clock::time_point at;
};

// What the handlers heard, from whatever thread.
class Recorder {
 public:
  void Add(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) {
    std::lock_guard lock(m_);
    notes_.push_back({msg, wParam, lParam, Clock::now()});
  }
  TTriggerProc Proc() {
    return [this](std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) { Add(msg, wParam, lParam); };
  }
  std::vector<Note> Notes() const {
    std::lock_guard lock(m_);
    return notes_;
  }
  std::size_t Count(std::uint32_t msg = 0) const {
    std::lock_guard lock(m_);
    return static_cast<std::size_t>(
        std::count_if(notes_.begin(), notes_.end(), [msg](const Note& n) { return msg == 0 || n.msg == msg; }));
  }
  bool WaitCount(std::size_t n, int timeoutMs, std::uint32_t msg = 0) const {
    return WaitFor([&] { return Count(msg) >= n; }, timeoutMs);
  }

 private:
  mutable std::mutex m_;
  std::vector<Note> notes_;
};

// A message window owned by a thread of its own that pumps, as a user-interface thread.
class WindowThread {
 public:
  explicit WindowThread(MsgHandler handler) {
    thread_ = std::thread([this, h = std::move(handler)] {
      wnd_ = CreateMsgWindow("trigger test", h);
      ready_ = true;
      while (!stop_.load())
        if (WaitForMessages(5)) PumpOneMessage();
      DestroyMsgWindow(wnd_);
    });
    WaitFor([this] { return ready_.load(); }, kPatienceMs);
  }
  ~WindowThread() {
    stop_ = true;
    thread_.join();
  }
  HWND Wnd() const { return wnd_; }

 private:
  std::thread thread_;
  std::atomic<HWND> wnd_{0};
  std::atomic<bool> ready_{false};
  std::atomic<bool> stop_{false};
};

// Bytes that arrive while the checks are held back, so that one pass sees them all.
void ArriveInOnePass(TSioBaseDispatcher& d, PtyPair& pty, const std::string& bytes) {
  bool old = false;
  d.SetEventBusy(old, true);
  const std::int32_t before = d.InBuffUsed();
  ASSERT_TRUE(pty.Write(bytes));
  ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == before + static_cast<std::int32_t>(bytes.size()); }, kPatienceMs));
  d.SetEventBusy(old, false);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TriggersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PortListSize(), 0u) << "a dispatcher of an earlier test is left";
    std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
  }
  PtyPair pty_;
};

// ---- handles and calls ----

TEST_F(TriggersTest, HandlesRunInEightsAndAreReusedOnlyUpTo4096) {
  TSioPosixDispatcher d(nullptr);
  EXPECT_EQ(d.AddTimerTrigger(), 8);
  EXPECT_EQ(d.AddTimerTrigger(), 16);
  for (int i = 3; i < 4095; ++i) ASSERT_GT(d.AddTimerTrigger(), 0) << i;
  EXPECT_EQ(d.AddTimerTrigger(), 32760);  // the 4095th
  // Seeds are used up: only handles up to 4096 are reused, and all of those are taken.
  EXPECT_EQ(d.AddTimerTrigger(), ecNoMoreTriggers);
  EXPECT_EQ(d.AddDataTrigger("x", false), ecNoMoreTriggers);
  ASSERT_EQ(d.RemoveTrigger(16), ecOK);
  const std::int32_t status = d.AddStatusTrigger(skOutBuffFree);
  EXPECT_EQ(status, 16 | 3);  // the kind in the low three bits
  ASSERT_EQ(d.RemoveTrigger(8000), ecOK);
  EXPECT_EQ(d.AddTimerTrigger(), ecNoMoreTriggers);  // 8000 is free, but above 4096
  ASSERT_EQ(d.RemoveTrigger(status), ecOK);
  EXPECT_EQ(d.AddDataTrigger("x", false), 16);
  d.RemoveAllTriggers();
  EXPECT_EQ(d.AddTimerTrigger(), 8);
}

TEST_F(TriggersTest, CallsCheckTheHandleAndTheTriggerType) {
  TSioPosixDispatcher d(nullptr);
  const std::int32_t timer = d.AddTimerTrigger();
  const std::int32_t data = d.AddDataTriggerLen("0123456789abcdefghijk", false, 21);
  const std::int32_t status = d.AddStatusTrigger(skOutSent);
  ASSERT_EQ(timer, 8);
  ASSERT_EQ(data, 16);
  ASSERT_EQ(status, 24 | 5);
  std::int32_t ticks = 99;
  struct Case {
    const char* what;
    std::int32_t result;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"22 bytes", d.AddDataTriggerLen("0123456789abcdefghijkl", false, 22), ecTriggerTooLong},
      {"status kind 6", d.AddStatusTrigger(6), ecBadArgument},
      {"timer call on a status trigger", d.SetTimerTrigger(status, 5, true), ecBadTriggerHandle},
      {"timer call on a data trigger", d.ExtendTimer(data, 5), ecBadTriggerHandle},
      {"ticks of a status trigger", d.TimerTicksRemaining(status, ticks), ecBadTriggerHandle},
      {"status call on a timer", d.SetStatusTrigger(timer, 1, true), ecBadTriggerHandle},
      {"status call without the kind bits", d.SetStatusTrigger(24, 1, true), ecBadTriggerHandle},
      {"remove an unknown handle", d.RemoveTrigger(40), ecBadTriggerHandle},
      {"remove the length trigger", d.RemoveTrigger(LengthTriggerHandle), ecOK},
      {"remove a data trigger by its handle with low bits", d.RemoveTrigger(data | 6), ecOK},
      {"the data trigger is gone", d.RemoveTrigger(data), ecBadTriggerHandle},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
  EXPECT_EQ(ticks, 0);

  TTriggerRecord record;
  TTriggerType type = ttAvail;
  EXPECT_EQ(d.FindTriggerFromHandle(1, false, record, type), ecBadTriggerHandle);
  EXPECT_EQ(type, ttNone);
  ASSERT_EQ(d.FindTriggerFromHandle(status, false, record, type), ecOK);
  EXPECT_EQ(type, ttStatus);
  EXPECT_EQ(std::get<TStatusTrigger>(record).kind, skOutSent);
  ASSERT_EQ(d.FindTriggerFromHandle(timer, true, record, type), ecOK);
  EXPECT_EQ(type, ttTimer);
  EXPECT_EQ(d.FindTriggerFromHandle(timer, false, record, type), ecBadTriggerHandle);
}

// ---- data ----

struct MatchCase {
  const char* sequence;
  bool ignoreCase;
  const char* input;
  std::vector<int> firesAt;  // indexes of the bytes that complete a match
};

TEST_F(TriggersTest, DataTriggerMatcher) {
  const MatchCase cases[] = {
      {"ab", false, "aab", {2}},
      {"ab", false, "abab", {1, 3}},
      {"OK", true, "ok", {1}},
      {"OK", false, "ok", {}},
      {"ok", true, "xOKx", {2}},  // the sequence is compared upper-cased too
      {"aab", false, "aaab", {3}},  // overlapping partial matches run in parallel
      {"aa", false, "aaaa", {1, 3}},  // a completed match drops the others
      {"abc", false, "ababc", {4}},
      {"abac", false, "ababac", {5}},
      {"a", false, "bab", {1}},
  };
  TSioPosixDispatcher d(nullptr);
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sequence << " over " << c.input << (c.ignoreCase ? " ignoring case" : ""));
    const std::int32_t handle = d.AddDataTrigger(c.sequence, c.ignoreCase);
    TTriggerRecord record;
    TTriggerType type;
    ASSERT_EQ(d.FindTriggerFromHandle(handle, true, record, type), ecOK);
    TDataTrigger t = std::get<TDataTrigger>(record);
    std::vector<int> fired;
    const std::string input = c.input;
    for (std::size_t i = 0; i < input.size(); ++i)
      if (t.Step(static_cast<std::uint8_t>(input[i]))) fired.push_back(static_cast<int>(i));
    EXPECT_EQ(fired, c.firesAt);
  }
}

TEST_F(TriggersTest, AvailNotificationComesBeforeTheDataNotificationAndReadsAreShared) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  Recorder rec;
  std::string availRead, dataRead, secondRead;
  d.RegisterProcTriggerHandler([&](std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) {
    char buffer[16] = {};
    const std::uint32_t n = msg == MsgTriggerAvail ? wParam : static_cast<std::uint32_t>(lParam & 0xFFFF);
    if (d.GetBlock(buffer, n) > 0) (msg == MsgTriggerAvail ? availRead : dataRead) = std::string(buffer, n);
    rec.Add(msg, wParam, lParam);
  });
  // A second handler reads from the same place.
  d.RegisterEventTriggerHandler([&](std::uint32_t msg, std::uint32_t, std::int32_t) {
    char c = 0;
    if (msg == MsgTriggerAvail && d.GetBlock(&c, 1) == 1) secondRead = std::string(1, c);
  });
  ASSERT_EQ(d.ChangeLengthTrigger(1), ecOK);
  const std::int32_t ok = d.AddDataTrigger("OK", false);
  ArriveInOnePass(d, pty_, "xyzOK");
  ASSERT_TRUE(rec.WaitCount(2, kPatienceMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto notes = rec.Notes();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].msg, MsgTriggerAvail);
  EXPECT_EQ(notes[0].wParam, 3u);  // the bytes ahead of the sequence
  EXPECT_EQ(notes[0].lParam, d.Handle() * 65536);
  EXPECT_EQ(notes[1].msg, MsgTriggerData);
  EXPECT_EQ(notes[1].wParam, static_cast<std::uint32_t>(ok));
  EXPECT_EQ(notes[1].lParam, 2 + d.Handle() * 65536);
  EXPECT_EQ(secondRead, "x");
  EXPECT_EQ(availRead, "xyz");
  EXPECT_EQ(dataRead, "OK");
  EXPECT_EQ(d.InBuffUsed(), 0);
}

TEST_F(TriggersTest, AHandlerTakingPartOfTheOfferLeavesTheRestForTheNextReader) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  Recorder rec;
  std::atomic<std::uint32_t> take{3};
  std::string first, second;
  d.RegisterProcTriggerHandler([&](std::uint32_t, std::uint32_t, std::int32_t) {
    std::string got(take.load(), '\0');
    if (!got.empty() && d.GetBlock(got.data(), take.load()) > 0) first = got;
  });
  d.RegisterProcTriggerHandler([&](std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam) {
    std::string got(std::min<std::uint32_t>(2, take.load()), '\0');
    if (!got.empty() && d.GetBlock(got.data(), static_cast<std::uint32_t>(got.size())) > 0) second = got;
    rec.Add(msg, wParam, lParam);
  });
  ASSERT_EQ(d.ChangeLengthTrigger(1), ecOK);
  ArriveInOnePass(d, pty_, "0123456789");
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs));
  EXPECT_EQ(rec.Notes()[0].wParam, 10u);
  EXPECT_TRUE(WaitFor([&] { return d.InBuffUsed() == 7; }, kPatienceMs));
  EXPECT_EQ(first, "012");
  EXPECT_EQ(second, "01");  // both read from the start of the offer
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(rec.Count(), 1u) << "no second offer before more bytes arrive";

  take = 0;
  ArriveInOnePass(d, pty_, "A");
  ASSERT_TRUE(rec.WaitCount(2, kPatienceMs));
  EXPECT_EQ(rec.Notes()[1].wParam, 8u);
  EXPECT_EQ(d.InBuffUsed(), 8);

  // The offer's result: false unless every byte offered was taken.
  ASSERT_EQ(d.ChangeLengthTrigger(0), ecOK);
  take = 3;
  EXPECT_FALSE(d.SendNotify(MsgTriggerAvail, 8, 0));
  EXPECT_EQ(first, "345");
  EXPECT_EQ(d.InBuffUsed(), 5);
  take = 5;
  EXPECT_TRUE(d.SendNotify(MsgTriggerAvail, 5, 0));
  EXPECT_EQ(first, "6789A");
  EXPECT_EQ(d.InBuffUsed(), 0);
}

// ---- timers ----

// How soon after its ticks a timer fires depends on the machine's load; never before them.
TEST_F(TriggersTest, TimerTriggersFireNoEarlierThanTheirTicksAndOnce) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  Recorder rec;
  d.RegisterProcTriggerHandler(rec.Proc());
  const std::int32_t ticks[] = {1, 2, 4, 9};
  std::vector<std::int32_t> handles;
  for (std::size_t i = 0; i < std::size(ticks); ++i) handles.push_back(d.AddTimerTrigger());
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < handles.size(); ++i) ASSERT_EQ(d.SetTimerTrigger(handles[i], ticks[i], true), ecOK);
  ASSERT_TRUE(rec.WaitCount(handles.size(), kPatienceMs));
  const auto notes = rec.Notes();
  for (std::size_t i = 0; i < handles.size(); ++i) {
    SCOPED_TRACE(testing::Message() << ticks[i] << " ticks");
    const auto note = std::find_if(notes.begin(), notes.end(), [&](const Note& n) {
      return n.wParam == static_cast<std::uint32_t>(handles[i]);
    });
    ASSERT_NE(note, notes.end());
    EXPECT_EQ(note->msg, MsgTriggerTimer);
    EXPECT_EQ(note->lParam, d.Handle() * 65536);
    // A timer runs out when the 55 ms tick clock has passed start + n.
    EXPECT_GE(MsBetween(t0, note->at), ticks[i] * 55.0 - 1.0);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_EQ(rec.Count(), handles.size()) << "a timer fires once per activation";
}

TEST_F(TriggersTest, TimersCanBeExtendedRestartedAndStopped) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  Recorder rec;
  d.RegisterProcTriggerHandler(rec.Proc());
  const std::int32_t stopped = d.AddTimerTrigger();
  const std::int32_t extended = d.AddTimerTrigger();
  // What is left shrinks by the ticks that pass meanwhile, the more the more loaded the
  // machine: the tick clock read around each step bounds it.
  const auto t0 = Clock::now();
  const std::int64_t set = TickClock();
  ASSERT_EQ(d.SetTimerTrigger(stopped, 2, true), ecOK);
  ASSERT_EQ(d.SetTimerTrigger(extended, 2, true), ecOK);
  std::int32_t left = 0;
  ASSERT_EQ(d.TimerTicksRemaining(extended, left), ecOK);
  EXPECT_GE(left, 1 - (TickClock() - set));
  EXPECT_LE(left, 2);
  ASSERT_EQ(d.ExtendTimer(extended, 4), ecOK);
  ASSERT_EQ(d.TimerTicksRemaining(extended, left), ecOK);
  EXPECT_GE(left, 5 - (TickClock() - set));
  EXPECT_LE(left, 6);
  ASSERT_EQ(d.SetTimerTrigger(stopped, 0, false), ecOK);
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs));
  EXPECT_GE(MsBetween(t0, rec.Notes()[0].at), 5 * 55.0);
  EXPECT_EQ(rec.Notes()[0].wParam, static_cast<std::uint32_t>(extended));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(rec.Count(), 1u) << "the stopped timer fired";
  // Ticks 0 restart with the last period.
  ASSERT_EQ(d.SetTimerTrigger(stopped, 0, true), ecOK);
  ASSERT_TRUE(rec.WaitCount(2, kPatienceMs));
  EXPECT_EQ(rec.Notes()[1].wParam, static_cast<std::uint32_t>(stopped));
}

// ---- status ----

TEST_F(TriggersTest, OutputStatusTriggersFollowAStalledPeer) {
  constexpr std::uint32_t kOut = 4096;
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d, kOut), ecOK);
  Recorder rec;
  d.RegisterProcTriggerHandler(rec.Proc());
  const std::int32_t free = d.AddStatusTrigger(skOutBuffFree);
  const std::int32_t used = d.AddStatusTrigger(skOutBuffUsed);
  const std::int32_t sent = d.AddStatusTrigger(skOutSent);
  auto notesFor = [&](std::int32_t handle) {
    std::vector<Note> out;
    for (const Note& n : rec.Notes())
      if (n.wParam == static_cast<std::uint32_t>(handle)) out.push_back(n);
    return out;
  };

  // The peer reads nothing: the pty's buffer fills, then the output ring.
  std::vector<std::uint8_t> block(1024, 'x');
  int refusals = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  while (refusals < 20 && Clock::now() < deadline) {
    if (d.PutBlock(block.data(), 1024) == ecOutputBufferTooSmall) {
      ++refusals;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ASSERT_EQ(refusals, 20);
  ASSERT_EQ(d.SetStatusTrigger(free, kOut, true), ecOK);  // all of it free
  ASSERT_EQ(d.SetStatusTrigger(used, 0, true), ecOK);     // nothing left in it
  ASSERT_EQ(d.SetStatusTrigger(sent, 0, true), ecOK);
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(rec.Count(), 1u) << "only 'output sent' may fire while the peer stalls";
  EXPECT_EQ(rec.Notes()[0].msg, MsgTriggerStatus);
  EXPECT_EQ(rec.Notes()[0].wParam, static_cast<std::uint32_t>(sent));

  // The peer reads: the ring drains and both buffer triggers fire once.
  ASSERT_TRUE(WaitFor([&] {
    pty_.Drain(1);
    return d.OutBuffUsed() == 0 && rec.Count() >= 3;
  }, kPatienceMs));
  ASSERT_EQ(notesFor(free).size(), 1u);
  EXPECT_EQ(notesFor(free)[0].lParam, static_cast<std::int32_t>(kOut) + d.Handle() * 65536);  // the free count
  ASSERT_EQ(notesFor(used).size(), 1u);
  EXPECT_EQ(notesFor(used)[0].lParam, d.Handle() * 65536);  // the used count, 0

  // 'Output sent' needs a new write once it has fired.
  ASSERT_EQ(d.SetStatusTrigger(sent, 0, true), ecOK);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(notesFor(sent).size(), 1u);
  ASSERT_EQ(d.PutString("more"), ecOK);
  EXPECT_TRUE(WaitFor([&] { return notesFor(sent).size() == 2; }, kPatienceMs));
}

TEST_F(TriggersTest, ModemAndLineErrorTriggersOnAFakeDevice) {
  std::unique_ptr<TSioBaseDispatcher> base = CreateFakeLinesDispatcher();
  auto* d = dynamic_cast<FakeLinesDispatcher*>(base.get());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(Open(*d), ecOK);
  Recorder rec;
  d->RegisterProcTriggerHandler(rec.Proc());
  auto fired = [&](std::int32_t handle) {
    for (const Note& n : rec.Notes())
      if (n.wParam == static_cast<std::uint32_t>(handle)) return true;
    return false;
  };

  const std::int32_t cts = d->AddStatusTrigger(skModemStatus);
  const std::int32_t dsr = d->AddStatusTrigger(skModemStatus);
  EXPECT_EQ(cts & 7, 1);
  ASSERT_EQ(d->SetStatusTrigger(cts, msCts, true), ecOK);
  ASSERT_EQ(d->SetStatusTrigger(dsr, msDsr, true), ecOK);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(rec.Count(), 0u) << "nothing changed yet";
  d->levels_ = msDsr | msDcd;  // CTS drops
  ASSERT_TRUE(WaitFor([&] { return fired(cts); }, kPatienceMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fired(dsr));
  // Armed again with CTS low, it fires when CTS comes back.
  ASSERT_EQ(d->SetStatusTrigger(cts, msCts, true), ecOK);
  d->levels_ = msCts | msDsr | msDcd;
  ASSERT_TRUE(WaitFor([&] { return rec.Count() == 2; }, kPatienceMs));

  const std::int32_t parity = d->AddStatusTrigger(skLineError);
  EXPECT_EQ(parity & 7, 2);
  ASSERT_EQ(d->SetStatusTrigger(parity, 2, true), ecOK);  // option 2: parity errors
  d->errors_ = ceFrame;
  ASSERT_TRUE(WaitFor([&] { return d->errors_.load() == 0; }, kPatienceMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fired(parity)) << "a framing error is not watched";
  d->errors_ = ceParity;
  ASSERT_TRUE(WaitFor([&] { return fired(parity); }, kPatienceMs));
  EXPECT_EQ(d->GetLineError(), 3);
  const Note last = rec.Notes().back();
  EXPECT_EQ(last.msg, MsgTriggerStatus);
  EXPECT_EQ(last.lParam, d->Handle() * 65536);
}

// ---- handlers ----

TEST_F(TriggersTest, WindowHandlersAreServedWithThePortHandlerOrASecondWindow) {
  std::atomic<int> first{0}, second{0};
  WindowThread w1([&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return ++first; });
  WindowThread w2([&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return ++second; });
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  ASSERT_EQ(d.RegisterWndTriggerHandler(w1.Wnd()), ecOK);
  const std::int32_t timer = d.AddTimerTrigger();
  auto fire = [&] {
    ASSERT_EQ(d.SetTimerTrigger(timer, 1, true), ecOK);
    TTriggerRecord record;
    TTriggerType type;
    ASSERT_TRUE(WaitFor([&] {
      d.FindTriggerFromHandle(timer, false, record, type);
      return !std::get<TTimerTrigger>(record).active;
    }, kPatienceMs));
  };
  fire();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(first.load(), 0) << "the component's own window alone, without its handler";
  d.UpdateHandlerFlags(1);
  fire();
  EXPECT_TRUE(WaitFor([&] { return first.load() == 1; }, kPatienceMs));
  d.UpdateHandlerFlags(2);
  ASSERT_EQ(d.RegisterWndTriggerHandler(w2.Wnd()), ecOK);
  fire();
  EXPECT_TRUE(WaitFor([&] { return first.load() == 2 && second.load() == 1; }, kPatienceMs));
  ASSERT_EQ(d.DeregisterWndTriggerHandler(w2.Wnd()), ecOK);
  EXPECT_EQ(d.DeregisterWndTriggerHandler(w2.Wnd()), ecBadHandle);
  d.DonePort();
}

// The blocking window handler holds on until the later notification has come: a send that
// waited for it rather than giving up would hold both up until the test's patience ran out.
TEST_F(TriggersTest, AWindowHandlerThatBlocksIsGivenUpAfterThreeSeconds) {
  std::atomic<int> windowCalls{0};
  std::atomic<bool> givenUp{false};
  Recorder rec;
  WindowThread w([&](std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    if (msg == MsgTriggerTimer && ++windowCalls == 1) givenUp = rec.WaitCount(2, kPatienceMs);
    return 0;
  });
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  d.RegisterProcTriggerHandler(rec.Proc());  // runs before the windows
  ASSERT_EQ(d.RegisterWndTriggerHandler(w.Wnd()), ecOK);
  d.UpdateHandlerFlags(1);
  const std::int32_t early = d.AddTimerTrigger();
  const std::int32_t later = d.AddTimerTrigger();
  ASSERT_EQ(d.SetTimerTrigger(early, 1, true), ecOK);
  ASSERT_EQ(d.SetTimerTrigger(later, 4, true), ecOK);  // due while the window blocks
  ASSERT_TRUE(rec.WaitCount(2, kPatienceMs));
  const auto notes = rec.Notes();
  EXPECT_EQ(notes[0].wParam, static_cast<std::uint32_t>(early));
  EXPECT_EQ(notes[1].wParam, static_cast<std::uint32_t>(later));
  EXPECT_GE(MsBetween(notes[0].at, notes[1].at), 2900.0) << "the send did not wait";
  // The handler is still running when the later notification goes out.
  EXPECT_TRUE(WaitFor([&] { return givenUp.load(); }, kPatienceMs))
      << "the send waited for the handler rather than giving up";
  // The window, free again, gets the later notification.
  EXPECT_TRUE(WaitFor([&] { return windowCalls.load() == 2; }, kPatienceMs));
}

TEST_F(TriggersTest, DeregisteringDuringANotificationTakesEffectAfterIt) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  std::atomic<int> a{0}, b{0}, c{0};
  std::atomic<std::int32_t> idA{0}, idB{0};
  idA = d.RegisterProcTriggerHandler([&](std::uint32_t, std::uint32_t, std::int32_t) {
    ++a;
    EXPECT_EQ(d.DeregisterProcTriggerHandler(idB.load()), ecOK);
    EXPECT_EQ(d.DeregisterProcTriggerHandler(idA.load()), ecOK);  // itself
  });
  idB = d.RegisterProcTriggerHandler([&](std::uint32_t, std::uint32_t, std::int32_t) { ++b; });
  const std::int32_t idC = d.RegisterEventTriggerHandler([&](std::uint32_t, std::uint32_t, std::int32_t) { ++c; });
  ASSERT_GT(idA.load(), 0);
  ASSERT_NE(idA.load(), idB.load());
  const std::int32_t timer = d.AddTimerTrigger();
  ASSERT_EQ(d.SetTimerTrigger(timer, 1, true), ecOK);
  ASSERT_TRUE(WaitFor([&] { return c.load() == 1 && a.load() == 1; }, kPatienceMs));
  ASSERT_EQ(d.SetTimerTrigger(timer, 1, true), ecOK);
  ASSERT_TRUE(WaitFor([&] { return c.load() == 2; }, kPatienceMs));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(a.load(), 1);
  EXPECT_EQ(b.load(), 0) << "a handler removed by an earlier one still heard";
  EXPECT_EQ(d.DeregisterProcTriggerHandler(idB.load()), ecBadHandle);
  EXPECT_EQ(d.DeregisterEventTriggerHandler(idC), ecOK);
  EXPECT_EQ(d.RegisterProcTriggerHandler(nullptr), ecBadArgument);
}

enum class Kind { kProc, kEvent, kSyncEvent, kWindow };

struct CloseCase {
  const char* what;
  Kind kind;
};

TEST_F(TriggersTest, ACloseFromInsideAHandlerCompletesAfterItReturns) {
  SetMainThread();  // synchronised handlers run on this thread, while it pumps
  const CloseCase cases[] = {
      {"procedure", Kind::kProc},
      {"method", Kind::kEvent},
      {"synchronised method", Kind::kSyncEvent},
      {"window", Kind::kWindow},
  };
  for (const CloseCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto d = std::make_unique<TSioPosixDispatcher>(nullptr);
    std::atomic<int> calls{0};
    std::atomic<bool> closeAsked{false}, returned{false}, openAtReturn{false};
    auto handler = [&, dp = d.get()] {
      if (++calls > 1) return;
      dp->DonePort();
      closeAsked = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      openAtReturn = dp->DeviceHandle() >= 0;
      returned = true;
    };
    WindowThread w([&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
      handler();
      return 0;
    });
    ASSERT_EQ(Open(*d), ecOK);
    auto proc = [&](std::uint32_t, std::uint32_t, std::int32_t) { handler(); };
    switch (c.kind) {
      case Kind::kProc: d->RegisterProcTriggerHandler(proc); break;
      case Kind::kEvent: d->RegisterEventTriggerHandler(proc); break;
      case Kind::kSyncEvent: d->RegisterSyncEventTriggerHandler(proc); break;
      case Kind::kWindow:
        d->RegisterWndTriggerHandler(w.Wnd());
        d->UpdateHandlerFlags(1);
        break;
    }
    // Two timers due at once: the second must not be notified after the close.
    for (int i = 0; i < 2; ++i) ASSERT_EQ(d->SetTimerTrigger(d->AddTimerTrigger(), 1, true), ecOK);
    ASSERT_TRUE(pty_.Write("bytes keep coming"));
    ASSERT_TRUE(PumpUntil([&] { return closeAsked.load(); }, kPatienceMs));

    // A re-open asked for meanwhile succeeds once the close has completed.
    TSioPosixDispatcher next(nullptr);
    std::int32_t reopened = ecAccessDenied;
    ASSERT_TRUE(PumpUntil([&] {
      reopened = Open(next);
      return reopened != ecAccessDenied;
    }, kPatienceMs));
    EXPECT_EQ(reopened, ecOK);
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(openAtReturn.load()) << "the port closed under the running handler";
    EXPECT_TRUE(PumpUntil([&] { return d->LiveThreads() == 0; }, kPatienceMs));
    EXPECT_EQ(d->DeviceHandle(), -1);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(calls.load(), 1) << "a notification after the close";
    d.reset();
    next.DonePort();
  }
}

TEST_F(TriggersTest, TriggersSurviveACloseWithoutDuplicateHandles) {
  TTriggerSave save;
  std::int32_t timer, data, status;
  {
    TSioPosixDispatcher d(nullptr);
    ASSERT_EQ(Open(d), ecOK);
    timer = d.AddTimerTrigger();
    data = d.AddDataTrigger("OK", true);
    status = d.AddStatusTrigger(skOutSent);
    const std::int32_t gone = d.AddTimerTrigger();
    ASSERT_EQ(d.RemoveTrigger(gone), ecOK);
    ASSERT_EQ(d.ChangeLengthTrigger(4), ecOK);
    ASSERT_EQ(d.SetStatusTrigger(status, 0, true), ecOK);
    d.SaveTriggers(save);
    d.DonePort();
  }
  EXPECT_EQ(save.timers.size(), 1u);
  EXPECT_EQ(save.data.size(), 1u);
  EXPECT_EQ(save.status.size(), 1u);

  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  Recorder rec;
  d.RegisterProcTriggerHandler(rec.Proc());
  d.RestoreTriggers(save);
  EXPECT_EQ(d.LengthTrigger(), 4u);
  for (std::int32_t handle : {timer, data, status}) {
    TTriggerRecord record;
    TTriggerType type;
    EXPECT_EQ(d.FindTriggerFromHandle(handle, false, record, type), ecOK) << handle;
  }
  const std::int32_t added = d.AddTimerTrigger();
  EXPECT_GT(added, status & ~7) << "a restored handle handed out again";
  EXPECT_NE(added, timer);
  EXPECT_NE(added, data);

  // They work on the new port.
  ASSERT_EQ(d.PutString("x"), ecOK);
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerStatus));
  ArriveInOnePass(d, pty_, "ok");
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerData));
  ASSERT_EQ(d.SetTimerTrigger(timer, 1, true), ecOK);
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerTimer));

  d.ClearSaveBuffers(save);
  EXPECT_TRUE(save.timers.empty() && save.data.empty() && save.status.empty());
  TTriggerRecord record;
  TTriggerType type;
  EXPECT_EQ(d.FindTriggerFromHandle(data, false, record, type), ecOK) << "the restored copies belong to the port";
}

// ---- dispatch log and trace ----

std::vector<std::string> EntryLines(const std::string& dump) {
  std::vector<std::string> lines;
  std::istringstream in(dump);
  std::string line;
  bool entries = false;
  while (std::getline(in, line)) {
    if (entries) lines.push_back(line.size() >= 8 ? "########" + line.substr(8) : line);
    else if (line.rfind("--------", 0) == 0) entries = true;
    else if (line.rfind("Device: ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

TEST_F(TriggersTest, TheDispatcherLogsAShortExchange) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  ASSERT_EQ(d.InitDispatchLogging(10000), ecOK);
  Recorder rec;
  const std::int32_t timer = d.AddTimerTrigger();
  const std::int32_t data = d.AddDataTrigger("OK", false);
  const std::int32_t sent = d.AddStatusTrigger(skOutSent);
  const std::int32_t id = d.RegisterProcTriggerHandler(rec.Proc());
  ASSERT_EQ(d.ChangeLengthTrigger(2), ecOK);
  ASSERT_EQ(d.SetStatusTrigger(sent, 0, true), ecOK);
  ASSERT_EQ(d.PutString("AT\r"), ecOK);
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerStatus));
  ASSERT_EQ(pty_.Read(3).size(), 3u);
  ArriveInOnePass(d, pty_, "OK");
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerData));
  // Nobody read the sequence: its two bytes reach the threshold after it.
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerAvail));
  ASSERT_EQ(d.SetTimerTrigger(timer, 1, true), ecOK);
  ASSERT_TRUE(rec.WaitCount(1, kPatienceMs, MsgTriggerTimer));
  ASSERT_EQ(d.SetTimerTrigger(timer, 0, false), ecOK);
  ASSERT_EQ(d.AddStringToLog("done"), ecOK);
  ASSERT_EQ(d.RemoveTrigger(data), ecOK);
  ASSERT_EQ(d.RemoveTrigger(sent), ecOK);
  ASSERT_EQ(d.RemoveTrigger(timer), ecOK);
  ASSERT_EQ(d.DeregisterProcTriggerHandler(id), ecOK);
  const std::string file = pty_.Dir() + "/dispatch.log";
  ASSERT_EQ(d.DumpDispatchLog(file, false, false), ecOK);
  EXPECT_FALSE(d.IsDispatchLogging());

  const std::vector<std::string> expected = {
      "Device: COM7",
      "########  TrigAllc  Timer         00000008  ",
      "########  TrigAllc  Data          00000010  OK",
      "########  TrigAllc  Status        0000001d  (Output sent)",
      "########  TrgHdAlc  Procedure     00000000  ",
      "########  TrDatChg  Avail         00000002  ",
      "########  TrDatChg  Status        0000001d  [0][0][0][0]",
      "########  Dispatch  WriteCom      00000003  AT[13]",
      "########  Trigger   Status        0000001d  ",
      "########  Dispatch  ReadCom       00000002  OK",
      "########  Trigger   Data          00000010  ",
      "########  Trigger   Avail         00000002  ",
      "########  TrDatChg  Timer         00000008  [1][0][0][0]",
      "########  Trigger   Timer         00000008  ",
      "########  TrDatChg  Timer         00000008  Deactivated",
      "########  User                    00000000  done",
      "########  TrigDisp  Data          00000010  ",
      "########  TrigDisp  Status        0000001d  (Output sent)",
      "########  TrigDisp  Timer         00000008  ",
      "########  TrgHdDsp  Procedure     00000000  ",
  };
  EXPECT_EQ(EntryLines(ReadFile(file)), expected);
}

TEST_F(TriggersTest, TheTraceHoldsWhatTheApplicationTookAndGave) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  ASSERT_EQ(d.InitTracing(100), ecOK);
  EXPECT_TRUE(d.IsTracing());
  ASSERT_EQ(d.PutString("AT\r"), ecOK);
  ASSERT_TRUE(pty_.Write("abcq"));
  ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == 4; }, kPatienceMs));
  EXPECT_EQ(d.GetChar(), 'a');
  char two[2];
  ASSERT_EQ(d.GetBlock(two, 2), 2);
  EXPECT_EQ(d.PeekChar(1), 'q');  // a peek takes nothing
  d.StopTracing();
  ASSERT_EQ(d.PutString("zz"), ecOK);
  EXPECT_EQ(d.GetChar(), 'q');
  d.AddTraceEntry('E', 'y');
  d.StartTracing();
  ASSERT_EQ(d.PutChar(1), ecOK);
  d.AddTraceEntry('E', 'x');
  const std::string file = pty_.Dir() + "/trace.txt";
  ASSERT_EQ(d.DumpTrace(file, false, false), ecOK);
  EXPECT_FALSE(d.IsTracing());
  EXPECT_EQ(ReadFile(file), "Transmit: \nAT[13]\n\nReceive: \nabc\n\nTransmit: \n[1]\n\nSpecial-E: \nx\n");
}

// ---- under the thread sanitizer ----

TEST_F(TriggersTest, TriggersChangeWhileDataArrivesAndHandlersClose) {
  SetMainThread();
  {
    TSioPosixDispatcher d(nullptr);
    ASSERT_EQ(Open(d), ecOK);
    std::atomic<int> heard{0};
    auto reader = [&](std::uint32_t msg, std::uint32_t wParam, std::int32_t) {
      ++heard;
      char buffer[64];
      if (msg == MsgTriggerAvail) d.GetBlock(buffer, std::min<std::uint32_t>(wParam, sizeof buffer));
    };
    d.RegisterProcTriggerHandler(reader);
    d.RegisterEventTriggerHandler(reader);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
      std::mt19937 rng(7);
      while (!stop.load()) {
        std::string chunk(rng() % 40, 'z');
        chunk += rng() % 2 ? "OK" : "ok\r";
        pty_.Write(chunk.data(), chunk.size(), 1000);
        pty_.Drain(0);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
    std::thread consumer([&] {
      char buffer[128];
      while (!stop.load()) {
        const std::int32_t used = d.InBuffUsed();
        if (used > 0) d.GetBlock(buffer, static_cast<std::uint32_t>(std::min<std::int32_t>(used, 128)));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    std::mt19937 rng(11);
    std::vector<std::int32_t> handles;
    std::vector<std::int32_t> ids;
    const auto until = Clock::now() + std::chrono::milliseconds(1500);
    while (Clock::now() < until) {
      switch (rng() % 8) {
        case 0: handles.push_back(d.AddDataTrigger(rng() % 2 ? "OK" : "k\r", rng() % 2 != 0)); break;
        case 1: {
          const std::int32_t h = d.AddTimerTrigger();
          d.SetTimerTrigger(h, static_cast<std::int32_t>(rng() % 3), true);
          handles.push_back(h);
          break;
        }
        case 2: {
          const std::int32_t h = d.AddStatusTrigger(1 + rng() % 5);
          d.SetStatusTrigger(h, rng() % 4096, true);
          handles.push_back(h);
          break;
        }
        case 3: d.ChangeLengthTrigger(rng() % 20); break;
        case 4:
          if (!handles.empty()) {
            const std::size_t i = rng() % handles.size();
            d.RemoveTrigger(handles[i]);
            handles.erase(handles.begin() + static_cast<std::ptrdiff_t>(i));
          }
          break;
        case 5: ids.push_back(d.RegisterProcTriggerHandler(reader)); break;
        case 6:
          if (!ids.empty()) {
            d.DeregisterProcTriggerHandler(ids.back());
            ids.pop_back();
          }
          break;
        default: d.PutString("AT\r"); break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // However slow the machine, the bytes keep coming until one was heard.
    EXPECT_TRUE(WaitFor([&] { return heard.load() > 0; }, kPatienceMs));
    stop = true;
    peer.join();
    consumer.join();
    d.DonePort();
  }

  // Closes from inside handlers of each kind, with data arriving and triggers firing.
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    auto d = std::make_unique<TSioPosixDispatcher>(nullptr);
    ASSERT_EQ(Open(*d), ecOK);
    std::atomic<bool> closed{false};
    auto closer = [&, dp = d.get()](std::uint32_t, std::uint32_t, std::int32_t) {
      if (!closed.exchange(true)) dp->DonePort();
    };
    if (round % 3 == 0) d->RegisterProcTriggerHandler(closer);
    if (round % 3 == 1) d->RegisterEventTriggerHandler(closer);
    if (round % 3 == 2) d->RegisterSyncEventTriggerHandler(closer);
    d->ChangeLengthTrigger(1);
    d->AddDataTrigger("OK", false);
    ASSERT_EQ(d->SetTimerTrigger(d->AddTimerTrigger(), static_cast<std::int32_t>(round % 2), true), ecOK);
    ASSERT_TRUE(pty_.Write("data OK data"));
    ASSERT_TRUE(PumpUntil([&] { return closed.load() && d->LiveThreads() == 0; }, kPatienceMs));
    pty_.Drain(0);
    d.reset();
  }
}

}  // namespace
