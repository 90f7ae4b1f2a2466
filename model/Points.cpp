#include "model/Points.h"

#include <map>

#include "model/Contexte.h"
#include "model/Lignes.h"
#include "model/SiteImage.h"
#include "model/Zones.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::Format;
using platform::LoadStr;

std::uint8_t PointCaptionView = 0;
TGstPoints* GstPointsInstance = nullptr;

namespace {

constexpr std::size_t kPointsOffset = 5907;
constexpr std::size_t kPointRecordSize = 32;

struct PointType {
  int code;
  int textId;
  int category;
  int imageIndex;
};

constexpr PointType kPointTypes[] = {
    {1, 170, 1, 4},  {2, 171, 1, 4},  {3, 172, 1, 4},  {4, 173, 1, 4},  {5, 174, 1, 4},  {6, 175, 2, 6},
    {7, 176, 2, 6},  {9, 177, 1, 4},  {11, 178, 1, 4}, {12, 179, 3, 7}, {14, 180, 4, 5}, {15, 181, 4, 5},
    {16, 189, 1, 4}, {18, 182, 4, 5}, {19, 183, 1, 4}, {20, 184, 1, 4}, {21, 185, 1, 4}, {23, 186, 1, 4},
    {25, 190, 1, 4}, {26, 191, 1, 12}, {27, 262, 1, 4}, {52, 187, 1, 4}, {53, 188, 1, 4},
};

const PointType* FindType(int code) {
  for (const PointType& t : kPointTypes) {
    if (t.code == code) return &t;
  }
  return nullptr;
}

}  // namespace

std::string PointTypeName(int code) {
  const PointType* t = FindType(code);
  if (!t) return LoadStr(229);
  if (code == 3 && GetContexte().IsType2Or3()) return LoadStr(172) + " / " + LoadStr(187);
  return LoadStr(t->textId);
}

void FillPointTypeList(platform::StringList& list) {
  list.Clear();
  const TContexte& ctx = GetContexte();
  std::vector<int> codes;
  bool avsa = ctx.Avsa();
  switch (ctx.PanelType()) {
    case 4:
    case 5: codes = {19, 20, 6, 21, 23, 27, 11, 14, 12, 15, 9, 1, 5, 18, 25, 16, 52, 53}; break;
    case 2:
    case 3: codes = {2, 3, 4, 9, 6, 11, 5, 1, 12, 14, 15, 16}; break;
    case 7:
      codes = {19, 20, 21, 6, 7, 23, 27, 11, 12, 14, 15, 9, 1, 5};
      if (avsa) codes.push_back(26);
      codes.insert(codes.end(), {25, 16, 18, 52, 53});
      break;
    case 6:
    case 10:
    case 11:
      codes = {19, 20, 21, 6, 7, 23, 27, 11, 14, 15, 12, 9};
      if (avsa) codes.push_back(26);
      codes.insert(codes.end(), {1, 5, 18, 25, 16, 52, 53});
      break;
    default: break;
  }
  for (int code : codes) list.AddObject(PointTypeName(code), code);
}

int DefaultPointType() { return GetContexte().IsType2Or3() ? 2 : 19; }

TPoints::TPoints(int index)
    : position_(index >= 0 && index < TGstPoints::kPointCount
                    ? SiteImage + kPointsOffset + kPointRecordSize * static_cast<std::size_t>(index)
                    : nullptr),
      address_(index + 1),
      groupTable_(position_ ? position_ + 23 : nullptr, 5),
      groups_(&groupTable_) {
  TPoints::Reset();
}

TPoints::~TPoints() = default;

void TPoints::Reset() {
  label_.clear();
  type_ = 0;
  SetLine(0);
  SetZone(0);
  activeOutput_ = false;
  evacuation_[0] = evacuation_[1] = evacuation_[2] = 0;
  groups_->Reset();
}

void TPoints::ReadImage() {
  if (!position_) return;
  SetLabel(ReadText(position_ + 1, 20));
  SetType(position_[21]);
  SetLine(position_[0]);
  SetZone(position_[22]);
  activeOutput_ = position_[28] != 0;
  if (type_ == 6 || type_ == 14 || type_ == 18) activeOutput_ = false;
  for (int i = 0; i < 3; ++i) evacuation_[i] = position_[29 + i] != 0 ? 1 : 0;
  groups_->ReadImage();
}

void TPoints::WriteImage() {
  if (!position_) return;
  WriteZeroPadded(label_, position_ + 1, 20);
  position_[21] = type_;
  position_[0] = static_cast<std::uint8_t>(line_);
  position_[22] = static_cast<std::uint8_t>(zone_);
  position_[28] = activeOutput_ ? 1 : 0;
  for (int i = 0; i < 3; ++i) position_[29 + i] = evacuation_[i];
  groups_->WriteImage();
}

std::string TPoints::ShortName() const { return Format("%s %3.3d", {LoadStr(195), address_}); }

std::string TPoints::Prefix() const {
  switch (PointCaptionView) {
    case 1: return Format("%s%3.3d - %s", {LoadStr(196), address_, LineName()});
    case 2: return Format("%s%3.3d - %s", {LoadStr(196), address_, ZoneName()});
    default: return ShortName();
  }
}

std::string TPoints::Caption() const { return Prefix() + " - \"" + label_ + "\""; }

std::string TPoints::TypeCaption() const { return Prefix() + " - " + TypeName(); }

int TPoints::ImageIndex() {
  const PointType* t = FindType(type_);
  return t ? t->imageIndex : -1;
}

void TPoints::SetLabel(std::string_view text) {
  label_ = std::string(text.substr(0, static_cast<std::size_t>(labelWidth_)));
}

std::string TPoints::TypeName() const { return PointTypeName(type_); }

bool TPoints::IsValidType(int code) { return code == 0 || FindType(code) != nullptr; }

bool TPoints::SetType(int code) {
  bool ok = IsValidType(code);
  if (ok) type_ = static_cast<std::uint8_t>(code);
  return ok;
}

int TPoints::Category() const {
  const PointType* t = FindType(type_);
  return t ? t->category : 1;
}

void TPoints::SetLine(int n) {
  TGstLignes* lines = GstLignesInstance;
  if (!lines) {
    line_ = n;
    return;
  }
  if (n != 0 && !lines->GetLine(n - 1)) n = 0;
  if (n == line_) return;
  if (TLignes* current = Line()) current->RemovePoint(this);
  if (n != 0) lines->GetLine(n - 1)->AddPoint(this);
  line_ = n;
}

void TPoints::SetZone(int n) {
  TGstZones* zones = GstZonesInstance;
  if (!zones) {
    zone_ = n;
    return;
  }
  if (n != 0 && !zones->GetZone(n - 1)) n = 0;
  if (n == zone_) return;
  if (TZones* current = Zone()) current->RemovePoint(this);
  if (n != 0) zones->GetZone(n - 1)->AddPoint(this);
  zone_ = n;
}

TLignes* TPoints::Line() const {
  return line_ != 0 && GstLignesInstance ? GstLignesInstance->GetLine(line_ - 1) : nullptr;
}

TZones* TPoints::Zone() const {
  return zone_ != 0 && GstZonesInstance ? GstZonesInstance->GetZone(zone_ - 1) : nullptr;
}

std::string TPoints::LineName() const {
  TLignes* line = Line();
  return line ? line->ShortName() : std::string();
}

std::string TPoints::ZoneName() const {
  TZones* zone = Zone();
  return zone ? zone->ShortName() : std::string();
}

void TPoints::RemapLine(bool loops) {
  if (loops) {
    line_ = line_ > 2 ? 2 : 1;
  } else {
    line_ = line_ > 1 ? 3 : 1;
  }
}

TGstPoints::TGstPoints() {
  GstPointsInstance = this;
  for (int i = 0; i < kPointCount; ++i) items_.push_back(new TPoints(i));
}

TGstPoints::~TGstPoints() {
  if (GstPointsInstance == this) GstPointsInstance = nullptr;
}

TPoints* TGstPoints::GetPoint(int index) const { return static_cast<TPoints*>(Item(index)); }

void TGstPoints::FillZonePoints(int zone, TLstPoints& list) const {
  list.ClearPoints();
  for (TElemIHM* item : items_) {
    auto* p = static_cast<TPoints*>(item);
    if (p->IsUsed() && p->ZoneNumber() == zone) list.AddPoint(p);
  }
}

void TGstPoints::FillLinePoints(int line, TLstPoints& list) const {
  list.ClearPoints();
  for (TElemIHM* item : items_) {
    auto* p = static_cast<TPoints*>(item);
    if (p->IsUsed() && p->LineNumber() == line) list.AddPoint(p);
  }
}

void TGstPoints::RemapLines(bool loops) {
  for (TElemIHM* item : items_) {
    auto* p = static_cast<TPoints*>(item);
    if (p->IsUsed()) p->RemapLine(loops);
  }
}

bool TGstPoints::CheckAddress(std::string_view text, std::string& message) {
  int v = 0;
  if (platform::TryStrToInt(text, v) && v >= 1 && v <= kPointCount) return true;
  message = LoadStr(198);
  return false;
}

void TGstPoints::FillFreeAddresses(platform::StringList& list) const {
  list.Clear();
  for (TElemIHM* item : items_) {
    auto* p = static_cast<TPoints*>(item);
    if (!p->IsUsed()) list.Add(std::to_string(p->Address()));
  }
}

int TGstPoints::NextFreeAddress(int address) const {
  for (int a = address + 1; a <= kPointCount; ++a) {
    if (TPoints* p = GetPoint(a - 1); p && !p->IsUsed()) return a;
  }
  for (int a = 1; a < address; ++a) {
    if (TPoints* p = GetPoint(a - 1); p && !p->IsUsed()) return a;
  }
  return 0;
}

int TGstPoints::GroupUseCount(int group) const {
  int n = 0;
  for (TElemIHM* item : items_) {
    auto* p = static_cast<TPoints*>(item);
    if (p->IsUsed() && p->Groups()->Contains(group)) ++n;
  }
  return n;
}

void TGstPoints::FillTypeSummary(platform::StringList& list) const {
  list.Clear();
  std::map<int, int> counts;
  for (TElemIHM* item : items_) {
    auto* p = static_cast<TPoints*>(item);
    if (p->IsUsed()) ++counts[p->Type()];
  }
  for (const auto& [code, count] : counts) list.Add(Format("%3.3d  %s", {count, PointTypeName(code)}));
}
