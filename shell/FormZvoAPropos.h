// The about box: the product picture and the program's version.
#pragma once

#include "shell/ChildForm.h"

class QLabel;

class TFormZvoAPropos : public TZvoChildForm {
  Q_OBJECT

 public:
  explicit TFormZvoAPropos(TFormZvoPrincipale* owner);
  void ApplyTexts() override;
  void Fermer();

 private:
  QLabel* imageLogo_;
  QLabel* labelVersion_;
};
