#include "model/Crc16.h"

#include <algorithm>
#include <vector>

#include "model/Contexte.h"
#include "model/Header.h"
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

// Slice k gives the register after a byte value and k zero bytes went through it, bit
// by bit; with eight slices Compute takes eight bytes a step. Every new site, load and
// save runs the whole image through it.
struct Slices {
  // A built-in array: indexing it stays inline in every build.
  std::uint16_t t[8][256];
};

constexpr Slices MakeSlices(std::uint16_t polynomial) {
  Slices slices{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    auto crc = static_cast<std::uint16_t>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ polynomial) : static_cast<std::uint16_t>(crc >> 1);
    }
    slices.t[0][byte] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const std::uint16_t before = slices.t[k - 1][byte];
      slices.t[k][byte] = static_cast<std::uint16_t>((before >> 8) ^ slices.t[0][before & 0xFF]);
    }
  }
  return slices;
}

constexpr Slices kSlices[] = {MakeSlices(kVariants[0].polynomial), MakeSlices(kVariants[1].polynomial),
                              MakeSlices(kVariants[2].polynomial), MakeSlices(kVariants[3].polynomial)};

std::uint16_t StoredCrc() {
  return static_cast<std::uint16_t>(SiteImage[kSiteCrcOffset] | (SiteImage[kSiteCrcOffset + 1] << 8));
}

}  // namespace

TCrc16DDS::TCrc16DDS() {
  int v = GetContexte().CrcVariant();
  variant_ = v >= 0 && v <= 3 ? v : 0;
  polynomial_ = kVariants[variant_].polynomial;
  finalXor_ = kVariants[variant_].finalXor;
}

std::uint16_t TCrc16DDS::Compute(const std::uint8_t* buffer, std::size_t count) const {
  std::uint16_t crc = 0xFFFF;
  const auto& t = kSlices[variant_].t;
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const std::uint8_t* p = buffer + i;
    crc = static_cast<std::uint16_t>(t[7][(p[0] ^ crc) & 0xFF] ^ t[6][(p[1] ^ (crc >> 8)) & 0xFF] ^ t[5][p[2]] ^
                                     t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
  }
  for (; i < count; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ t[0][(crc ^ buffer[i]) & 0xFF]);
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
  std::uint16_t crc = StoredCrc();
  if (root.Modified()) {
    // What a save would store, encoded on the image and then undone: printing must leave
    // the image, its time stamp and the modified flag as they were.
    const std::vector<std::uint8_t> image(SiteImage, SiteImage + kSiteImageSize);
    const std::string mapVersion = root.MapVersionField()->Text();
    root.WriteImage();
    crc = StoredCrc();
    std::copy(image.begin(), image.end(), SiteImage);
    root.MapVersionField()->SetText(mapVersion);
    root.SetModified(true);
  }
  return platform::Format("%4.4x", {crc});
}
