// Switches the user interface between languages while the program runs. Each language
// but the built-in English lives in a language module beside the program (see
// platform/LanguageModule.h and docs/language-modules.md): the program file's path with
// the language's abbreviation as extension, e.g. /usr/bin/korvanex.FRA.
//
// The manager builds the "LANGUE" menu in the main window's menu bar, one item per
// wished language (data = Windows language id, enabled only when its module exists).
// A click starts a switch that runs one step per 100 ms tick, so the menu that was
// clicked has closed before the windows change: save the main window's geometry and
// call the before notification; install the module; re-apply every open window's
// texts; set the layout direction; relabel the menu; restore the geometry and call the
// after notification. A switch that fails keeps the previous language and says why.
#pragma once

#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LanguageModule.h"

class QAction;
class QPixmap;

class TGestionMultiLangue : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDefaultIndex = 2;      // English (United Kingdom), the built-in language
  static constexpr int kBuiltinId = 2057;
  static constexpr int kArabicIndex = 5;
  static constexpr int kStepInterval = 100;    // ms between the steps of a switch

  // programFile: the path the module names derive from; empty means the executable.
  explicit TGestionMultiLangue(QObject* parent = nullptr, std::string programFile = {});
  ~TGestionMultiLangue() override;
  TGestionMultiLangue(const TGestionMultiLangue&) = delete;
  TGestionMultiLangue& operator=(const TGestionMultiLangue&) = delete;

  void SetProgramFile(std::string programFile);
  const std::string& ProgramFile() const { return programFile_; }

  // The languages of the menu, in order, by Windows language id (no duplicates).
  void AddWishedLanguage(int id);
  bool IsWishedLanguage(int id) const;
  const std::vector<int>& WishedLanguages() const { return wished_; }

  // The module file of the language ("" when the language has no abbreviation).
  std::string ModulePath(int id) const;
  // The built-in English always; another language when its module file exists.
  bool IsLanguageAvailable(int id) const;

  // Installs the language's texts (the built-in English: none over the built-in table).
  // A missing module changes nothing; one that cannot be read or parsed is reported in
  // the message box and changes nothing either. Answers whether the language is in force.
  bool LoadLanguageModule(int id);
  // Every open window takes its texts again from the current language.
  void ReloadAllForms();
  // Switches at once (no steps, no notifications); nothing when the index is current.
  void SetLanguage(int index);

  // Builds the language menu in the menu bar (the main window's when null), before the
  // item at position (at the end when the bar has fewer items). index: the language to
  // start in; 0 or a language not wished takes the user's locale, else English. Runs
  // once unless forced.
  void BuildLanguageMenu(int position, int index, QMenuBar* menuBar = nullptr, bool force = false);
  void BuildLanguageMenu(QMenuBar* menuBar, int position, int index, bool force = false) {
    BuildLanguageMenu(position, index, menuBar, force);
  }
  // The main window disables the menu while a child window is open.
  void EnableLanguageMenu(bool flag);
  void ShowLanguageMenu(bool flag);
  QMenu* LanguageMenu() const { return menu_.data(); }

  // The numbered text of the current language; the built-in one when the language's is empty.
  static QString LoadLanguageString(int id);

  // The click on a language item: starts a switch, unless one is running, the item is
  // disabled or its language is already in use.
  void OnChangeMenuLangue(QAction* item);
  // The menu's captions in the language (with its digit shape).
  void UpdateLibellesLangue(int id);
  // Digit shapes are the desktop's business here; the value is kept for whom it may concern.
  void ChangeNumShape(int id);
  const QString& NumShape() const { return numShape_; }

  // Called before and after each switch by the menu (after: only when it succeeded).
  void SetBeforeChange(std::function<void()> f) { before_ = std::move(f); }
  void SetAfterChange(std::function<void()> f) { after_ = std::move(f); }
  // Whether a switch puts the main window back where and as large as it was.
  void SetRestorePosition(bool flag) { restorePosition_ = flag; }
  void SetRestoreSize(bool flag) { restoreSize_ = flag; }

  int CurrentIndex() const { return currentIndex_; }
  int CurrentId() const { return currentId_; }
  const std::string& CurrentAbbreviation() const { return currentAbbreviation_; }
  // The settings key of the current language (LANGUEDEFAUT).
  std::string CurrentLanguageName() const { return LanguageNameFromIndex(currentIndex_); }
  QString CurrentKey() const { return QString::fromStdString(CurrentLanguageName()); }
  bool IsSwitching() const { return step_ != 0; }
  int Step() const { return step_; }

  // The table of languages. Unknown ids, indexes, keys and abbreviations give 0 or "".
  static int LanguageIndexFromId(int id);
  static int LanguageIdFromIndex(int index);
  static int LanguageIndexFromAbbreviation(std::string_view abbreviation);
  static std::string AbbreviationFromId(int id);
  static std::string LanguageNameFromIndex(int index);
  static int LanguageIndexFromName(std::string_view key);
  static int LanguageIndexFromKey(const QString& key) { return LanguageIndexFromName(key.toStdString()); }
  // The user's language from LC_ALL, LC_MESSAGES or LANG (the first one set); 0 when unknown.
  static int LocaleLanguageId();
  // The 16 x 16 flag of the language (French for an unknown one).
  static QPixmap Flag(int id);

 private:
  void OnStep();
  void RunStep(int step);
  void FailSwitch(const QString& message);
  // Reads the language's texts; "" on success, else the reason.
  QString ReadModule(int id, platform::LanguageModule& module) const;
  void Install(int id, platform::LanguageModule module);
  void ApplyLayoutDirection() const;
  QString ItemCaption(int base, int id) const;
  QWidget* MainWindow() const;

  std::string programFile_;
  std::vector<int> wished_;
  int currentIndex_ = kDefaultIndex;
  int currentId_ = kBuiltinId;
  std::string currentAbbreviation_ = "ENG";
  platform::LanguageModule layer_;  // the texts in force, to roll a failed switch back

  QPointer<QMenuBar> menuBar_;
  QPointer<QMenu> menu_;
  int position_ = 0;
  bool menuBuilt_ = false;
  bool menuEnabled_ = true;
  bool menuVisible_ = true;

  QTimer timer_;
  int step_ = 0;
  int newId_ = 0;
  int previousId_ = 0;
  platform::LanguageModule previousLayer_;
  QRect savedGeometry_;  // the main window's frame position and size
  bool restorePosition_ = false;
  bool restoreSize_ = false;
  QString numShape_ = QStringLiteral("1");

  std::function<void()> before_;
  std::function<void()> after_;
};
