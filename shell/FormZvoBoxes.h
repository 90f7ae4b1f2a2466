// The three modal boxes behind ShowBox. Their captions and button texts come from the
// current language at construction, so a box opened after a switch shows the new texts.
#pragma once

#include <QDialog>
#include <QString>
#include <QStyle>

#include "shell/Translatable.h"

class QLabel;
class QPushButton;

// Common frame: no close box, stays on top, fixed size; a close by other means than
// the buttons (Escape, the window manager) answers the box's fallback result.
class TFormZvoBox : public QDialog, public TZvoTranslatable {
  Q_OBJECT
 public:
  void reject() override;

 protected:
  // Grows the box from its fixed layout until the label's text fits: wider for a word
  // that does not wrap (a path), up to most of the screen, then taller.
  void FitToText(QLabel* label, QPushButton* button, int left, int top, int minW, int minH);
  TFormZvoBox(QWidget* owner, int fallbackResult);
  QLabel* MakePicture(const char* name, QStyle::StandardPixmap picture, int x, int y);
  QPushButton* MakeButton(const char* name, int result, int x, int y);
  QLabel* MakeLabel(const char* name, const QString& text, int x, int y, int w, int h);

 private:
  int fallbackResult_;
};

// Warning box: the text and OK.
class TFormZvoMessage : public TFormZvoBox {
  Q_OBJECT
 public:
  TFormZvoMessage(QWidget* owner, const QString& text);
  void ApplyTexts() override;

 private:
  QPushButton* buttonOk_;
};

// Question box: Yes answers kResultYes; No, Escape or any other close kResultNo.
class TFormZvoQuery : public TFormZvoBox {
  Q_OBJECT
 public:
  TFormZvoQuery(QWidget* owner, const QString& question);
  void ApplyTexts() override;

 private:
  QPushButton* buttonOui_;
  QPushButton* buttonNon_;
};

// Error box: the text and OK. Unlike the other two it grows to show the whole text,
// since its messages hold paths of any length.
class TFormZvoError : public TFormZvoBox {
  Q_OBJECT
 public:
  TFormZvoError(QWidget* owner, const QString& text);
  void ApplyTexts() override;

 private:
  QLabel* label_;
  QLabel* picture_;
  QPushButton* buttonOk_;
};
