// The main of a test program with windows: they need the program's application object
// for the whole run (it turns escaping exceptions into messages), and without a display
// they draw offscreen.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "shell/ZvoApplication.h"

namespace qttest {

inline QtMessageHandler& DefaultHandler() {
  static QtMessageHandler handler = nullptr;
  return handler;
}

// The offscreen platform says this of every fixed-size window; it tells nothing.
inline void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
  DefaultHandler()(type, context, message);
}

// setUp runs once the application object exists, before the tests.
inline int RunTests(int argc, char** argv, const std::function<void()>& setUp = {}) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  DefaultHandler() = qInstallMessageHandler(QuietHandler);
  TZvoApplication app(argc, argv);
  if (setUp) setUp();
  return RUN_ALL_TESTS();
}

}  // namespace qttest
