#include "shell/GestionMultiLangue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Texts.h"
#include "shell/Translatable.h"
#include "shell/UiText.h"
#include "support/BoxRecorder.h"
#include "support/Patience.h"

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

using Manager = TGestionMultiLangue;

constexpr const char* kFrench =
    "# test module\n"
    "464\t Korvanex FR \n"
    "7511\tFran\xC3\xA7" "ais\n"
    "TTestForm.Label.Caption\tEtiquette\n";

// An open window that takes its texts from the language, as the program's windows do.
class TestForm : public QWidget, public TZvoTranslatable {
 public:
  TestForm() { ApplyTexts(); }
  void ApplyTexts() override {
    setWindowTitle(Str(464));
    label = FormText("TTestForm", "Label", "Caption", QStringLiteral("Label"));
  }
  QString label;
};

// Sets an environment variable for the scope, then puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class GestionMultiLangueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-langue-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    for (const char* title : {"&File", "&Configuration", "&Tools", "&Help"}) window_.menuBar()->addMenu(title);
  }
  void TearDown() override {
    platform::SetTextOverrides({});
    platform::SetFormTextOverrides({});
    QApplication::setLayoutDirection(Qt::LeftToRight);
    std::filesystem::remove_all(dir_);
  }

  std::string ProgramFile() const { return dir_ + "/korvanex"; }
  void WriteModule(const char* abbreviation, const std::string& content) const {
    std::ofstream(ProgramFile() + "." + abbreviation, std::ios::binary) << content;
  }

  // The manager as the main window sets it up, counting the notifications.
  std::unique_ptr<Manager> MakeManager(std::initializer_list<int> wished, int index = Manager::kDefaultIndex) {
    auto m = std::make_unique<Manager>(nullptr, ProgramFile());
    m->SetBeforeChange([this] { ++before_; });
    m->SetAfterChange([this] { ++after_; });
    for (int id : wished) m->AddWishedLanguage(id);
    m->BuildLanguageMenu(3, index, window_.menuBar());
    return m;
  }

  static QAction* Item(const Manager& m, int id) {
    for (QAction* a : m.LanguageMenu()->actions()) {
      if (a->data().toInt() == id) return a;
    }
    return nullptr;
  }

  // Clicks the item and lets the steps run out.
  static void Choose(Manager& m, int id) {
    QAction* item = Item(m, id);
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m.IsSwitching(); }, testwait::kPatienceMs));
  }

  std::string dir_;
  BoxRecorder boxes_;
  QMainWindow window_;
  int before_ = 0;
  int after_ = 0;
};

}  // namespace

TEST_F(GestionMultiLangueTest, MenuHasOneItemPerWishedLanguageEnabledWhenItsModuleExists) {
  WriteModule("FRA", kFrench);
  WriteModule("NLB", "");
  auto m = MakeManager({12, 2057, 16, 2067, 27, 25, 21, 12});

  QMenu* menu = m->LanguageMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), "LANGUE");
  EXPECT_EQ(window_.menuBar()->actions().indexOf(menu->menuAction()), 3);
  EXPECT_EQ(menu->title(), "&Language");
  EXPECT_EQ(m->ModulePath(12), dir_ + "/korvanex.FRA");

  struct Row {
    int id;
    bool enabled;
    const char* caption;  // nullptr: any non-empty one
  };
  const Row rows[] = {{12, true, "French"},  {2057, true, nullptr},  {16, false, "Italian"}, {2067, true, "Dutch"},
                      {27, false, "Slovak"}, {25, false, "Russian"}, {21, false, "Polish"}};
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(static_cast<size_t>(items.size()), std::size(rows));  // the second 12 was not added
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].id);
    QAction* item = items.at(static_cast<qsizetype>(i));
    EXPECT_EQ(item->data().toInt(), rows[i].id);
    EXPECT_EQ(item->isEnabled(), rows[i].enabled);
    EXPECT_FALSE(item->icon().isNull());
    if (rows[i].caption) {
      EXPECT_EQ(item->text(), rows[i].caption);
    } else {
      EXPECT_FALSE(item->text().isEmpty());
    }
  }

  // The menu bar keeps the state the main window asked for, before and after a rebuild.
  m->EnableLanguageMenu(false);
  m->BuildLanguageMenu(3, Manager::kDefaultIndex, window_.menuBar(), true);
  EXPECT_FALSE(m->LanguageMenu()->menuAction()->isEnabled());
  EXPECT_EQ(window_.menuBar()->findChildren<QMenu*>("LANGUE").size(), 1);

  // A bar with fewer items than the position takes the menu at its end.
  QMainWindow other;
  other.menuBar()->addMenu("&File");
  m->BuildLanguageMenu(3, Manager::kDefaultIndex, other.menuBar(), true);
  EXPECT_EQ(other.menuBar()->actions().indexOf(m->LanguageMenu()->menuAction()), 1);
}

TEST_F(GestionMultiLangueTest, SwitchToAModuleAndBackToTheBuiltinEnglish) {
  WriteModule("FRA", kFrench);
  WriteModule("ITA", "464\t Korvanex IT \n");
  auto m = MakeManager({12, 2057, 16});
  TestForm form;
  EXPECT_EQ(form.windowTitle(), " Korvanex ");
  EXPECT_EQ(m->CurrentLanguageName(), "LANGUE_ANGLAIS");

  Item(*m, 12)->trigger();
  // The switch waits for the event loop, so the clicked menu has closed first.
  EXPECT_TRUE(m->IsSwitching());
  EXPECT_EQ(Str(464), " Korvanex ");
  Item(*m, 16)->trigger();  // refused while switching
  EXPECT_TRUE(QTest::qWaitFor([&] { return !m->IsSwitching(); }, testwait::kPatienceMs));

  EXPECT_EQ(Str(464), " Korvanex FR ");
  EXPECT_EQ(form.windowTitle(), " Korvanex FR ");  // open windows follow
  EXPECT_EQ(form.label, "Etiquette");
  EXPECT_EQ(before_, 1);
  EXPECT_EQ(after_, 1);
  EXPECT_EQ(m->CurrentIndex(), 1);
  EXPECT_EQ(m->CurrentId(), 12);
  EXPECT_EQ(m->CurrentAbbreviation(), "FRA");
  EXPECT_EQ(m->CurrentLanguageName(), "LANGUE_FRANCAIS");
  EXPECT_EQ(m->LanguageMenu()->title(), "&Langue");        // French block, built-in
  EXPECT_EQ(Item(*m, 12)->text(), "Fran\xC3\xA7" "ais");   // French block, from the module
  EXPECT_EQ(m->NumShape(), "1");

  Choose(*m, 12);  // the language in use: nothing happens
  EXPECT_EQ(after_, 1);

  Choose(*m, 2057);
  EXPECT_EQ(Str(464), " Korvanex ");
  EXPECT_EQ(form.label, "Label");
  EXPECT_EQ(after_, 2);
  EXPECT_EQ(m->CurrentAbbreviation(), "ENG");
  EXPECT_EQ(m->LanguageMenu()->title(), "&Language");
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(GestionMultiLangueTest, MissingModuleCannotBeChosen) {
  auto m = MakeManager({12, 2057, 16});
  QAction* italian = Item(*m, 16);
  EXPECT_FALSE(italian->isEnabled());
  italian->trigger();
  m->OnChangeMenuLangue(italian);  // even when asked directly
  EXPECT_FALSE(m->IsSwitching());
  m->SetLanguage(Manager::LanguageIndexFromId(16));
  EXPECT_EQ(m->CurrentId(), 2057);

  // Dutch has no module of its own, whatever lies beside the program.
  WriteModule("", "464\tx\n");
  EXPECT_EQ(m->ModulePath(19), "");
  EXPECT_FALSE(m->IsLanguageAvailable(19));
}

TEST_F(GestionMultiLangueTest, FailedSwitchKeepsThePreviousLanguageAndSaysWhy) {
  struct Case {
    const char* name;
    const char* italian;  // the ITA module at the click; nullptr: gone since the menu was built
    bool afterThrows;
    const char* message;  // expected within the box's text
  };
  const Case cases[] = {
      {"broken line", "464\tok\nno tab here\n", false, "line 2: no tab after the key"},
      {"bad escape", "464\t\\q\n", false, "line 1: unknown escape \\q"},
      {"gone", nullptr, false, "the file does not exist"},
      {"after fails", "464\t Korvanex IT \n", true, "TGestionMultiLangue::OnChangeMenuLangue step:6\r\nboom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteModule("FRA", kFrench);
    WriteModule("ITA", "");
    auto m = MakeManager({12, 2057, 16}, Manager::LanguageIndexFromId(12));
    ASSERT_EQ(Str(464), " Korvanex FR ");
    TestForm form;
    if (c.italian) {
      WriteModule("ITA", c.italian);
    } else {
      std::filesystem::remove(ProgramFile() + ".ITA");
    }
    if (c.afterThrows) m->SetAfterChange([] { throw std::runtime_error("boom"); });
    boxes_.Clear();
    after_ = 0;

    Choose(*m, 16);

    ASSERT_EQ(boxes_.Texts().size(), 1);
    const QString text = boxes_.Texts().at(0);
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.message))) << text.toStdString();
    if (!c.afterThrows) {
      EXPECT_TRUE(text.startsWith(QString::fromStdString("dll lang non valide " + dir_ + "/korvanex.ITA")));
    }
    EXPECT_EQ(Str(464), " Korvanex FR ");
    EXPECT_EQ(form.windowTitle(), " Korvanex FR ");
    EXPECT_EQ(form.label, "Etiquette");
    EXPECT_EQ(m->CurrentId(), 12);
    EXPECT_EQ(m->LanguageMenu()->title(), "&Langue");
    EXPECT_EQ(after_, 0);
    EXPECT_FALSE(m->IsSwitching());
  }
}

TEST_F(GestionMultiLangueTest, ArabicReadsRightToLeftWithItsDigitShape) {
  WriteModule("ARA", "464\t \xD9\x83\xD9\x88\xD8\xB1\xD9\x81\xD8\xA7\xD9\x86\xD9\x83\xD8\xB3 \n");
  auto m = MakeManager({2057, 1});
  m->SetLanguage(Manager::kArabicIndex);  // at once
  EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(m->NumShape(), "2");
  EXPECT_EQ(m->CurrentAbbreviation(), "ARA");

  Choose(*m, 2057);
  EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
  EXPECT_EQ(m->NumShape(), "1");

  Choose(*m, 1);
  EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(m->NumShape(), "2");
  EXPECT_EQ(after_, 2);
}

TEST_F(GestionMultiLangueTest, StartLanguage) {
  struct Case {
    const char* name;
    int index;       // as the settings give it
    const char* lang;  // LANG; LC_ALL and LC_MESSAGES unset
    const char* french;  // the FRA module; nullptr: none
    int expectedId;
    bool message;
  };
  const Case cases[] = {
      {"remembered, present", 1, "C", kFrench, 12, false},
      {"remembered, missing", 1, "C", nullptr, 2057, false},
      {"remembered, broken", 1, "C", "464\n", 2057, true},
      {"none: the locale's", 0, "fr_FR.UTF-8", kFrench, 12, false},
      {"not wished: the locale's", 3, "fr_BE", kFrench, 12, false},
      {"locale not wished: English", 0, "de_DE.UTF-8", kFrench, 2057, false},
      {"unknown index: English", 99, "C", kFrench, 2057, false},
  };
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv messages("LC_MESSAGES", nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv lang("LANG", c.lang);
    std::filesystem::remove(ProgramFile() + ".FRA");
    if (c.french) WriteModule("FRA", c.french);
    boxes_.Clear();
    platform::SetTextOverrides({});

    auto m = MakeManager({12, 2057}, c.index);

    EXPECT_EQ(m->CurrentId(), c.expectedId);
    EXPECT_EQ(Str(464), c.expectedId == 12 ? " Korvanex FR " : " Korvanex ");
    EXPECT_EQ(m->LanguageMenu()->title(), c.expectedId == 12 ? "&Langue" : "&Language");
    EXPECT_EQ(boxes_.Texts().size(), c.message ? 1 : 0);
    EXPECT_EQ(after_, 0);  // the main window runs its own after the start
  }
}

TEST(GestionMultiLangue, LocaleLanguageFromTheEnvironment) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    int id;
  };
  const Case cases[] = {
      {nullptr, nullptr, "fr_FR.UTF-8", 12}, {nullptr, nullptr, "en_GB", 2057},
      {nullptr, nullptr, "en_US.UTF-8", 2057}, {nullptr, nullptr, "it", 16},
      {nullptr, nullptr, "nl_BE", 2067},     {nullptr, nullptr, "nl_NL.UTF-8", 19},
      {nullptr, nullptr, "nl", 19},          {nullptr, nullptr, "sk_SK", 27},
      {nullptr, nullptr, "ru_RU.KOI8-R", 25}, {nullptr, nullptr, "pl_PL", 21},
      {nullptr, nullptr, "de_AT@euro", 7},   {nullptr, nullptr, "es_ES", 10},
      {nullptr, nullptr, "ar_EG", 1},        {nullptr, nullptr, "zh_CN.GB18030", 4},
      {nullptr, nullptr, "no_NO", 20},       {nullptr, nullptr, "nb_NO.UTF-8", 20},
      {nullptr, nullptr, "ro_RO", 24},       {nullptr, nullptr, "C", 0},
      {nullptr, nullptr, "POSIX", 0},        {nullptr, nullptr, "pt_BR", 0},
      {nullptr, nullptr, nullptr, 0},        {"it_IT", "de_DE", "fr_FR", 16},
      {"", "de_DE", "fr_FR", 7},             {nullptr, "", "fr_FR", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "-") + " " + (c.lcMessages ? c.lcMessages : "-") + " " +
                 (c.lang ? c.lang : "-"));
    ScopedEnv all("LC_ALL", c.lcAll);
    ScopedEnv messages("LC_MESSAGES", c.lcMessages);
    ScopedEnv lang("LANG", c.lang);
    EXPECT_EQ(Manager::LocaleLanguageId(), c.id);
  }
}

TEST(GestionMultiLangue, TableOfLanguages) {
  for (int index = 1; index <= 14; ++index) {
    SCOPED_TRACE(index);
    int id = Manager::LanguageIdFromIndex(index);
    EXPECT_EQ(Manager::LanguageIndexFromId(id), index);
    std::string key = Manager::LanguageNameFromIndex(index);
    if (!key.empty()) {
      EXPECT_EQ(Manager::LanguageIndexFromName(key), index);
    }
    std::string abbreviation = Manager::AbbreviationFromId(id);
    if (!abbreviation.empty()) {
      EXPECT_EQ(Manager::LanguageIndexFromAbbreviation(abbreviation), index);
    }
  }
  EXPECT_EQ(Manager::LanguageNameFromIndex(9), "");  // Norwegian is never remembered
  EXPECT_EQ(Manager::LanguageIndexFromName(""), 0);
  EXPECT_EQ(Manager::LanguageIndexFromName("LANGUE_KLINGON"), 0);
  EXPECT_EQ(Manager::LanguageIndexFromAbbreviation(""), 0);
  EXPECT_EQ(Manager::LanguageIndexFromId(1033), 0);
  EXPECT_EQ(Manager::LanguageNameFromIndex(0), "");

  // One flag per country: two languages share a picture only when they share a flag.
  std::vector<QImage> flags;
  for (int index = 1; index <= 14; ++index) {
    QPixmap flag = Manager::Flag(Manager::LanguageIdFromIndex(index));
    ASSERT_EQ(flag.size(), QSize(16, 16));
    flags.push_back(flag.toImage());
  }
  for (size_t a = 0; a < flags.size(); ++a) {
    for (size_t b = a + 1; b < flags.size(); ++b) {
      const bool sameCountry = a == 3 && b == 6;  // Dutch and Dutch (Belgium)
      EXPECT_EQ(flags[a] == flags[b], sameCountry) << a + 1 << " " << b + 1;
    }
  }
  EXPECT_EQ(Manager::Flag(1033).toImage(), flags[0]);  // unknown: French
}
