// Every file dialog and every transfer gives back the descriptors it opened: repeating one
// must not grow the process's open descriptors. The first run is a warm-up, since Qt keeps
// a few files of its own open once it first needs them (the MIME and icon theme caches).
// The dialogs are the real ones, shown and answered as a user would answer them.
#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "model/Contexte.h"
#include "model/Projet.h"
#include "model/Zavo.h"
#include "serial/qt/QtMsgPump.h"
#include "shell/ChildFactories.h"
#include "shell/FormZvoPrincipale.h"
#include "support/BoxRecorder.h"
#include "support/PanelSimFixture.h"
#include "support/Patience.h"
#include "support/QtTestMain.h"
#include "support/TempHome.h"
#include "transfer/FormZvoConsole.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRepeats = 3;
constexpr int kTransferMs = 120000;  // a whole transfer on a loaded machine

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The process's open descriptors and what each leads to.
using Descriptors = std::map<int, std::string>;

Descriptors OpenDescriptors() {
  Descriptors fds;
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return fds;
  const int own = ::dirfd(dir);
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const int fd = std::stoi(e->d_name);
    if (fd == own) continue;
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    char target[PATH_MAX] = {};
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    fds[fd] = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string("?");
  }
  ::closedir(dir);
  return fds;
}

// The descriptors that are new in after, with their targets.
std::string Growth(const Descriptors& before, const Descriptors& after) {
  std::ostringstream out;
  out << before.size() << " descriptors after the first run, " << after.size() << " after the repeats; new:";
  for (const auto& [fd, target] : after) {
    const auto it = before.find(fd);
    if (it == before.end() || it->second != target) out << "\n  " << fd << " -> " << target;
  }
  return out.str();
}

// Whether the repeats left no more descriptors than the first run. A loaded machine may
// make Qt start one more thread of its own (an event-dispatcher eventfd) at some point;
// a leak comes with every repeat.
bool NoLeak(const Descriptors& warm, const Descriptors& after) {
  const auto eventFds = [](const Descriptors& fds) {
    return static_cast<int>(std::count_if(fds.begin(), fds.end(), [](const auto& fd) {
      return fd.second == "anon_inode:[eventfd]";
    }));
  };
  const int warmEvents = eventFds(warm), afterEvents = eventFds(after);
  const auto others = [](const Descriptors& fds, int events) { return static_cast<int>(fds.size()) - events; };
  return others(after, afterEvents) <= others(warm, warmEvents) && afterEvents - warmEvents < kRepeats;
}

// Answers each modal file dialog as a user would: the name typed and OK, or Cancel when no
// name is set. It answers once the dialog has listed its folder (or after a while when the
// listing came before it looked), so that what the listing opens belongs to each use.
class FileDialogAnswerer {
 public:
  static constexpr int kPollMs = 10;
  static constexpr int kListingPolls = 200;

  FileDialogAnswerer() {
    timer_.setInterval(kPollMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  void Answer(const std::string& path) { answer_ = Q(path); }
  int Shown() const { return shown_; }
  int Others() const { return others_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    auto* file = qobject_cast<QFileDialog*>(modal);
    if (!file) {
      // A dialog's own message (e.g. a name it refuses) would wait forever.
      if (auto* other = qobject_cast<QDialog*>(modal); other && other->isVisible()) {
        ++others_;
        other->done(QDialog::Rejected);
      }
      return;
    }
    if (!file->isVisible()) return;
    if (file != current_) {
      current_ = file;
      listed_ = false;
      polls_ = 0;
      if (auto* model = file->findChild<QFileSystemModel*>()) {
        QObject::connect(model, &QFileSystemModel::directoryLoaded, file, [this] { listed_ = true; });
      }
    }
    if (!listed_ && ++polls_ < kListingPolls) return;
    current_ = nullptr;
    ++shown_;
    QDialog* dialog = file;  // QFileDialog's accept checks the name as its OK button does
    if (answer_.isEmpty()) {
      dialog->reject();
      return;
    }
    // selectFile drops the offered file's selection, which would win over a typed name, but
    // leaves a name field that has the focus alone: the name is typed into it as well.
    file->selectFile(answer_);
    if (auto* name = file->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(answer_);
    dialog->accept();
    if (dialog->isVisible()) {
      ++others_;
      dialog->done(QDialog::Rejected);
    }
  }

  QTimer timer_;
  QString answer_;
  QPointer<QFileDialog> current_;
  bool listed_ = false;
  int polls_ = 0;
  int shown_ = 0;
  int others_ = 0;
};

// Qt draws and scales images on the threads of its global pool, each of which holds an
// event-dispatcher descriptor, and ends a thread after 30 s without work. Those coming and
// going would hide a leak or fake one: every thread of the pool is started once and kept.
void KeepEveryPoolThread() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);
  const int threads = pool->maxThreadCount();
  QSemaphore started;
  QSemaphore release;
  for (int i = 0; i < threads; ++i) {
    pool->start([&] {
      started.release();
      release.acquire();
    });
  }
  started.acquire(threads);  // each task holds a thread of its own
  release.release(threads);
  pool->waitForDone();
}

// A fresh home, the main window, the line with the panel, and the file dialogs answered.
class DescriptorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseConsole();
    main_.reset();
    EXPECT_EQ(dialogs_.Others(), 0) << "a dialog refused its answer or showed a message";
  }

  void StartMain(const std::string& settings = "[GENERAL]\nCOM=7\n") {
    fs::create_directories(fs::path(home_.SettingsFile()).parent_path());
    std::ofstream(home_.SettingsFile(), std::ios::binary | std::ios::trunc) << settings;
    TFormZvoPrincipale::SetCommandLineForTests({QStringLiteral("korvanex")});
    main_ = std::make_unique<TFormZvoPrincipale>();
    main_->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return main_->LanguageManager() != nullptr; }, testwait::kPatienceMs));
  }
  // The main window and the line with the panel's side free (an unpaced line).
  void StartWithLine(const std::string& settings = "[GENERAL]\nCOM=7\n") {
    ASSERT_TRUE(panel_.StartLine({"--baud", "0"})) << panel_.LineLog();
    StartMain(settings);
  }
  void SiteIn(const std::string& folder, const std::string& name, bool keepOpen) {
    NewDatabase(name, folder);
    SaveDatabase(*CurrentDatabase());
    if (!keepOpen) CloseDatabase();
    main_->MiseAJourControle();
  }

  void OpenConsole() {
    main_->TeleChargement();
    console_ = main_->findChild<TFormZvoConsole*>();
    ASSERT_TRUE(console_);
  }
  void CloseConsole() {
    if (!console_) return;
    console_->close();
    EXPECT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
  }

  QStringList Log() const {
    return console_ ? console_->MemoLog()->toPlainText().split(QLatin1Char('\n')) : QStringList{"(window closed)"};
  }
  std::string LogText() const { return Log().join(QLatin1Char('\n')).toStdString(); }
  bool WaitLog(const QString& line) {
    return QTest::qWaitFor([&] { return console_ && Log().contains(line); }, kTransferMs);
  }
  // The transfer ended and its port is closed.
  bool WaitDone() {
    return QTest::qWaitFor(
        [this] {
          return console_ && console_->State() == TFormZvoConsole::kIdle && Log().contains(QStringLiteral("Close COM7"));
        },
        kTransferMs);
  }

  // Runs action once, then kRepeats times more: the repeats must leave no more descriptors
  // open than the first run did. One that a finishing thread closes a little later is
  // waited for.
  void ExpectNoGrowth(const std::function<void()>& action) {
    action();
    if (HasFatalFailure()) return;
    const Descriptors warm = OpenDescriptors();
    for (int i = 1; i <= kRepeats; ++i) {
      SCOPED_TRACE("repeat " + std::to_string(i));
      action();
      if (HasFatalFailure()) return;
    }
    Descriptors after;
    const bool settled = QTest::qWaitFor(
        [&] {
          after = OpenDescriptors();
          return NoLeak(warm, after);
        },
        testwait::kPatienceMs);
    EXPECT_TRUE(settled) << Growth(warm, after);
  }

  TempHome home_;
  BoxRecorder boxes_;
  PanelSimLine panel_;
  FileDialogAnswerer dialogs_;
  std::unique_ptr<TFormZvoPrincipale> main_;
  QPointer<TFormZvoConsole> console_;
};

// File > Open, the site chosen; closed again, so that Open is offered again.
TEST_F(DescriptorTest, TheOpenDialog) {
  StartMain();
  SiteIn(home_.Path(), "Site", false);
  dialogs_.Answer(home_.Sub("Site.srd"));
  ExpectNoGrowth([&] {
    const int shown = dialogs_.Shown();
    main_->Action(QStringLiteral("MenuItemOuvrir"))->trigger();
    ASSERT_EQ(dialogs_.Shown(), shown + 1);
    ASSERT_TRUE(IsDatabaseLoaded());
    CloseDatabase();
    main_->MiseAJourControle();
  });
}

TEST_F(DescriptorTest, TheSaveAsDialog) {
  StartMain();
  SiteIn(home_.Path(), "Site", true);
  const std::string copy = home_.Sub("Copy.srd");
  dialogs_.Answer(copy);
  ExpectNoGrowth([&] {
    const int shown = dialogs_.Shown();
    fs::remove(copy);
    main_->Action(QStringLiteral("MenuItemEnrSous"))->trigger();
    ASSERT_EQ(dialogs_.Shown(), shown + 1);
    ASSERT_TRUE(fs::exists(copy)) << boxes_.Texts().join('|').toStdString();
  });
}

// The transfer window's language-file dialog, cancelled: the window closes with it, so each
// run also opens and closes the window.
TEST_F(DescriptorTest, TheLanguageFileDialogCancelled) {
  StartWithLine();
  ExpectNoGrowth([&] {
    OpenConsole();
    const int shown = dialogs_.Shown();
    console_->BitBtnLanguage()->click();
    ASSERT_EQ(dialogs_.Shown(), shown + 1);
    ASSERT_TRUE(QTest::qWaitFor([this] { return console_.isNull(); }, testwait::kPatienceMs));
  });
}

// The dialog, then the file sent, in one open window.
TEST_F(DescriptorTest, ALanguageFileChosenAndSent) {
  StartWithLine();
  const std::string file = home_.Sub("Panel.bin");
  std::ofstream(file, std::ios::binary) << std::string(3000, 'L');
  dialogs_.Answer(file);
  OpenConsole();
  ExpectNoGrowth([&] {
    const int shown = dialogs_.Shown();
    console_->BitBtnLanguage()->click();
    ASSERT_EQ(dialogs_.Shown(), shown + 1);
    ASSERT_TRUE(panel_.StartPanel({"language", "got.bin"}));
    ASSERT_TRUE(WaitDone()) << LogText();
    ASSERT_EQ(panel_.WaitPanel(testwait::kPatience), 0) << panel_.PanelLog();
    ASSERT_TRUE(Log().contains(QStringLiteral("Language file has been successfully transmitted."))) << LogText();
  });
}

// With the port's trace and log written at each close.
TEST_F(DescriptorTest, ADownload) {
  StartWithLine("[GENERAL]\nCOM=7\nTRACE=1\nLOG=1\n");
  SiteIn(home_.Path(), "Site", true);
  OpenConsole();
  ExpectNoGrowth([&] {
    console_->BitBtnTransferer()->click();
    ASSERT_TRUE(panel_.StartPanel({"--type", "7", "download", "got.srd"}));
    ASSERT_TRUE(WaitDone()) << LogText();
    ASSERT_EQ(panel_.WaitPanel(testwait::kPatience), 0) << panel_.PanelLog();
    ASSERT_TRUE(Log().contains(QStringLiteral("Database has been successfully transmitted."))) << LogText();
  });
  EXPECT_TRUE(fs::exists(GetContexte().SettingsFolder() + "/Zavo.trc"));
}

// Aborted while the handshake is awaited: the port closes by another road.
TEST_F(DescriptorTest, AnAbortedDownload) {
  StartWithLine();
  SiteIn(home_.Path(), "Site", true);
  OpenConsole();
  ExpectNoGrowth([&] {
    console_->BitBtnTransferer()->click();
    ASSERT_TRUE(panel_.StartPanel({"--type", "7", "--linger", "60000", "request"}));
    ASSERT_TRUE(WaitLog(QStringLiteral("Waiting for database transmission..."))) << LogText();
    console_->BitBtnFermer()->click();
    ASSERT_TRUE(WaitDone()) << LogText();
    ASSERT_TRUE(Log().contains(QStringLiteral("Transfer aborted by user."))) << LogText();
    panel_.StopPanel();
  });
}

// The site received, then saved through the save dialog, in one open window.
TEST_F(DescriptorTest, AnUploadSavedAs) {
  StartWithLine();
  SiteIn(panel_.Dir(), "Sent", false);
  const std::string chosen = home_.Sub("Plant.srd");
  dialogs_.Answer(chosen);
  OpenConsole();
  ExpectNoGrowth([&] {
    const int shown = dialogs_.Shown();
    fs::remove(chosen);
    console_->BitBtnRecevoir()->click();
    ASSERT_TRUE(panel_.StartPanel({"--type", "7", "upload", "Sent.srd"}));
    ASSERT_TRUE(WaitDone()) << LogText();
    ASSERT_EQ(panel_.WaitPanel(testwait::kPatience), 0) << panel_.PanelLog();
    ASSERT_EQ(dialogs_.Shown(), shown + 1);
    ASSERT_TRUE(fs::exists(chosen)) << LogText();
  });
}

}  // namespace

int main(int argc, char** argv) {
  // As the program sets itself up: serial notifications through the Qt event loop, and
  // the transfer window behind the Tools menu.
  return qttest::RunTests(argc, argv, [] {
    KeepEveryPoolThread();
    InstallQtMessagePump();
    RegisterChildFactory(ChildKind::Transfer,
                         [](TFormZvoPrincipale* owner, bool installer) { new TFormZvoConsole(owner, installer); });
  });
}
