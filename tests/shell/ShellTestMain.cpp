// The windows need the program's application object for the whole run (it turns escaping
// exceptions into messages); without a display they draw offscreen.
#include <gtest/gtest.h>

#include "shell/ZvoApplication.h"

namespace {
QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform says this of every fixed-size window; it tells nothing.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
  g_defaultHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  g_defaultHandler = qInstallMessageHandler(QuietHandler);
  TZvoApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
