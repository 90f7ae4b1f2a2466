// The full site the benchmarks work on: every point in use on both loops and many zones,
// every group in use, the group tables of zones and points filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>

#include "model/Contexte.h"
#include "model/Groupes.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Relais.h"
#include "model/Zavo.h"
#include "model/Zones.h"

namespace fullsite {

inline constexpr int kZonesUsed = 64;
// The panel-type-7 point types, so the points cover every category.
inline constexpr int kPointTypes[] = {19, 20, 21, 6, 7, 23, 27, 11, 12, 14, 15, 9, 1, 5, 25, 16, 18, 52, 53};

inline void Fill(TZavo& root, int zonesUsed = kZonesUsed) {
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    TPoints* p = root.Points()->GetPoint(i);
    p->SetType(kPointTypes[static_cast<std::size_t>(i) % std::size(kPointTypes)]);
    p->SetLabel("Point " + std::to_string(i + 1));
    p->SetLine(1 + i % 2);
    p->SetZone(1 + i % zonesUsed);
    p->SetEvacuation(1 + i % 3, true);
    for (int k = 0; k < 5; ++k) p->Groups()->Add(1 + (i * 5 + k) % TGstGroups::kGroupCount);
  }
  for (int z = 0; z < zonesUsed; ++z) {
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

// A benchmark measures nothing useful when the site is not the full one.
inline bool IsFull(TZavo& root, int zonesUsed = kZonesUsed) {
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    if (!root.Points()->GetPoint(i)->IsUsed()) return false;
  }
  for (int g = 0; g < TGstGroups::kGroupCount; ++g) {
    if (!root.Groups()->GetGroup(g)->IsUsed()) return false;
  }
  return root.Zones()->UsedCount() == zonesUsed;
}

// Makes the full site in the folder at panel type 7, saves it and opens it again from its
// file, so that what is measured is what a load gives; answers the file's path. The site
// stays open.
inline std::string Make(const std::string& folder, int zonesUsed = kZonesUsed) {
  GetContexte().SetCurrentPanelType(7);
  NewDatabase("full", folder);
  Fill(*CurrentDatabase()->Root(), zonesUsed);
  SaveDatabase(*CurrentDatabase());
  const std::string path = DatabasePath(*CurrentDatabase());
  OpenDatabase(path);
  if (!IsFull(*CurrentDatabase()->Root(), zonesUsed)) throw std::runtime_error("the saved site is not the full one");
  return path;
}

}  // namespace fullsite
