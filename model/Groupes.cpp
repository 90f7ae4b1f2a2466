#include "model/Groupes.h"

#include "model/Contexte.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/SiteImage.h"
#include "model/Zones.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::Format;
using platform::FmtLoadStr;
using platform::LoadStr;

TGstGroups* GstGroupsInstance = nullptr;

namespace {

constexpr std::size_t kGroupsOffset = 273;
constexpr std::size_t kGroupRecordSize = 22;

std::string CodeText(int code, int first, int last) {
  return code >= 1 && code <= last - first + 1 ? LoadStr(first + code - 1) : std::string();
}

}  // namespace

TGroupe::TGroupe(int index) : TGroupe(index, DefaultDelay()) {}

TGroupe::TGroupe(int index, const std::string& defaultDelay)
    : number_(index + 1), position_(SiteImage + kGroupsOffset + kGroupRecordSize * static_cast<std::size_t>(index)) {
  ResetTo(defaultDelay);
}

void TGroupe::Reset() { ResetTo(DefaultDelay()); }

void TGroupe::ResetTo(const std::string& defaultDelay) {
  label_.clear();
  delay_ = defaultDelay;
  triggerType_ = zoneEvent_ = zoneLogic_ = 0;
}

void TGroupe::ReadImage() {
  SetLabel(ReadText(position_, 20));
  // Any byte is a valid delay; in three digits, as SetDelay would store it.
  const unsigned delay = position_[20];
  const char digits[3] = {static_cast<char>('0' + delay / 100), static_cast<char>('0' + delay / 10 % 10),
                          static_cast<char>('0' + delay % 10)};
  delay_.assign(digits, 3);
  std::uint8_t codes = position_[21];
  if (IsValidTriggerType(codes & 3)) triggerType_ = codes & 3;
  zoneEvent_ = (codes >> 2) & 3;
  zoneLogic_ = (codes >> 4) & 3;
}

void TGroupe::WriteImage() {
  if (triggerType_ == 0) Reset();
  WriteFields();
}

void TGroupe::WriteFields() {
  WriteZeroPadded(label_, position_, 20);
  position_[20] = static_cast<std::uint8_t>(platform::StrToIntDef(delay_, 0));
  position_[21] = static_cast<std::uint8_t>((position_[21] & 0xC0) + (triggerType_ % 4) + 4 * (zoneEvent_ % 4) +
                                            16 * (zoneLogic_ % 4));
}

std::string TGroupe::ShortName() const { return Format("%2.2d - %s", {number_, label_}); }

int TGroupe::ImageIndex() { return (triggerType_ != 1 ? 1 : 0) + (Check(nullptr) ? 0 : 2); }

void TGroupe::SetLabel(std::string_view text) {
  label_ = std::string(text.substr(0, static_cast<std::size_t>(labelWidth_)));
}

std::string TGroupe::DefaultDelay() { return LoadStr(231); }

bool TGroupe::IsValidDelay(std::string_view text) {
  int v = 0;
  return platform::TryStrToInt(text, v) && v >= 0 && v <= 255;
}

void TGroupe::SetDelay(std::string_view text) {
  if (IsValidDelay(text)) delay_ = Format("%3.3d", {platform::StrToInt(text)});
}

bool TGroupe::CheckTriggerType(int code, std::string& message) const {
  if (IsValidTriggerType(code)) return true;
  message = FmtLoadStr(243, {number_});
  return false;
}

bool TGroupe::IsValidZoneEvent(bool required, int code) { return code >= 0 && code <= 3 && !(required && code == 0); }

bool TGroupe::CheckZoneEvent(bool required, int code, std::string& message) const {
  if (IsValidZoneEvent(required, code)) return true;
  message = FmtLoadStr(244, {number_});
  return false;
}

bool TGroupe::CheckZoneLogic(bool required, int code, std::string& message) const {
  if (IsValidZoneLogic(required, code)) return true;
  message = FmtLoadStr(245, {number_});
  return false;
}

bool TGroupe::CheckDelay(std::string_view text, std::string& message) const {
  if (IsValidDelay(text)) return true;
  message = FmtLoadStr(242, {number_});
  return false;
}

bool TGroupe::HasTrigger(std::string& message) const {
  int n = 0;
  if (GstSigEvtInstance) n += GstSigEvtInstance->GroupUseCount(number_);
  if (GstZonesInstance) n += GstZonesInstance->GroupUseCount(number_);
  if (n > 0) return true;
  message = FmtLoadStr(246, {number_});
  return false;
}

bool TGroupe::HasActivatedElement(std::string& message) const {
  int n = 0;
  if (GstPointsInstance) n += GstPointsInstance->GroupUseCount(number_);
  if (GstRelaisInstance) n += GstRelaisInstance->GroupUseCount(number_);
  if (GetContexte().IsFscCieVariant() && SecurityInstance) {
    for (int b = 1; b <= 2; ++b) {
      if (SecurityInstance->Breaking(b)->Groups()->Contains(number_)) ++n;
    }
  }
  if (n > 0) return true;
  message = FmtLoadStr(247, {number_});
  return false;
}

bool TGroupe::Check(platform::StringList* list) {
  bool ok = true;
  auto record = [&](bool passed, const std::string& message) {
    if (passed) return;
    ok = false;
    if (list) list->Add(message);
  };
  std::string m;
  bool zoneTriggered = triggerType_ == 1;
  record(CheckTriggerType(triggerType_, m), m);
  record(CheckZoneEvent(zoneTriggered, zoneEvent_, m), m);
  record(CheckZoneLogic(zoneTriggered, zoneLogic_, m), m);
  record(CheckDelay(delay_, m), m);
  record(HasTrigger(m), m);
  record(HasActivatedElement(m), m);
  return ok;
}

std::string TGroupe::TriggerTypeText() const { return CodeText(triggerType_, 232, 233); }
std::string TGroupe::ZoneEventText() const { return CodeText(zoneEvent_, 234, 236); }
std::string TGroupe::ZoneLogicText() const { return CodeText(zoneLogic_, 237, 239); }

TGstGroups::TGstGroups() {
  GstGroupsInstance = this;
  const std::string defaultDelay = TGroupe::DefaultDelay();
  for (int i = 0; i < kGroupCount; ++i) items_.push_back(new TGroupe(i, defaultDelay));
}

void TGstGroups::Reset() {
  const std::string defaultDelay = TGroupe::DefaultDelay();
  for (TElemIHM* item : items_) static_cast<TGroupe*>(item)->ResetTo(defaultDelay);
}

void TGstGroups::WriteImage() {
  // A group without a trigger is written as a new one.
  std::string defaultDelay;
  bool looked = false;
  for (TElemIHM* item : items_) {
    auto* g = static_cast<TGroupe*>(item);
    if (g->triggerType_ == 0) {
      if (!looked) defaultDelay = TGroupe::DefaultDelay();
      looked = true;
      g->ResetTo(defaultDelay);
    }
    g->WriteFields();
  }
}

TGstGroups::~TGstGroups() {
  if (GstGroupsInstance == this) GstGroupsInstance = nullptr;
}

bool TGstGroups::CheckGroupNumber(std::string_view text, std::string& message) {
  int v = 0;
  if (platform::TryStrToInt(text, v) && v >= 1 && v <= kGroupCount) return true;
  message = LoadStr(248);
  return false;
}

void TGstGroups::FillFreeGroups(platform::StringList& list) const {
  list.Clear();
  for (TElemIHM* item : items_) {
    auto* g = static_cast<TGroupe*>(item);
    if (!g->IsUsed()) list.Add(std::to_string(g->Number()));
  }
}
