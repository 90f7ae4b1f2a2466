// The fixture of the editor windows: the main window of support/MainWindowFixture.h with
// the editor windows registered into its menus as the program registers them.
#pragma once

#include <cstdint>
#include <string>

#include "editors/EditorWindows.h"
#include "support/MainWindowFixture.h"

class EditorFixture : public MainWindowFixture {
 protected:
  explicit EditorFixture(std::uint8_t panelType = 7, std::string siteName = "Site")
      : MainWindowFixture(panelType, std::move(siteName)) {}

  void SetUp() override {
    RegisterEditorWindows();
    MainWindowFixture::SetUp();
  }
};
