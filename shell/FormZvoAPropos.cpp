#include "shell/FormZvoAPropos.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "model/Contexte.h"
#include "shell/UiText.h"

namespace {

constexpr const char* kForm = "TFormZvoAPropos";

// The product picture: a panel front with its name, drawn here.
QPixmap ProductPicture() {
  QPixmap pixmap(661, 247);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 247);
  sky.setColorAt(0, QColor(150, 20, 20));
  sky.setColorAt(1, QColor(60, 0, 0));
  p.fillRect(pixmap.rect(), sky);
  p.setBrush(QColor(235, 235, 230));
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.drawRoundedRect(QRectF(24, 24, 200, 199), 10, 10);
  const QColor leds[] = {QColor(230, 30, 30), QColor(240, 180, 0), QColor(40, 170, 60), QColor(240, 180, 0)};
  for (int i = 0; i < 4; ++i) {
    p.setBrush(leds[i]);
    p.drawEllipse(QRectF(44, 50 + i * 36, 16, 16));
    p.setBrush(QColor(90, 90, 90));
    p.drawRect(QRectF(72, 54 + i * 36, 120, 8));
  }
  p.setPen(Qt::white);
  p.setFont(QFont(QStringLiteral("Liberation Sans"), 40, QFont::Bold));
  p.drawText(QRectF(250, 120, 400, 70), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Korvanex"));
  p.setFont(QFont(QStringLiteral("Liberation Sans"), 14));
  p.drawText(QRectF(252, 185, 400, 30), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Sardel128 site configuration"));
  return pixmap;
}

}  // namespace

TFormZvoAPropos::TFormZvoAPropos(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, 61), imageLogo_(new QLabel(this)), labelVersion_(new QLabel(imageLogo_)) {
  setObjectName(kForm);
  imageLogo_->setObjectName(QStringLiteral("ImageLogo"));
  imageLogo_->setPixmap(ProductPicture());
  labelVersion_->setObjectName(QStringLiteral("LabelVersion"));
  labelVersion_->setGeometry(282, 40, 300, 26);
  labelVersion_->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(imageLogo_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ApplyTexts();
  ShowAsChild();
}

void TFormZvoAPropos::ApplyTexts() {
  setWindowTitle(FormText(kForm, kForm, "Caption", QStringLiteral("About Korvanex")));
  // Each time from the window's own text, so the version shows once.
  labelVersion_->setText(FormText(kForm, "LabelVersion", "Caption", QStringLiteral("Korvanex Version : ")) +
                         QString::fromStdString(GetContexte().VersionText()));
}

void TFormZvoAPropos::Fermer() { close(); }
