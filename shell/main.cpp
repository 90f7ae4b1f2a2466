// Korvanex: configuration of Sardel128 fire-alarm control panels.
#include <QMessageBox>

#include "shell/FormZvoPrincipale.h"
#include "shell/UiText.h"
#include "shell/ZvoApplication.h"

int main(int argc, char** argv) {
  TZvoApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Korvanex"));
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
