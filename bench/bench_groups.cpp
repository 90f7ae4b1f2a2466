// Opening the groups window on the full site, all 99 groups in use (WindowBench.h), then
// showing one group after another as a click on the group tree does.
//
// Run by hand: build/bench/bench_groups [runs]   (default 50; median, min and max)
#include <QTreeWidget>

#include "WindowBench.h"
#include "editors/FormZvoGroups.h"
#include "editors/ZvoTreeView.h"

namespace {

int ShowEach(int runs, QWidget& form) {
  auto& groups = static_cast<TFormZvoGroups&>(form);
  TZvoTreeView* tree = groups.TVGroups();
  const int count = tree->topLevelItemCount();
  std::vector<double> shown;
  for (int n = 0; n < runs; ++n) {
    QTreeWidgetItem* node = tree->topLevelItem((n * 37 + 1) % count);
    tree->setCurrentItem(node);
    const auto start = windowbench::Clock::now();
    groups.Selectionner();
    shown.push_back(windowbench::Ms(windowbench::Clock::now() - start));
  }
  std::printf("Showing another of the %d groups (fields, both pickers, summaries), %d runs: median (min .. max)\n",
              count, runs);
  windowbench::PrintStats("shown", shown);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return windowbench::BenchMain(
      argc, argv,
      {"MenuItemRepetition", "Groups window", [](TFormZvoPrincipale& w) { return w.findChild<TFormZvoGroups*>(); },
       "BBFermer"},
      [](TFormZvoPrincipale&, QWidget& form, int runs) { return ShowEach(runs, form); });
}
