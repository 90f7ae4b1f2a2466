#include "serial/SwMsgWindow.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/Patience.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testwait::kPatienceMs;

// A send's time-out that no correct run reaches, however loaded the machine: a sender back
// well before it was released by something else than its time-out.
constexpr unsigned kNeverMs = 2 * kPatienceMs;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Waits without pumping until flag is set; false when the test's patience ran out.
bool WaitUnpumped(const std::atomic<bool>& flag) {
  const auto t0 = Clock::now();
  while (!flag.load() && MsSince(t0) < kPatienceMs) std::this_thread::sleep_for(milliseconds(1));
  return flag.load();
}

bool FdReadable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

struct Call {
  std::uint32_t msg;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::thread::id thread;
};

// The test's thread is the main thread; its windows record what reaches them.
class MsgWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThread(); }
  void TearDown() override {
    for (HWND w : windows_) DestroyMsgWindow(w);
    TakeQuitMessage(nullptr);
    while (PumpOneMessage() != 0) {
    }
  }

  HWND Window(std::function<std::intptr_t(const Call&)> reply = nullptr) {
    HWND w = CreateMsgWindow("test", [this, reply](std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
      Call c{msg, wp, lp, std::this_thread::get_id()};
      {
        std::lock_guard lock(m_);
        calls_.push_back(c);
      }
      return reply ? reply(c) : std::intptr_t{0};
    });
    windows_.push_back(w);
    return w;
  }

  // Pumps the test's thread until done() holds or the test's patience ran out.
  void PumpUntil(const std::function<bool()>& done) {
    const auto t0 = Clock::now();
    while (!done() && MsSince(t0) < kPatienceMs) {
      WaitForMessages(10);
      while (PumpOneMessage() != 0) {
      }
    }
    ASSERT_TRUE(done());
  }

  std::vector<std::uint32_t> Messages() {
    std::lock_guard lock(m_);
    std::vector<std::uint32_t> out;
    for (const auto& c : calls_) out.push_back(c.msg);
    return out;
  }

  std::mutex m_;
  std::vector<Call> calls_;
  std::vector<HWND> windows_;
};

TEST_F(MsgWindowTest, SendFromAWorkerRunsOnTheOwnerThread) {
  const HWND w = Window([](const Call& c) { return static_cast<std::intptr_t>(c.wParam) * 2; });
  std::atomic<bool> done{false};
  bool ok = false;
  std::intptr_t result = 0;
  std::thread worker([&] {
    ok = SendMessageTimeout(w, 0x7E01, 21, 0x00030000, kNeverMs, &result);  // port 3 in the high word
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  worker.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(result, 42);
  ASSERT_EQ(calls_.size(), 1U);
  EXPECT_EQ(calls_[0].thread, std::this_thread::get_id());
  EXPECT_EQ(calls_[0].lParam >> 16, 3);

  // On the owner thread the handler runs at once, without pumping.
  EXPECT_TRUE(SendMessageTimeout(w, 0x7E02, 5, 0, 0, &result));
  EXPECT_EQ(result, 10);
  EXPECT_EQ(calls_.size(), 2U);
}

// The handler runs until the sender is back: a sender that waited for the handler rather
// than for its time-out would hold both up until the test's patience ran out.
TEST_F(MsgWindowTest, SenderGivesUpOnASlowHandlerAtItsTimeOut) {
  std::atomic<bool> done{false};
  bool senderBackFirst = false;
  const HWND w = Window([&](const Call&) {
    senderBackFirst = WaitUnpumped(done);
    return std::intptr_t{1};
  });
  bool ok = true;
  double waited = 0;
  std::intptr_t result = -7;
  std::thread worker([&] {
    const auto t0 = Clock::now();
    ok = SendMessageTimeout(w, 0x7E03, 0, 0, 3000, &result);
    waited = MsSince(t0);
    done = true;
  });
  PumpUntil([&] { return !Messages().empty(); });  // returns after the handler
  worker.join();
  EXPECT_TRUE(senderBackFirst);
  EXPECT_FALSE(ok);
  EXPECT_EQ(result, -7);
  EXPECT_GE(waited, 2990.0);
}

TEST_F(MsgWindowTest, MessageTimedOutBeforeItsHandlerStartedIsWithdrawn) {
  const HWND w = Window();
  std::atomic<bool> done{false};
  bool ok = true;
  double waited = 0;
  std::thread worker([&] {
    const auto t0 = Clock::now();
    ok = SendMessageTimeout(w, 0x7E04, 0, 0, 200, nullptr);
    waited = MsSince(t0);
    done = true;
  });
  EXPECT_TRUE(WaitUnpumped(done)) << "the sender needed the owner to pump";  // busy, not pumping
  worker.join();
  EXPECT_FALSE(ok);
  EXPECT_GE(waited, 199.0);
  EXPECT_FALSE(HasPendingMessages());
  EXPECT_FALSE(FdReadable(MessageQueueFd()));
  EXPECT_EQ(PumpOneMessage(), 0);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(MsgWindowTest, PostsAndSendsArriveInOrder) {
  const HWND w = Window();
  // A post on the owner thread is queued, not run.
  ASSERT_TRUE(PostMessage(w, 1, 0, 0));
  EXPECT_TRUE(calls_.empty());
  EXPECT_TRUE(FdReadable(MessageQueueFd()));

  std::atomic<bool> done{false};
  std::thread worker([&] {
    PostMessage(w, 2, 0, 0);
    PostMessage(w, 3, 0, 0);
    SendMessageTimeout(w, 4, 0, 0, kNeverMs, nullptr);
    PostMessage(w, 5, 0, 0);
    SendMessageTimeout(w, 6, 0, 0, kNeverMs, nullptr);
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(Messages(), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(FdReadable(MessageQueueFd()));
}

TEST_F(MsgWindowTest, DestroyDropsPendingMessagesAndReleasesSenders) {
  const HWND w = Window();
  ASSERT_TRUE(PostMessage(w, 1, 0, 0));
  ASSERT_TRUE(PostMessage(w, 2, 0, 0));
  bool ok = true;
  double waited = 0;
  std::thread worker([&] {
    const auto t0 = Clock::now();
    ok = SendMessageTimeout(w, 3, 0, 0, kNeverMs, nullptr);
    waited = MsSince(t0);
  });
  std::this_thread::sleep_for(milliseconds(100));  // the send is queued behind the posts
  DestroyMsgWindow(w);
  worker.join();
  EXPECT_FALSE(ok);
  EXPECT_LT(waited, kNeverMs / 2.0) << "released by its time-out, not by the destroy";
  EXPECT_FALSE(IsMsgWindow(w));
  EXPECT_FALSE(HasPendingMessages());
  EXPECT_EQ(PumpOneMessage(), 0);
  EXPECT_TRUE(calls_.empty());
  EXPECT_FALSE(PostMessage(w, 4, 0, 0));
  EXPECT_FALSE(SendMessageTimeout(w, 5, 0, 0, 100, nullptr));
}

TEST_F(MsgWindowTest, HandlerMayDestroyItsOwnWindow) {
  HWND w = 0;
  w = Window([&w](const Call& c) {
    if (c.msg == 1) DestroyMsgWindow(w);
    return std::intptr_t{0};
  });
  PostMessage(w, 1, 0, 0);
  PostMessage(w, 2, 0, 0);
  EXPECT_EQ(PumpOneMessage(), 1);
  EXPECT_EQ(PumpOneMessage(), 0);
  EXPECT_EQ(Messages(), std::vector<std::uint32_t>{1});
}

TEST_F(MsgWindowTest, WindowOfAnEndedThreadRefusesSends) {
  HWND w = 0;
  std::atomic<bool> created{false};
  std::atomic<bool> sending{false};
  std::thread owner([&] {
    w = CreateMsgWindow("owner", [](std::uint32_t, std::uintptr_t, std::intptr_t) { return std::intptr_t{0}; });
    created = true;
    while (!sending) std::this_thread::yield();
    std::this_thread::sleep_for(milliseconds(50));  // ends without pumping
  });
  bool pendingOk = true;
  double pendingWaited = 0;
  std::thread sender([&] {
    while (!created) std::this_thread::yield();
    sending = true;
    const auto t0 = Clock::now();
    pendingOk = SendMessageTimeout(w, 1, 0, 0, kNeverMs, nullptr);
    pendingWaited = MsSince(t0);
  });
  owner.join();
  sender.join();
  EXPECT_FALSE(pendingOk);  // dropped when the owner ended
  EXPECT_LT(pendingWaited, kNeverMs / 2.0) << "released by its time-out, not by the owner's end";
  const auto t0 = Clock::now();
  EXPECT_FALSE(SendMessageTimeout(w, 2, 0, 0, kNeverMs, nullptr));
  EXPECT_LT(MsSince(t0), kNeverMs / 2.0) << "waited for a thread that has ended";
  EXPECT_FALSE(PostMessage(w, 3, 0, 0));
  DestroyMsgWindow(w);
}

TEST_F(MsgWindowTest, SyncCallRunsOnTheMainThread) {
  std::thread::id ranOn;
  std::atomic<bool> done{false};
  bool rethrown = false;
  std::thread worker([&] {
    SyncCall([&] { ranOn = std::this_thread::get_id(); });
    try {
      SyncCall([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      rethrown = true;
    }
    done = true;
  });
  PumpUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(rethrown);

  bool atOnce = false;
  SyncCall([&] { atOnce = true; });
  EXPECT_TRUE(atOnce);
}

TEST_F(MsgWindowTest, QuitMessageIsKeptAndNotDispatched) {
  const HWND w = Window();
  PostQuitMessage(3);
  PostMessage(w, 0x17E01, 0, 0);  // only the low word is reported
  EXPECT_EQ(PumpOneMessage(), 18);
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(PumpOneMessage(), 0x7E01);
  EXPECT_EQ(PumpOneMessage(), 18);
  EXPECT_EQ(PumpOneMessage(), 18);
  EXPECT_TRUE(WaitForMessages(0));
  int code = 0;
  EXPECT_TRUE(TakeQuitMessage(&code));
  EXPECT_EQ(code, 3);
  EXPECT_FALSE(TakeQuitMessage(&code));
  EXPECT_EQ(PumpOneMessage(), 0);
  EXPECT_FALSE(WaitForMessages(20));
  EXPECT_EQ(Messages(), std::vector<std::uint32_t>{0x17E01});
}

// Many senders with short time-outs race the pump: no result goes to the wrong sender, no
// successful send or post is lost, and a withdrawn message never arrives.
TEST_F(MsgWindowTest, ConcurrentSendersKeepTheirResults) {
  const HWND w = Window([](const Call& c) { return static_cast<std::intptr_t>(c.wParam) + 1000; });
  constexpr int kThreads = 4;
  constexpr int kEach = 200;
  std::atomic<int> finished{0};
  std::atomic<int> sendsOk{0};
  std::atomic<int> posts{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const auto id = static_cast<std::uintptr_t>(t * kEach + i);
        if (i % 3 == 0) {
          if (PostMessage(w, 2, id, 0)) ++posts;
          continue;
        }
        std::intptr_t r = 0;
        if (SendMessageTimeout(w, 1, id, 0, static_cast<unsigned>(i % 2), &r)) {
          ++sendsOk;
          if (r != static_cast<std::intptr_t>(id) + 1000) ++wrong;
        }
      }
      ++finished;
    });
  }
  PumpUntil([&] { return finished.load() == kThreads; });
  for (auto& t : workers) t.join();
  while (PumpOneMessage() != 0) {
  }
  int sendsHandled = 0;
  int postsHandled = 0;
  for (const auto& c : calls_) (c.msg == 1 ? sendsHandled : postsHandled)++;
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(postsHandled, posts.load());
  // A send may fail after its handler started; it never succeeds unhandled.
  EXPECT_GE(sendsHandled, sendsOk.load());
  EXPECT_LE(sendsHandled, kThreads * kEach);
}

}  // namespace
