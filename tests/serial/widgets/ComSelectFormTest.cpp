// The port selection dialog over pseudo-terminals in a folder of ports: what it lists, in
// which order and with which marks, what it returns, and its buttons.
#include "serial/widgets/ComSelectForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "serial/PortHolder.h"
#include "serial/PtyPair.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SlSelCom.h"
#include "support/Patience.h"

namespace {

using serialtest::PortHolder;
using serialtest::PtyPair;

// A folder of ports: each Link makes COMn a symlink to a pty of its own.
class ComSelectFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove(Dir() + "/COM7");
    setenv("KORVANEX_SERIAL_DIR", Dir().c_str(), 1);
  }
  void TearDown() override { ShowPortsInUse = savedShowInUse_; }

  const std::string& Dir() const { return folder_.Dir(); }
  std::string Path(int n) const { return Dir() + "/COM" + std::to_string(n); }
  // Returns the pty's slave device.
  std::string Link(int n) {
    ptys_.push_back(std::make_unique<PtyPair>());
    setenv("KORVANEX_SERIAL_DIR", Dir().c_str(), 1);  // the new pair pointed it at its own
    std::filesystem::create_symlink(ptys_.back()->SlavePath(), Path(n));
    return ptys_.back()->SlavePath();
  }

  static QStringList Items(const TComSelectForm& form) {
    QStringList items;
    for (int i = 0; i < form.PortsComboBox()->count(); ++i) items << form.PortsComboBox()->itemText(i);
    return items;
  }

  PtyPair folder_;
  std::vector<std::unique_ptr<PtyPair>> ptys_;
  const bool savedShowInUse_ = ShowPortsInUse;
};

TEST_F(ComSelectFormTest, ListsOpenablePortsAndPortsInUseUpToFifty) {
  Link(3);
  const std::string com5 = Link(5);
  Link(60);
  PortHolder holder(com5);
  ASSERT_TRUE(holder.Held());

  TComSelectForm form;
  const QComboBox* box = form.PortsComboBox();
  ASSERT_EQ(Items(form), (QStringList{"COM3", "COM5"}));
  EXPECT_EQ(box->itemData(0, Qt::ToolTipRole).toString().toStdString(), Path(3));
  EXPECT_EQ(box->itemData(1, Qt::ToolTipRole).toString().toStdString(), Path(5));
  EXPECT_FALSE(box->itemData(0, TComSelectForm::kPortInUseRole).toBool());
  EXPECT_TRUE(box->itemData(1, TComSelectForm::kPortInUseRole).toBool());
  EXPECT_TRUE(box->itemIcon(0).isNull());
  EXPECT_FALSE(box->itemIcon(1).isNull());
  EXPECT_EQ(box->currentIndex(), 0);
  EXPECT_TRUE(form.OkBtn()->isEnabled());
  EXPECT_EQ(form.SelectedCom(), QStringLiteral("COM3"));
  EXPECT_EQ(form.SelectedComNum(), 3);

  ShowPortsInUse = false;
  TComSelectForm freeOnly;
  EXPECT_EQ(Items(freeOnly), QStringList{"COM3"});
}

TEST_F(ComSelectFormTest, PortsComeInNumericOrderAndTheNumberIsReadFromTheText) {
  Link(12);
  Link(3);
  Link(50);
  TComSelectForm form;
  ASSERT_EQ(Items(form), (QStringList{"COM3", "COM12", "COM50"}));
  form.PortsComboBox()->setCurrentIndex(1);
  EXPECT_EQ(form.SelectedCom(), QStringLiteral("COM12"));
  EXPECT_EQ(form.SelectedComNum(), 12);
  form.PortsComboBox()->setCurrentIndex(2);
  EXPECT_EQ(form.SelectedComNum(), 50);
}

TEST_F(ComSelectFormTest, WithNoPortTheListIsEmptyAndOkIsDisabled) {
  TComSelectForm form;
  EXPECT_EQ(form.PortsComboBox()->count(), 0);
  EXPECT_FALSE(form.OkBtn()->isEnabled());
  EXPECT_TRUE(form.AbortBtn()->isEnabled());
  EXPECT_EQ(form.SelectedCom(), QString());
  EXPECT_EQ(form.SelectedComNum(), 0);

  // A port that appears later is listed when the list is filled again.
  Link(4);
  form.FormCreate();
  EXPECT_EQ(Items(form), QStringList{"COM4"});
  EXPECT_TRUE(form.OkBtn()->isEnabled());
}

TEST_F(ComSelectFormTest, OkAcceptsAndCancelRejects) {
  Link(2);
  TComSelectForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Select Port"));
  EXPECT_EQ(form.findChild<QComboBox*>(QStringLiteral("PortsComboBox")), form.PortsComboBox());
  EXPECT_FALSE(form.PortsComboBox()->isEditable());
  QStringList texts;
  for (const QLabel* label : form.findChildren<QLabel*>()) texts << label->text();
  EXPECT_EQ(texts, (QStringList{"The configured serial port is not valid.", "Please choose another port."}));
  struct Button {
    const char* name;
    int result;
  };
  for (const Button& b : {Button{"OkBtn", QDialog::Accepted}, Button{"AbortBtn", QDialog::Rejected}}) {
    SCOPED_TRACE(b.name);
    auto* button = form.findChild<QPushButton*>(QString::fromLatin1(b.name));
    ASSERT_NE(button, nullptr);
    QTimer::singleShot(0, button, &QPushButton::click);
    QTimer::singleShot(testwait::kPatienceMs, &form, [&form] { form.done(-1); });  // a button that does nothing
    EXPECT_EQ(form.exec(), b.result);
  }
  EXPECT_TRUE(form.OkBtn()->isDefault());
}


// A port component with no port and PromptForPort asks through the installed dialog, and
// opens the port chosen there; a cancelled dialog leaves it closed with "no port selected".
TEST_F(ComSelectFormTest, TheComponentAsksForAPortThroughTheDialog) {
  Link(6);
  InstallPortSelectDialog();
  auto answer = [](bool ok) {
    QTimer::singleShot(0, [ok] {
      auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
      ASSERT_NE(form, nullptr);
      (ok ? form->OkBtn() : form->AbortBtn())->click();
    });
  };
  {
    TSioComPort port(nullptr);
    port.SetPromptForPort(true);
    answer(false);
    try {
      port.SetOpen(true);
      ADD_FAILURE() << "opened without a port";
    } catch (const ESioException& e) {
      EXPECT_EQ(e.ErrorCode, ecNoPortSelected);
    }
    EXPECT_FALSE(port.Open());
    answer(true);
    port.SetOpen(true);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 6);
  }
  SetPortPrompt(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Also when run by hand, and when the tests are listed, without a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
