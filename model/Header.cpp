#include "model/Header.h"

#include "model/Contexte.h"
#include "model/SiteImage.h"
#include "platform/Clock.h"
#include "platform/Convert.h"
#include "platform/Exception.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::Format;
using platform::LoadStr;

TPanelType::TPanelType(std::uint8_t code) : code_(code) {}

bool TPanelType::IsValid(std::uint8_t code) {
  auto s = static_cast<std::int8_t>(code);
  return s >= 1 && s <= 11;
}

void TPanelType::ReadImage() {
  std::uint8_t code = SiteImage[0];
  TContexte& ctx = GetContexte();
  bool accepted = (IsValid(code) && ctx.IsCompatible(code)) || (code == 1 && ctx.SettingsFlag() && code_ == 10);
  if (!accepted) throw platform::Exception(LoadStr(99));
  code_ = code;
  ctx.SetPanelType(code);
}

void TPanelType::WriteImage() {
  TContexte& ctx = GetContexte();
  if (IsValid(code_) && ctx.IsCompatible(code_)) {
    SiteImage[0] = code_;
  } else if (ctx.SettingsFlag() && code_ == 10) {
    SiteImage[0] = 11;
  } else if (ctx.SettingsFlag() && code_ == 11) {
    SiteImage[0] = 10;
  }
}

TVerMapDDS::TVerMapDDS() { Bind(1, 4); }

void TVerMapDDS::Reset() { text_ = Format("%2.2d%2.2d", {0, 4}); }

int TVerMapDDS::Number() const { return platform::StrToInt(text_); }

void TVerMapDDS::CheckVersion(int programMapVersion) const {
  if (programMapVersion < Number()) throw platform::Exception(LoadStr(265));
}

TVerSftDDS::TVerSftDDS() { Bind(5, 4); }

void TVerSftDDS::Reset() {
  const TContexte& ctx = GetContexte();
  text_ = Format("%2.2d%2.2d", {ctx.VersionMajor(), ctx.VersionMinor()});
}

TFilNamDDS::TFilNamDDS() { Bind(9, 20); }

TManuModif::TManuModif() { Reset(); }

void TManuModif::ReadImage() { flag_ = SiteImage[33] != 0; }

void TManuModif::WriteImage() { SiteImage[33] = flag_ ? 1 : 0; }

void TDatTimDDS::WriteImage() {
  platform::LocalDateTime now = platform::Now();
  std::string digits = Format("%2.2d%2.2d%2.2d%2.2d%2.2d",
                              {now.year % 100, now.month, now.day, now.hour, now.minute});
  WriteZeroPadded(digits, SiteImage + 262, 10);
}
