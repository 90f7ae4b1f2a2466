// Open, check and save of the full site (FullSite.h).
//
// The site files live in a fresh folder under TMPDIR (default /tmp), which is also HOME
// for the run; a save syncs to disk, so the figures depend on that file system.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "FullSite.h"
#include "model/Diagnosis.h"
#include "model/Groupes.h"
#include "model/Projet.h"
#include "model/Zavo.h"
#include "platform/StringList.h"

namespace {

std::string gSitePath;
std::string gSavePath;

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
    gSitePath = fullsite::Make(folder);
    gSavePath = folder + "/saved.srd";
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
