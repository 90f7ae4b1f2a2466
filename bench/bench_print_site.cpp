// The whole site report of a full site to PDF at 600 dpi (the KORVANEX_PRINT_TO_PDF route):
// every point in use, 99 zones and 99 groups in use, the line of sounders on. One figure a
// run: from the first section to the document's end, the file written.
//
// Run by hand: build/bench/bench_print_site [runs]   (default 10; median, min and max)
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FullSite.h"
#include "WindowBench.h"
#include "model/SiteSettings.h"
#include "printing/FormZvoPrintSite.h"
#include "printing/ZvoPrintSite.h"
#include "support/PdfText.h"

namespace {

int Bench(int runs, const TempHome& home) {
  GetContexte().SetCurrentPanelType(7);
  NewDatabase("full", home.Path());
  TZavo& root = *CurrentDatabase()->Root();
  fullsite::Fill(root);
  // Every zone number in use, each of them triggering the line of sounders.
  for (int i = 0; i < TGstPoints::kPointCount; ++i) root.Points()->GetPoint(i)->SetZone(1 + i % 99);
  for (int z = 0; z < 99; ++z) root.Zones()->GetZone(z)->SetZoneFlag(true);
  root.LineSound()->mode = 1;
  if (root.Zones()->UsedCount() != 99 || root.Groups()->UsedCount() != TGstGroups::kGroupCount) {
    std::fprintf(stderr, "the site is not the full one\n");
    return 1;
  }

  const QString file = QString::fromStdString(home.Sub("report.pdf"));
  ::setenv("KORVANEX_PRINT_TO_PDF", file.toLocal8Bit().constData(), 1);
  TPrintSite engine;
  TTreeLstPrt sections;
  sections.Build(engine);
  std::vector<double> times;
  for (int n = 0; n < runs; ++n) {
    const auto start = windowbench::Clock::now();
    PrintSections(sections, engine);
    times.push_back(windowbench::Ms(windowbench::Clock::now() - start));
  }
  const std::size_t pages = pdf::Pages(file).size();
  const windowbench::Stats s = windowbench::Summarize(times);
  std::printf("Site report of the full site (%d sections, %zu pages, %.0f kB) to PDF at 600 dpi, %d runs:\n",
              static_cast<int>(sections.Sections().size()), pages,
              static_cast<double>(QFileInfo(file).size()) / 1024.0, runs);
  std::printf("  printed   %8.1f ms (%.1f .. %.1f)   first run %.1f ms\n", s.median, s.min, s.max, times.front());
  CloseDatabase();
  return pages > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TZvoApplication app(argc, argv);
  TempHome home;
  return Bench(runs, home);
}
