// The site database file: its bytes as the program writes them, what survives a
// resave, and the exact messages of the files it refuses.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Header.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Version.h"
#include "support/TempHome.h"
#include "support/Checks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void FixCrc(Bytes& b) {
  const std::uint16_t crc = ReferenceSiteCrc7(b.data());
  b[10320] = static_cast<std::uint8_t>(crc & 0xFF);
  b[10321] = static_cast<std::uint8_t>(crc >> 8);
}

std::string Text(const Bytes& b, std::size_t at, std::size_t n) { return RawText(b.data() + at, n); }

void Put(Bytes& b, std::size_t at, const std::string& text) { std::memcpy(b.data() + at, text.data(), text.size()); }

const std::string kLoadError = "An error occurs while loading database :\r\n";

class SiteFileTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetFixedNow(platform::LocalDateTime{2031, 1, 1, 9, 5, 0}); }
  void TearDown() override {
    CloseDatabase();
    platform::SetFixedNow(std::nullopt);
    platform::SetWriteFaultForTests(-1, 0);
  }

  std::string PathOf(const std::string& name) const { return home_.Sub(name); }

  static Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  }

  // A new site named Alpha, saved by the program; its bytes.
  Bytes NewAlpha() {
    NewDatabase("Alpha", home_.Path());
    SaveDatabase(*CurrentDatabase());
    CloseDatabase();
    return Read(PathOf("Alpha.srd"));
  }

  TempHome home_;
};

}  // namespace

TEST_F(SiteFileTest, NewSiteIsTheDefaultImageWithItsCrc) {
  const Bytes b = NewAlpha();
  ASSERT_EQ(b.size(), 10322u);

  char version[8];
  std::snprintf(version, sizeof version, "%02d%02d", platform::kVersionMajor, platform::kVersionMinor);
  EXPECT_EQ(b[0], 7);
  EXPECT_EQ(Text(b, 1, 4), "0004");
  EXPECT_EQ(Text(b, 5, 4), version);
  EXPECT_EQ(Text(b, 9, 20), std::string("Alpha") + std::string(15, '\0'));
  EXPECT_EQ(Text(b, 29, 5), std::string(5, '\0'));  // reserved, and the manual flag
  EXPECT_EQ(Text(b, 34, 20), "     SARDEL128      ");
  EXPECT_EQ(b[54], 'A');
  EXPECT_EQ(Text(b, 55, 200), std::string(200, '\0'));  // editor, localisation, remarks
  EXPECT_EQ(Text(b, 255, 6), "794862");
  EXPECT_EQ(Text(b, 262, 10), "3101010905");
  EXPECT_EQ(b[10236], 0);
  EXPECT_EQ(b[10237], 0);
  EXPECT_EQ(b[10319], 0);
  const std::uint16_t crc = ReferenceSiteCrc7(b.data());
  EXPECT_EQ(b[10320], crc & 0xFF);
  EXPECT_EQ(b[10321], crc >> 8);

  // The default site does not depend on anything but the name and the time.
  EXPECT_EQ(NewAlpha(), b);
}

TEST_F(SiteFileTest, ResaveChangesOnlyTheTimeStampAndTheCrc) {
  Bytes original = NewAlpha();
  // Bytes no element owns keep what the loaded file held.
  const std::size_t reserved[] = {29, 30, 31, 32, 10236, 10237, 10319};
  for (std::size_t at : reserved) original[at] = static_cast<std::uint8_t>(0xA0 + at % 7);
  FixCrc(original);
  Write(PathOf("Alpha.srd"), original);

  platform::SetFixedNow(platform::LocalDateTime{2032, 11, 30, 17, 45, 0});
  OpenDatabase(PathOf("Alpha.srd"));
  SaveDatabase(*CurrentDatabase(), PathOf("Resaved.srd"));
  const Bytes resaved = Read(PathOf("Resaved.srd"));

  ASSERT_EQ(resaved.size(), original.size());
  EXPECT_EQ(Text(resaved, 262, 10), "3211301745");
  EXPECT_EQ(resaved[10320] | (resaved[10321] << 8), ReferenceSiteCrc7(resaved.data()));
  for (std::size_t i = 0; i < original.size(); ++i) {
    const bool mayDiffer = (i >= 262 && i <= 271) || i >= 10320;
    if (!mayDiffer) {
      ASSERT_EQ(resaved[i], original[i]) << "byte " << i;
    }
  }
}

TEST_F(SiteFileTest, HeaderOfAForeignFileIsRewritten) {
  Bytes b = NewAlpha();
  Put(b, 1, "0003");
  Put(b, 5, "0099");
  b[33] = 1;  // modified on the panel
  FixCrc(b);
  Write(PathOf("Alpha.srd"), b);

  OpenDatabase(PathOf("Alpha.srd"));
  EXPECT_FALSE(CurrentDatabase()->Root()->Modified());
  SaveDatabase(*CurrentDatabase());
  const Bytes saved = Read(PathOf("Alpha.srd"));
  char version[8];
  std::snprintf(version, sizeof version, "%02d%02d", platform::kVersionMajor, platform::kVersionMinor);
  EXPECT_EQ(Text(saved, 1, 4), "0004");
  EXPECT_EQ(Text(saved, 5, 4), version);
  EXPECT_EQ(saved[33], 0);
}

TEST_F(SiteFileTest, MapVersionOneKeepsDefaultThresholds) {
  Bytes b = NewAlpha();
  const Bytes defaults(b.begin() + 10228, b.begin() + 10234);
  ASSERT_EQ(defaults, (Bytes{3, 1, 3, 3, 0, 0}));
  for (const char* map : {"0001", "0000"}) {
    SCOPED_TRACE(map);
    Put(b, 1, map);
    for (std::size_t at = 10228; at < 10232; ++at) b[at] = 2;
    FixCrc(b);
    Write(PathOf("Alpha.srd"), b);
    OpenDatabase(PathOf("Alpha.srd"));
    SaveDatabase(*CurrentDatabase());
    CloseDatabase();
    const Bytes saved = Read(PathOf("Alpha.srd"));
    EXPECT_EQ(Bytes(saved.begin() + 10228, saved.begin() + 10234), defaults);
  }
}

TEST_F(SiteFileTest, RefusedFilesGiveTheirMessageAndLeaveNoSite) {
  const Bytes good = NewAlpha();
  struct Case {
    const char* name;
    void (*change)(Bytes&);
    const char* message;
  };
  const Case cases[] = {
      {"one byte short", [](Bytes& b) { b.pop_back(); }, "Wrong file format"},
      {"one byte long", [](Bytes& b) { b.push_back(0); }, "Wrong file format"},
      {"empty", [](Bytes& b) { b.clear(); }, "Wrong file format"},
      {"type 3", [](Bytes& b) { b[0] = 3; FixCrc(b); }, "Identification conflict! Wrong file for this application"},
      {"type 12", [](Bytes& b) { b[0] = 12; FixCrc(b); }, "Identification conflict! Wrong file for this application"},
      {"type 0, CRC broken too", [](Bytes& b) { b[0] = 0; }, "Identification conflict! Wrong file for this application"},
      {"type 2 and map 0005", [](Bytes& b) { b[0] = 2; Put(b, 1, "0005"); FixCrc(b); },
       "Identification conflict! Wrong file for this application"},
      {"map 0005", [](Bytes& b) { Put(b, 1, "0005"); FixCrc(b); }, "Open file error:version is superior than the application one!"},
      {"map 0005, CRC broken too", [](Bytes& b) { Put(b, 1, "0005"); },
       "Open file error:version is superior than the application one!"},
      {"map not a number", [](Bytes& b) { Put(b, 1, "00x4"); FixCrc(b); }, "'00x4' is not a valid integer value"},
      {"one remarks byte", [](Bytes& b) { b[150] = 'x'; }, "File integrity corrupted"},
      {"stored CRC", [](Bytes& b) { b[10321] ^= 0x80; }, "File integrity corrupted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = good;
    c.change(b);
    Write(PathOf("Bad.srd"), b);
    NewDatabase("Open", home_.Path());  // replaced by the open, then gone with its failure
    EXPECT_EQ(MessageOf([&] { OpenDatabase(PathOf("Bad.srd")); }), kLoadError + c.message);
    EXPECT_FALSE(IsDatabaseLoaded());
    EXPECT_EQ(SiteImage, nullptr);
    EXPECT_EQ(GetContexte().PanelType(), 7);
  }
}

TEST_F(SiteFileTest, MissingFileKeepsTheOpenSite) {
  NewDatabase("Open", home_.Path());
  TProjet* open = CurrentDatabase();
  for (const std::string& path : {PathOf("Missing.srd"), home_.Path(), std::string()}) {
    EXPECT_EQ(MessageOf([&] { OpenDatabase(path); }), "Unable to load\r\n" + path + "\r\nZavo database.");
    EXPECT_EQ(CurrentDatabase(), open);
    EXPECT_EQ(CurrentDatabase()->Name(), "Open");
  }
}

TEST_F(SiteFileTest, PartnerTypeLoadsAndBecomesCurrent) {
  GetContexte().SetCurrentPanelType(3);
  NewDatabase("Cie", home_.Path());
  SaveDatabase(*CurrentDatabase());
  CloseDatabase();

  GetContexte().SetCurrentPanelType(2);
  OpenDatabase(PathOf("Cie.srd"));
  EXPECT_EQ(GetContexte().PanelType(), 3);
  CloseDatabase();

  GetContexte().SetCurrentPanelType(4);  // another CRC family and no partner of 3
  EXPECT_EQ(MessageOf([&] { OpenDatabase(PathOf("Cie.srd")); }),
            kLoadError + "Identification conflict! Wrong file for this application");
}

TEST_F(SiteFileTest, ReceivedFileIsCutToTheImage) {
  Bytes site = NewAlpha();
  site[33] = 1;
  Bytes received = site;
  received.resize(81 * 128, 0x1A);  // XMODEM padding of the last block
  Write(PathOf("Database.tmp"), received);

  NewDatabase("Open", home_.Path());
  const Bytes image(SiteImage, SiteImage + kSiteImageSize);
  std::string name;
  bool manual = false;
  RewriteReceivedSiteFile(PathOf("Database.tmp"), name, manual);
  EXPECT_EQ(Read(PathOf("Database.tmp")), site);
  EXPECT_EQ(name, "Alpha");
  EXPECT_TRUE(manual);
  EXPECT_EQ(Bytes(SiteImage, SiteImage + kSiteImageSize), image);  // the open site is untouched

  const Bytes shortFile(site.begin(), site.begin() + 10000);
  Write(PathOf("Short.tmp"), shortFile);
  EXPECT_EQ(MessageOf([&] { RewriteReceivedSiteFile(PathOf("Short.tmp"), name, manual); }), "Wrong file format");
  EXPECT_EQ(Read(PathOf("Short.tmp")), shortFile);
  EXPECT_EQ(MessageOf([&] { RewriteReceivedSiteFile(PathOf("None.tmp"), name, manual); }), "Open file error");

  // A failed write leaves the received file as it came.
  Write(PathOf("Database.tmp"), received);
  platform::SetWriteFaultForTests(100, ENOSPC);
  EXPECT_EQ(MessageOf([&] { RewriteReceivedSiteFile(PathOf("Database.tmp"), name, manual); }),
            "Write datas error\r\n" + std::string(std::strerror(ENOSPC)));
  EXPECT_EQ(Read(PathOf("Database.tmp")), received);
}
