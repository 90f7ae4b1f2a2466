#include "shell/ZvoApplication.h"

#include <cstdio>
#include <exception>

#include "shell/UiText.h"

namespace {
std::function<void(const QString&)>& Handler() {
  static std::function<void(const QString&)> handler;
  return handler;
}
}  // namespace

TZvoApplication::TZvoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TZvoApplication::SetExceptionHandler(std::function<void(const QString&)> handler) {
  Handler() = std::move(handler);
}

void TZvoApplication::HandleException(const std::exception& e) {
  QString message = MessageOf(e);
  if (Handler()) {
    Handler()(message);
  } else {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

bool TZvoApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    // Not one of ours and without a message: nothing to show, but the program goes on.
  }
  return false;
}
