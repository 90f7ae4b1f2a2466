// The child-window pattern: a child is constructed by a menu handler with the main
// window as owner, is visible at once inside the main window's MDI area, frees itself
// when closed, and while it is open the main menus are disabled, so one child window is
// usable at a time.
#pragma once

#include <QWidget>

#include "shell/Translatable.h"

class TFormZvoPrincipale;
class QMdiSubWindow;

class TZvoChildForm : public QWidget, public TZvoTranslatable {
  Q_OBJECT

 public:
  // Help context: the topic the help file opens on for this window.
  TZvoChildForm(TFormZvoPrincipale* owner, int helpContext);
  int HelpContext() const { return helpContext_; }
  TFormZvoPrincipale* MainWindow() const { return owner_; }
  QMdiSubWindow* SubWindow() const { return subWindow_; }

 protected:
  // Puts the window into the MDI area and shows it; the constructor of the most derived
  // class calls it once its contents exist.
  void ShowAsChild();
  // The close query: a window answers false to stay open (a running transfer does).
  virtual bool CanClose() { return true; }
  void closeEvent(QCloseEvent* event) override;

 private:
  TFormZvoPrincipale* owner_;
  QMdiSubWindow* subWindow_ = nullptr;
  int helpContext_;
};
