// Opening the points window on the full site with 99 zones in use (WindowBench.h), then
// switching between the line and the zone view as a click on the view tabs does.
//
// Run by hand: build/bench/bench_points [runs]   (default 50; median, min and max)
#include <QTabBar>

#include "WindowBench.h"
#include "editors/FormZvoPoints.h"
#include "editors/ZvoTreeView.h"

namespace {

int SwitchViews(int runs, QWidget& form) {
  auto& points = static_cast<TFormZvoPoints&>(form);
  QTabBar* tabs = points.TCView();
  std::vector<double> toZones, toLines;
  for (int n = 0; n < runs; ++n) {
    for (int view : {TFormZvoPoints::kZoneView, TFormZvoPoints::kLineView}) {
      const auto start = windowbench::Clock::now();
      tabs->setCurrentIndex(view);
      QCoreApplication::processEvents();
      (view == TFormZvoPoints::kZoneView ? toZones : toLines)
          .push_back(windowbench::Ms(windowbench::Clock::now() - start));
    }
  }
  std::printf("Switching views (tree refilled, first node shown, events processed), %d runs: median (min .. max)\n",
              runs);
  windowbench::PrintStats("to zones", toZones);
  windowbench::PrintStats("to lines", toLines);
  return points.TreeView()->topLevelItemCount() == 2 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return windowbench::BenchMain(
      argc, argv,
      {"MenuItemDetecteur", "Points window", [](TFormZvoPrincipale& w) { return w.findChild<TFormZvoPoints*>(); },
       "BBFermer", 99},
      [](TFormZvoPrincipale&, QWidget& form, int runs) { return SwitchViews(runs, form); });
}
