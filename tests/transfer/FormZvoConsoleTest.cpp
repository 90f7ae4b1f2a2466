// The transfer window driven as the user drives it, offscreen, against the simulated
// panel (tests/tools/panelsim) on a pseudo-terminal line behind linesim.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "serial/SlConst.h"
#include "serial/SlProtcl.h"
#include "serial/SlSelCom.h"
#include "serial/SlStrMap.h"
#include "serial/qt/QtMsgPump.h"
#include "shell/ChildFactories.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/UiText.h"
#include "shell/ZvoApplication.h"
#include "support/BoxRecorder.h"
#include "support/PanelSimFixture.h"
#include "support/Patience.h"
#include "support/QtTestMain.h"
#include "support/TempHome.h"
#include "transfer/FormZvoConsole.h"

static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kTransferMs = 120000;  // a whole transfer at 9600 baud on a loaded machine

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Bytes(const std::string& path) { return ReadWholeFile(path); }

void WriteBytes(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

// A new site saved in the folder, left open or closed.
std::string MakeSite(const std::string& folder, const std::string& name, bool keepOpen) {
  NewDatabase(name, folder);
  SaveDatabase(*CurrentDatabase());
  const std::string path = DatabasePath(*CurrentDatabase());
  if (!keepOpen) CloseDatabase();
  return path;
}

// Whether expected appears in lines in this order (other lines may come between).
::testing::AssertionResult InOrder(const QStringList& lines, const QStringList& expected) {
  qsizetype at = 0;
  for (const QString& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    if (at == lines.size()) {
      return ::testing::AssertionFailure() << "no \"" << want.toStdString() << "\" in order in:\n"
                                           << lines.join(QLatin1Char('\n')).toStdString();
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

bool StartsAny(const QStringList& lines, const QString& prefix) {
  for (const QString& line : lines) {
    if (line.startsWith(prefix)) return true;
  }
  return false;
}

// A fresh home, a main window, the boxes recorded, and the line with the panel.
class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TFormZvoConsole::SetFileDialogHook([this](QFileDialog& dialog) {
      dialogs_.push_back({dialog.objectName(), dialog.windowTitle(), dialog.directory().absolutePath(),
                          dialog.selectedFiles().value(0)});
      if (answers_.empty()) return QString();
      QString answer = answers_.front();
      answers_.erase(answers_.begin());
      return answer;
    });
  }
  void TearDown() override {
    if (console_) {
      // Idle by now, so the first close closes it.
      console_->close();
      EXPECT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
    }
    main_.reset();
    TFormZvoConsole::SetFileDialogHook({});
  }

  // Settings written before the program reads them.
  void Settings(const std::string& text) {
    fs::create_directories(fs::path(home_.SettingsFile()).parent_path());
    WriteBytes(home_.SettingsFile(), text);
  }

  void StartMain() {
    main_ = std::make_unique<TFormZvoPrincipale>();
    main_->show();
  }

  // Tools > Panel Upload / Download, as the menu does.
  TFormZvoConsole* OpenConsole() {
    if (!main_) StartMain();
    main_->TeleChargement();
    console_ = main_->findChild<TFormZvoConsole*>();
    return console_.data();
  }

  QStringList Log() const { return console_->MemoLog()->toPlainText().split(QLatin1Char('\n')); }
  bool WaitIdle(int ms = kTransferMs) {
    return QTest::qWaitFor([this] { return console_ && console_->State() == TFormZvoConsole::kIdle; }, ms);
  }
  bool WaitLog(const QString& line, int ms = kTransferMs) {
    return QTest::qWaitFor([&] { return console_ && Log().contains(line); }, ms);
  }
  // The transfer ended and its port is closed.
  bool WaitDone(int ms = kTransferMs) { return WaitIdle(ms) && WaitLog(QStringLiteral("Close COM7"), 10000); }

  struct DialogSeen {
    QString name;
    QString title;
    QString folder;
    QString selected;
  };

  TempHome home_;
  BoxRecorder boxes_;
  PanelSimLine panel_;
  std::unique_ptr<TFormZvoPrincipale> main_;
  QPointer<TFormZvoConsole> console_;
  std::vector<DialogSeen> dialogs_;
  std::vector<QString> answers_;
};

// ---- helpers that need no line ---------------------------------------------------------

TEST(PortListTest, ListsTheExistingComEntriesSortedByText) {
  char pattern[] = "/tmp/kvx-ports-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  for (const char* name : {"COM7", "COM10", "COM2"}) fs::create_symlink("/dev/null", dir + "/" + name);
  fs::create_symlink(dir + "/gone", dir + "/COM3");  // leads nowhere
  for (const char* name : {"com4", "COM05", "COMX", "notes"}) WriteBytes(dir + "/" + name, "");
  const char* old = std::getenv("KORVANEX_SERIAL_DIR");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("KORVANEX_SERIAL_DIR", dir.c_str(), 1);

  std::vector<PortListItem> ports = ListSerialPorts();

  saved ? ::setenv("KORVANEX_SERIAL_DIR", saved->c_str(), 1) : ::unsetenv("KORVANEX_SERIAL_DIR");
  fs::remove_all(dir);
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].text, "COM10");
  EXPECT_EQ(ports[0].number, 10);
  EXPECT_EQ(ports[1].text, "COM2");
  EXPECT_EQ(ports[1].number, 2);
  EXPECT_EQ(ports[2].text, "COM7");
  EXPECT_EQ(ports[2].number, 7);
}

TEST(OfferedNameTest, KeepsNothingThatLeavesTheFolder) {
  struct Case {
    std::string stored;
    QString offered;
  };
  const Case cases[] = {
      {"Plant 4", "Plant 4"},
      {"../../etc/passwd", "etcpasswd"},
      {"..\\..\\boot.ini", "boot.ini"},
      {"a/b\\c", "abc"},
      {std::string("Si\x01te\x1F\x7F", 7), "Site"},
      {"....", ""},
      {".", ""},
      {"...x", ".x"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeOfferedFileName(c.stored), c.offered) << c.stored;
}

class MoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-move-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    WriteBytes(Path("Database.tmp"), "received");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(MoveTest, TheReceivedFileItselfIsLeftAlone) {
  std::string error;
  EXPECT_TRUE(MoveReceivedFile(Path("Database.tmp"), Path("Database.tmp"), &error));
  EXPECT_TRUE(MoveReceivedFile(Path("Database.tmp"), dir_ + "/./sub/../Database.tmp", &error));
  EXPECT_EQ(Bytes(Path("Database.tmp")), "received");
}

TEST_F(MoveTest, ReplacesAnOlderFileOfTheChosenName) {
  WriteBytes(Path("Site.srd"), "older");
  std::string error;
  ASSERT_TRUE(MoveReceivedFile(Path("Database.tmp"), Path("Site.srd"), &error)) << error;
  EXPECT_EQ(Bytes(Path("Site.srd")), "received");
  EXPECT_FALSE(fs::exists(Path("Database.tmp")));
}

TEST_F(MoveTest, AFailedMoveIsReportedAndKeepsTheReceivedFile) {
  std::string error;
  EXPECT_FALSE(MoveReceivedFile(Path("Database.tmp"), Path("missing/Site.srd"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Bytes(Path("Database.tmp")), "received");
}

TEST_F(MoveTest, MovesAcrossFileSystemsByCopying) {
  struct stat here {}, shm {};
  if (::stat(dir_.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const std::string target = "/dev/shm/kvx-move-" + std::to_string(::getpid()) + ".srd";
  std::string error;
  ASSERT_TRUE(MoveReceivedFile(Path("Database.tmp"), target, &error)) << error;
  EXPECT_EQ(Bytes(target), "received");
  EXPECT_FALSE(fs::exists(Path("Database.tmp")));
  fs::remove(target);
}

// ---- the window -------------------------------------------------------------------------

TEST_F(ConsoleTest, OffersTheRoadsOfTheDatabaseState) {
  ASSERT_TRUE(panel_.StartLine());
  Settings("[GENERAL]\nCOM=7\n");
  StartMain();
  {
    OpenConsole();
    ASSERT_TRUE(console_);
    EXPECT_EQ(console_->windowTitle(), Str(48));
    EXPECT_FALSE(console_->BitBtnTransferer()->isVisibleTo(console_));
    EXPECT_TRUE(console_->BitBtnLanguage()->isVisibleTo(console_));
    EXPECT_TRUE(console_->BitBtnLanguage()->isEnabled());
    EXPECT_TRUE(console_->BitBtnRecevoir()->isEnabled());
    EXPECT_EQ(console_->BitBtnFermer()->text(), Str(50));
    EXPECT_EQ(console_->CBport()->currentText(), "COM7");
    // While it is open the menus are off: one child window at a time.
    EXPECT_FALSE(main_->Action(QStringLiteral("MenuItemConsole"))->isEnabled());
    console_->BitBtnFermer()->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
    // The installer's Upload opens the same window.
    main_->TraitementUploadInstaller();
    console_ = main_->findChild<TFormZvoConsole*>();
    ASSERT_TRUE(console_);
    EXPECT_EQ(console_->windowTitle(), Str(48));
    console_->close();
    ASSERT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
  }
  MakeSite(home_.Path(), "Site", true);
  OpenConsole();
  ASSERT_TRUE(console_);
  EXPECT_EQ(console_->windowTitle(), Str(49));
  EXPECT_TRUE(console_->BitBtnTransferer()->isVisibleTo(console_));
  EXPECT_TRUE(console_->BitBtnTransferer()->isEnabled());
  EXPECT_FALSE(console_->BitBtnLanguage()->isVisibleTo(console_));
  EXPECT_FALSE(console_->BitBtnRecevoir()->isEnabled());
}

TEST_F(ConsoleTest, TheChosenPortBecomesTheSetting) {
  ASSERT_TRUE(panel_.StartLine());
  fs::create_symlink("/dev/null", panel_.Dir() + "/COM12");
  Settings("[GENERAL]\nCOM=12\n");
  OpenConsole();
  ASSERT_EQ(console_->CBport()->count(), 2);
  EXPECT_EQ(console_->CBport()->currentText(), "COM12");
  console_->CBport()->setCurrentIndex(console_->CBport()->findText(QStringLiteral("COM7")));
  EXPECT_EQ(GetContexte().ComPort(), 7);
}

// Download: the site is saved, the request answered, the file sent; trace and log are
// written at every close of the port, not only the first.
TEST_F(ConsoleTest, DownloadsTheSavedSite) {
  ASSERT_TRUE(panel_.StartLine());
  Settings("[GENERAL]\nCOM=7\nTRACE=1\nLOG=1\n");
  StartMain();
  const std::string site = MakeSite(home_.Path(), "Site", true);
  const std::string folder = GetContexte().SettingsFolder();
  OpenConsole();
  ASSERT_TRUE(console_);
  int highest = 0;
  QObject::connect(console_->ProgressBar(), &QProgressBar::valueChanged, console_,
                   [&highest](int v) { highest = std::max(highest, v); });

  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    fs::remove(folder + "/Zavo.trc");
    fs::remove(folder + "/Zavo.log");
    fs::remove(site.substr(0, site.size() - 4) + ".bak");
    const std::string received = "got" + std::to_string(run) + ".srd";
    highest = 0;
    // The port first: bytes due to a side nobody holds open are lost.
    console_->BitBtnTransferer()->click();
    ASSERT_TRUE(panel_.StartPanel({"--type", "7", "download", received}));
    EXPECT_EQ(console_->BitBtnFermer()->text(), Str(51));
    EXPECT_EQ(console_->ProgressBar()->maximum(), 10322);
    ASSERT_TRUE(WaitDone()) << Log().join('\n').toStdString();
    EXPECT_EQ(panel_.WaitPanel(30s), 0) << panel_.PanelLog();

    const std::string got = Bytes(panel_.File(received));
    ASSERT_EQ(got.size(), 10368u);
    EXPECT_EQ(got.substr(0, 10322), Bytes(site));
    EXPECT_EQ(got.substr(10322), std::string(46, '\x1A'));
    EXPECT_TRUE(fs::exists(site.substr(0, site.size() - 4) + ".bak"));
    const QString finish = Q(console_->Protocol()->StatusMsg(console_->Protocol()->ProtocolStatus()));
    EXPECT_TRUE(InOrder(Log(), {"Open COM7", "Waiting for database transmission...",
                                "Database has been successfully transmitted.", finish, "Close COM7"}))
        << panel_.PanelLog() << panel_.Timing();
    EXPECT_EQ(Log().indexOf(finish) + 1, Log().indexOf(QStringLiteral("Close COM7")));
    EXPECT_EQ(highest, 10322);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(folder + "/Zavo.trc"); }, testwait::kPatienceMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(folder + "/Zavo.log"); }, testwait::kPatienceMs));
    EXPECT_EQ(console_->BitBtnFermer()->text(), Str(50));
    EXPECT_TRUE(console_->BitBtnTransferer()->isEnabled());
  }
}

// A panel that computes another variant refuses the answer with CAN CAN at once, before
// the sender has started: the cancel is kept for it, so the conflict shows without a
// single handshake time-out (which would end with "Fatal time out" ten handshakes later).
TEST_F(ConsoleTest, APanelOfAnotherVariantIsAConflict) {
  ASSERT_TRUE(panel_.StartLine());
  Settings("[GENERAL]\nCOM=7\n");
  StartMain();
  MakeSite(home_.Path(), "Site", true);
  OpenConsole();
  console_->BitBtnTransferer()->click();
  ASSERT_TRUE(panel_.StartPanel({"--type", "4", "download", "got.srd"}));
  ASSERT_TRUE(WaitDone()) << Log().join('\n').toStdString();
  EXPECT_EQ(panel_.WaitPanel(30s), 102) << panel_.PanelLog();
  EXPECT_TRUE(InOrder(Log(), {"Open COM7", "Waiting for database transmission...",
                              "Conflict: incompatible equipment", Q(ErrorMsg(ecCancelRequested)), "Close COM7"}))
      << Log().join('\n').toStdString();
}

TEST_F(ConsoleTest, UploadsASiteIntoTheChosenFile) {
  ASSERT_TRUE(panel_.StartLine());
  Settings("[GENERAL]\nCOM=7\n");
  StartMain();
  const std::string sent = MakeSite(panel_.Dir(), "Sent", false);
  std::string bytes = Bytes(sent);
  bytes.replace(9, 20, std::string("../Pl/a\\nt\x02", 12) + std::string(8, '\0'));
  WriteBytes(sent, bytes);
  const std::string uploads = home_.Sub("uploads");
  const std::string chosen = home_.Sub("chosen/Plant.srd");
  fs::create_directories(uploads);
  fs::create_directories(fs::path(chosen).parent_path());
  GetContexte().SetUploadedPath(uploads + "/x.srd");
  answers_.push_back(Q(chosen));

  OpenConsole();
  console_->BitBtnRecevoir()->click();
  ASSERT_TRUE(panel_.StartPanel({"--type", "7", "upload", "Sent.srd"}));
  ASSERT_TRUE(WaitDone()) << Log().join('\n').toStdString();
  EXPECT_EQ(panel_.WaitPanel(30s), 0) << panel_.PanelLog();

  EXPECT_TRUE(InOrder(Log(), {"Open COM7", "Waiting for incoming database...",
                              "Incoming database successfully received.", "Close COM7"}));
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].title, Str(466));
  EXPECT_EQ(dialogs_[0].folder, Q(uploads));
  // The offered name, with the default extension the dialog adds.
  EXPECT_EQ(QFileInfo(dialogs_[0].selected).fileName(), "Plant.srd");
  EXPECT_EQ(Bytes(chosen), bytes);
  EXPECT_FALSE(fs::exists(uploads + "/Database.tmp"));
  EXPECT_EQ(GetContexte().UploadedPath(), home_.Sub("chosen"));
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(ConsoleTest, UploadVariants) {
  struct Case {
    const char* what;
    bool manual;
    std::size_t size;
    bool tmpExists;
    QString box;
    const char* landsAs;
    std::size_t landedSize;
    const char* chosen;  // the name given in the save dialog; none: cancelled
  };
  const Case cases[] = {
      {"manually modified", true, 10322, false, Str(77), "Database.tmp", 10322, nullptr},
      {"Database.tmp taken", false, 10322, true, QString(), "$atabase.tmp", 10322, nullptr},
      {"too short", false, 10000, false, QStringLiteral("Wrong file format"), "Database.tmp", 10112, nullptr},
      {"move fails", false, 10322, false, QString(), "Database.tmp", 10322, "missing/Site.srd"},
  };
  ASSERT_TRUE(panel_.StartLine());
  Settings("[GENERAL]\nCOM=7\n");
  StartMain();
  const std::string uploads = home_.Sub("uploads");
  fs::create_directories(uploads);
  GetContexte().SetUploadedPath(uploads + "/x.srd");
  const std::string site = Bytes(MakeSite(panel_.Dir(), "Base", false));
  OpenConsole();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& e : fs::directory_iterator(uploads)) fs::remove(e.path());
    boxes_.Clear();
    dialogs_.clear();
    std::string bytes = site;
    bytes[33] = c.manual ? 1 : 0;
    bytes.resize(c.size);
    WriteBytes(panel_.File("Sent.srd"), bytes);
    if (c.tmpExists) WriteBytes(uploads + "/Database.tmp", "older");
    if (c.chosen) answers_.push_back(Q(uploads + "/" + c.chosen));

    console_->BitBtnRecevoir()->click();
    ASSERT_TRUE(panel_.StartPanel({"--type", "7", "upload", "Sent.srd"}));
    ASSERT_TRUE(WaitDone()) << Log().join('\n').toStdString();
    EXPECT_EQ(panel_.WaitPanel(30s), 0) << panel_.PanelLog();

    if (c.box.isEmpty()) {
      EXPECT_TRUE(boxes_.Texts().isEmpty());
    } else {
      EXPECT_EQ(boxes_.Texts(), QStringList{c.box});
    }
    // The save dialog was cancelled, or the move failed: the received file stays where it
    // landed, and a failed move says so.
    EXPECT_EQ(dialogs_.size(), c.size == 10322 ? 1u : 0u);
    EXPECT_EQ(Log().contains(Str(91)), c.chosen != nullptr) << Log().join('\n').toStdString();
    EXPECT_EQ(Bytes(uploads + "/" + c.landsAs).size(), c.landedSize);
    if (c.tmpExists) {
      EXPECT_EQ(Bytes(uploads + "/Database.tmp"), "older");
    }
  }
}

TEST_F(ConsoleTest, SendsALanguageFile) {
  ASSERT_TRUE(panel_.StartLine({"--baud", "38400"}));
  Settings("[GENERAL]\nCOM=7\n");
  StartMain();
  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>((i * 7 + 3) & 0xFF);
  const std::string file = home_.Sub("Panel.bin");
  WriteBytes(file, data);
  answers_.push_back(Q(file));
  OpenConsole();
  console_->BitBtnLanguage()->click();
  ASSERT_TRUE(panel_.StartPanel({"language", "got.bin"}));
  EXPECT_EQ(console_->ProgressBar()->maximum(), 3000);
  ASSERT_TRUE(WaitDone()) << Log().join('\n').toStdString();
  EXPECT_EQ(panel_.WaitPanel(30s), 0) << panel_.PanelLog();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].title, Str(63));
  EXPECT_EQ(dialogs_[0].folder, Q(GetContexte().SettingsFolder()));
  const std::string got = Bytes(panel_.File("got.bin"));
  ASSERT_GE(got.size(), data.size());
  EXPECT_EQ(got.substr(0, data.size()), data);
  EXPECT_TRUE(InOrder(Log(), {"Open COM7", "Waiting for language file transmission...",
                              "Language file has been successfully transmitted.", "Close COM7"}))
      << panel_.PanelLog() << panel_.Timing() << panel_.LineLog();
}

// Only a cancelled file choice closes the window; later failures stay in its log.
TEST_F(ConsoleTest, LanguageRoadFailures) {
  ASSERT_TRUE(panel_.StartLine());
  Settings("[GENERAL]\nCOM=7\n");
  StartMain();
  const std::string file = home_.Sub("Panel.bin");
  WriteBytes(file, std::string(300, 'L'));

  OpenConsole();
  answers_.push_back(Q(home_.Sub("missing.bin")));
  console_->BitBtnLanguage()->click();
  EXPECT_TRUE(console_);
  EXPECT_EQ(Log(), QStringList{Str(90)});
  EXPECT_EQ(console_->State(), TFormZvoConsole::kIdle);

  {
    // The port is busy.
    const int fd = ::open(panel_.ComPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    answers_.push_back(Q(file));
    console_->BitBtnLanguage()->click();
    ::close(fd);
    ASSERT_TRUE(console_);
    EXPECT_EQ(Log(), (QStringList{"Unable to initialize port COM7 :", "May be another application already locks it."}));
    EXPECT_TRUE(console_->BitBtnLanguage()->isEnabled());
  }

  console_->BitBtnLanguage()->click();  // no answer: the dialog is cancelled
  EXPECT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
}

// The port taken by another program, with a lock or by a plain cat of the device that takes
// none, and no port at all: the port message, and no open.
TEST_F(ConsoleTest, APortThatCannotOpen) {
  struct Case {
    const char* what;
    bool linePresent;
    const char* holder;  // a shell script run with the port's path as $0
    QString first;
  };
  // The locking process is the one that stays: exec keeps the lock in one process, which
  // Stop ends.
  const char* flocks = "exec 9<>\"$0\" && flock -x 9 && exec sleep 60";
  // A probe of the port that comes before cat leaves the line set to return at once with
  // nothing, which cat reads as the end: so the line is opened first (no probe touches it
  // then) and set to wait for a byte.
  const char* catOnly = "exec 3<\"$0\" && stty min 1 time 0 <&3 && exec cat <&3";
  for (const Case& c : {Case{"held", true, flocks, QStringLiteral("Unable to initialize port COM7 :")},
                        Case{"held by cat, no lock", true, catOnly,
                             QStringLiteral("Unable to initialize port COM7 :")},
                        Case{"no port", false, "", QStringLiteral("Unable to initialize port  :")}}) {
    SCOPED_TRACE(c.what);
    PanelSimLine line;
    ASSERT_TRUE(!c.linePresent || line.StartLine());
    Settings("[GENERAL]\nCOM=7\n");
    main_ = std::make_unique<TFormZvoPrincipale>();
    MakeSite(home_.Path(), "Site", true);
    OpenConsole();
    ASSERT_TRUE(console_);
    ChildProcess holder;
    if (c.linePresent) {
      ASSERT_TRUE(holder.Start({"sh", "-c", c.holder, line.ComPath()},
                               {"", line.Dir() + "/holder.out", line.Dir() + "/holder.err", ""}));
      ASSERT_TRUE(QTest::qWaitFor([&] { return IsPortInUse(7); }, testwait::kPatienceMs))
          << "holder: " << ReadWholeFile(line.Dir() + "/holder.err") << "\nline: " << line.LineLog();
    }
    console_->BitBtnTransferer()->click();
    EXPECT_EQ(Log(), (QStringList{c.first, "May be another application already locks it."}));
    EXPECT_FALSE(StartsAny(Log(), QStringLiteral("Open COM")));
    EXPECT_EQ(console_->State(), TFormZvoConsole::kIdle);
    EXPECT_TRUE(console_->BitBtnTransferer()->isEnabled());
    holder.Stop();
    console_->close();
    ASSERT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
    main_.reset();
  }
}

// Closing during a transfer aborts it and keeps the window; a second close closes it.
TEST_F(ConsoleTest, AbortWhileWaitingOrTransferring) {
  enum Moment { kRequest, kHandshake, kBlocks };
  for (Moment moment : {kRequest, kHandshake, kBlocks}) {
    const bool transferring = moment == kBlocks;
    SCOPED_TRACE(moment == kRequest ? "waiting for the request" : moment == kHandshake ? "waiting for the handshake" : "transferring");
    PanelSimLine line;
    ASSERT_TRUE(line.StartLine({"--baud", "2400"}));
    Settings("[GENERAL]\nCOM=7\n");
    main_ = std::make_unique<TFormZvoPrincipale>();
    MakeSite(home_.Path(), "Site", true);
    OpenConsole();
    ASSERT_TRUE(console_);
    std::vector<int> shown;
    QObject::connect(console_->ProgressBar(), &QProgressBar::valueChanged, console_,
                     [&shown](int v) { shown.push_back(v); });
    console_->BitBtnTransferer()->click();
    if (transferring) {
      ASSERT_TRUE(line.StartPanel({"--type", "7", "download", "got.srd"}));
    } else if (moment == kHandshake) {
      // The request answered, then a panel that never starts its receiver.
      ASSERT_TRUE(line.StartPanel({"--type", "7", "--linger", "60000", "request"}));
    }
    ASSERT_TRUE(WaitLog(QStringLiteral("Open COM7"), 10000));
    if (moment == kHandshake) {
      ASSERT_TRUE(WaitLog(QStringLiteral("Waiting for database transmission..."), kTransferMs));
    } else if (transferring) {
      ASSERT_TRUE(QTest::qWaitFor([this] { return console_->ProgressBar()->value() >= 512; }, kTransferMs))
          << Log().join('\n').toStdString();
    } else {
      // While the request is awaited the bar blinks between one step and nothing.
      ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 3; }, testwait::kPatienceMs));
      EXPECT_EQ(shown[0], 128);
      EXPECT_EQ(shown[1], 0);
      EXPECT_EQ(shown[2], 128);
    }
    console_->BitBtnFermer()->click();
    ASSERT_TRUE(console_);
    ASSERT_TRUE(WaitLog(QStringLiteral("Close COM7"), 10000));
    QStringList log = Log();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.mid(log.size() - 2), (QStringList{"Transfer aborted by user.", "Close COM7"}));
    // Nothing conflicted and nothing failed: the user stopped it.
    EXPECT_FALSE(log.contains(QStringLiteral("Conflict: incompatible equipment"))) << log.join('\n').toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Database transmission failed."))) << log.join('\n').toStdString();
    EXPECT_EQ(console_->State(), TFormZvoConsole::kIdle);
    EXPECT_EQ(console_->BitBtnFermer()->text(), Str(50));
    if (transferring) {
      EXPECT_NE(line.WaitPanel(30s), 0);
    }
    console_->BitBtnFermer()->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
    main_.reset();
    CloseDatabase();
  }
}

}  // namespace

int main(int argc, char** argv) {
  // As the program sets itself up: serial notifications through the Qt event loop, and
  // the transfer window behind the Tools menu.
  return qttest::RunTests(argc, argv, [] {
    InstallQtMessagePump();
    RegisterChildFactory(ChildKind::Transfer,
                         [](TFormZvoPrincipale* owner, bool installer) { new TFormZvoConsole(owner, installer); });
  });
}
