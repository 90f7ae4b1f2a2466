// Writes the seed corpus of the site-file fuzzer into a folder:
//
//   make_seeds FOLDER
//
// Valid sites made by the model (default, open lines, points with groups) and a few
// near misses a fuzzer would take long to find: a site under an older map version, the
// wrong panel type, a file one byte short and a received file with its padding.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Crc16.h"
#include "model/Groupes.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Relais.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "model/Zones.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void FixCrc(Bytes& bytes) {
  TCrc16DDS crc;
  std::uint16_t value = crc.Compute(bytes.data(), kSiteCrcOffset);
  bytes[kSiteCrcOffset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[kSiteCrcOffset + 1] = static_cast<std::uint8_t>(value >> 8);
}

TZavo& Root() { return *CurrentDatabase()->Root(); }

// Makes the site, lets shape fill it, saves it as FOLDER/NAME.srd; answers the bytes.
template <typename Shape>
Bytes SaveSite(const std::string& folder, const std::string& name, Shape shape) {
  std::filesystem::remove(folder + "/" + name + ".srd");  // else the save leaves a backup
  NewDatabase(name, folder);
  shape(Root());
  SaveDatabase(*CurrentDatabase());
  std::string path = DatabasePath(*CurrentDatabase());
  CloseDatabase();
  return ReadFile(path);
}

void OpenLines(TZavo& root) {
  root.Lignes()->SetLoopSystem(false);
  for (int i = 0; i < 4; ++i) {
    TPoints* p = root.Points()->GetPoint(i);
    p->SetType(19);
    p->SetLine(i + 1);
    p->SetZone(1 + i / 2);
  }
}

void PointsWithGroups(TZavo& root) {
  const int types[] = {19, 20, 21, 6, 7, 23, 12, 14};
  for (int i = 0; i < 8; ++i) {
    TPoints* p = root.Points()->GetPoint(i * 9);
    p->SetType(types[i]);
    p->SetLabel("Point " + std::to_string(i + 1));
    p->SetLine(1 + i % 2);
    p->SetZone(1 + i % 4);
    p->SetEvacuation(1 + i % 3, true);
    for (int g = 1; g <= 1 + i % 5; ++g) p->Groups()->Add(g);
  }
  for (int z = 0; z < 4; ++z) {
    TZones* zone = root.Zones()->GetZone(z);
    zone->SetLabel("Zone " + std::to_string(z + 1));
    zone->SetPreAlarm(z == 1);
    zone->Groups()->Add(z + 1);
    zone->Groups()->Add(5);
  }
  for (int g = 0; g < 5; ++g) {
    TGroupe* group = root.Groups()->GetGroup(g);
    group->SetLabel("Group " + std::to_string(g + 1));
    group->SetTriggerType(g == 4 ? 2 : 1);
    group->SetZoneEvent(static_cast<std::uint8_t>(1 + g % 3));
    group->SetZoneLogic(static_cast<std::uint8_t>(1 + g % 3));
    group->SetDelay(std::to_string(10 * g));
  }
  root.Relais()->OnBoardRelay(root.Relais()->OnBoardCount() - 1)->Groups()->Add(3);
  root.Relais()->SetCardType(1);
}

void Run(const std::string& folder) {
  std::filesystem::create_directories(folder);
  Bytes site = SaveSite(folder, "default", [](TZavo&) {});
  SaveSite(folder, "lines", OpenLines);
  SaveSite(folder, "groups", PointsWithGroups);

  Bytes old = site;
  old[4] = '1';  // map version "0001": no alarm thresholds yet
  FixCrc(old);
  WriteFile(folder + "/old-map.srd", old);

  Bytes wrongType = site;
  wrongType[0] = 4;
  FixCrc(wrongType);
  WriteFile(folder + "/wrong-type.srd", wrongType);

  WriteFile(folder + "/short.srd", Bytes(site.begin(), site.end() - 1));

  // XMODEM pads the last 128-byte block with SUB characters.
  Bytes received = site;
  received.resize((site.size() + 127) / 128 * 128, 0x1A);
  WriteFile(folder + "/received.srd", received);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds FOLDER\n";
    return 2;
  }
  char pattern[] = "/tmp/kvx-seeds-XXXXXX";
  const char* home = ::mkdtemp(pattern);
  if (!home) return 1;
  ::setenv("HOME", home, 1);
  ::unsetenv("XDG_CONFIG_HOME");
  int status = 0;
  try {
    GetContexte().SetCurrentPanelType(7);
    Run(std::filesystem::absolute(argv[1]).string());
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    status = 1;
  }
  CloseDatabase();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return status;
}
