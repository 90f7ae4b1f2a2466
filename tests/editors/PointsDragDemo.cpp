// The real main window over a fresh site with its points window open, for the drag test
// in a real X window.
//   points_drag_demo STATE_FILE
// The site: points 1 and 2 on loop 1 in zone 1, point 3 on loop 2 in zone 2. Once the
// window shows, and after every drag that ends in the tree, dropped or not, it rewrites
// STATE_FILE with the loops expanded:
//   seq N                      (the number of drags ended)
//   node KEY X Y CAPTION       (each visible node, in tree order; KEY is loopN or pointN)
//   point N line L zone Z
//   modified yes|no
// When STATE_FILE.done appears it prints the point and modified lines and the text of any
// box the program showed ("box: TEXT"), then ends.
#include <QApplication>
#include <QFile>
#include <QMdiSubWindow>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QWindow>
#include <cstdio>
#include <memory>

#include "editors/EditorWindows.h"
#include "editors/FormZvoPoints.h"
#include "editors/ZvoTreeView.h"
#include "model/Contexte.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Zavo.h"
#include "shell/FormZvoPrincipale.h"
#include "support/BoxRecorder.h"
#include "support/StateFile.h"
#include "support/TempHome.h"

namespace {

constexpr int kPoints = 3;

TZavo& Root() { return *CurrentDatabase()->Root(); }
TPoints& Point(int address) { return *Root().Points()->GetPoint(address - 1); }

bool Place(int address, int zone, int line) {
  TPoints& p = Point(address);
  if (!p.SetType(19)) return false;
  p.SetZone(zone);
  p.SetLine(line);
  return true;
}

// What the site holds, as both the state file and the final report give it.
QString SiteLines() {
  QString text;
  for (int a = 1; a <= kPoints; ++a) {
    text += QStringLiteral("point %1 line %2 zone %3\n").arg(a).arg(Point(a).LineNumber()).arg(Point(a).ZoneNumber());
  }
  text += QStringLiteral("modified %1\n").arg(Root().Modified() ? QStringLiteral("yes") : QStringLiteral("no"));
  return text;
}

QString Key(const QTreeWidgetItem* node) {
  if (auto* point = NodeObjectAs<TPoints>(node)) return QStringLiteral("point%1").arg(point->Address());
  if (auto* line = NodeObjectAs<TLignes>(node)) return QStringLiteral("loop%1").arg(line->Number());
  return QStringLiteral("other");
}

void ExpandLoops(TZvoTreeView* tree) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i) tree->topLevelItem(i)->setExpanded(true);
}

void WriteState(const QString& path, int seq, TZvoTreeView* tree) {
  QString text = QStringLiteral("seq %1\n").arg(seq);
  QWidget* viewport = tree->viewport();
  if (tree->topLevelItemCount() > 0) {
    for (QTreeWidgetItem* at = tree->topLevelItem(0); at; at = NextNode(at)) {
      const QRect r = tree->visualItemRect(at);
      if (r.isEmpty()) continue;  // under a collapsed parent
      const QPoint c = viewport->mapToGlobal(r.center());
      text += QStringLiteral("node %1 %2 %3 %4\n").arg(Key(at)).arg(c.x()).arg(c.y()).arg(at->text(0));
    }
  }
  text += SiteLines();
  WriteStateFile(path, text);
}

bool Exposed(const QWidget* w) { return w->windowHandle() && w->windowHandle()->isExposed(); }

}  // namespace

int main(int argc, char** argv) {
  // Before Qt and the context read the user's settings.
  TempHome home;
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: points_drag_demo STATE_FILE\n");
    return 2;
  }
  const QString statePath = QString::fromLocal8Bit(argv[1]);
  const QString donePath = statePath + QStringLiteral(".done");

  GetContexte().SetCurrentPanelType(7);
  NewDatabase("Site", home.Path());
  if (!Place(1, 1, 1) || !Place(2, 1, 1) || !Place(3, 2, 2)) {
    std::fprintf(stderr, "the points cannot be placed\n");
    return 1;
  }
  // As a site just saved: only what the window does may mark it.
  Root().SetModified(false);

  // A box would wait for a click the script never gives: each is recorded and reported.
  BoxRecorder boxes;
  RegisterEditorWindows();
  TFormZvoPrincipale::SetCommandLineForTests({QStringLiteral("points_drag_demo")});
  auto window = std::make_unique<TFormZvoPrincipale>();
  window->move(0, 0);
  window->resize(900, 650);
  window->show();

  TFormZvoPoints* points = nullptr;
  int seq = 0;
  auto write = [&] {
    ExpandLoops(points->TreeView());
    // Once the expansion has been laid out.
    QTimer::singleShot(0, window.get(), [&] { WriteState(statePath, seq, points->TreeView()); });
  };
  auto* poll = new QTimer(window.get());
  bool started = false;
  QObject::connect(poll, &QTimer::timeout, window.get(), [&] {
    if (!points) {
      // The language menu comes with the first paint; the points window opens after it.
      if (!Exposed(window.get()) || !window->LanguageManager()) return;
      window->Action(QStringLiteral("MenuItemDetecteur"))->trigger();
      points = window->findChild<TFormZvoPoints*>();
      if (!points) {
        std::fprintf(stderr, "the points window did not open\n");
        QApplication::exit(1);
        return;
      }
      QObject::connect(points->TreeView(), &TZvoTreeView::DragFinished, window.get(), [&] {
        ++seq;
        write();
      });
      return;
    }
    if (!started && points->isVisible() && Exposed(window.get())) {
      started = true;
      write();
    }
    if (QFile::exists(donePath)) {
      poll->stop();
      std::printf("%s", SiteLines().toUtf8().constData());
      for (const QString& text : boxes.Texts()) std::printf("box: %s\n", text.toUtf8().constData());
      std::fflush(stdout);
      // Not quit(): it asks the windows to close, which the main window refuses while a
      // child is open.
      QApplication::exit(0);
    }
  });
  poll->start(100);
  const int result = QApplication::exec();
  window.reset();  // closes the site
  return result;
}
