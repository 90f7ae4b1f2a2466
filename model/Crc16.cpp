#include "model/Crc16.h"

#include "model/Contexte.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/Exception.h"
#include "platform/Format.h"
#include "platform/Texts.h"

namespace {

struct Variant {
  std::uint16_t polynomial;
  std::uint16_t finalXor;
};

constexpr Variant kVariants[] = {{0xA001, 0x0000}, {0xA001, 0x5EF1}, {0x8810, 0x0000}, {0xC002, 0x0000}};

std::uint16_t StoredCrc() {
  return static_cast<std::uint16_t>(SiteImage[kSiteCrcOffset] | (SiteImage[kSiteCrcOffset + 1] << 8));
}

}  // namespace

TCrc16DDS::TCrc16DDS() {
  int v = GetContexte().CrcVariant();
  const Variant& variant = kVariants[v >= 0 && v <= 3 ? v : 0];
  polynomial_ = variant.polynomial;
  finalXor_ = variant.finalXor;
}

std::uint16_t TCrc16DDS::Compute(const std::uint8_t* buffer, std::size_t count) const {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= buffer[i];
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ polynomial_) : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return static_cast<std::uint16_t>(crc ^ finalXor_);
}

void TCrc16DDS::WriteImage() {
  std::uint16_t crc = Compute(SiteImage, kSiteCrcOffset);
  SiteImage[kSiteCrcOffset] = static_cast<std::uint8_t>(crc & 0xFF);
  SiteImage[kSiteCrcOffset + 1] = static_cast<std::uint8_t>(crc >> 8);
}

void TCrc16DDS::ReadImage() {
  if (Compute(SiteImage, kSiteCrcOffset) != StoredCrc()) throw platform::Exception(platform::LoadStr(98));
}

std::string TCrc16DDS::SignatureText(TZavo& root) {
  root.WriteImage();
  return platform::Format("%4.4x", {StoredCrc()});
}
