#include "model/Security.h"

#include "model/Contexte.h"
#include "model/Points.h"
#include "model/SiteImage.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::FmtLoadStr;

TSecurity* SecurityInstance = nullptr;

namespace {

constexpr std::size_t kAuxContactOffset = 10235;
constexpr std::size_t kEvacDelayOffset = 10283;
constexpr std::size_t kEvacDurationOffset = 10285;

TTimeHM ReadTime(const std::uint8_t* bytes, TTimeHM fallback) {
  return TimeOfBytes(bytes[0], bytes[1]).value_or(fallback);
}

void WriteTime(std::uint8_t* bytes, TTimeHM t) {
  bytes[0] = static_cast<std::uint8_t>(t.hour);
  bytes[1] = static_cast<std::uint8_t>(t.minute);
}

}  // namespace

bool TFoncSecu::IsUsed() { return GetContexte().IsFscCieVariant(); }

TTimeHM TFoncSecu::DefaultTime() const { return TimeOfText(135); }

TFoncUGA::TFoncUGA() : TFoncSecu(0) { TFoncUGA::Reset(); }

TTimeHM TFoncUGA::DefaultTime() const { return TimeOfText(134); }
TTimeHM TFoncUGA::DefaultTimeB() const { return TimeOfText(133); }

void TFoncUGA::Reset() {
  time_ = DefaultTime();
  duration_ = DefaultTimeB();
  auxContact_ = 0;
}

void TFoncUGA::ReadImage() {
  duration_ = ReadTime(SiteImage + kEvacDurationOffset, DefaultTimeB());
  time_ = ReadTime(SiteImage + kEvacDelayOffset, DefaultTime());
  auxContact_ = SiteImage[kAuxContactOffset];
}

void TFoncUGA::WriteImage() {
  WriteTime(SiteImage + kEvacDurationOffset, duration_);
  WriteTime(SiteImage + kEvacDelayOffset, time_);
  SiteImage[kAuxContactOffset] = static_cast<std::uint8_t>(auxContact_ & 0xFF);
}

bool TFoncUGA::IsEnabled() {
  TGstPoints* points = GstPointsInstance;
  if (!points) return false;
  for (int i = 0; i < points->Count(); ++i) {
    TPoints* p = points->GetPoint(i);
    if (p->IsUsed() && p->Evacuation(1)) return true;
  }
  return false;
}

TFoncBrk::TFoncBrk(int number)
    : TFoncSecu(number),
      position_(SiteImage + (number == 1 ? 10287 : 10295)),
      groupTable_(position_ + 3, 5),
      groups_(&groupTable_) {
  TFoncBrk::Reset();
}

TFoncBrk::~TFoncBrk() = default;

void TFoncBrk::Reset() {
  time_ = DefaultTime();
  enabled_ = 0;
  groups_->Reset();
}

void TFoncBrk::ReadImage() {
  time_ = ReadTime(position_ + 1, DefaultTime());
  enabled_ = position_[0] != 0 ? 1 : 0;
  groups_->ReadImage();
}

void TFoncBrk::WriteImage() {
  WriteTime(position_ + 1, time_);
  position_[0] = enabled_;
  groups_->WriteImage();
}

std::string TFoncBrk::ShortName() const { return FmtLoadStr(146, {number_ + 5}) + FmtLoadStr(252, {number_}); }

bool TFoncBrk::Check(platform::StringList* list) {
  if (groups_->Empty()) return true;
  if (list) list->Add(FmtLoadStr(254, {number_ + 5}));
  return false;
}

TSecurity::TSecurity() : evacuation_(new TFoncUGA), breaking1_(new TFoncBrk(1)), breaking2_(new TFoncBrk(2)) {
  SecurityInstance = this;
  TSecurity::Reset();
}

TSecurity::~TSecurity() {
  if (SecurityInstance == this) SecurityInstance = nullptr;
  delete evacuation_;
  delete breaking1_;
  delete breaking2_;
}

void TSecurity::Reset() {
  evacuation_->Reset();
  breaking1_->Reset();
  breaking2_->Reset();
}

void TSecurity::ReadImage() {
  evacuation_->ReadImage();
  breaking1_->ReadImage();
  breaking2_->ReadImage();
}

void TSecurity::WriteImage() {
  evacuation_->WriteImage();
  breaking1_->WriteImage();
  breaking2_->WriteImage();
}

bool TSecurity::IsEnabled() const {
  return evacuation_->IsEnabled() || breaking1_->IsEnabled() || breaking2_->IsEnabled();
}
