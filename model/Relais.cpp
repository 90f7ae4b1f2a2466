#include "model/Relais.h"

#include "model/Contexte.h"
#include "model/SiteImage.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::Format;
using platform::FmtLoadStr;
using platform::LoadStr;

TGstRelais* GstRelaisInstance = nullptr;

namespace {
constexpr std::size_t kCardTypeOffset = 261;
constexpr std::size_t kCardTablesOffset = 10003;
constexpr std::size_t kBoardTablesOffset = 10063;
}  // namespace

TRelais::TRelais(int index, std::size_t tableOffset)
    : number_(index + 1),
      position_(SiteImage + tableOffset + 5 * static_cast<std::size_t>(index)),
      groupTable_(position_, 5),
      groups_(&groupTable_) {}

TRelais::~TRelais() = default;

void TRelais::ReadImage() {
  if (position_) groups_->ReadImage();
}

void TRelais::WriteImage() {
  if (position_) groups_->WriteImage();
}

TCmRelai::TCmRelai(int index) : TRelais(index, kBoardTablesOffset) { Reset(); }

std::string TCmRelai::ShortName() const {
  std::string name = FmtLoadStr(143, {number_});
  if (number_ == 4) name += LoadStr(250);
  if (number_ == 5) name += LoadStr(251);
  return name;
}

bool TCmRelai::Check(platform::StringList* list) {
  if (groups_->Empty()) return true;
  if (list) list->Add(FmtLoadStr(254, {number_}));
  return false;
}

TNoCmRelai::TNoCmRelai(int index) : TRelais(index, kBoardTablesOffset) { Reset(); }
std::string TNoCmRelai::ShortName() const { return Format("Empty Board Relay %2d", {number_}); }

TOrlaRelai::TOrlaRelai(int index) : TRelais(index, kCardTablesOffset) { Reset(); }
std::string TOrlaRelai::ShortName() const { return FmtLoadStr(144, {number_}); }

TBrennRelai::TBrennRelai(int index) : TRelais(index, kCardTablesOffset) { Reset(); }
std::string TBrennRelai::ShortName() const { return FmtLoadStr(145, {number_}); }

TNoDuolRelai::TNoDuolRelai(int index) : TRelais(index, kCardTablesOffset) { Reset(); }
std::string TNoDuolRelai::ShortName() const { return Format("Empty Duol Relay %2d", {number_}); }

TGstRelais::TGstRelais() {
  GstRelaisInstance = this;
  TGstRelais::Reset();
}

TGstRelais::~TGstRelais() {
  if (GstRelaisInstance == this) GstRelaisInstance = nullptr;
}

TElemIHM* TGstRelais::Item(int index) const {
  return index >= 0 && index < Count() ? usable_[static_cast<std::size_t>(index)] : nullptr;
}

TRelais* TGstRelais::OnBoardRelay(int index) const {
  return index >= 0 && index < OnBoardCount() ? onBoard_[static_cast<std::size_t>(index)] : nullptr;
}

TRelais* TGstRelais::CardRelay(int index) const {
  return index >= 0 && index < CardCount() ? card_[static_cast<std::size_t>(index)] : nullptr;
}

void TGstRelais::Reset() {
  BuildOnBoardRelays();
  SetCardType(0);
  TZvoList::Reset();
}

void TGstRelais::ReadImage() {
  BuildOnBoardRelays();
  SetCardType(SiteImage[kCardTypeOffset]);
  TZvoList::ReadImage();
}

void TGstRelais::WriteImage() {
  SiteImage[kCardTypeOffset] = static_cast<std::uint8_t>(cardType_);
  TZvoList::WriteImage();
}

void TGstRelais::AddRelay(TRelais* relay, bool usable, std::vector<TRelais*>* kindList) {
  items_.push_back(relay);
  if (usable) {
    usable_.push_back(relay);
    kindList->push_back(relay);
  }
}

void TGstRelais::RemoveKind(bool cardRelays) {
  for (int i = static_cast<int>(usable_.size()) - 1; i >= 0; --i) {
    if (usable_[static_cast<std::size_t>(i)]->IsCardRelay() == cardRelays) usable_.erase(usable_.begin() + i);
  }
  for (int i = static_cast<int>(items_.size()) - 1; i >= 0; --i) {
    auto* relay = static_cast<TRelais*>(items_[static_cast<std::size_t>(i)]);
    if (relay->IsCardRelay() == cardRelays) {
      items_.erase(items_.begin() + i);
      delete relay;
    }
  }
}

void TGstRelais::BuildOnBoardRelays() {
  onBoard_.clear();
  RemoveKind(false);
  int n = GetContexte().OnBoardRelayCount();
  for (int index = 0; index < 5; ++index) {
    if (index == 2 && n != 5) {
      AddRelay(new TNoCmRelai(index), false, nullptr);
    } else {
      AddRelay(new TCmRelai(index), true, &onBoard_);
    }
  }
}

void TGstRelais::BuildCardRelays() {
  card_.clear();
  RemoveKind(true);
  for (int index = 0; index < 12; ++index) {
    int position = index + 1;
    if (cardType_ == 1) {
      AddRelay(new TBrennRelai(index), true, &card_);
    } else if (cardType_ == 2 && (position <= 6 || position == 11)) {
      AddRelay(new TOrlaRelai(index), true, &card_);
    } else {
      AddRelay(new TNoDuolRelai(index), false, nullptr);
    }
  }
}

void TGstRelais::SetCardType(int code) {
  if (!IsValidCardType(code) || code == cardType_) return;
  cardType_ = code;
  BuildCardRelays();
}

void TGstRelais::FillCardTypeList(platform::StringList& list) {
  list.Clear();
  list.Add(LoadStr(140));
  list.Add(LoadStr(141));
  list.Add(LoadStr(142));
}

std::string TGstRelais::CardTypeText() const {
  switch (cardType_) {
    case 1: return LoadStr(142);
    case 2: return LoadStr(141);
    default: return LoadStr(140);
  }
}

int TGstRelais::GroupUseCount(int group) const {
  int n = 0;
  for (TRelais* relay : usable_) {
    if (relay->IsUsed() && relay->Groups()->Contains(group)) ++n;
  }
  return n;
}
