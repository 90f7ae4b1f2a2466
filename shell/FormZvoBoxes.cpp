#include "shell/FormZvoBoxes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "shell/Boxes.h"
#include "shell/UiText.h"

namespace {
constexpr int kPicture = 32;
constexpr int kButtonW = 75;
constexpr int kButtonH = 23;
}  // namespace

TFormZvoBox::TFormZvoBox(QWidget* owner, int fallbackResult)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowStaysOnTopHint),
      fallbackResult_(fallbackResult) {}

void TFormZvoBox::reject() { done(fallbackResult_); }

QLabel* TFormZvoBox::MakePicture(const char* name, QStyle::StandardPixmap picture, int x, int y) {
  auto* image = new QLabel(this);
  image->setObjectName(QString::fromLatin1(name));
  image->setPixmap(style()->standardIcon(picture, nullptr, this).pixmap(kPicture, kPicture));
  image->setGeometry(x, y, kPicture, kPicture);
  return image;
}

QPushButton* TFormZvoBox::MakeButton(const char* name, int result, int x, int y) {
  auto* button = new QPushButton(this);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(x, y, kButtonW, kButtonH);
  connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
  return button;
}

QLabel* TFormZvoBox::MakeLabel(const char* name, const QString& text, int x, int y, int w, int h) {
  auto* label = new QLabel(WithLineBreaks(text), this);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(x, y, w, h);
  return label;
}

TFormZvoMessage::TFormZvoMessage(QWidget* owner, const QString& text)
    : TFormZvoBox(owner, kResultOk) {
  // The failure messages hold paths and causes: the box grows so that none is cut off.
  QLabel* label = MakeLabel("LabelMessage", text, 58, 11, 239, 54);
  MakePicture("ImageInfo", QStyle::SP_MessageBoxInformation, 11, 11);
  buttonOk_ = MakeButton("ButtonOK", kResultOk, 112, 68);
  buttonOk_->setDefault(true);
  buttonOk_->setFocus();
  ApplyTexts();
  FitToText(label, buttonOk_, 58, 11, 239, 54);
}

void TFormZvoMessage::ApplyTexts() {
  setWindowTitle(Str(5));
  buttonOk_->setText(Str(2));
}

TFormZvoQuery::TFormZvoQuery(QWidget* owner, const QString& question)
    : TFormZvoBox(owner, kResultNo) {
  MakeLabel("LabelQuery", question, 56, 16, 241, 41);
  MakePicture("ImageQuery", QStyle::SP_MessageBoxQuestion, 11, 11);
  buttonOui_ = MakeButton("ButtonOui", kResultYes, 56, 60);
  buttonNon_ = MakeButton("ButtonNon", kResultNo, 168, 60);
  buttonOui_->setDefault(true);
  buttonOui_->setFocus();
  setFixedSize(297, 92);
  ApplyTexts();
}

void TFormZvoQuery::ApplyTexts() {
  setWindowTitle(Str(6));
  buttonOui_->setText(Str(0));
  buttonNon_->setText(Str(1));
}

TFormZvoError::TFormZvoError(QWidget* owner, const QString& text) : TFormZvoBox(owner, kResultOk) {
  label_ = MakeLabel("LabelError", text, 56, 8, 241, 49);
  label_->setAlignment(Qt::AlignCenter);
  picture_ = MakePicture("ImageError", QStyle::SP_MessageBoxCritical, 19, 19);
  buttonOk_ = MakeButton("ButtonOK", kResultOk, 112, 68);
  buttonOk_->setDefault(true);
  buttonOk_->setFocus();
  ApplyTexts();
  FitToText(label_, buttonOk_, 56, 8, 241, 49);
}

void TFormZvoError::ApplyTexts() {
  setWindowTitle(Str(4));
  buttonOk_->setText(Str(2));
}

void TFormZvoBox::FitToText(QLabel* label, QPushButton* button, int left, int top, int minW, int minH) {
  constexpr int kGap = 11, kBottom = 6;
  int maxW = 800;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    maxW = std::max(minW, screen->availableGeometry().width() * 3 / 4 - left);
  }
  const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, minW, 100000),
                                                         Qt::TextWordWrap | label->alignment(), label->text());
  const int w = std::clamp(needed.width() + 2 * label->margin(), minW, maxW);
  const int h = std::max(minH, label->heightForWidth(w));
  label->setGeometry(left, top, w, h);
  // The fixed layout lets the label reach the edge; a widened one keeps a margin.
  const int clientW = left + w + (w > minW ? kGap : 0);
  // The button keeps its place of the fixed layout unless the text reaches it.
  const int buttonY = h > minH ? top + h + kGap : button->y();
  button->move(w > minW ? clientW / 2 - 36 : button->x(), buttonY);
  setFixedSize(clientW, buttonY + kButtonH + kBottom);
}
