// The message layer served by the Qt event loop, as in the program.
#include "serial/qt/QtMsgPump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>

#include "serial/OoMisc.h"
#include "serial/SwMsgWindow.h"
#include "support/Patience.h"

namespace {

TEST(QtMsgPump, SendFromAWorkerIsHandledByTheEventLoop) {
  std::thread::id handledOn;
  const HWND w = CreateMsgWindow("swComWindow", [&](std::uint32_t msg, std::uintptr_t wp, std::intptr_t) {
    handledOn = std::this_thread::get_id();
    return static_cast<std::intptr_t>(msg + wp);
  });
  QEventLoop loop;
  bool ok = false;
  std::intptr_t result = 0;
  bool synced = false;
  std::thread worker([&] {
    ok = SendMessageTimeout(w, 0x7E01, 5, 0, testwait::kPatienceMs, &result);
    SyncCall([&] { synced = true; });
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  QTimer::singleShot(2 * testwait::kPatienceMs, &loop, &QEventLoop::quit);  // only for a hung run
  loop.exec();
  worker.join();
  DestroyMsgWindow(w);
  EXPECT_TRUE(ok);
  EXPECT_EQ(result, 0x7E06);
  EXPECT_EQ(handledOn, std::this_thread::get_id());
  EXPECT_TRUE(synced);
}

// The Qt timer ends the wait with a quit message, so it must fire during the wait, however
// late on a loaded machine; a wait that kept Qt's events still would run its full minute.
TEST(QtMsgPump, PumpingWaitKeepsQtEventsMoving) {
  bool fired = false;
  QTimer::singleShot(20, [&] {
    fired = true;
    PostQuitMessage(7);
  });
  EXPECT_EQ(DelayTicks(Secs2Ticks(60), true), static_cast<int>(WM_QUIT));
  EXPECT_TRUE(fired);
  int code = 0;
  EXPECT_TRUE(TakeQuitMessage(&code));
  EXPECT_EQ(code, 7);
}

TEST(QtMsgPump, QuitMessageEndsTheEventLoop) {
  QTimer::singleShot(0, [] { PostQuitMessage(3); });
  QTimer::singleShot(testwait::kPatienceMs, [] { QCoreApplication::exit(99); });  // only for a hung run
  EXPECT_EQ(QCoreApplication::exec(), 3);
  EXPECT_FALSE(HasPendingMessages());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  InstallQtMessagePump();
  return RUN_ALL_TESTS();
}
