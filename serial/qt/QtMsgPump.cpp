#include "serial/qt/QtMsgPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include "serial/SwMsgWindow.h"

namespace {
// Messages delivered per wake-up, so that a stream of posts cannot starve the other
// events; the eventfd stays readable while more are pending.
constexpr int kBatch = 64;

// Checks before each pump: an empty pump would run the idle hook, a nested event loop
// inside this notifier.
void DeliverPending() {
  for (int i = 0; i < kBatch && HasPendingMessages(); ++i) {
    const int msg = PumpOneMessage();
    if (msg == 0) return;
    if (msg == static_cast<int>(WM_QUIT)) {
      int code = 0;
      if (TakeQuitMessage(&code)) QCoreApplication::exit(code);
      return;
    }
  }
}
}  // namespace

void InstallQtMessagePump() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  SetMainThread();
  auto* notifier = new QSocketNotifier(MessageQueueFd(), QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { DeliverPending(); });
  // Our own notifier is excluded: the pumping wait delivers those messages itself, one per
  // turn, and must see a quit message rather than have it taken here.
  SetMainThreadIdleHook([] { QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers); });
}
