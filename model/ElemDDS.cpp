#include "model/ElemDDS.h"

#include <algorithm>
#include <cstring>

#include "model/SiteImage.h"
#include "platform/CodePage.h"
#include "platform/Texts.h"

void TElemDDS::WriteZeroPadded(std::string_view text, std::uint8_t* position, int width) {
  if (width <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(width));
  if (n > 0) std::memcpy(position, text.data(), n);
  std::memset(position + n, 0, static_cast<std::size_t>(width) - n);
}

void TElemDDS::WriteCentred(std::string_view text, std::uint8_t* position, int width) {
  std::string trimmed = platform::Trim(text);
  int n = static_cast<int>(trimmed.size());
  int pad = (width - n) / 2;  // truncates toward zero: a long text is cut at both ends
  for (int i = 0; i < width; ++i) {
    position[i] = (pad <= i && i < pad + n) ? static_cast<std::uint8_t>(trimmed[static_cast<size_t>(i - pad)]) : ' ';
  }
}

std::string TElemDDS::ReadText(const std::uint8_t* position, int width) {
  if (width <= 0) return {};
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(position, 0, static_cast<std::size_t>(width)));
  const std::size_t n = end ? static_cast<std::size_t>(end - position) : static_cast<std::size_t>(width);
  return std::string(reinterpret_cast<const char*>(position), n);
}

std::string TElemDDS::ReadTrimmed(const std::uint8_t* position, int width) {
  return platform::Trim(ReadText(position, width));
}

void TLabelDDS::Bind(std::size_t offset, int width) {
  position_ = SiteImage + offset;
  width_ = width;
}

void TLabelDDS::Reset() { text_.clear(); }

void TLabelDDS::ReadImage() { text_ = ReadText(position_, width_); }

void TLabelDDS::WriteImage() { WriteZeroPadded(text_, position_, width_); }

void TLabelDDS::SetText(std::string_view text) {
  text_ = std::string(text.substr(0, static_cast<size_t>(width_)));
}

bool TLabelDDS::IsValid(std::string_view text) const { return static_cast<int>(text.size()) <= width_; }

bool TLabelDDS::IsValidMsg(std::string_view text, std::string& message) const {
  bool ok = IsValid(text);
  if (!ok) message = platform::FmtLoadStr(94, {width_});
  return ok;
}
