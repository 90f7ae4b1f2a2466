#include "editors/FormZvoDiagnostic.h"

#include <QDateTime>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QStringList>
#include <QTextDocument>
#include <QVBoxLayout>
#include <stdexcept>
#include <string>

#include "editors/FormBits.h"
#include "model/Diagnosis.h"
#include "model/ParamsGen.h"
#include "model/Projet.h"
#include "model/Zavo.h"
#include "platform/Clock.h"
#include "shell/PrintDialog.h"
#include "shell/UiText.h"

namespace {

constexpr const char* kForm = "TFormZvoDiagnostic";

// The time format without its time-zone name, which a report's date does not need.
QString WithoutTimeZone(const QString& format) {
  QString kept;
  bool quoted = false;
  for (QChar c : format) {
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) {
      while (!kept.isEmpty() && kept.back().isSpace()) kept.chop(1);
      continue;
    }
    kept += c;
  }
  return kept.trimmed();
}

// The date and time in the system's formats: short date, then long time.
QString DateTimeText(const platform::LocalDateTime& t) {
  const QLocale locale = QLocale::system();
  return locale.toString(QDate(t.year, t.month, t.day), QLocale::ShortFormat) + QLatin1Char(' ') +
         locale.toString(QTime(t.hour, t.minute, t.second), WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace

TFormZvoDiagnostic::TFormZvoDiagnostic(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      memo_(new QPlainTextEdit(this)),
      bitBtnValider_(new QPushButton(this)),
      bitBtnImprimer_(new QPushButton(this)) {
  setObjectName(kForm);
  memo_->setObjectName(QStringLiteral("Memo"));
  memo_->setReadOnly(true);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  bitBtnValider_->setObjectName(QStringLiteral("BitBtnValider"));
  bitBtnImprimer_->setObjectName(QStringLiteral("BitBtnImprimer"));
  connect(bitBtnValider_, &QPushButton::clicked, this, [this] { Fermer(); });
  connect(bitBtnImprimer_, &QPushButton::clicked, this, [this] { Imprimer(); });

  // The report grows with the window; the buttons keep to the bottom right.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memo_);
  layout->addLayout(ButtonRow({bitBtnImprimer_, bitBtnValider_}));
  resize(520, 400);

  ApplyTexts();
  BuildReport();
  ShowAsChild();
  // The buttons' mnemonics work only while the focus is inside this window.
  memo_->setFocus();
}

void TFormZvoDiagnostic::ApplyTexts() {
  setWindowTitle(FormText(kForm, kForm, "Caption", QStringLiteral("Database diagnosis")));
  bitBtnValider_->setText(FormText(kForm, "BitBtnValider", "Caption", QStringLiteral("&OK")));
  bitBtnImprimer_->setText(FormText(kForm, "BitBtnImprimer", "Caption", QStringLiteral("&Print")));
}

// Built once: the report stays as it was while the window is open.
void TFormZvoDiagnostic::BuildReport() {
  TProjet* database = CurrentDatabase();
  if (!database) throw std::logic_error("no site is open");
  TZavo& root = *database->Root();
  title_ = QStringLiteral("DATABASE DIAGNOSIS  ") + DateTimeText(platform::Now());
  // The site's texts are ANSI; the database name is a file-system name, UTF-8.
  QStringList lines{title_,
                    QStringLiteral("Site name : ") + FromAnsi(root.ParamsGen()->SiteName()->Text()),
                    QStringLiteral("File name : ") + QString::fromStdString(database->Name()),
                    QString(),
                    QString()};
  for (CheckSection section : kCheckSections) {
    // An empty line opens each section after the zones; the breaking functions follow
    // the relays directly.
    if (section != CheckSection::Zones && section != CheckSection::Breaking) lines << QString();
    platform::StringList findings;
    CollectSectionChecks(root, section, findings);
    for (const std::string& line : findings.Lines()) lines << FromAnsi(line);
  }
  memo_->setPlainText(lines.join(QLatin1Char('\n')));
}

void TFormZvoDiagnostic::Fermer() { close(); }

void TFormZvoDiagnostic::Imprimer() {
  const QString text = memo_->toPlainText();
  PrintDocument(this, title_, [&text](QPrinter& printer) {
    QTextDocument document;
    QFont font = document.defaultFont();
    font.setPointSize(kPrintPointSize);
    document.setDefaultFont(font);
    document.setPlainText(text);
    document.print(&printer);
  });
}
