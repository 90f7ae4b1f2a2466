#include "editors/TreeElem.h"

#include "model/GroupTable.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/Zones.h"

void TTreeElem::InitSelected(bool value) {
  initial_ = value;
  SetSelected(value);
}

void TTreeList::ApplySelected(int argument) {
  for (TTreeElem* e : items_) e->ApplySelected(argument);
}

void TTreeList::ApplyUnselected(int argument) {
  for (TTreeElem* e : items_) e->ApplyUnselected(argument);
}

void TTreeList::ApplyState(int kind) {
  for (TTreeElem* e : items_) e->ApplyState(kind);
}

void TTreeList::InitSelected(bool value) {
  initial_ = value;
  for (TTreeElem* e : items_) e->InitSelected(value);
  SetSelected(value);
}

void TTreeList::SetSelected(bool value) {
  selected_ = value;
  for (TTreeElem* e : items_) e->SetSelected(value);
}

void TTreeList::CollectInto(TTreeList& target, int filter, bool wanted) {
  target.Release();
  for (TTreeElem* e : items_) {
    if (e->IsSelected() == wanted && e->Accept(filter)) target.Add(e);
  }
}

int TTreeList::CountMatching(int filter, bool wanted) {
  int n = 0;
  for (TTreeElem* e : items_) {
    if (e->IsSelected() == wanted && e->Accept(filter)) ++n;
  }
  return n;
}

void TTreeList::FreeItems() {
  while (!items_.empty()) {
    TTreeElem* first = items_.front();
    items_.erase(items_.begin());
    delete first;
  }
}

int TTreeGroupe::StateIndex() {
  return table_->FreePlaces() + 1 + (initial_ ? 1 : 0) - (selected_ ? 1 : 0);
}

bool TTreeGroupe::CanMove() { return table_->FreePlaces() > 0 || initial_; }

void TTreeGroupe::ApplySelected(int group) { table_->Add(group); }

void TTreeGroupe::ApplyUnselected(int group) { table_->Remove(group); }

namespace {

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

}  // namespace

TTreeGrpZone::TTreeGrpZone(TZones* zone) : TTreeGroupe(zone->Groups()), zone_(zone) {}
std::string TTreeGrpZone::Caption() { return zone_->ShortName() + "  " + Quoted(zone_->Label()); }
std::string TTreeGrpZone::Hint() { return zone_->CheckText(); }
int TTreeGrpZone::ImageIndex() { return zone_->ImageIndex(); }

TTreeGrpSiEv::TTreeGrpSiEv(TSigEvt* signal) : TTreeGroupe(signal->Groups()), signal_(signal) {}
std::string TTreeGrpSiEv::Caption() { return signal_->ShortName(); }
std::string TTreeGrpSiEv::Hint() { return signal_->CheckText(); }
int TTreeGrpSiEv::ImageIndex() { return signal_->ImageIndex(); }

TTreeGrpPoint::TTreeGrpPoint(TPoints* point) : TTreeGroupe(point->Groups()), point_(point) {}
// A point without zone shows its short name and label only.
std::string TTreeGrpPoint::Caption() {
  const std::string zone = point_->ZoneName();
  return point_->ShortName() + (zone.empty() ? std::string(" ") : " - " + zone + " ") + Quoted(point_->Label());
}
std::string TTreeGrpPoint::Hint() { return point_->CheckText(); }
int TTreeGrpPoint::ImageIndex() { return point_->ImageIndex(); }

TTreeGrpRelai::TTreeGrpRelai(TRelais* relay) : TTreeGroupe(relay->Groups()), relay_(relay) {}
std::string TTreeGrpRelai::Caption() { return relay_->ShortName(); }
std::string TTreeGrpRelai::Hint() { return relay_->CheckText(); }
int TTreeGrpRelai::ImageIndex() { return relay_->ImageIndex(); }

TTreeGrpFonBrk::TTreeGrpFonBrk(TFoncBrk* function) : TTreeGroupe(function->Groups()), function_(function) {}
std::string TTreeGrpFonBrk::Caption() { return function_->ShortName(); }
std::string TTreeGrpFonBrk::Hint() { return function_->CheckText(); }
int TTreeGrpFonBrk::ImageIndex() { return function_->ImageIndex(); }

TTreeFonPoint::TTreeFonPoint(TPoints* point, bool selected) : point_(point) {
  initial_ = selected;
  selected_ = selected;
}
std::string TTreeFonPoint::Caption() { return point_->Caption(); }
std::string TTreeFonPoint::Hint() { return point_->CheckText(); }
int TTreeFonPoint::ImageIndex() { return point_->ImageIndex(); }

void TTreeFonPoint::ApplyState(int kind) {
  if (kind >= 0 && kind <= 2) point_->SetEvacuation(kind + 1, selected_);
}

bool TTreeFonPoint::Accept(int filter) { return filter == 0 || point_->Category() == filter; }

std::string TTreeZone::Caption() { return zone_->ShortName() + "  " + Quoted(zone_->Label()); }
std::string TTreeZone::Hint() { return zone_->CheckText(); }
int TTreeZone::ImageIndex() { return zone_->ImageIndex(); }
void TTreeZone::ApplySelected(int) { zone_->SetZoneFlag(true); }
void TTreeZone::ApplyUnselected(int) { zone_->SetZoneFlag(false); }
