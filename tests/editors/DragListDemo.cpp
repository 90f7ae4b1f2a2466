// A two-tree picker in a window of its own, for the drag test in a real X window.
//   drag_list_demo STATE_FILE
// At start and after every move it rewrites STATE_FILE with where the nodes, an empty
// place of each tree and its "Done" button are on the screen:
//   seq N
//   node src|dst CAPTION X Y
//   space src|dst X Y
//   done X Y
// "Done" prints "destination: A,B,..." (the chosen captions in tree order) and ends.
#include <QApplication>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>
#include <string>

#include "editors/FormDragList.h"
#include "editors/TreeElem.h"
#include "editors/ZvoTreeView.h"
#include "support/StateFile.h"
#include "support/TreeElems.h"

namespace {

using Named = Labelled<TTreeElem>;

QString Point(const QPoint& p) { return QStringLiteral("%1 %2").arg(p.x()).arg(p.y()); }

void WriteState(const QString& path, int seq, const TFormDragList& picker, const QPushButton& done) {
  QString text = QStringLiteral("seq %1\n").arg(seq);
  const std::pair<const char*, TZvoTreeView*> trees[] = {{"src", picker.SourceTree()},
                                                         {"dst", picker.DestinationTree()}};
  for (const auto& [side, tree] : trees) {
    QWidget* viewport = tree->viewport();
    int bottom = 0;
    if (tree->topLevelItemCount() > 0) {
      for (QTreeWidgetItem* at = tree->topLevelItem(0); at; at = NextNode(at)) {
        const QRect r = tree->visualItemRect(at);
        if (r.isEmpty()) continue;  // under a collapsed parent
        bottom = std::max(bottom, r.bottom());
        text += QStringLiteral("node %1 %2 %3\n")
                    .arg(QLatin1String(side), at->text(0), Point(viewport->mapToGlobal(r.center())));
      }
    }
    const QPoint space(viewport->width() / 2, (bottom + viewport->height()) / 2);
    text += QStringLiteral("space %1 %2\n").arg(QLatin1String(side), Point(viewport->mapToGlobal(space)));
  }
  text += QStringLiteral("done %1\n").arg(Point(done.mapToGlobal(done.rect().center())));
  WriteStateFile(path, text);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: drag_list_demo STATE_FILE\n");
    return 2;
  }
  const QString statePath = QString::fromLocal8Bit(argv[1]);

  TTreeList source;
  TTreeList destination;
  for (const char* caption : {"Charlie", "Alpha", "Bravo"}) source.Add(new Named(caption));
  destination.Add(new Named("Zulu"));

  QWidget window;
  window.setWindowTitle(QStringLiteral("Drag List Demo"));
  auto* layout = new QVBoxLayout(&window);
  auto* panel = new QWidget(&window);
  layout->addWidget(panel, 1);
  auto* done = new QPushButton(QStringLiteral("Done"), &window);
  layout->addWidget(done);
  auto* picker = new TFormDragList(panel);
  picker->Load(source, destination, QStringLiteral("Available"), QStringLiteral("Chosen"), nullptr);

  int seq = 0;
  auto write = [&] { WriteState(statePath, seq, *picker, *done); };
  picker->OnMoved = [&] {
    ++seq;
    QTimer::singleShot(0, &window, write);  // once the move has settled
  };
  QObject::connect(done, &QPushButton::clicked, &app, [&] {
    Refs left;
    Refs right;
    picker->Store(left, right);
    QStringList captions;
    for (TTreeElem* e : right.Items()) captions << QString::fromStdString(e->Caption());
    std::printf("destination: %s\n", captions.join(QLatin1Char(',')).toUtf8().constData());
    std::fflush(stdout);
    QApplication::quit();
  });

  window.move(40, 40);
  window.resize(520, 320);
  window.show();
  // The first positions once the window is on the screen.
  auto* exposed = new QTimer(&window);
  QObject::connect(exposed, &QTimer::timeout, &window, [&, exposed] {
    if (!window.windowHandle() || !window.windowHandle()->isExposed()) return;
    exposed->stop();
    write();
  });
  exposed->start(100);
  return QApplication::exec();
}
