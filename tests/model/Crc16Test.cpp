#include "model/Crc16.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "model/Contexte.h"
#include "model/Points.h"
#include "platform/Clock.h"
#include "model/SiteImage.h"
#include "platform/Exception.h"
#include "support/SiteFixture.h"
#include "support/TempHome.h"
#include "support/Checks.h"

namespace {

const std::uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

}  // namespace

TEST(Crc16, VariantFollowsThePanelTypeWhenMade) {
  struct Case {
    std::uint8_t panelType;
    std::uint16_t polynomial;
    std::uint16_t finalXor;
    std::uint16_t check;  // over "123456789"
  };
  const Case cases[] = {
      {1, 0xA001, 0x0000, 0x4B37},  {10, 0xA001, 0x0000, 0x4B37}, {11, 0xA001, 0x0000, 0x4B37},
      {12, 0xA001, 0x0000, 0x4B37}, {0, 0xA001, 0x0000, 0x4B37},
      {7, 0xA001, 0x5EF1, 0x15C6},  {2, 0xA001, 0x5EF1, 0x15C6},  {3, 0xA001, 0x5EF1, 0x15C6},
      {8, 0x8810, 0x0000, 0xEAB4},  {9, 0x8810, 0x0000, 0xEAB4},
      {4, 0xC002, 0x0000, 0x5FB6},  {5, 0xC002, 0x0000, 0x5FB6},  {6, 0xC002, 0x0000, 0x5FB6},
  };
  TempHome home;
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.panelType});
    GetContexte().SetCurrentPanelType(c.panelType);
    TCrc16DDS crc;
    EXPECT_EQ(crc.Polynomial(), c.polynomial);
    EXPECT_EQ(crc.FinalXor(), c.finalXor);
    EXPECT_EQ(crc.Compute(kCheck, sizeof kCheck), c.check);
    EXPECT_EQ(ReferenceCrc(kCheck, sizeof kCheck, c.polynomial, c.finalXor), c.check);
    // A later change of the program's type does not move a CRC object already made.
    GetContexte().SetCurrentPanelType(c.panelType == 7 ? 1 : 7);
    EXPECT_EQ(crc.Compute(kCheck, sizeof kCheck), c.check);
    EXPECT_EQ(crc.Compute(kCheck, 0), static_cast<std::uint16_t>(0xFFFF ^ c.finalXor));
  }
}

// Eight bytes a step, then byte by byte: every length around a step and a whole image,
// on bytes that differ, in every variant, against the bit-by-bit form.
TEST(Crc16, EveryLengthMatchesTheBitwiseForm) {
  std::vector<std::uint8_t> data(10320);
  std::uint32_t x = 12345;
  for (std::uint8_t& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  const struct {
    std::uint8_t panelType;
    std::uint16_t polynomial, finalXor;
  } variants[] = {{1, 0xA001, 0x0000}, {7, 0xA001, 0x5EF1}, {8, 0x8810, 0x0000}, {4, 0xC002, 0x0000}};
  TempHome home;
  for (const auto& v : variants) {
    GetContexte().SetCurrentPanelType(v.panelType);
    TCrc16DDS crc;
    for (std::size_t count : {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, std::size_t{16},
                              std::size_t{17}, std::size_t{31}, std::size_t{10320}}) {
      for (std::size_t start : {std::size_t{0}, std::size_t{3}}) {
        if (start + count > data.size()) continue;
        SCOPED_TRACE(testing::Message() << "type " << int{v.panelType} << ", " << count << " bytes from " << start);
        EXPECT_EQ(crc.Compute(data.data() + start, count),
                  ReferenceCrc(data.data() + start, count, v.polynomial, v.finalXor));
      }
    }
  }
}

class Crc16Site : public SiteFixture {};

TEST_F(Crc16Site, StoredLittleEndianAndChecked) {
  TCrc16DDS& crc = *Root().Crc();
  std::memcpy(Image() + 95, "remarks", 7);
  crc.WriteImage();
  const std::uint16_t expected = ReferenceCrc(Image(), 10320, 0xA001, 0x5EF1);
  EXPECT_EQ(Image()[10320], expected & 0xFF);
  EXPECT_EQ(Image()[10321], expected >> 8);
  EXPECT_NO_THROW(crc.ReadImage());

  // Any byte before the CRC matters; the variant comes from the program, not byte 0.
  for (std::size_t at : {std::size_t{0}, std::size_t{95}, std::size_t{10319}}) {
    SCOPED_TRACE(at);
    Image()[at] ^= 0x01;
    try {
      crc.ReadImage();
      ADD_FAILURE() << "no error";
    } catch (const platform::Exception& e) {
      EXPECT_STREQ(e.what(), "File integrity corrupted");
    }
    Image()[at] ^= 0x01;
  }
  Image()[0] = 4;  // a type whose own variant differs
  crc.WriteImage();
  EXPECT_EQ(crc.Compute(Image(), 10320), ReferenceCrc(Image(), 10320, 0xA001, 0x5EF1));
  Image()[0] = 7;
}

TEST_F(Crc16Site, SignatureIsTheStoredCrcInFourLowerCaseDigits) {
  // Byte 10319 is written by no element, so it steers the CRC until it has a leading zero.
  for (int b = 0; b < 256; ++b) {
    Image()[10319] = static_cast<std::uint8_t>(b);
    Root().Crc()->WriteImage();
    const std::string signature = TCrc16DDS::SignatureText(Root());
    const unsigned stored = Image()[10320] | (Image()[10321] << 8);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", stored);
    ASSERT_EQ(signature, hex);
    if (stored < 0x1000) {
      EXPECT_EQ(signature[0], '0');
      return;
    }
  }
  FAIL() << "no CRC below 0x1000 found";
}

TEST_F(Crc16Site, SignatureOfAModifiedSiteIsWhatASaveStoresAndLeavesTheSiteAsItWas) {
  platform::SetFixedNow(platform::LocalDateTime{2031, 7, 9, 8, 5, 0});
  Root().Points()->GetPoint(4)->SetLabel("CHANGED");
  Root().SetModified(true);
  const std::vector<std::uint8_t> before(Image(), Image() + kSiteImageSize);

  const std::string signature = TCrc16DDS::SignatureText(Root());
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(std::vector<std::uint8_t>(Image(), Image() + kSiteImageSize), before);

  const std::vector<std::uint8_t> saved = Root().EncodeImage();
  platform::SetFixedNow(std::nullopt);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04x", saved[10320] | (saved[10321] << 8));
  EXPECT_EQ(signature, hex);
  EXPECT_NE(saved, before);
}

TEST_F(Crc16Site, SignatureOfAnUnmodifiedSiteIsTheStoredCrc) {
  // A byte changed behind the model's back: nothing re-encodes while the site is unmodified.
  Image()[10319] ^= 0x5A;
  const unsigned stored = Image()[10320] | (Image()[10321] << 8);
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04x", stored);
  EXPECT_EQ(TCrc16DDS::SignatureText(Root()), hex);
  EXPECT_FALSE(Root().Modified());
}
