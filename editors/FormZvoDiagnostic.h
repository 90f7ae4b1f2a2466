// The database diagnosis: the consistency findings of the whole open site, listed once as
// the window opens, to read and to print. It changes nothing in the site.
#pragma once

#include <QString>

#include "shell/ChildForm.h"

class QPlainTextEdit;
class QPushButton;

class TFormZvoDiagnostic : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 32;
  static constexpr int kPrintPointSize = 12;

  // Needs an open site.
  explicit TFormZvoDiagnostic(TFormZvoPrincipale* owner);
  void ApplyTexts() override;

  void Fermer();
  void Imprimer();
  // The report's first line, which also names the print job.
  const QString& Title() const { return title_; }

 private:
  void BuildReport();

  QPlainTextEdit* memo_;
  QPushButton* bitBtnValider_;
  QPushButton* bitBtnImprimer_;
  QString title_;
};
