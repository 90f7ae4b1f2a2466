// Drives a modal dialog from inside its own event loop: act runs once the dialog is up;
// a dialog it leaves open is noted and closed so that the test never hangs.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

struct ModalRun {
  int result = -1;
  bool stayedOpen = false;  // act left the dialog open
};

// show starts the modal loop (exec or a function that calls it) and answers its result.
inline ModalRun RunModal(const std::function<int()>& show, const std::function<void(QDialog&)>& act) {
  ModalRun run;
  QTimer::singleShot(0, [&run, &act] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!dialog && w->isVisible()) dialog = qobject_cast<QDialog*>(w);
    }
    if (!dialog) return;
    act(*dialog);
    if (dialog->isVisible()) {
      run.stayedOpen = true;
      dialog->done(-1);
    }
  });
  run.result = show();
  return run;
}
