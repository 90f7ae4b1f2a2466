#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/RunModal.h"
#include "model/Contexte.h"
#include "model/ElemDDS.h"
#include "model/ParamsGen.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/Texts.h"
#include "shell/Boxes.h"
#include "shell/FormZvoAPropos.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/GestionMultiLangue.h"
#include "shell/UiText.h"
#include "support/BoxRecorder.h"
#include "support/Patience.h"
#include "support/TempHome.h"

// Failures show texts as texts.
static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Title(const std::string& path) { return Str(464) + Q("[" + path + "]"); }

// A saved site file, closed again.
void MakeSiteFile(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  NewDatabase(fs::path(path).stem().string(), fs::path(path).parent_path().string());
  SaveDatabase(*CurrentDatabase());
  CloseDatabase();
}

void SetModified(bool modified) { CurrentDatabase()->Root()->SetModified(modified); }
bool Modified() { return CurrentDatabase()->Root()->Modified(); }

QFileDialog& FileDialog(QDialog& d) {
  auto* dialog = qobject_cast<QFileDialog*>(&d);
  if (!dialog) throw std::logic_error("not a file dialog");
  return *dialog;
}
void ChooseFile(QDialog& d, const std::string& path) {
  FileDialog(d).selectFile(Q(path));
  d.accept();  // QFileDialog's own accept, which checks the name as a click on its button does
}

// A fresh home and context, the boxes recorded, and the main window once Start built it.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TFormZvoPrincipale::SetHelpOpener([this](const QString& path) {
      helpOpened_ << path;
      return true;
    });
  }
  void TearDown() override {
    window_.reset();
    TFormZvoPrincipale::SetHelpOpener([](const QString&) { return false; });
    TFormZvoPrincipale::SetCommandLineForTests({});
    platform::SetWriteFaultForTests(-1, 0);
    platform::SetTextOverrides({});
    platform::SetFormTextOverrides({});
  }

  // Builds the window at the panel type with the command line's parameters, shows it and
  // lets its first paint run.
  void Start(std::uint8_t panelType = 7, const QStringList& parameters = {}) {
    window_.reset();
    GetContexte().SetCurrentPanelType(panelType);
    TFormZvoPrincipale::SetCommandLineForTests(QStringList{QStringLiteral("korvanex")} + parameters);
    window_ = std::make_unique<TFormZvoPrincipale>();
    window_->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->LanguageManager() != nullptr; }, testwait::kPatienceMs));
  }
  // Starts with the site file open from the command line.
  void StartWith(const std::string& path) {
    window_.reset();
    MakeSiteFile(path);
    Start(7, {Q("/prj=" + path)});
    ASSERT_TRUE(IsDatabaseLoaded());
  }

  QAction* Item(const char* name) const {
    QAction* a = window_->Action(QString::fromLatin1(name));
    if (!a) throw std::logic_error(std::string("no item ") + name);
    return a;
  }
  QToolBar* ToolBar() const { return window_->findChild<QToolBar*>(QStringLiteral("ToolBar")); }
  // Runs the item's command; act drives the modal dialog it shows.
  ModalRun Command(const char* item, const std::function<void(QDialog&)>& act) {
    return RunModal(
        [&] {
          Item(item)->trigger();
          return 0;
        },
        act);
  }
  // Until the closed child windows and their frames are freed.
  void WaitNoChild() {
    EXPECT_TRUE(QTest::qWaitFor([this] { return window_->findChildren<QMdiSubWindow*>().isEmpty(); }, testwait::kPatienceMs));
    EXPECT_FALSE(window_->HasChild());
  }

  std::string Folder() const { return home_.Path(); }
  std::string File(const std::string& relative) const { return home_.Sub(relative); }

  TempHome home_;
  BoxRecorder boxes_;
  QStringList helpOpened_;
  std::unique_ptr<TFormZvoPrincipale> window_;
};

// When each item is enabled: C = no child window, notD = no database, DC = database and
// no child, DCS = that and a security variant.
enum class Rule { C, NotD, DC, DCS };
struct ItemRule {
  const char* name;
  Rule rule;
  bool button;  // has a tool button
};
constexpr ItemRule kItemRules[] = {
    {"MenuItemQuitter", Rule::C, true},           {"MenuItemIdentification", Rule::C, false},
    {"MenuItemConsole", Rule::C, true},           {"MenuItemAideSur", Rule::C, false},
    {"MenuItemAPropos", Rule::C, false},          {"MenuItemInstUpload", Rule::C, false},
    {"MenuItemNouveau", Rule::NotD, true},        {"MenuItemOuvrir", Rule::NotD, true},
    {"MenuItemInstNouveau", Rule::NotD, false},   {"MenuItemInstOuvrir", Rule::NotD, false},
    {"MenuItemEnregistrer", Rule::DC, true},      {"MenuItemEnrSous", Rule::DC, false},
    {"MenuItemFermer", Rule::DC, true},           {"MenuItemImprimer", Rule::DC, false},
    {"MenuItemEtiquette", Rule::DC, false},       {"MenuItemParamGen", Rule::DC, true},
    {"MenuItemDetecteur", Rule::DC, true},        {"MenuItemSirene", Rule::DC, true},
    {"MenuItemRepetition", Rule::DC, true},       {"MenuItemDiagnostic", Rule::DC, false},
    {"MenuItemInstEnregistrer", Rule::DC, false}, {"MenuItemInstEnrSous", Rule::DC, false},
    {"MenuItemInstDownload", Rule::DC, false},    {"MenuItemEvacuation", Rule::DCS, true},
};

TEST_F(MainWindowTest, EnablingAndVisibilityRules) {
  for (std::uint8_t type : {7, 3, 5, 9, 11}) {
    Start(type);
    const bool security = type == 3 || type == 5 || type == 9;
    const QList<QAction*> bar = window_->menuBar()->actions();
    const int installerAt = static_cast<int>(bar.indexOf(window_->Menu(QStringLiteral("MenuInstaller"))->menuAction()));
    const bool installerShown = installerAt >= 0 && bar.at(installerAt)->isVisible();
    EXPECT_EQ(installerShown, type == 11) << int{type};
    if (type == 11) {
      EXPECT_EQ(installerAt, 2);
    }

    for (bool database : {false, true}) {
      if (database) NewDatabase("Site", Folder());
      window_->MiseAJourControle();
      for (bool child : {false, true}) {
        SCOPED_TRACE(testing::Message() << "type " << int{type} << " database " << database << " child " << child);
        // The about box stands for every child window; closing it re-enables the menus.
        if (child) Item("MenuItemAPropos")->trigger();
        ASSERT_EQ(window_->HasChild(), child);
        for (const char* menu : {"MenuFichier", "MenuConfiguration", "MenuOutils", "MenuAide"}) {
          EXPECT_EQ(window_->Menu(QString::fromLatin1(menu))->menuAction()->isEnabled(), !child) << menu;
        }
        EXPECT_EQ(window_->LanguageManager()->LanguageMenu()->menuAction()->isEnabled(), !child);
        for (const ItemRule& r : kItemRules) {
          const std::string name = r.name;
          const bool visible = name == "MenuItemIdentification" ? false
                               : name == "MenuItemEvacuation"   ? security
                               : name == "MenuItemSirene"       ? !security
                                                                : true;
          // A hidden item is disabled too, so that its shortcut does nothing.
          const bool enabled = visible && (r.rule == Rule::C      ? !child
                                           : r.rule == Rule::NotD ? !database
                                           : r.rule == Rule::DC   ? database && !child
                                                                  : database && !child && security);
          QAction* a = Item(r.name);
          EXPECT_EQ(a->isVisible(), visible) << r.name;
          EXPECT_EQ(a->isEnabled(), enabled) << r.name;
          if (!r.button) continue;
          // Each tool button follows its own item, not the menu above it.
          QWidget* button = ToolBar()->widgetForAction(a);
          ASSERT_NE(button, nullptr) << r.name;
          EXPECT_EQ(button->isEnabled(), enabled) << r.name;
          EXPECT_EQ(button->isVisible(), visible) << r.name;
        }
        if (child) {
          window_->MdiArea()->closeAllSubWindows();
          WaitNoChild();
          EXPECT_TRUE(QTest::qWaitFor([this] { return Item("MenuItemAPropos")->isEnabled(); }, testwait::kPatienceMs));
        }
      }
      CloseDatabase();
    }
  }

  QStringList tools;
  for (QAction* a : ToolBar()->actions()) tools << a->objectName();
  EXPECT_EQ(tools.join(QLatin1Char(',')),
            "MenuItemQuitter,,MenuItemNouveau,MenuItemOuvrir,MenuItemEnregistrer,MenuItemFermer,,MenuItemParamGen,"
            "MenuItemDetecteur,MenuItemSirene,MenuItemEvacuation,MenuItemRepetition,,MenuItemConsole");
  EXPECT_EQ(Item("MenuItemNouveau")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(Item("MenuItemOuvrir")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(Item("MenuItemEnregistrer")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(Item("MenuItemAideSur")->shortcut(), QKeySequence(Qt::Key_F1));
  Item("MenuItemAideSur")->trigger();
  EXPECT_EQ(helpOpened_, QStringList{Q(GetContexte().HelpFilePath())});
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

// The name is checked inside the dialog; the site exists on disk as soon as OK is taken.
TEST_F(MainWindowTest, NewCreatesTheSiteFileAtOnceAndSaveKeepsABackup) {
  Start();
  const std::string taken = File("Taken.srd");
  std::ofstream(taken) << "x";
  ModalRun run = Command("MenuItemNouveau", [&](QDialog& d) {
    auto* edit = d.findChild<QLineEdit*>(QStringLiteral("EditNomProjet"));
    auto* ok = d.findChild<QPushButton*>(QStringLiteral("BitBtnValider"));
    QTest::keyClicks(edit, QStringLiteral("Taken"));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(boxes_.Texts(), QStringList{StrF(33, {taken})});
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("Site"));
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  EXPECT_FALSE(run.stayedOpen);
  const std::string path = File("Site.srd");
  const std::string backup = File("Site.bak");
  ASSERT_TRUE(IsDatabaseLoaded());
  EXPECT_EQ(window_->windowTitle(), Title(path));
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(fs::exists(backup));
  EXPECT_EQ(fs::file_size(taken), 1U);

  fs::remove(path);
  Item("MenuItemEnregistrer")->trigger();
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(fs::exists(backup));
  Item("MenuItemEnregistrer")->trigger();
  EXPECT_TRUE(fs::exists(backup));
  EXPECT_EQ(fs::file_size(backup), fs::file_size(path));
  EXPECT_EQ(boxes_.Texts().size(), 1);
}

TEST_F(MainWindowTest, OpenRemembersTheFolderAndReportsADamagedFile) {
  Start();
  const std::string path = File("sites/Site.srd");
  const std::string damaged = File("sites/Damaged.srd");
  MakeSiteFile(path);
  std::ofstream(damaged) << "not a site";

  QString startFolder;
  Command("MenuItemOuvrir", [&](QDialog& d) {
    startFolder = FileDialog(d).directory().absolutePath();
    EXPECT_EQ(FileDialog(d).acceptMode(), QFileDialog::AcceptOpen);
    ChooseFile(d, path);
  });
  EXPECT_EQ(startFolder, Q(Folder()));
  ASSERT_TRUE(IsDatabaseLoaded());
  EXPECT_EQ(window_->windowTitle(), Title(path));
  EXPECT_EQ(GetContexte().LoadSavePath(), File("sites"));
  EXPECT_FALSE(Item("MenuItemOuvrir")->isEnabled());
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();

  CloseDatabase();
  window_->MiseAJourControle();
  Command("MenuItemOuvrir", [&](QDialog& d) {
    startFolder = FileDialog(d).directory().absolutePath();
    ChooseFile(d, damaged);
  });
  EXPECT_EQ(startFolder, Q(File("sites")));
  // The model's own message, not prefixed by the command.
  ASSERT_EQ(boxes_.Texts().size(), 1);
  EXPECT_TRUE(boxes_.Texts()[0].startsWith(Str(37))) << boxes_.Texts()[0].toStdString();
  EXPECT_FALSE(IsDatabaseLoaded());
  EXPECT_EQ(window_->windowTitle(), Str(464));
  EXPECT_TRUE(Item("MenuItemOuvrir")->isEnabled());
}

// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whatever extension is typed, the file written is the site file the caption then names and
// every later save writes: the site never ends up in two files.
TEST_F(MainWindowTest, SaveAsWritesTheSiteFileThatTheCaptionAndLaterSavesName) {
  struct Case {
    const char* typed;
    const char* stale;  // a site file already in the folder, or null
    const char* site;   // the one site file afterwards, with its backup
    const char* backup;
  };
  const Case cases[] = {
      {"Copy", nullptr, "Copy.srd", "Copy.bak"},
      {"Copy.srd", nullptr, "Copy.srd", "Copy.bak"},
      {"Other.txt", nullptr, "Other.srd", "Other.bak"},
      // Typed by its own name, an existing site file is the user's choice and is written.
      {"Other.srd", "Other.srd", "Other.srd", "Other.bak"},
      {"Other.SRD", nullptr, "Other.srd", "Other.bak"},
      {"Other.", nullptr, "Other.srd", "Other.bak"},
      {"Other..", nullptr, "Other.srd", "Other.bak"},
      {"Site.2024.dat", nullptr, "Site.2024.srd", "Site.2024.bak"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed) + (c.stale ? " over a stale site" : ""));
    const std::string folder = File("copies");
    fs::create_directories(folder);
    if (c.stale) MakeSiteFile(folder + "/" + c.stale);
    StartWith(File("Site.srd"));
    GetContexte().SetSaveAsPath(File("Site.srd"));  // the folder a first save as starts in
    CurrentDatabase()->Root()->ParamsGen()->SiteName()->SetText("SAVED UNDER A NAME");
    SetModified(true);

    QString startFolder, proposed;
    Command("MenuItemEnrSous", [&](QDialog& d) {
      EXPECT_EQ(FileDialog(d).acceptMode(), QFileDialog::AcceptSave);
      startFolder = FileDialog(d).directory().absolutePath();
      proposed = FileDialog(d).selectedFiles().value(0);
      ChooseFile(d, folder + "/" + c.typed);
    });
    EXPECT_EQ(startFolder, Q(Folder()));
    EXPECT_TRUE(proposed.endsWith(QStringLiteral("/Site.srd"))) << proposed.toStdString();
    const std::string site = folder + "/" + c.site;
    ASSERT_TRUE(IsDatabaseLoaded());
    EXPECT_FALSE(Modified());
    EXPECT_EQ(DatabasePath(*CurrentDatabase()), site);
    EXPECT_EQ(window_->windowTitle().toStdString(), Title(site).toStdString());
    EXPECT_EQ(GetContexte().SaveAsPath(), folder);
    EXPECT_EQ(CurrentDatabase()->Root()->ParamsGen()->SiteName()->Text(), "SAVED UNDER A NAME");

    Item("MenuItemEnregistrer")->trigger();
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{c.backup, c.site}));
    EXPECT_EQ(window_->windowTitle().toStdString(), Title(site).toStdString());
    EXPECT_TRUE(FileBytes(site) == std::vector<std::uint8_t>(SiteImage, SiteImage + kSiteImageSize));
    EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();

    window_.reset();
    CloseDatabase();
    EXPECT_NO_THROW(OpenDatabase(site));
    if (IsDatabaseLoaded()) {
      EXPECT_EQ(CurrentDatabase()->Root()->ParamsGen()->SiteName()->Text(), "SAVED UNDER A NAME");
    }
    CloseDatabase();
    fs::remove_all(folder);
  }
}

// The dialog checked only the name typed: an entry already under the site file name it turns
// into is refused as the new site dialog refuses it, and nothing changes.
TEST_F(MainWindowTest, SaveAsRefusesAnotherEntryUnderTheDerivedSiteFileName) {
  struct Case {
    const char* typed;
    bool folder;  // the entry in the way is a folder, not another site
  };
  const Case cases[] = {
      {"Other.txt", false},
      {"Other.", false},
      {"Other.SRD", false},
      {"Other.txt", true},
  };
  const std::string path = File("Site.srd");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed) + (c.folder ? " over a folder" : " over another site"));
    const std::string folder = File("copies");
    const std::string other = folder + "/Other.srd";
    if (c.folder) {
      fs::create_directories(other);
    } else {
      MakeSiteFile(other);
    }
    const std::vector<std::uint8_t> otherBytes = c.folder ? std::vector<std::uint8_t>{} : FileBytes(other);
    fs::remove(path);  // so that starting leaves no backup of its own
    fs::remove(File("Site.bak"));
    StartWith(path);
    GetContexte().SetSaveAsPath(path);
    const std::string saveAsFolder = GetContexte().SaveAsPath();
    CurrentDatabase()->Root()->ParamsGen()->SiteName()->SetText("NOT SAVED");
    SetModified(true);
    boxes_.Clear();

    Command("MenuItemEnrSous", [&](QDialog& d) { ChooseFile(d, folder + "/" + c.typed); });
    EXPECT_EQ(boxes_.Texts(), QStringList{StrF(33, {other})});
    if (!boxes_.Boxes().empty()) {
      EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Message);
    }
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"Other.srd"});
    if (c.folder) {
      EXPECT_TRUE(fs::is_directory(other));
    } else {
      EXPECT_TRUE(FileBytes(other) == otherBytes);
    }
    ASSERT_TRUE(IsDatabaseLoaded());
    EXPECT_EQ(DatabasePath(*CurrentDatabase()), path);
    EXPECT_EQ(window_->windowTitle().toStdString(), Title(path).toStdString());
    EXPECT_TRUE(Modified());
    EXPECT_EQ(CurrentDatabase()->Root()->ParamsGen()->SiteName()->Text(), "NOT SAVED");
    EXPECT_EQ(GetContexte().SaveAsPath(), saveAsFolder);
    EXPECT_FALSE(fs::exists(File("Site.bak")));

    window_.reset();
    CloseDatabase();
    fs::remove_all(folder);
  }
}

// The open site's own file is no other site: saving it under another extension, also
// through a linked folder, rewrites it as a save does.
TEST_F(MainWindowTest, SaveAsUnderAnotherExtensionRewritesTheOpenSitesOwnFile) {
  const std::string path = File("Site.srd");
  fs::create_directory_symlink(Folder(), File("link"));
  for (const char* typed : {"Site.txt", "link/Site.dat"}) {
    SCOPED_TRACE(typed);
    fs::remove(path);  // so that starting leaves no backup of its own
    fs::remove(File("Site.bak"));
    StartWith(path);
    CurrentDatabase()->Root()->ParamsGen()->SiteName()->SetText("SAVED AGAIN");
    SetModified(true);
    boxes_.Clear();

    Command("MenuItemEnrSous", [&](QDialog& d) { ChooseFile(d, File(typed)); });
    EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
    ASSERT_TRUE(IsDatabaseLoaded());
    EXPECT_FALSE(Modified());
    EXPECT_TRUE(fs::equivalent(DatabasePath(*CurrentDatabase()), path)) << DatabasePath(*CurrentDatabase());
    EXPECT_TRUE(fs::exists(File("Site.bak")));
    EXPECT_FALSE(fs::exists(File("Site.txt")));

    window_.reset();
    CloseDatabase();
    OpenDatabase(path);
    EXPECT_EQ(CurrentDatabase()->Root()->ParamsGen()->SiteName()->Text(), "SAVED AGAIN");
    CloseDatabase();
  }
}

TEST_F(MainWindowTest, AFailedSaveKeepsTheSiteOpenAndModified) {
  const std::string path = File("Site.srd");
  StartWith(path);
  SetModified(true);
  const auto before = fs::file_size(path);
  platform::SetWriteFaultForTests(0, ENOSPC);
  Item("MenuItemEnregistrer")->trigger();
  ASSERT_EQ(boxes_.Texts().size(), 1);
  const QString text = boxes_.Texts()[0];
  EXPECT_TRUE(text.startsWith(Str(13) + Str(15))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromLatin1(std::strerror(ENOSPC)))) << text.toStdString();
  ASSERT_TRUE(IsDatabaseLoaded());
  EXPECT_TRUE(Modified());
  EXPECT_EQ(window_->windowTitle(), Title(path));
  EXPECT_TRUE(Item("MenuItemEnregistrer")->isEnabled());
  EXPECT_EQ(fs::file_size(path), before);
}

// Close asks whether to close, then whether to save a modified site; the answers and a
// failing save decide whether the site stays open and whether it was written.
TEST_F(MainWindowTest, CloseAsksAndSavesOnRequest) {
  struct Case {
    bool modified;
    bool fault;
    std::vector<int> answers;
    std::vector<int> texts;  // the boxes shown, by the text they start with
    bool staysOpen;
    bool saved;
  };
  const Case cases[] = {
      {false, false, {kResultYes}, {7}, false, false},
      {true, false, {kResultNo}, {7}, true, false},
      {true, false, {kResultYes, kResultNo}, {7, 8}, false, false},
      {true, false, {kResultYes, kResultYes}, {7, 8}, false, true},
      {true, true, {kResultYes, kResultYes}, {7, 8, 13}, true, false},
  };
  const std::string path = File("Site.srd");
  const std::string backup = File("Site.bak");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "modified " << c.modified << " fault " << c.fault << " answers "
                                    << c.answers.size());
    StartWith(path);
    SetModified(c.modified);
    fs::remove(backup);
    boxes_.Clear();
    for (int answer : c.answers) boxes_.Answer(answer);
    platform::SetWriteFaultForTests(c.fault ? 0 : -1, ENOSPC);
    Item("MenuItemFermer")->trigger();
    platform::SetWriteFaultForTests(-1, 0);

    ASSERT_EQ(boxes_.Texts().size(), c.texts.size()) << boxes_.Texts().join('|').toStdString();
    for (size_t i = 0; i < c.texts.size(); ++i)
      EXPECT_TRUE(boxes_.Texts()[static_cast<qsizetype>(i)].startsWith(Str(c.texts[i])));
    EXPECT_EQ(IsDatabaseLoaded(), c.staysOpen);
    if (c.staysOpen) {
      EXPECT_EQ(Modified(), c.modified);
    }
    EXPECT_EQ(window_->windowTitle(), c.staysOpen ? Title(path) : Str(464));
    EXPECT_EQ(Item("MenuItemNouveau")->isEnabled(), !c.staysOpen);
    EXPECT_EQ(fs::exists(backup), c.saved);
    window_.reset();
  }
}

// Closing the main window (Exit, or its frame) goes through the same questions and stays
// open when the user or a failing save says so.
TEST_F(MainWindowTest, ClosingTheProgram) {
  struct Case {
    const char* name;
    bool child;
    bool database;
    bool fault;
    std::vector<int> answers;
    std::vector<int> texts;
    bool staysOpen;
  };
  const Case cases[] = {
      {"child window open", true, false, false, {}, {10}, true},
      {"child window and database", true, true, false, {kResultYes}, {10}, true},
      {"No to closing the database", false, true, false, {kResultNo}, {7}, true},
      {"failing save", false, true, true, {kResultYes, kResultYes}, {7, 8, 13}, true},
      {"closing without saving", false, true, false, {kResultYes, kResultNo}, {7, 8}, false},
      {"no database", false, false, false, {}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.database) {
      StartWith(File("Site.srd"));
      SetModified(true);
    } else {
      Start();
    }
    if (c.child) Item("MenuItemAPropos")->trigger();
    boxes_.Clear();
    for (int answer : c.answers) boxes_.Answer(answer);
    platform::SetWriteFaultForTests(c.fault ? 0 : -1, ENOSPC);
    // Exit is disabled while a child window is open; the frame's close button is not.
    if (c.child) {
      window_->close();
    } else {
      Item("MenuItemQuitter")->trigger();
    }
    platform::SetWriteFaultForTests(-1, 0);

    ASSERT_EQ(boxes_.Texts().size(), c.texts.size()) << boxes_.Texts().join('|').toStdString();
    for (size_t i = 0; i < c.texts.size(); ++i)
      EXPECT_TRUE(boxes_.Texts()[static_cast<qsizetype>(i)].startsWith(Str(c.texts[i])));
    EXPECT_EQ(window_->isVisible(), c.staysOpen);
    EXPECT_EQ(IsDatabaseLoaded(), c.database && c.staysOpen);
    EXPECT_EQ(window_->HasChild(), c.child);
  }
}

TEST_F(MainWindowTest, CommandLineOpensTheNamedDatabase) {
  const std::string path = File("sites/Site.srd");
  StartWith(path);
  EXPECT_EQ(window_->windowTitle(), Title(path));
  EXPECT_EQ(GetContexte().LoadSavePath(), Folder());  // not remembered
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();

  const std::string missing = File("sites/Missing.srd");
  Start(7, {Q("/prj=" + missing)});
  EXPECT_EQ(boxes_.Texts(), QStringList{Str(11) + Str(15) + Q("Unable to load\r\n" + missing + "\r\nZavo database.")});
  EXPECT_FALSE(IsDatabaseLoaded());
  EXPECT_EQ(window_->windowTitle(), Str(464));
}

TEST_F(MainWindowTest, AnEscapingExceptionIsShownAndTheProgramGoesOn) {
  Start();
  const std::function<void()> throwers[] = {
      [] { throw platform::Exception("Disk on fire"); },
      [] { throw std::runtime_error(""); },  // no message: nothing shown
      [] { throw 42; },
  };
  for (const auto& thrower : throwers) {
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, thrower);
    timer.start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !timer.isActive(); }, testwait::kPatienceMs));
    QTest::qWait(10);
  }
  EXPECT_EQ(boxes_.Texts(), QStringList{QStringLiteral("Disk on fire")});
  bool later = false;
  QTimer::singleShot(0, [&] { later = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return later; }, testwait::kPatienceMs));
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(MainWindowTest, LanguageSwitchRetitlesTheWindowAndIsRemembered) {
  std::ofstream(File("korvanex.FRA"), std::ios::binary) << "# test module\n464\t Korvanex FR \n";
  const std::string path = File("Site.srd");
  StartWith(path);
  TGestionMultiLangue* langue = window_->LanguageManager();
  EXPECT_EQ(GetContexte().LangueDefaut(), "LANGUE_ANGLAIS");
  // The module lies beside a program file of the test's own.
  langue->SetProgramFile(File("korvanex"));
  langue->BuildLanguageMenu(window_->menuBar(), 3, langue->CurrentIndex(), true);
  QAction* french = nullptr;
  for (QAction* a : langue->LanguageMenu()->actions()) {
    if (a->data().toInt() == 12) french = a;
  }
  ASSERT_NE(french, nullptr);
  french->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !langue->IsSwitching(); }, testwait::kPatienceMs));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral(" Korvanex FR ") + Q("[" + path + "]"));
  EXPECT_EQ(GetContexte().LangueDefaut(), "LANGUE_FRANCAIS");
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(MainWindowTest, AboutBoxShowsTheVersionOnceAtEveryOpening) {
  Start();
  const QString expected = QStringLiteral("Korvanex Version : ") + Q(GetContexte().VersionText());
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    Item("MenuItemAPropos")->trigger();
    auto* about = window_->findChild<TFormZvoAPropos*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Korvanex"));
    EXPECT_EQ(about->findChild<QLabel*>(QStringLiteral("LabelVersion"))->text(), expected);
    // Closed by itself, it takes its frame along and frees both.
    about->Fermer();
    WaitNoChild();
    EXPECT_TRUE(QTest::qWaitFor([this] { return Item("MenuFichier")->isEnabled(); }, testwait::kPatienceMs));
  }
}

}  // namespace
