#include "shell/ChildForm.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "shell/FormZvoPrincipale.h"

TZvoChildForm::TZvoChildForm(TFormZvoPrincipale* owner, int helpContext)
    : QWidget(nullptr), owner_(owner), helpContext_(helpContext) {
  setAttribute(Qt::WA_DeleteOnClose);
}

void TZvoChildForm::ShowAsChild() {
  subWindow_ = owner_->MdiArea()->addSubWindow(this);
  subWindow_->setAttribute(Qt::WA_DeleteOnClose);
  owner_->ChildOpened(subWindow_);
  subWindow_->show();
}

void TZvoChildForm::closeEvent(QCloseEvent* event) {
  if (!CanClose()) {
    event->ignore();
    return;
  }
  event->accept();
  // A window that closes itself takes its frame along: an empty frame would stay in the
  // MDI area and keep the main window's menus disabled. When the frame started the close,
  // this returns at once.
  if (subWindow_) subWindow_->close();
}
