#include "shell/GestionMultiLangue.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>

#include "platform/Paths.h"
#include "platform/Texts.h"
#include "shell/Boxes.h"
#include "shell/Translatable.h"
#include "shell/UiText.h"

namespace {

struct Language {
  int index;
  int id;              // Windows language id
  const char* abbreviation;  // module extension; "" when the language has no module
  const char* key;     // settings key (LANGUEDEFAUT)
  int base;            // name block in the string table: base + 0 menu caption, base + id names
  const char* locale;  // language[_COUNTRY] as the environment writes it
};

constexpr Language kLanguages[] = {
    {1, 12, "FRA", "LANGUE_FRANCAIS", 7499, "fr"},
    {2, 2057, "ENG", "LANGUE_ANGLAIS", 7699, "en_GB"},
    {3, 16, "ITA", "LANGUE_ITALIEN", 7799, "it"},
    {4, 19, "", "LANGUE_NEERLANDAIS", 7999, "nl"},
    {5, 1, "ARA", "LANGUE_ARABE", 7899, "ar"},
    {6, 4, "CHI", "LANGUE_CHINOIS", 8099, "zh"},
    {7, 2067, "NLB", "LANGUE_NEERLANDAIS_B", 7999, "nl_BE"},
    {8, 27, "SKY", "LANGUE_SLOVAQUE", 8299, "sk"},
    {9, 20, "NOR", "", 8399, "nb"},
    {10, 10, "ESP", "LANGUE_ESPAGNOL", 8199, "es"},
    {11, 25, "RUS", "LANGUE_RUSSE", 8599, "ru"},
    {12, 7, "DEU", "LANGUE_ALLEMAND", 8799, "de"},
    {13, 24, "ROM", "LANGUE_ROUMAIN", 8999, "ro"},
    {14, 21, "PLK", "LANGUE_POLONAIS", 9199, "pl"},
};

const Language* ById(int id) {
  for (const Language& l : kLanguages) {
    if (l.id == id) return &l;
  }
  return nullptr;
}

const Language* ByIndex(int index) {
  for (const Language& l : kLanguages) {
    if (l.index == index) return &l;
  }
  return nullptr;
}

// Unknown languages take the French block, as they take its flag.
int NameBase(int id) {
  const Language* l = ById(id);
  return l ? l->base : kLanguages[0].base;
}

std::string_view LocaleLanguagePart(std::string_view locale) { return locale.substr(0, locale.find('_')); }

QString InvalidModuleMessage(const std::string& path, const QString& reason) {
  return QStringLiteral("dll lang non valide ") + QString::fromStdString(path) + QStringLiteral("\r\n") + reason;
}

// Flags: simple pictures of our own, enough to tell the languages apart.
void VerticalBands(QPainter& p, QColor a, QColor b, QColor c) {
  p.fillRect(0, 0, 5, 16, a);
  p.fillRect(5, 0, 6, 16, b);
  p.fillRect(11, 0, 5, 16, c);
}

void HorizontalBands(QPainter& p, QColor a, QColor b, QColor c) {
  p.fillRect(0, 0, 16, 5, a);
  p.fillRect(0, 5, 16, 6, b);
  p.fillRect(0, 11, 16, 5, c);
}

void DrawFlag(QPainter& p, int index) {
  const QColor white(Qt::white);
  switch (index) {
    case 2: {  // a union cross on blue
      p.fillRect(0, 0, 16, 16, QColor(0x01, 0x21, 0x69));
      p.setPen(QPen(white, 3));
      p.drawLine(0, 0, 15, 15);
      p.drawLine(0, 15, 15, 0);
      p.setPen(QPen(QColor(0xC8, 0x10, 0x2E), 1));
      p.drawLine(0, 0, 15, 15);
      p.drawLine(0, 15, 15, 0);
      p.fillRect(0, 5, 16, 6, white);
      p.fillRect(5, 0, 6, 16, white);
      p.fillRect(0, 6, 16, 4, QColor(0xC8, 0x10, 0x2E));
      p.fillRect(6, 0, 4, 16, QColor(0xC8, 0x10, 0x2E));
      break;
    }
    case 3: VerticalBands(p, QColor(0x00, 0x92, 0x46), white, QColor(0xCE, 0x2B, 0x37)); break;
    case 4:
    case 7: HorizontalBands(p, QColor(0xAE, 0x1C, 0x28), white, QColor(0x21, 0x46, 0x8B)); break;
    case 5:  // green with a white bar under a white crescent-like mark
      p.fillRect(0, 0, 16, 16, QColor(0x00, 0x6C, 0x35));
      p.fillRect(3, 11, 10, 2, white);
      p.fillRect(5, 4, 6, 2, white);
      p.fillRect(4, 6, 2, 3, white);
      break;
    case 6: {  // red with a yellow star and four small ones
      p.fillRect(0, 0, 16, 16, QColor(0xDE, 0x29, 0x10));
      const QColor yellow(0xFF, 0xDE, 0x00);
      p.setPen(yellow);
      p.setBrush(yellow);
      p.drawPolygon(QPolygon({QPoint(4, 1), QPoint(5, 3), QPoint(7, 4), QPoint(5, 5), QPoint(6, 7),
                              QPoint(4, 6), QPoint(2, 7), QPoint(3, 5), QPoint(1, 4), QPoint(3, 3)}));
      for (QPoint q : {QPoint(9, 1), QPoint(10, 3), QPoint(10, 6), QPoint(9, 8)}) p.drawPoint(q);
      break;
    }
    case 8:  // white, blue, red with a red shield bearing a white cross
      HorizontalBands(p, white, QColor(0x0B, 0x4E, 0xA2), QColor(0xEE, 0x1C, 0x25));
      p.fillRect(2, 3, 7, 9, white);
      p.fillRect(3, 4, 5, 7, QColor(0xEE, 0x1C, 0x25));
      p.fillRect(5, 5, 1, 4, white);
      p.fillRect(4, 6, 3, 1, white);
      p.fillRect(3, 9, 5, 2, QColor(0x0B, 0x4E, 0xA2));
      break;
    case 9:  // a blue cross edged with white on red
      p.fillRect(0, 0, 16, 16, QColor(0xBA, 0x0C, 0x2F));
      p.fillRect(4, 0, 4, 16, white);
      p.fillRect(0, 6, 16, 4, white);
      p.fillRect(5, 0, 2, 16, QColor(0x00, 0x20, 0x5B));
      p.fillRect(0, 7, 16, 2, QColor(0x00, 0x20, 0x5B));
      break;
    case 10:
      p.fillRect(0, 0, 16, 16, QColor(0xAA, 0x15, 0x1B));
      p.fillRect(0, 4, 16, 8, QColor(0xF1, 0xBF, 0x00));
      break;
    case 11: HorizontalBands(p, white, QColor(0x00, 0x39, 0xA6), QColor(0xD5, 0x2B, 0x1E)); break;
    case 12: HorizontalBands(p, Qt::black, QColor(0xDD, 0x00, 0x00), QColor(0xFF, 0xCE, 0x00)); break;
    case 13: VerticalBands(p, QColor(0x00, 0x2B, 0x7F), QColor(0xFC, 0xD1, 0x16), QColor(0xCE, 0x11, 0x26)); break;
    case 14:
      p.fillRect(0, 0, 16, 8, white);
      p.fillRect(0, 8, 16, 8, QColor(0xDC, 0x14, 0x3C));
      break;
    default: VerticalBands(p, QColor(0x00, 0x55, 0xA4), white, QColor(0xEF, 0x41, 0x35)); break;
  }
}

}  // namespace

TGestionMultiLangue::TGestionMultiLangue(QObject* parent, std::string programFile) : QObject(parent) {
  SetProgramFile(std::move(programFile));
  timer_.setInterval(kStepInterval);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &TGestionMultiLangue::OnStep);
}

TGestionMultiLangue::~TGestionMultiLangue() {
  timer_.stop();
  delete menu_.data();
}

void TGestionMultiLangue::SetProgramFile(std::string programFile) {
  programFile_ = programFile.empty() ? platform::ProgramFile() : std::move(programFile);
}

void TGestionMultiLangue::AddWishedLanguage(int id) {
  if (!IsWishedLanguage(id)) wished_.push_back(id);
}

bool TGestionMultiLangue::IsWishedLanguage(int id) const {
  return std::find(wished_.begin(), wished_.end(), id) != wished_.end();
}

std::string TGestionMultiLangue::ModulePath(int id) const {
  std::string abbreviation = AbbreviationFromId(id);
  return abbreviation.empty() ? std::string() : programFile_ + "." + abbreviation;
}

bool TGestionMultiLangue::IsLanguageAvailable(int id) const {
  if (id == kBuiltinId) return true;
  std::string path = ModulePath(id);
  return !path.empty() && platform::FileExists(path);
}

QString TGestionMultiLangue::ReadModule(int id, platform::LanguageModule& module) const {
  module = {};
  if (id == kBuiltinId) return {};
  std::string error;
  if (!platform::LoadLanguageModule(ModulePath(id), module, &error)) return QString::fromStdString(error);
  return {};
}

void TGestionMultiLangue::Install(int id, platform::LanguageModule module) {
  platform::SetTextOverrides(module.texts);
  platform::SetFormTextOverrides(module.formTexts);
  layer_ = std::move(module);
  currentId_ = id;
  currentIndex_ = LanguageIndexFromId(id);
  currentAbbreviation_ = AbbreviationFromId(id);
}

bool TGestionMultiLangue::LoadLanguageModule(int id) {
  if (!IsLanguageAvailable(id)) return false;
  platform::LanguageModule module;
  QString why = ReadModule(id, module);
  if (!why.isEmpty()) {
    ShowMessageBox(InvalidModuleMessage(ModulePath(id), why));
    return false;
  }
  Install(id, std::move(module));
  return true;
}

void TGestionMultiLangue::ReloadAllForms() { ReapplyAllTexts(); }

void TGestionMultiLangue::ApplyLayoutDirection() const {
  QApplication::setLayoutDirection(currentIndex_ == kArabicIndex ? Qt::RightToLeft : Qt::LeftToRight);
}

void TGestionMultiLangue::SetLanguage(int index) {
  int id = LanguageIdFromIndex(index);
  if (index == currentIndex_ || id == 0) return;
  if (!LoadLanguageModule(id)) return;
  ReloadAllForms();
  ApplyLayoutDirection();
  UpdateLibellesLangue(id);
}

QWidget* TGestionMultiLangue::MainWindow() const {
  if (menuBar_) return menuBar_->window();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(w)) return w;
  }
  return nullptr;
}

void TGestionMultiLangue::BuildLanguageMenu(int position, int index, QMenuBar* menuBar, bool force) {
  if (menuBuilt_ && !force) return;
  menuBuilt_ = true;
  if (!menuBar) {
    if (auto* main = qobject_cast<QMainWindow*>(MainWindow())) menuBar = main->menuBar();
  }
  if (index == 0 || !IsWishedLanguage(LanguageIdFromIndex(index))) {
    index = LanguageIndexFromId(LocaleLanguageId());
    if (index == 0 || !IsWishedLanguage(LanguageIdFromIndex(index))) index = kDefaultIndex;
  }
  // The menu then shows the language in force, which is the chosen one unless its module
  // is missing or broken.
  if (IsLanguageAvailable(LanguageIdFromIndex(index))) SetLanguage(index);
  if (wished_.empty() || !menuBar) return;

  delete menu_.data();
  for (QMenu* old : menuBar->findChildren<QMenu*>(QStringLiteral("LANGUE"), Qt::FindDirectChildrenOnly)) delete old;
  menuBar_ = menuBar;
  position_ = position;
  menu_ = new QMenu(menuBar);
  menu_->setObjectName(QStringLiteral("LANGUE"));
  for (int id : wished_) {
    QAction* item = menu_->addAction(QIcon(Flag(id)), QString());
    item->setData(id);
    item->setEnabled(IsLanguageAvailable(id));
    connect(item, &QAction::triggered, this, [this, item] { OnChangeMenuLangue(item); });
  }
  const QList<QAction*> items = menuBar->actions();
  if (position >= 0 && position < items.size()) {
    menuBar->insertMenu(items.at(position), menu_);
  } else {
    menuBar->addMenu(menu_);
  }
  menu_->menuAction()->setEnabled(menuEnabled_);
  menu_->menuAction()->setVisible(menuVisible_);
  UpdateLibellesLangue(currentId_);
}

void TGestionMultiLangue::EnableLanguageMenu(bool flag) {
  menuEnabled_ = flag;
  if (menu_) menu_->menuAction()->setEnabled(flag);
}

void TGestionMultiLangue::ShowLanguageMenu(bool flag) {
  menuVisible_ = flag;
  if (menu_) menu_->menuAction()->setVisible(flag);
}

QString TGestionMultiLangue::LoadLanguageString(int id) {
  QString text = Str(id);
  if (text.isEmpty()) {
    const char* builtin = platform::BuiltinTextUtf8(id);
    if (builtin) text = QString::fromUtf8(builtin);
  }
  return text;
}

// The table names no English (United Kingdom) or Dutch (Belgium): those items take the
// name of the main language, else the language's own name for itself.
QString TGestionMultiLangue::ItemCaption(int base, int id) const {
  QString caption = LoadLanguageString(base + id);
  const int primary = id & 0x3FF;
  if (caption.isEmpty() && primary != id) caption = LoadLanguageString(base + primary);
  if (caption.isEmpty()) {
    if (const Language* l = ById(id)) caption = QLocale(QString::fromLatin1(l->locale)).nativeLanguageName();
  }
  return caption;
}

void TGestionMultiLangue::UpdateLibellesLangue(int id) {
  ChangeNumShape(id);
  if (!menu_) return;
  const int base = NameBase(id);
  // A menu bar shows an icon in place of the title, so the flags stay on the items.
  menu_->setTitle(LoadLanguageString(base));
  for (QAction* item : menu_->actions()) item->setText(ItemCaption(base, item->data().toInt()));
}

void TGestionMultiLangue::ChangeNumShape(int id) { numShape_ = id == 1 ? QStringLiteral("2") : QStringLiteral("1"); }

void TGestionMultiLangue::OnChangeMenuLangue(QAction* item) {
  if (!item || IsSwitching()) return;
  const int id = item->data().toInt();
  if (id == currentId_ || !item->isEnabled() || !IsWishedLanguage(id)) return;
  newId_ = id;
  step_ = 1;
  timer_.start();
}

void TGestionMultiLangue::OnStep() {
  timer_.stop();
  if (step_ == 0) return;
  if (step_ > 6) {  // the closing tick
    step_ = 0;
    return;
  }
  const int step = step_;
  try {
    RunStep(step);
  } catch (const std::exception& e) {
    FailSwitch(QStringLiteral("TGestionMultiLangue::OnChangeMenuLangue step:%1\r\n%2").arg(step).arg(MessageOf(e)));
  } catch (...) {
    FailSwitch(QStringLiteral("TGestionMultiLangue::OnChangeMenuLangue step:%1").arg(step));
  }
  if (step_ == 0) return;  // failed
  ++step_;
  timer_.start();
}

void TGestionMultiLangue::RunStep(int step) {
  QWidget* main = MainWindow();
  switch (step) {
    case 1:
      if (main) savedGeometry_ = QRect(main->pos(), main->size());
      previousId_ = currentId_;
      previousLayer_ = layer_;
      if (before_) before_();
      break;
    case 2: {
      // The file may have gone since the menu was built.
      if (!IsLanguageAvailable(newId_)) {
        FailSwitch(InvalidModuleMessage(ModulePath(newId_), QStringLiteral("the file does not exist")));
        break;
      }
      platform::LanguageModule module;
      QString why = ReadModule(newId_, module);
      if (!why.isEmpty()) {
        FailSwitch(InvalidModuleMessage(ModulePath(newId_), why));
        break;
      }
      Install(newId_, std::move(module));
      break;
    }
    case 3: ReloadAllForms(); break;
    case 4: ApplyLayoutDirection(); break;
    case 5: UpdateLibellesLangue(newId_); break;
    case 6:
      if (main && restorePosition_) main->move(savedGeometry_.topLeft());
      if (main && restoreSize_) main->resize(savedGeometry_.size());
      if (after_) after_();
      if (menuBar_) menuBar_->update();
      break;
    default: break;
  }
}

// Stops the switch with the previous language in force again, then says why.
void TGestionMultiLangue::FailSwitch(const QString& message) {
  const bool installed = step_ >= 3;
  step_ = 0;
  timer_.stop();
  if (installed) {
    Install(previousId_, previousLayer_);
    try {
      ReloadAllForms();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the first failure is the one to report
    }
    ApplyLayoutDirection();
  }
  UpdateLibellesLangue(currentId_);
  ShowMessageBox(message);
}

int TGestionMultiLangue::LanguageIndexFromId(int id) {
  const Language* l = ById(id);
  return l ? l->index : 0;
}

int TGestionMultiLangue::LanguageIdFromIndex(int index) {
  const Language* l = ByIndex(index);
  return l ? l->id : 0;
}

int TGestionMultiLangue::LanguageIndexFromAbbreviation(std::string_view abbreviation) {
  if (abbreviation.empty()) return 0;
  for (const Language& l : kLanguages) {
    if (abbreviation == l.abbreviation) return l.index;
  }
  return 0;
}

std::string TGestionMultiLangue::AbbreviationFromId(int id) {
  const Language* l = ById(id);
  return l ? l->abbreviation : "";
}

std::string TGestionMultiLangue::LanguageNameFromIndex(int index) {
  const Language* l = ByIndex(index);
  return l ? l->key : "";
}

int TGestionMultiLangue::LanguageIndexFromName(std::string_view key) {
  if (key.empty()) return 0;
  for (const Language& l : kLanguages) {
    if (key == l.key) return l.index;
  }
  return 0;
}

int TGestionMultiLangue::LocaleLanguageId() {
  std::string value;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) {
      value = v;
      break;
    }
  }
  value = value.substr(0, value.find_first_of(".@"));
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string lang = value.substr(0, value.find('_'));
  if (lang == "no" || lang == "nn") lang = "nb";  // every Norwegian takes the one module
  // The exact language and country, then the language alone, then any country of it.
  for (const Language& l : kLanguages) {
    std::string code = l.locale;
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (code.find('_') != std::string::npos && code == value) return l.id;
  }
  for (const Language& l : kLanguages) {
    if (lang == l.locale) return l.id;
  }
  for (const Language& l : kLanguages) {
    if (lang == LocaleLanguagePart(l.locale)) return l.id;
  }
  return 0;
}

QPixmap TGestionMultiLangue::Flag(int id) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::white);
  QPainter p(&pixmap);
  DrawFlag(p, LanguageIndexFromId(id));
  return pixmap;
}
