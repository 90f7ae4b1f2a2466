// The real main window over a fixture site (support/SiteFixture.h), shown offscreen and
// active, with every box recorded, the clock fixed, the help viewer and the print dialog
// stood in for. Tests open windows through the real menu items and find controls by
// object name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrinter>
#include <QString>
#include <QTest>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/Projet.h"
#include "platform/Clock.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/PrintDialog.h"
#include "support/BoxRecorder.h"
#include "support/Patience.h"
#include "support/RunModal.h"
#include "support/SiteFixture.h"

class MainWindowFixture : public SiteFixture {
 protected:
  // The time the program reads while a test runs.
  static constexpr platform::LocalDateTime kNow{2024, 2, 1, 13, 37, 52};

  using SiteFixture::SiteFixture;

  void SetUp() override {
    SiteFixture::SetUp();
    platform::SetFixedNow(kNow);
    TFormZvoPrincipale::SetHelpOpener([](const QString&) { return true; });
    SetPrintDialogHook([this](QPrinter& printer) {
      printDialogs_.push_back({printer.docName(), printer.outputFileName()});
      if (printTo_.isEmpty()) return false;
      PrintToPdf(printer, printTo_);
      return true;
    });
    TFormZvoPrincipale::SetCommandLineForTests({QStringLiteral("korvanex")});
    window_ = std::make_unique<TFormZvoPrincipale>();
    window_->show();
    // The language menu comes with the first paint; key events need the window active.
    ASSERT_TRUE(QTest::qWaitFor([this] { return window_->LanguageManager() != nullptr; }, testwait::kPatienceMs));
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get(), testwait::kPatienceMs));
  }
  void TearDown() override {
    window_.reset();  // with the children still open; it closes the site
    SetPrintDialogHook({});
    TFormZvoPrincipale::SetHelpOpener([](const QString&) { return false; });
    TFormZvoPrincipale::SetCommandLineForTests({});
    platform::SetFixedNow(std::nullopt);
    SiteFixture::TearDown();
  }

  TFormZvoPrincipale& Window() { return *window_; }
  QAction* Item(const char* name) const {
    QAction* a = window_->Action(QString::fromLatin1(name));
    if (!a) throw std::logic_error(std::string("no menu item ") + name);
    return a;
  }
  // Runs the menu item as a click on it does; answers the child window it opened.
  template <class W>
  W* Open(const char* item) {
    Item(item)->trigger();
    return window_->findChild<W*>();
  }
  // A control of the window by object name.
  template <class T = QWidget>
  static T* Control(const QWidget* in, const char* name) {
    T* control = in->findChild<T*>(QString::fromLatin1(name));
    if (!control) throw std::logic_error(std::string("no control ") + name);
    return control;
  }
  // File, Configuration, Tools and Help, which a child window disables.
  bool MenusEnabled() const {
    for (const char* menu : {"MenuFichier", "MenuConfiguration", "MenuOutils", "MenuAide"}) {
      if (!window_->Menu(QString::fromLatin1(menu))->menuAction()->isEnabled()) return false;
    }
    return true;
  }
  // Until the closed child windows and their frames are freed and the menus follow.
  bool WaitNoChild() {
    return QTest::qWaitFor(
        [this] {
          return window_->findChildren<QMdiSubWindow*>().isEmpty() && !window_->HasChild() &&
                 Item("MenuItemQuitter")->isEnabled();
        },
        testwait::kPatienceMs);
  }
  // A key with Alt, as the user types it, to the widget with the focus.
  static void AltKey(char key) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) throw std::logic_error("no widget has the focus");
    QTest::keyClick(focus, key, Qt::AltModifier);
  }
  // A modal chooser that run opens, answered by act (support/RunModal.h).
  static ModalRun Chooser(const std::function<void()>& run, const std::function<void(QDialog&)>& act) {
    return RunModal(
        [&run] {
          run();
          return 0;
        },
        act);
  }
  // File > Save, then the site file's bytes.
  std::vector<std::uint8_t> SavedImage() {
    Item("MenuItemEnregistrer")->trigger();
    QFile file(QString::fromStdString(DatabasePath(*CurrentDatabase())));
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("the site file cannot be read");
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
  }

  // The print dialog: each time it was shown, the printer as it proposed it; it prints to
  // printTo_ as a PDF file, or is cancelled while that is empty.
  struct PrintDialogSeen {
    QString docName;
    QString outputFile;
  };
  std::vector<PrintDialogSeen> printDialogs_;
  QString printTo_;

  BoxRecorder boxes_;
  std::unique_ptr<TFormZvoPrincipale> window_;
};
