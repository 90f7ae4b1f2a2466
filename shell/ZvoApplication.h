// The application object. An exception that escapes an event handler reaches
// ExceptionHandler instead of ending the program.
#pragma once

#include <QApplication>
#include <functional>

class TZvoApplication : public QApplication {
 public:
  TZvoApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The main window shows the message; until one is set, it goes to standard error.
  static void SetExceptionHandler(std::function<void(const QString&)> handler);
  static void HandleException(const std::exception& e);
};
