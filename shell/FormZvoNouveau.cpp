#include "shell/FormZvoNouveau.h"

#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>
#include <filesystem>

#include "model/Contexte.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"

namespace {

constexpr int kMaxNameLength = 20;
constexpr const char* kClass = "TFormZvoNouveau";

// Characters a file name may not hold on the original platform; refused when typed.
bool IsFilteredKey(const QString& text) {
  static const QString kFiltered = QStringLiteral("\\/:?\"<>|*");
  return text.size() == 1 && kFiltered.contains(text.at(0));
}

bool IsBlankOrControl(QChar c) {
  return c.unicode() <= 0x20 || c.isSpace() || c.category() == QChar::Other_Control;
}

QString Trimmed(const QString& text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlankOrControl(text.at(begin))) ++begin;
  while (end > begin && IsBlankOrControl(text.at(end - 1))) --end;
  return text.mid(begin, end - begin);
}

// Pasted text escapes the key filter: a name must still make one plain file name in
// the folder, so no separator, no control character, and not "." or "..".
bool IsUsableName(const QString& name) {
  if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
  for (QChar c : name) {
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
        c.unicode() == 0x7f || c.category() == QChar::Other_Control) {
      return false;
    }
  }
  return true;
}

bool EntryExists(const QString& path) {
  std::error_code ec;
  // A dangling link or a folder of that name blocks the new file just as a file does.
  return std::filesystem::exists(std::filesystem::symlink_status(QFile::encodeName(path).toStdString(), ec));
}

}  // namespace

TFormZvoNouveau::TFormZvoNouveau(QWidget* owner, QString& name)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), name_(name) {
  labelNomPojet_ = new QLabel(this);
  labelNomPojet_->setObjectName(QStringLiteral("LabelNomPojet"));
  editNomProjet_ = new QLineEdit(this);
  editNomProjet_->setObjectName(QStringLiteral("EditNomProjet"));
  editNomProjet_->setMaxLength(kMaxNameLength);
  editNomProjet_->setMinimumWidth(145);
  editNomProjet_->installEventFilter(this);
  labelNomPojet_->setBuddy(editNomProjet_);

  tcTypeCentrale_ = new QTabBar(this);
  tcTypeCentrale_->setObjectName(QStringLiteral("TCTypeCentrale"));
  tcTypeCentrale_->addTab(QStringLiteral("FSC"));
  tcTypeCentrale_->addTab(QStringLiteral("FSC/CIE"));
  tcTypeCentrale_->setCurrentIndex(0);
  tcTypeCentrale_->setExpanding(false);
  tcTypeCentrale_->setDrawBase(false);
  tcTypeCentrale_->setVisible(GetContexte().HasFscVariants());
  // Connected after the tabs exist: adding the first tab is not the user's choice.
  connect(tcTypeCentrale_, &QTabBar::currentChanged, this,
          [this](int) { ShowErrorBox(this, Str(39)); });

  bitBtnValider_ = new QPushButton(this);
  bitBtnValider_->setObjectName(QStringLiteral("BitBtnValider"));
  bitBtnValider_->setDefault(true);
  bitBtnValider_->setMinimumSize(83, 25);
  connect(bitBtnValider_, &QPushButton::clicked, this, &TFormZvoNouveau::accept);
  bitBtnAnnuler_ = new QPushButton(this);
  bitBtnAnnuler_->setObjectName(QStringLiteral("BitBtnAnnuler"));
  bitBtnAnnuler_->setAutoDefault(false);
  bitBtnAnnuler_->setMinimumSize(83, 25);
  connect(bitBtnAnnuler_, &QPushButton::clicked, this, &TFormZvoNouveau::reject);

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(labelNomPojet_);
  nameRow->addWidget(editNomProjet_, 1);
  auto* tabRow = new QHBoxLayout;
  tabRow->addStretch(1);
  tabRow->addWidget(tcTypeCentrale_);
  tabRow->addStretch(1);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(bitBtnValider_);
  buttonRow->addStretch(1);
  buttonRow->addWidget(bitBtnAnnuler_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(24, 6, 24, 6);
  column->addLayout(nameRow);
  column->addLayout(tabRow);
  column->addLayout(buttonRow);
  column->addStrut(280 - 2 * 24);
  // The size follows the texts of the language and whether the tabs show.
  column->setSizeConstraint(QLayout::SetFixedSize);

  editNomProjet_->setFocus();
  ApplyTexts();
}

void TFormZvoNouveau::ApplyTexts() {
  setWindowTitle(Str(465));
  labelNomPojet_->setText(FormText(kClass, "LabelNomPojet", "Caption", QStringLiteral("Database name")));
  bitBtnValider_->setText(FormText(kClass, "BitBtnValider", "Caption", QStringLiteral("&OK")));
  bitBtnAnnuler_->setText(FormText(kClass, "BitBtnAnnuler", "Caption", QStringLiteral("&Cancel")));
}

bool TFormZvoNouveau::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editNomProjet_ && event->type() == QEvent::KeyPress &&
      IsFilteredKey(static_cast<QKeyEvent*>(event)->text())) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TFormZvoNouveau::Refuse(const QString& message) {
  ShowErrorBox(this, message);
  editNomProjet_->clear();
  editNomProjet_->setFocus();
}

void TFormZvoNouveau::accept() {
  const QString name = Trimmed(editNomProjet_->text());
  if (!IsUsableName(name)) {
    Refuse(Str(32));
    return;
  }
  const QString path = QFile::decodeName(QByteArray::fromStdString(GetContexte().LoadSavePath())) +
                       QLatin1Char('/') + name + Str(473);
  if (EntryExists(path)) {
    Refuse(StrF(33, {path.toStdString()}));
    return;
  }
  name_ = name;
  GetContexte().SelectFscVariant(tcTypeCentrale_->currentIndex() == 1);
  QDialog::accept();
}

static_assert(QDialog::Accepted == kResultOk, "OK closes the dialog through QDialog::accept");

void TFormZvoNouveau::reject() { done(kResultCancel); }
