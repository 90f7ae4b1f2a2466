#include "model/Header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/Contexte.h"
#include "model/SiteImage.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "support/TempHome.h"
#include "support/Checks.h"

namespace {

// The header elements alone, on an image of their own.
class HeaderTest : public ::testing::Test {
 protected:
  void SetUp() override { AllocSiteImage(); }
  void TearDown() override {
    FreeSiteImage();
    platform::SetFixedNow(std::nullopt);
  }
  static std::string Bytes(std::size_t at, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(SiteImage + at), n);
  }

  TempHome home_;
};

const char* const kConflict = "Identification conflict! Wrong file for this application";

}  // namespace

TEST_F(HeaderTest, PanelTypeIdentification) {
  struct Case {
    std::uint8_t program;  // the program's type, which the element is made with
    std::uint8_t file;     // byte 0 of the image
    bool accepted;
    std::uint8_t after;    // the program's type afterwards
  };
  const Case cases[] = {
      {7, 7, true, 7},    {7, 2, false, 7},  {7, 3, false, 7},   {7, 0, false, 7},
      {7, 12, false, 7},  {7, 255, false, 7}, {2, 3, true, 3},   {3, 2, true, 2},
      {4, 5, true, 5},    {5, 4, true, 4},   {8, 9, true, 9},    {9, 8, true, 8},
      {2, 4, false, 2},   {6, 7, false, 6},  {1, 1, true, 1},    {11, 11, true, 11},
      // The settings flag lets a type-10 program open type-1 files, without switching.
      {10, 1, true, 10},  {11, 1, false, 11}, {1, 10, false, 1}, {10, 11, false, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "program " << int{c.program} << " file " << int{c.file});
    TContexte& ctx = GetContexte();
    ctx.SetCurrentPanelType(c.program);
    TPanelType element(c.program);
    SiteImage[0] = c.file;
    EXPECT_EQ(MessageOf([&] { element.ReadImage(); }), c.accepted ? "" : kConflict);
    EXPECT_EQ(ctx.PanelType(), c.after);
    EXPECT_EQ(element.Code(), c.accepted ? c.file : c.program);
  }
  EXPECT_TRUE(GetContexte().SettingsFlag());
}

TEST_F(HeaderTest, PanelTypeWrite) {
  struct Case {
    std::uint8_t element;
    std::uint8_t program;
    std::uint8_t written;  // 0xEE: byte 0 left as it was
  };
  const Case cases[] = {
      {7, 7, 7},  {3, 2, 3},  {2, 3, 2},  {1, 1, 1},  {10, 7, 11}, {11, 7, 10},
      {5, 7, 0xEE}, {0, 0, 0xEE}, {12, 12, 0xEE}, {200, 200, 0xEE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "element " << int{c.element} << " program " << int{c.program});
    GetContexte().SetCurrentPanelType(c.program);
    TPanelType element(c.element);
    SiteImage[0] = 0xEE;
    element.WriteImage();
    EXPECT_EQ(SiteImage[0], c.written);
  }
  for (int code = 0; code < 256; ++code) {
    EXPECT_EQ(TPanelType::IsValid(static_cast<std::uint8_t>(code)), code >= 1 && code <= 11) << code;
  }
}

TEST_F(HeaderTest, MapVersionCheck) {
  TVerMapDDS version;
  version.Reset();
  EXPECT_EQ(version.Text(), "0004");
  EXPECT_EQ(version.Number(), 4);

  struct Case {
    const char* bytes;  // image bytes 1-4
    const char* message;
  };
  const Case cases[] = {
      {"0004", ""},
      {"0003", ""},
      {"0001", ""},
      {"0005", "Open file error:version is superior than the application one!"},
      {"9999", "Open file error:version is superior than the application one!"},
      {"00a4", "'00a4' is not a valid integer value"},
      {"\0\0\0\0", "'' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    std::memcpy(SiteImage + 1, c.bytes, 4);
    version.ReadImage();
    EXPECT_EQ(MessageOf([&] { version.CheckVersion(4); }), c.message);
  }
  version.Reset();
  version.WriteImage();
  EXPECT_EQ(Bytes(1, 4), "0004");
}

TEST_F(HeaderTest, TimeStampDigitsOfTheFixedClock) {
  struct Case {
    platform::LocalDateTime now;
    const char* digits;
  };
  const Case cases[] = {
      {{2031, 1, 1, 9, 5, 59}, "3101010905"},
      {{2026, 4, 7, 15, 30, 0}, "2604071530"},
      {{1999, 12, 31, 23, 59, 0}, "9912312359"},
      {{2100, 2, 28, 0, 0, 0}, "0002280000"},
  };
  TDatTimDDS stamp;
  for (const Case& c : cases) {
    SiteImage[261] = SiteImage[272] = 0xEE;
    platform::SetFixedNow(c.now);
    EXPECT_EQ(platform::Now().minute, c.now.minute);
    stamp.WriteImage();
    EXPECT_EQ(Bytes(262, 10), c.digits);
    EXPECT_EQ(SiteImage[261], 0xEE);
    EXPECT_EQ(SiteImage[272], 0xEE);
  }
  platform::SetFixedNow(std::nullopt);
  EXPECT_GE(platform::Now().year, 2024);  // the real clock again
}

TEST_F(HeaderTest, ManualFlagAndFileName) {
  TManuModif flag;
  EXPECT_FALSE(flag.Flag());
  for (std::uint8_t b : {std::uint8_t{1}, std::uint8_t{255}}) {
    SiteImage[33] = b;
    flag.ReadImage();
    EXPECT_TRUE(flag.Flag());
    flag.WriteImage();
    EXPECT_EQ(SiteImage[33], 1);
  }
  flag.Reset();
  flag.WriteImage();
  EXPECT_EQ(SiteImage[33], 0);

  TFilNamDDS name;
  name.SetText("A name longer than twenty");
  EXPECT_EQ(name.Text(), "A name longer than t");
  name.WriteImage();
  EXPECT_EQ(Bytes(9, 20), "A name longer than t");
  EXPECT_EQ(SiteImage[29], 0);  // reserved bytes follow
}
