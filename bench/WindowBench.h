// Opening an editor window on the full site (FullSite.h), as the user opens it: from its
// menu item to the window shown in the MDI area of the real main window, offscreen. Two
// figures a run, from the menu item's trigger:
//   built:   the item's handler returned: the window constructed, filled from the site,
//            put into the MDI area and shown, the menus disabled;
//   painted: the event loop's pass in which the window got its first paint returned: the
//            events its show posted processed and the window drawn.
// Between runs the window closes without storing (Cancel) and its frame is gone before the
// next opening.
// The first opening (cold: widget classes, fonts, style) is shown apart and counted too.
#pragma once

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "FullSite.h"
#include "editors/EditorWindows.h"
#include "model/Projet.h"
#include "shell/ChildForm.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/PrintDialog.h"
#include "shell/ZvoApplication.h"
#include "support/BoxRecorder.h"
#include "support/Patience.h"
#include "support/TempHome.h"

namespace windowbench {

using Clock = std::chrono::steady_clock;

// Pause before each opening, so that the previous close's repaint is not measured.
constexpr int kSettleMs = 20;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The window a bench opens: its menu item, its name in the report, and how to find it.
struct WindowUnderBench {
  const char* menuItem;
  const char* title;
  std::function<QWidget*(TFormZvoPrincipale&)> find;
  // The button that closes it without storing.
  const char* closeButton = "BitBtnAnnuler";
  // The zones in use on the full site.
  int zones = fullsite::kZonesUsed;
};

// Notes the first paint event that reaches the window.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(const QWidget*& form) : form_(form) {}
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && form_ && watched == form_) painted = true;
    return false;
  }

 private:
  const QWidget*& form_;
};

struct Run {
  double built = 0;
  double painted = 0;
};

struct Stats {
  double median = 0;
  double min = 0;
  double max = 0;
};

inline Stats Summarize(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

// One figure's line: median (min .. max).
inline void PrintStats(const char* what, const std::vector<double>& values) {
  const Stats s = Summarize(values);
  std::printf("  %-9s %8.3f ms (%.3f .. %.3f)\n", what, s.median, s.min, s.max);
}

inline bool NoChild(TFormZvoPrincipale& window) {
  return window.findChildren<QMdiSubWindow*>().isEmpty() && !window.HasChild() &&
         window.Action(QStringLiteral("MenuItemQuitter"))->isEnabled();
}

// One opening through the menu item and its close without storing; false (with why) when the
// window did not open, paint or close as it should.
inline bool OneRun(QApplication& app, TFormZvoPrincipale& window, const WindowUnderBench& under, QAction& item, Run& run,
            std::string& why) {
  QTest::qWait(kSettleMs);
  const QWidget* watched = nullptr;
  PaintWatch watch(watched);
  app.installEventFilter(&watch);
  const Clock::time_point start = Clock::now();
  item.trigger();
  const Clock::time_point built = Clock::now();
  // A few microseconds, against milliseconds of painting; a paint before it is found is
  // not missed: painting needs the event loop.
  auto* form = qobject_cast<TZvoChildForm*>(under.find(window));
  watched = form;
  if (!form || !form->SubWindow() || !window.MdiArea()->subWindowList().contains(form->SubWindow()) ||
      !form->isVisible()) {
    app.removeEventFilter(&watch);
    why = "the window is not shown in the MDI area";
    return false;
  }
  const Clock::time_point limit = built + testwait::kPatience;
  while (!watch.painted && Clock::now() < limit) QCoreApplication::processEvents();
  const Clock::time_point painted = Clock::now();
  app.removeEventFilter(&watch);
  run = {Ms(built - start), Ms(painted - start)};
  if (!watch.painted) {
    why = "the window was never painted";
    return false;
  }
  auto* cancel = form->findChild<QPushButton*>(QString::fromLatin1(under.closeButton));
  if (!cancel) {
    why = std::string("no button ") + under.closeButton;
    return false;
  }
  cancel->click();
  if (!QTest::qWaitFor([&] { return NoChild(window); }, testwait::kPatienceMs)) {
    why = std::string("the window did not close with ") + under.closeButton;
    return false;
  }
  return true;
}

inline QtMessageHandler g_defaultHandler = nullptr;
inline void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
  g_defaultHandler(type, context, message);
}

// Opens the window from its menu item runs times on the full site and prints the figures;
// then, when given, more runs (as many) over one last opening of it. Answers the exit status.
inline int Bench(QApplication& app, const TempHome& home, int runs, const WindowUnderBench& under,
          const std::function<int(TFormZvoPrincipale&, QWidget&, int runs)>& more = {}) {
  BoxRecorder boxes;
  fullsite::Make(home.Path(), under.zones);
  TFormZvoPrincipale window;
  window.show();
  // The language menu comes with the first paint; the user works in an active window.
  if (!QTest::qWaitFor([&] { return window.LanguageManager() != nullptr; }, testwait::kPatienceMs)) {
    std::fprintf(stderr, "the main window did not start\n");
    return 1;
  }
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window, testwait::kPatienceMs)) {
    std::fprintf(stderr, "the main window is not active\n");
    return 1;
  }
  QAction* item = window.Action(QString::fromLatin1(under.menuItem));
  if (!item || !item->isEnabled()) {
    std::fprintf(stderr, "no enabled menu item %s\n", under.menuItem);
    return 1;
  }

  std::vector<double> built, painted;
  for (int n = 0; n < runs; ++n) {
    Run run;
    std::string why;
    if (!OneRun(app, window, under, *item, run, why)) {
      std::fprintf(stderr, "run %d: %s\n", n + 1, why.c_str());
      return 1;
    }
    built.push_back(run.built);
    painted.push_back(run.painted);
  }

  std::printf("%s on the full site, %d runs, %s: median (min .. max) from the menu item\n", under.title, runs,
              QApplication::platformName().toUtf8().constData());
  const auto line = [](const char* what, const std::vector<double>& values) {
    const Stats s = Summarize(values);
    std::printf("  %-9s %8.3f ms (%.3f .. %.3f)   first opening %.3f ms\n", what, s.median, s.min, s.max,
                values.front());
  };
  line("built", built);
  line("painted", painted);
  if (more) {
    item->trigger();
    QWidget* form = under.find(window);
    if (!form) {
      std::fprintf(stderr, "the window did not open for the further runs\n");
      return 1;
    }
    if (const int status = more(window, *form, runs)) return status;
  }
  if (!boxes.Texts().isEmpty()) {
    std::printf("boxes shown: %s\n", boxes.Texts().join('|').toStdString().c_str());
    return 1;
  }
  return 0;
}

// The main of a window bench: runs from the first argument (default 50), offscreen
// unless a platform is set, the program set up as it sets itself up.
inline int BenchMain(int argc, char** argv, const WindowUnderBench& under,
                     const std::function<int(TFormZvoPrincipale&, QWidget&, int runs)>& more = {}) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  g_defaultHandler = qInstallMessageHandler(QuietHandler);
  TZvoApplication app(argc, argv);
  // With no help viewer, print dialog or command line.
  RegisterEditorWindows();
  TFormZvoPrincipale::SetHelpOpener([](const QString&) { return true; });
  SetPrintDialogHook([](QPrinter&) { return false; });
  TFormZvoPrincipale::SetCommandLineForTests({QStringLiteral("korvanex")});
  TempHome home;
  int status = 1;
  try {
    status = Bench(app, home, runs, under, more);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
  CloseDatabase();
  return status;
}

}  // namespace windowbench
