#include "serial/widgets/ComSelectForm.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "serial/PortMap.h"
#include "serial/SlSelCom.h"

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 50;

}  // namespace

TComSelectForm::TComSelectForm(QWidget* parent)
    : QDialog(parent),
      portsComboBox_(new QComboBox(this)),
      okBtn_(new QPushButton(QStringLiteral("OK"), this)),
      abortBtn_(new QPushButton(QStringLiteral("Cancel"), this)) {
  setObjectName(QStringLiteral("ComSelectForm"));
  setWindowTitle(QStringLiteral("Select Port"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("Bevel1"));
  frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  auto* label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), frame);
  label1->setObjectName(QStringLiteral("Label1"));
  auto* label2 = new QLabel(QStringLiteral("Please choose another port."), frame);
  label2->setObjectName(QStringLiteral("Label2"));
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(label1);
  frameLayout->addWidget(label2);

  portsComboBox_->setObjectName(QStringLiteral("PortsComboBox"));
  portsComboBox_->setEditable(false);  // list only
  okBtn_->setObjectName(QStringLiteral("OkBtn"));
  okBtn_->setDefault(true);
  abortBtn_->setObjectName(QStringLiteral("AbortBtn"));
  connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
  connect(abortBtn_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okBtn_);
  buttons->addWidget(abortBtn_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(portsComboBox_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a dialog border: no resizing

  FormCreate();
}

void TComSelectForm::FormCreate() {
  portsComboBox_->clear();
  const QIcon inUseIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
  for (int n = kFirstPort; n <= kLastPort; ++n) {
    bool inUse = false;
    if (!IsPortAvailable(n, inUse)) continue;
    const int index = portsComboBox_->count();
    portsComboBox_->addItem(QStringLiteral("COM%1").arg(n));
    portsComboBox_->setItemData(index, QString::fromStdString(ComPortDevice(n)), Qt::ToolTipRole);
    portsComboBox_->setItemData(index, inUse, kPortInUseRole);
    if (inUse) portsComboBox_->setItemIcon(index, inUseIcon);
  }
  portsComboBox_->setCurrentIndex(portsComboBox_->count() > 0 ? 0 : -1);
  // With nothing to choose OK would return no port at all.
  okBtn_->setEnabled(portsComboBox_->count() > 0);
}

QString TComSelectForm::SelectedCom() const { return portsComboBox_->currentText(); }

int TComSelectForm::SelectedComNum() const { return SelectedCom().mid(3).toInt(); }
