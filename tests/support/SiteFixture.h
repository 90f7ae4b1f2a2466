// A fresh home, a context at the given panel type and one open new site.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "model/Contexte.h"
#include "model/Crc16.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "support/TempHome.h"

class SiteFixture : public ::testing::Test {
 protected:
  // Panel type of the context before the site is made; the default is the program's 7.
  explicit SiteFixture(std::uint8_t panelType = 7, std::string siteName = "Site")
      : panelType_(panelType), siteName_(std::move(siteName)) {}

  void SetUp() override {
    GetContexte().SetCurrentPanelType(panelType_);
    NewDatabase(siteName_, home_.Path());
  }
  void TearDown() override { CloseDatabase(); }

  TZavo& Root() { return *CurrentDatabase()->Root(); }
  TPoints& Point(int address) { return *Root().Points()->GetPoint(address - 1); }
  TZones& Zone(int number) { return *Root().Zones()->GetZone(number - 1); }
  // A point in use, as the points window leaves it.
  TPoints& MakePoint(int address, int type, int zone, const std::string& label = {}) {
    TPoints& p = Point(address);
    EXPECT_TRUE(p.SetType(type));
    p.SetZone(zone);
    p.SetLabel(label);
    return p;
  }
  std::uint8_t* Image() { return SiteImage; }
  // Re-decodes the image as a load does (after the test changed bytes of it).
  void Reload() { Root().ReadImage(); }
  // Writes the bytes into the image from the offset on and decodes it as a load does, the
  // CRC made to match first (the load checks it).
  void Patch(std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) Image()[offset++] = b;
    Root().Crc()->WriteImage();
    Reload();
  }

  TempHome home_;
  std::uint8_t panelType_;
  std::string siteName_;
};
