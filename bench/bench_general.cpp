// Opening the general parameters window on the full site (WindowBench.h).
//
// Run by hand: build/bench/bench_general [runs]   (default 50; median, min and max)
#include "WindowBench.h"
#include "editors/FormZvoGeneral.h"

int main(int argc, char** argv) {
  return windowbench::BenchMain(argc, argv,
                                {"MenuItemParamGen", "General parameters window",
                                 [](TFormZvoPrincipale& w) { return w.findChild<TFormZvoGeneral*>(); }});
}
