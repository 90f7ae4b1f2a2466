// The New command's dialog: asks for the name of the new site database and, for the
// panel types that come in pairs, the variant ("FSC" or "FSC/CIE").
#pragma once

#include <QDialog>
#include <QString>

#include "shell/Translatable.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;

class TFormZvoNouveau : public QDialog, public TZvoTranslatable {
  Q_OBJECT
 public:
  // Modal result of Cancel, Escape or a close; OK gives kResultOk (Boxes.h).
  static constexpr int kResultCancel = 2;

  // name receives the trimmed name when the dialog closes with OK, and only then; the
  // variant chosen is then the context's current panel type. It creates no file.
  TFormZvoNouveau(QWidget* owner, QString& name);

  void ApplyTexts() override;
  // OK: validates the name and closes only when it is usable.
  void accept() override;
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Refuse(const QString& message);

  QString& name_;
  QLabel* labelNomPojet_;
  QLineEdit* editNomProjet_;
  QTabBar* tcTypeCentrale_;
  QPushButton* bitBtnValider_;
  QPushButton* bitBtnAnnuler_;
};
