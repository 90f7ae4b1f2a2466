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
  if (CanClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}
