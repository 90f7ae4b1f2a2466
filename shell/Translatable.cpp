#include "shell/Translatable.h"

#include <QApplication>
#include <QWidget>

void ReapplyAllTexts() {
  for (QWidget* w : QApplication::allWidgets()) {
    if (auto* t = dynamic_cast<TZvoTranslatable*>(w)) t->ApplyTexts();
  }
}
