// A fresh home, a context at the given panel type and one open new site.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "model/Contexte.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "support/TempHome.h"

class SiteFixture : public ::testing::Test {
 protected:
  // Panel type of the context before the site is made; the default is the program's 7.
  explicit SiteFixture(std::uint8_t panelType = 7) : panelType_(panelType) {}

  void SetUp() override {
    GetContexte().SetCurrentPanelType(panelType_);
    NewDatabase("Site", home_.Path());
  }
  void TearDown() override { CloseDatabase(); }

  TZavo& Root() { return *CurrentDatabase()->Root(); }
  std::uint8_t* Image() { return SiteImage; }
  // Re-decodes the image as a load does (after the test changed bytes of it).
  void Reload() { Root().ReadImage(); }

  TempHome home_;
  std::uint8_t panelType_;
};
