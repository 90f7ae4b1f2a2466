// Open, check and save of a full site: every point in use on both loops and many zones,
// every group in use, the group tables of zones and points filled.
//
// The site files live in a fresh folder under TMPDIR (default /tmp), which is also HOME
// for the run; a save syncs to disk, so the figures depend on that file system.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "model/Contexte.h"
#include "model/Diagnosis.h"
#include "model/Groupes.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Relais.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "platform/StringList.h"

namespace {

constexpr int kZonesUsed = 64;
// The panel-type-7 point types, so the points cover every category.
constexpr int kPointTypes[] = {19, 20, 21, 6, 7, 23, 27, 11, 12, 14, 15, 9, 1, 5, 25, 16, 18, 52, 53};

std::string gSitePath;
std::string gSavePath;

void FillSite(TZavo& root) {
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    TPoints* p = root.Points()->GetPoint(i);
    p->SetType(kPointTypes[static_cast<std::size_t>(i) % std::size(kPointTypes)]);
    p->SetLabel("Point " + std::to_string(i + 1));
    p->SetLine(1 + i % 2);
    p->SetZone(1 + i % kZonesUsed);
    p->SetEvacuation(1 + i % 3, true);
    for (int k = 0; k < 5; ++k) p->Groups()->Add(1 + (i * 5 + k) % TGstGroups::kGroupCount);
  }
  for (int z = 0; z < kZonesUsed; ++z) {
    TZones* zone = root.Zones()->GetZone(z);
    zone->SetLabel("Zone " + std::to_string(z + 1));
    zone->SetPreAlarm(z % 2 == 0);
    for (int k = 0; k < 5; ++k) zone->Groups()->Add(1 + (z * 5 + k) % TGstGroups::kGroupCount);
  }
  for (int g = 0; g < TGstGroups::kGroupCount; ++g) {
    TGroupe* group = root.Groups()->GetGroup(g);
    group->SetLabel("Group " + std::to_string(g + 1));
    group->SetTriggerType(1);
    group->SetZoneEvent(static_cast<std::uint8_t>(1 + g % 3));
    group->SetZoneLogic(static_cast<std::uint8_t>(1 + g % 3));
    group->SetDelay(std::to_string(g % 60));
  }
  for (int r = 0; r < root.Relais()->OnBoardCount(); ++r) root.Relais()->OnBoardRelay(r)->Groups()->Add(1 + r);
}

// The benchmarks measure nothing useful when the site is not the full one.
bool IsFull(TZavo& root) {
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    if (!root.Points()->GetPoint(i)->IsUsed()) return false;
  }
  for (int g = 0; g < TGstGroups::kGroupCount; ++g) {
    if (!root.Groups()->GetGroup(g)->IsUsed()) return false;
  }
  return root.Zones()->UsedCount() == kZonesUsed;
}

// Checks as the diagnosis does, then every group on its own as the group editor does.
int CheckSite(TZavo& root) {
  platform::StringList findings;
  CollectSiteChecks(root, findings);
  for (int g = 0; g < root.Groups()->Count(); ++g) root.Groups()->GetGroup(g)->Check(&findings);
  return findings.Count();
}

void BM_Open(benchmark::State& state) {
  for (auto _ : state) OpenDatabase(gSitePath);
  CloseDatabase();
}
BENCHMARK(BM_Open)->Unit(benchmark::kMicrosecond);

void BM_Check(benchmark::State& state) {
  OpenDatabase(gSitePath);
  TZavo& root = *CurrentDatabase()->Root();
  int findings = 0;
  for (auto _ : state) benchmark::DoNotOptimize(findings = CheckSite(root));
  state.counters["findings"] = findings;
  CloseDatabase();
}
BENCHMARK(BM_Check)->Unit(benchmark::kMicrosecond);

void BM_Save(benchmark::State& state) {
  OpenDatabase(gSitePath);
  for (auto _ : state) SaveDatabase(*CurrentDatabase(), gSavePath);
  CloseDatabase();
}
BENCHMARK(BM_Save)->Unit(benchmark::kMicrosecond);

void BM_OpenCheckSave(benchmark::State& state) {
  for (auto _ : state) {
    OpenDatabase(gSitePath);
    benchmark::DoNotOptimize(CheckSite(*CurrentDatabase()->Root()));
    SaveDatabase(*CurrentDatabase(), gSavePath);
  }
  CloseDatabase();
}
BENCHMARK(BM_OpenCheckSave)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvx-bench-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    std::cerr << "cannot create a folder like " << pattern << '\n';
    return 1;
  }
  const std::string folder = pattern;
  // The context reads and writes its settings under HOME on first use.
  ::setenv("HOME", folder.c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");

  int status = 0;
  try {
    GetContexte().SetCurrentPanelType(7);
    NewDatabase("full", folder);
    FillSite(*CurrentDatabase()->Root());
    SaveDatabase(*CurrentDatabase());
    gSitePath = DatabasePath(*CurrentDatabase());
    gSavePath = folder + "/saved.srd";
    OpenDatabase(gSitePath);
    if (!IsFull(*CurrentDatabase()->Root())) throw std::runtime_error("the saved site is not the full one");
    CloseDatabase();
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    status = 1;
  }
  CloseDatabase();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return status;
}
