#include "editors/ZvoGInpElmGrp.h"

#include <QWidget>

#include "editors/FormDragList.h"
#include "editors/FormZvoGroups.h"
#include "model/GroupTable.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/Zones.h"
#include "shell/UiText.h"

TGInpElmGrp::TGInpElmGrp(QWidget* host, const TImageList* images, const TImageList* states)
    : picker_(new TFormDragList(host)), images_(images), states_(states) {}

TGInpElmGrp::~TGInpElmGrp() {
  // Its nodes refer to the lists' elements.
  delete picker_;
}

int TGInpElmGrp::StoredCount() {
  picker_->Store(source_, destination_);
  return destination_.Count();
}

void TGInpElmGrp::Clear() {
  // The trees refer to the elements about to be freed.
  picker_->SourceTree()->clear();
  picker_->DestinationTree()->clear();
  source_.FreeItems();
  destination_.FreeItems();
}

void TGInpElmGrp::Place(TTreeGroupe* element, int n) {
  (element->Table()->Contains(n) ? destination_ : source_).Add(element);
}

void TGInpElmGrp::ApplyLists(int n) {
  destination_.ApplySelected(n);
  source_.ApplyUnselected(n);
}

void TGInpElmGrp::LoadPicker(bool single) {
  const QString available = TFormZvoGroups::Text("Available", "Available");
  const QString selected = TFormZvoGroups::Text("Selected", "Selected");
  if (single) {
    picker_->LoadSingle(source_, destination_, available, selected, images_, states_);
  } else {
    picker_->Load(source_, destination_, available, selected, images_, states_);
  }
}

TGInpElmTgr::TGInpElmTgr(QWidget* host, const TImageList* images, const TImageList* states)
    : TGInpElmGrp(host, images, states), zones_(GstZonesInstance), signals_(GstSigEvtInstance) {}

void TGInpElmTgr::Load(int n, bool byZones) {
  byZones_ = byZones;
  Clear();
  if (byZones) {
    for (int i = 0; i < TGstZones::kZoneCount; ++i) {
      TZones* zone = zones_->GetZone(i);
      if (zone->IsUsed()) Place(new TTreeGrpZone(zone), n);
    }
  } else {
    for (int i = 0; i < TGstSigEvt::kSigEvtCount; ++i) {
      TSigEvt* signal = signals_->GetSigEvt(i);
      if (signal->IsUsed()) Place(new TTreeGrpSiEv(signal), n);
    }
  }
  LoadPicker(!byZones);
}

bool TGInpElmTgr::CheckTriggers(std::string& message) {
  if (StoredCount() != 0) return true;
  message = ToAnsi(TFormZvoGroups::Text("NoTrigger", "Group trigger is not defined."));
  return false;
}

bool TGInpElmTgr::CheckNotSingle(std::string& message) {
  if (StoredCount() != 1) return true;
  message = ToAnsi(
      TFormZvoGroups::Text("SingleZone", "Cannot choose only one zone with logic option AND or AND for 2"));
  return false;
}

// Every zone record, in use or not: a zone that gets points again later must not bring
// back a group it no longer triggers.
void TGInpElmTgr::RemoveFromZones(int n) {
  for (int i = 0; i < TGstZones::kZoneCount; ++i) zones_->GetZone(i)->Groups()->Remove(n);
}

void TGInpElmTgr::RemoveFromSignals(int n) {
  for (int i = 0; i < TGstSigEvt::kSigEvtCount; ++i) {
    TSigEvt* signal = signals_->GetSigEvt(i);
    if (signal->IsUsed()) signal->Groups()->Remove(n);
  }
}

void TGInpElmTgr::Apply(int n) {
  if (byZones_) {
    RemoveFromSignals(n);
  } else {
    RemoveFromZones(n);
  }
  ApplyLists(n);
}

void TGInpElmTgr::ClearGroup(int n) {
  RemoveFromZones(n);
  RemoveFromSignals(n);
}

TGInpElmTgd::TGInpElmTgd(QWidget* host, const TImageList* images, const TImageList* states)
    : TGInpElmGrp(host, images, states), points_(GstPointsInstance), relays_(GstRelaisInstance) {}

bool TGInpElmTgd::IsActivatable(int pointType) {
  return pointType != 0 && pointType != 5 && pointType != 6 && pointType != 14;
}

TFoncBrk* TGInpElmTgd::ServingFunction(int number) const {
  TFoncBrk* function = SecurityInstance ? SecurityInstance->Breaking(number) : nullptr;
  return function && function->IsUsed() && !function->IsEnabled() ? function : nullptr;
}

void TGInpElmTgd::Load(int n) {
  Clear();
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    TPoints* point = points_->GetPoint(i);
    if (point->IsUsed() && IsActivatable(point->Type())) Place(new TTreeGrpPoint(point), n);
  }
  for (int i = 0; i < relays_->Count(); ++i) {
    TRelais* relay = relays_->UsableRelay(i);
    if (relay->IsUsed()) Place(new TTreeGrpRelai(relay), n);
  }
  for (int number = 1; number <= 2; ++number) {
    if (TFoncBrk* function = ServingFunction(number)) Place(new TTreeGrpFonBrk(function), n);
  }
  LoadPicker(false);
}

bool TGInpElmTgd::CheckActivated(std::string& message) {
  if (StoredCount() != 0) return true;
  message = ToAnsi(TFormZvoGroups::Text("NoActivated", "Activated element are not defined."));
  return false;
}

void TGInpElmTgd::Apply(int n) {
  ClearGroup(n);
  ApplyLists(n);
}

void TGInpElmTgd::ClearGroup(int n) {
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    TPoints* point = points_->GetPoint(i);
    if (point->IsUsed()) point->Groups()->Remove(n);
  }
  for (int i = 0; i < relays_->Count(); ++i) {
    TRelais* relay = relays_->UsableRelay(i);
    if (relay->IsUsed()) relay->Groups()->Remove(n);
  }
  for (int number = 1; number <= 2; ++number) {
    if (TFoncBrk* function = ServingFunction(number)) function->Groups()->Remove(n);
  }
}
