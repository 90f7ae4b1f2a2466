// The fixture of the editor windows: the main window of support/MainWindowFixture.h with
// the editor windows registered into its menus as the program registers them.
#pragma once

#include <QComboBox>
#include <QTest>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

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

  // The user's choice of an entry, by keys on the focused list.
  static void Choose(QComboBox* box, const QString& text) {
    const int target = box->findText(text);
    if (target < 0) throw std::logic_error("no entry " + text.toStdString());
    box->setFocus();
    while (box->currentIndex() != target) {
      QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
    }
  }
  static QStringList Entries(const QComboBox* box) {
    QStringList entries;
    for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
    return entries;
  }
  // The image as a save writes it.
  std::vector<std::uint8_t> Encoded() {
    Root().WriteImage();
    return {Image(), Image() + kSiteImageSize};
  }
};
