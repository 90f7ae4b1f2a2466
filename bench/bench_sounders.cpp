// Opening the line-of-sounders window on the full site (WindowBench.h), then the picker's
// ">>" and "<<" over every zone of the site, one after the other on one opening.
//
// Run by hand: build/bench/bench_sounders [runs]   (default 50; median, min and max)
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "WindowBench.h"
#include "editors/FormDragList.h"
#include "editors/FormZvoSounders.h"

namespace {

int Moves(int runs, QWidget& form) {
  auto* picker = form.findChild<TFormDragList*>();
  if (!picker) {
    std::fprintf(stderr, "no picker\n");
    return 1;
  }
  const int zones = picker->SourceTree()->topLevelItemCount() + picker->DestinationTree()->topLevelItemCount();
  std::vector<double> in, out;
  for (int n = 0; n < runs; ++n) {
    auto start = windowbench::Clock::now();
    picker->BBAddAllClick();
    in.push_back(windowbench::Ms(windowbench::Clock::now() - start));
    start = windowbench::Clock::now();
    picker->BBDelAllClick();
    out.push_back(windowbench::Ms(windowbench::Clock::now() - start));
    if (picker->DestinationTree()->topLevelItemCount() != 0 || picker->SourceTree()->topLevelItemCount() != zones) {
      std::fprintf(stderr, "run %d: the zones did not all come back\n", n + 1);
      return 1;
    }
  }
  std::printf("Picker moves of all %d zones, %d runs: median (min .. max)\n", zones, runs);
  windowbench::PrintStats(">>", in);
  windowbench::PrintStats("<<", out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return windowbench::BenchMain(
      argc, argv,
      {"MenuItemSirene", "Line of sounders window",
       [](TFormZvoPrincipale& w) { return w.findChild<TFormZvoSounders*>(); }},
      [](TFormZvoPrincipale&, QWidget& form, int runs) { return Moves(runs, form); });
}
