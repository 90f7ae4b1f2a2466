#include "model/Zones.h"

#include "model/Points.h"
#include "model/SiteImage.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::Format;
using platform::FmtLoadStr;
using platform::LoadStr;

TGstZones* GstZonesInstance = nullptr;

namespace {
constexpr std::size_t kZonesOffset = 2451;
constexpr std::size_t kZoneRecordSize = 27;
}  // namespace

TZones::TZones(int index) : TZones(index, true) {}

TZones::TZones(int index, bool refill)
    : position_(index >= 0 && index < TGstZones::kZoneCount
                    ? SiteImage + kZonesOffset + kZoneRecordSize * static_cast<std::size_t>(index)
                    : nullptr),
      number_(index + 1),
      groupTable_(position_ ? position_ + 21 : nullptr, 5),
      groups_(&groupTable_) {
  ResetFields();
  if (refill) RefillPoints();
}

TZones::~TZones() = default;

void TZones::RefillPoints() {
  if (GstPointsInstance) GstPointsInstance->FillZonePoints(number_, *this);
}

void TZones::ResetFields() {
  label_.clear();
  preAlarm_ = false;
  zoneFlag_ = 0;
  groups_->Reset();
}

void TZones::ReadFields() {
  if (!position_) return;
  SetLabel(ReadText(position_, 20));
  preAlarm_ = position_[20] != 0;
  zoneFlag_ = position_[26] != 0 ? 1 : 0;
  groups_->ReadImage();
}

void TZones::Reset() {
  ResetFields();
  RefillPoints();
}

void TZones::ReadImage() {
  ReadFields();
  RefillPoints();
}

void TZones::WriteImage() {
  if (!position_) return;
  WriteZeroPadded(label_, position_, 20);
  position_[20] = preAlarm_ ? 1 : 0;
  position_[26] = zoneFlag_;
  groups_->WriteImage();
}

std::string TZones::ShortName() const { return Format("%s%3.3d", {LoadStr(159), number_}); }

std::string TZones::Caption() const {
  std::string caption = Format("%s - %s", {ShortName(), CountCaption()});
  if (!label_.empty()) caption += " - \"" + label_ + "\"";
  return caption;
}

int TZones::ImageIndex() { return (preAlarm_ ? 2 : 0) + (Check(nullptr) ? 0 : 1); }

bool TZones::Check(platform::StringList* list) {
  if (!preAlarm_) return true;
  bool ok = true;
  if (Count() < 2) {
    ok = false;
    if (list) list->Add(FmtLoadStr(168, {number_}));
  }
  for (TElemIHM* item : items_) {
    if (item->ImageIndex() == 6) {
      ok = false;
      if (list) list->Add(FmtLoadStr(169, {number_}));
      break;
    }
  }
  return ok;
}

void TZones::SetLabel(std::string_view text) {
  label_ = std::string(text.substr(0, static_cast<std::size_t>(labelWidth_)));
}

std::string TZones::ModeText() const { return LoadStr(preAlarm_ ? 164 : 163); }

TGstZones::TGstZones() {
  GstZonesInstance = this;
  for (int i = 0; i < kZoneCount; ++i) items_.push_back(new TZones(i, false));
  RefillPoints();
}

TGstZones::~TGstZones() {
  if (GstZonesInstance == this) GstZonesInstance = nullptr;
}

void TGstZones::Reset() {
  for (TElemIHM* item : items_) static_cast<TZones*>(item)->ResetFields();
  RefillPoints();
}

void TGstZones::ReadImage() {
  for (TElemIHM* item : items_) static_cast<TZones*>(item)->ReadFields();
  RefillPoints();
}

// Each zone refilling its own would scan every point once per zone; the lists come out
// the same, each in address order.
void TGstZones::RefillPoints() {
  TGstPoints* points = GstPointsInstance;
  if (!points) return;
  for (TElemIHM* item : items_) static_cast<TZones*>(item)->ClearPoints();
  for (int i = 0; i < points->Count(); ++i) {
    TPoints* p = points->GetPoint(i);
    if (p && p->IsUsed()) {
      if (TZones* zone = GetZone(p->ZoneNumber() - 1)) zone->AddPoint(p);
    }
  }
}

TZones* TGstZones::GetZone(int index) const { return static_cast<TZones*>(Item(index)); }

bool TGstZones::CheckZoneNumber(std::string_view text, std::string& message) {
  int v = 0;
  if (platform::TryStrToInt(text, v) && v >= 1 && v <= 99) return true;
  message = LoadStr(166);
  return false;
}

void TGstZones::FillUsedZones(platform::StringList& list) const {
  list.Clear();
  for (TElemIHM* item : items_) {
    auto* z = static_cast<TZones*>(item);
    if (z->IsUsed()) list.Add(std::to_string(z->Number()));
  }
}

void TGstZones::FillFreeZones(platform::StringList& list) const {
  list.Clear();
  for (TElemIHM* item : items_) {
    auto* z = static_cast<TZones*>(item);
    if (!z->IsUsed() && z->Number() < 100) list.Add(std::to_string(z->Number()));
  }
}

int TGstZones::GroupUseCount(int group) const {
  int n = 0;
  for (TElemIHM* item : items_) {
    auto* z = static_cast<TZones*>(item);
    if (z->IsUsed() && z->Groups()->Contains(group)) ++n;
  }
  return n;
}

std::string TGstZones::Title() const { return LoadStr(162); }
