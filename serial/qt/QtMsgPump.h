// Serves the message layer (serial/SwMsgWindow.h) from the Qt event loop.
#pragma once

// Call once on the Qt main thread after the QCoreApplication exists: marks it as the main
// thread, delivers its messages from the event loop as they arrive, and lets waits that
// pump on it (DelayTicks with yield) process the Qt events too. A quit message posted on
// it ends the event loop with its exit code. Further calls do nothing.
void InstallQtMessagePump();
