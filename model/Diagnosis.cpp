#include "model/Diagnosis.h"

#include "model/Contexte.h"
#include "model/Groupes.h"
#include "model/Lignes.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/Zavo.h"
#include "model/Zones.h"

namespace {

void AddCheck(TElemIHM* element, platform::StringList& list) {
  if (!element) return;
  std::string text = element->CheckText();
  if (!text.empty()) list.Add(text);
}

}  // namespace

void CollectSectionChecks(TZavo& root, CheckSection section, platform::StringList& list) {
  switch (section) {
    case CheckSection::Zones: {
      TGstZones* zones = root.Zones();
      for (int i = 0; i < zones->Count(); ++i) {
        if (zones->GetZone(i)->IsUsed()) AddCheck(zones->GetZone(i), list);
      }
      break;
    }
    case CheckSection::Lines: {
      // Used or not: an empty line or loop is itself a finding.
      TGstLignes* lines = root.Lignes();
      for (int i = 0; i < lines->Count(); ++i) AddCheck(lines->GetLine(i), list);
      break;
    }
    case CheckSection::Groups: {
      TGstGroups* groups = root.Groups();
      for (int i = 0; i < groups->Count(); ++i) {
        if (groups->GetGroup(i)->IsUsed()) AddCheck(groups->GetGroup(i), list);
      }
      break;
    }
    case CheckSection::Relays: {
      TGstRelais* relais = root.Relais();
      int first = relais->OnBoardCount() == 4 ? 2 : 3;
      AddCheck(relais->OnBoardRelay(first), list);
      AddCheck(relais->OnBoardRelay(first + 1), list);
      break;
    }
    case CheckSection::Breaking:
      if (GetContexte().IsFscCieVariant()) {
        AddCheck(root.Security()->Breaking(1), list);
        AddCheck(root.Security()->Breaking(2), list);
      }
      break;
  }
}

void CollectSiteChecks(TZavo& root, platform::StringList& list) {
  for (CheckSection section : kCheckSections) CollectSectionChecks(root, section, list);
}
