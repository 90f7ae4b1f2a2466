// Korvanex: configuration of Sardel128 fire-alarm control panels.
#include <QMessageBox>

#include "editors/EditorWindows.h"
#include "printing/PrintingWindows.h"
#include "serial/SioComPort.h"
#include "serial/qt/QtMsgPump.h"
#include "shell/ChildFactories.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/UiText.h"
#include "shell/ZvoApplication.h"
#include "transfer/FormZvoConsole.h"

int main(int argc, char** argv) {
  TZvoApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Korvanex"));
  // Serial notifications (port events, protocol and packet events) reach this thread
  // through the Qt event loop; what their handlers raise is shown like any other failure.
  InstallQtMessagePump();
  SetSioExceptionHandler([](const std::exception& e) { TZvoApplication::HandleException(e); });
  RegisterChildFactory(ChildKind::Transfer, [](TFormZvoPrincipale* owner, bool installer) {
    new TFormZvoConsole(owner, installer);
  });
  RegisterEditorWindows();
  RegisterPrintingWindows();
  try {
    TFormZvoPrincipale window;
    window.show();
    return QApplication::exec();
  } catch (const std::exception& e) {
    // The program cannot start (no main window): say why, then end.
    QMessageBox::critical(nullptr, QStringLiteral(" Korvanex"), MessageOf(e));
    return 1;
  }
}
