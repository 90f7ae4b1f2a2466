// The site image decoded from and encoded to bytes in memory: the same site and the
// same messages as the site file, which only reads and writes those bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Groupes.h"
#include "model/Header.h"
#include "model/ParamsGen.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "platform/Clock.h"
#include "support/Checks.h"
#include "support/TempHome.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kLoadError = "An error occurs while loading database :\r\n";

class SiteBytesTest : public ::testing::Test {
 protected:
  // One clock for every encoding, so that two encodings of one site are the same bytes.
  void SetUp() override {
    platform::SetFixedNow(platform::LocalDateTime{2031, 1, 1, 9, 5, 0});
    GetContexte().SetCurrentPanelType(7);
  }
  void TearDown() override {
    CloseDatabase();
    platform::SetFixedNow(std::nullopt);
  }

  TZavo& Root() { return *CurrentDatabase()->Root(); }

  static Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }

  // A new site with something in each kind of record.
  void NewSample() {
    NewDatabase("Alpha", home_.Path());
    Root().ParamsGen()->SiteName()->SetText("North");
    TPoints* point = Root().Points()->GetPoint(4);
    point->SetType(19);
    point->SetLabel("Hall");
    point->SetZone(3);
    point->Groups()->Add(7);
    Root().Zones()->GetZone(2)->SetLabel("Ground floor");
    TGroupe* group = Root().Groups()->GetGroup(6);
    group->SetTriggerType(1);
    group->SetDelay("5");
  }

  // The message of decoding the bytes into a new site, which is closed again.
  std::string DecodeMessage(const Bytes& b) {
    NewDatabase("Memory", home_.Path());
    std::string message = MessageOf([&] { Root().DecodeImage(b.data(), b.size()); });
    CloseDatabase();
    return message;
  }

  TempHome home_;
};

}  // namespace

TEST_F(SiteBytesTest, EncodingDecodesToTheSameSite) {
  NewSample();
  const Bytes encoded = Root().EncodeImage();
  ASSERT_EQ(encoded.size(), kSiteImageSize);
  EXPECT_EQ(encoded, Bytes(SiteImage, SiteImage + kSiteImageSize));
  CloseDatabase();

  NewDatabase("Memory", home_.Path());
  Root().SetModified(true);
  Root().DecodeImage(encoded.data(), encoded.size());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Root().ParamsGen()->SiteName()->Text(), "North");
  EXPECT_EQ(Root().Points()->GetPoint(4)->Label(), "Hall");
  EXPECT_TRUE(Root().Points()->GetPoint(4)->Groups()->Contains(7));
  EXPECT_EQ(Root().Zones()->GetZone(2)->Label(), "Ground floor");
  EXPECT_TRUE(Root().Zones()->GetZone(2)->IsUsed());
  EXPECT_EQ(Root().Groups()->GetGroup(6)->Delay(), "005");
  EXPECT_EQ(Root().FileName()->Text(), "Alpha") << "the name comes from the bytes";
  EXPECT_EQ(Root().EncodeImage(), encoded);
}

TEST_F(SiteBytesTest, SaveWritesTheEncodingAndOpenDecodesTheFile) {
  NewSample();
  const Bytes encoded = Root().EncodeImage();
  Root().SetModified(true);
  SaveDatabase(*CurrentDatabase());
  EXPECT_FALSE(Root().Modified());
  const std::string path = DatabasePath(*CurrentDatabase());
  EXPECT_EQ(Read(path), encoded);
  CloseDatabase();

  OpenDatabase(path);
  EXPECT_EQ(Root().Points()->GetPoint(4)->Label(), "Hall");
  EXPECT_EQ(Root().EncodeImage(), encoded);
}

TEST_F(SiteBytesTest, RefusedBuffersGiveTheFileMessages) {
  NewDatabase("Alpha", home_.Path());
  const Bytes good = Root().EncodeImage();
  CloseDatabase();
  struct Case {
    const char* name;
    void (*change)(Bytes&);
    const char* message;
  };
  const Case cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "Wrong file format"},
      {"one byte short", [](Bytes& b) { b.pop_back(); }, "Wrong file format"},
      {"one byte long", [](Bytes& b) { b.push_back(0); }, "Wrong file format"},
      {"wrong panel type", [](Bytes& b) { b[0] = 4; }, "Identification conflict! Wrong file for this application"},
      {"newer map", [](Bytes& b) { b[4] = '5'; }, "Open file error:version is superior than the application one!"},
      {"one remarks byte", [](Bytes& b) { b[150] = 'x'; }, "File integrity corrupted"},
      {"stored CRC", [](Bytes& b) { b[10320] ^= 0x01; }, "File integrity corrupted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    c.change(b);
    EXPECT_EQ(DecodeMessage(b), c.message);
    Write(home_.Sub("Bad.srd"), b);
    EXPECT_EQ(MessageOf([&] { OpenDatabase(home_.Sub("Bad.srd")); }), kLoadError + c.message);
    EXPECT_FALSE(IsDatabaseLoaded());
  }
}

TEST_F(SiteBytesTest, WrongSizeIsRefusedBeforeTheImageChanges) {
  NewSample();
  const Bytes before(SiteImage, SiteImage + kSiteImageSize);
  const Bytes longer(kSiteImageSize + 46, 0x1A);
  EXPECT_EQ(MessageOf([&] { Root().DecodeImage(longer.data(), longer.size()); }), "Wrong file format");
  EXPECT_EQ(Bytes(SiteImage, SiteImage + kSiteImageSize), before);
  EXPECT_EQ(Root().Points()->GetPoint(4)->Label(), "Hall");
}
