#include "model/SigEvt.h"

#include "model/Contexte.h"
#include "model/SiteImage.h"
#include "platform/Texts.h"

TGstSigEvt* GstSigEvtInstance = nullptr;

namespace {

constexpr std::size_t kSigEvtTablesOffset = 10088;

std::uint8_t CategoryOf(int index) {
  if (index == 8 || index == 9 || index == 15) return 1;
  if ((index >= 10 && index <= 14) || index == 23 || index == 24) return 2;
  if (index == 25) return 3;
  if (index == 26) return 4;
  return 0;
}

}  // namespace

TSigEvt::TSigEvt(int index)
    : position_(SiteImage + kSigEvtTablesOffset + 5 * static_cast<std::size_t>(index)),
      index_(static_cast<std::uint8_t>(index > 26 ? 26 : index)),
      category_(CategoryOf(index_)),
      groupTable_(position_, 5),
      groups_(&groupTable_) {
  textId_ = index_ <= 25 ? 200 + index_ : 229;
  if (GetContexte().IsFscVariant()) {
    if (index_ == 8) textId_ = 226;
    if (index_ == 9) textId_ = 227;
    if (index_ == 15) textId_ = 228;
  }
  TSigEvt::Reset();
}

TSigEvt::~TSigEvt() = default;

std::string TSigEvt::LabelText() const { return platform::LoadStr(textId_); }

bool TSigEvt::IsUsed() {
  const TContexte& ctx = GetContexte();
  std::uint8_t t = ctx.PanelType();
  bool used = false;
  switch (category_) {
    case 0: used = true; break;
    case 1: used = t == 2 || t == 4 || t == 6 || t == 7 || t == 8 || t == 10 || t == 11; break;
    case 2: used = ctx.IsFscCieVariant(); break;
    case 3: used = ctx.HasEvacuationModes(); break;
    default: used = false; break;
  }
  if (!used) Reset();
  return used;
}

TGstSigEvt::TGstSigEvt() {
  GstSigEvtInstance = this;
  for (int i = 0; i < kSigEvtCount; ++i) items_.push_back(new TSigEvt(i));
}

TGstSigEvt::~TGstSigEvt() {
  if (GstSigEvtInstance == this) GstSigEvtInstance = nullptr;
}

int TGstSigEvt::GroupUseCount(int group) const {
  int n = 0;
  for (TElemIHM* item : items_) {
    auto* s = static_cast<TSigEvt*>(item);
    if (s->IsUsed() && s->Groups()->Contains(group)) ++n;
  }
  return n;
}

TSigEvt* TGstSigEvt::FindByGroup(int group) const {
  for (TElemIHM* item : items_) {
    auto* s = static_cast<TSigEvt*>(item);
    if (s->IsUsed() && s->Groups()->Contains(group)) return s;
  }
  return nullptr;
}
