// The general parameters window, opened from Configuration as the user opens it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolBar>
#include <ostream>
#include <string>
#include <vector>

#include "editors/FormZvoGeneral.h"
#include "editors/RangeSlider.h"
#include "model/ParamsGen.h"
#include "model/SiteImage.h"
#include "model/SiteSettings.h"
#include "support/EditorFixture.h"
#include "support/Typing.h"

static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

// Image offsets of the fields the window edits.
constexpr std::size_t kSiteName = 34;
constexpr std::size_t kDataIndex = 54;
constexpr std::size_t kEditor = 55;
constexpr std::size_t kLocal = 75;
constexpr std::size_t kRemark = 95;
constexpr std::size_t kCode2 = 255;
constexpr std::size_t kCode3 = 258;
constexpr std::size_t kCard = 261;
constexpr std::size_t kLineSystem = 272;
constexpr std::size_t kThresholds = 10228;
constexpr std::size_t kCarry1 = 10238;
constexpr std::size_t kCarry2 = 10260;
constexpr std::size_t kDayNight = 10310;

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(const std::string& text) { return {text.begin(), text.end()}; }

class GeneralTest : public EditorFixture {
 protected:
  explicit GeneralTest(std::uint8_t panelType = 7, std::string siteName = "Alpha")
      : EditorFixture(panelType, std::move(siteName)) {}

  void SetUp() override {
    TFormZvoGeneral::ForgetAutomaticLabels();
    EditorFixture::SetUp();
  }

  TFormZvoGeneral* OpenGeneral() {
    TFormZvoGeneral* g = Open<TFormZvoGeneral>("MenuItemParamGen");
    if (!g) throw std::logic_error("the window did not open");
    return g;
  }
  template <class T = QWidget>
  static T* C(const TFormZvoGeneral* g, const char* name) {
    return Control<T>(g, name);
  }
  void Click(const TFormZvoGeneral* g, const char* button) {
    QTest::mouseClick(C<QPushButton>(g, button), Qt::LeftButton);
  }
  // OK that passes its checks: the window is gone afterwards.
  void Ok(const TFormZvoGeneral* g) {
    Click(g, "BitBtnValider");
    ASSERT_TRUE(WaitNoChild()) << boxes_.Texts().join(QLatin1Char('|')).toStdString();
  }
  Bytes At(std::size_t offset, std::size_t n) {
    const Bytes all = Encoded();
    return {all.begin() + static_cast<std::ptrdiff_t>(offset), all.begin() + static_cast<std::ptrdiff_t>(offset + n)};
  }
  void PatchText(std::size_t offset, const std::string& text, std::size_t width) {
    std::string padded = text;
    padded.resize(width, '\0');
    for (std::size_t i = 0; i < width; ++i) Image()[offset + i] = static_cast<std::uint8_t>(padded[i]);
  }
  // A site with every field of the window away from its default, some the window cannot
  // show as they are: an unused input with a label, a remark with a bare LF, an optical
  // threshold beyond the list.
  void LoadFullSite() {
    Root().WriteImage();
    PatchText(kSiteName, "  Beta Site  ", 20);
    Image()[kDataIndex] = 'Q';
    PatchText(kEditor, "Ed", 20);
    PatchText(kLocal, "Lyon", 20);
    PatchText(kRemark, "ab\r\ncd\nef", 160);
    PatchText(kCode2, "123", 3);
    PatchText(kCode3, "045", 3);
    Image()[kCard] = 1;
    Image()[kLineSystem] = 0;
    const std::uint8_t thresholds[] = {9, 2, 0, 1};
    std::copy(std::begin(thresholds), std::end(thresholds), Image() + kThresholds);
    Image()[kCarry1] = 2;
    Image()[kCarry1 + 1] = 1;
    PatchText(kCarry1 + 2, "Reset key", 20);
    Image()[kCarry2] = 0;
    Image()[kCarry2 + 1] = 1;
    PatchText(kCarry2 + 2, "stale", 20);
    Image()[kDayNight] = 0;
    PatchText(kDayNight + 1, "06302200", 8);
    Patch(0, {Image()[0]});
  }
};

class PanelType3GeneralTest : public GeneralTest {
 protected:
  PanelType3GeneralTest() : GeneralTest(3) {}
};

TEST_F(GeneralTest, OpensFromConfigurationOnItsFirstPage) {
  QWidget* tool = window_->findChild<QToolBar*>(QStringLiteral("ToolBar"))->widgetForAction(Item("MenuItemParamGen"));
  ASSERT_NE(tool, nullptr);
  QTest::mouseClick(tool, Qt::LeftButton);
  auto* g = window_->findChild<TFormZvoGeneral*>();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->SubWindow()->windowTitle(), QStringLiteral("General Parameters"));
  EXPECT_EQ(g->HelpContext(), 40);
  EXPECT_FALSE(MenusEnabled());
  auto* pages = C<QTabWidget>(g, "PageControl");
  QStringList tabs;
  for (int i = 0; i < pages->count(); ++i) tabs << pages->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"Panel Parameters", "Carry Input", "Day / Night Function", "Alarm thresholds setting",
                               "Site Information"}));
  EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetPanel"));
  EXPECT_EQ(Entries(C<QComboBox>(g, "CBDetMode")), (QStringList{"Open Lines", "Loop System"}));
  EXPECT_EQ(Entries(C<QComboBox>(g, "CBOptRelP2")), (QStringList{"No Card", "Orla Card", "Brenn Card"}));
  EXPECT_EQ(C<QComboBox>(g, "CBSeuilOPT")->count(), 8);
  EXPECT_EQ(C<QComboBox>(g, "CBSeuilThStatic")->count(), 3);
  EXPECT_EQ(C<QComboBox>(g, "CBSeuilS2H")->count(), 7);
  auto* velo = C<QComboBox>(g, "CBSeuilThVelo");
  EXPECT_EQ(Entries(velo), QStringList{"A1R (0)"});
  EXPECT_FALSE(velo->isEnabled());
  EXPECT_EQ(Entries(C<QComboBox>(g, "CBCar1Typ")),
            (QStringList{"Not used", "Class change", "Panel reset", "General fault", "Power supply fault",
                         "Technical input", "Scandinavian key"}));
  Click(g, "BitBtnAnnuler");
  EXPECT_TRUE(WaitNoChild());
  EXPECT_FALSE(Root().Modified());
}

TEST_F(GeneralTest, ADefaultSiteNameShowsTheFileNameAndOkStoresItCentred) {
  ASSERT_EQ(Root().ParamsGen()->SiteName()->Text(), "SARDEL128");
  const Bytes before = Encoded();
  TFormZvoGeneral* g = OpenGeneral();
  EXPECT_EQ(C<QLineEdit>(g, "EditSiteName")->text(), QStringLiteral("Alpha"));
  Ok(g);
  EXPECT_TRUE(Root().Modified());
  Bytes after = Encoded();
  EXPECT_EQ(Bytes(after.begin() + kSiteName, after.begin() + kSiteName + 20), Ascii("       Alpha        "));
  // Nothing else moved but the CRC.
  std::copy(before.begin() + kSiteName, before.begin() + kSiteName + 20, after.begin() + kSiteName);
  std::copy(before.begin() + kSiteCrcOffset, before.end(), after.begin() + kSiteCrcOffset);
  EXPECT_EQ(after, before);
}

TEST_F(GeneralTest, OkAtOnceKeepsEveryByteOfALoadedSiteAndCancelKeepsTheSiteUnmodified) {
  LoadFullSite();
  const Bytes loaded = Encoded();
  TFormZvoGeneral* g = OpenGeneral();
  EXPECT_EQ(C<QLineEdit>(g, "EditSiteName")->text(), QStringLiteral("Beta Site"));
  EXPECT_EQ(C<QComboBox>(g, "CBOptRelP2")->currentText(), QStringLiteral("Brenn Card"));
  EXPECT_EQ(C<QComboBox>(g, "CBDetMode")->currentText(), QStringLiteral("Open Lines"));
  EXPECT_EQ(C<QComboBox>(g, "CBSeuilOPT")->currentIndex(), -1);
  EXPECT_EQ(C<QComboBox>(g, "CBSeuilS2H")->currentText(), QStringLiteral("++ (1)"));
  EXPECT_EQ(C<QComboBox>(g, "CBCar1Pol")->currentText(), QStringLiteral("Normally Active"));
  EXPECT_EQ(C<QLineEdit>(g, "EditCar2")->text(), QStringLiteral("stale"));
  EXPECT_EQ(C<QTimeEdit>(g, "DTPickerDNS")->time(), QTime(6, 30));
  // Changed and then cancelled: nothing of it reaches the site.
  C<QLineEdit>(g, "EditSiteName")->setFocus();
  QTest::keyClicks(C<QLineEdit>(g, "EditSiteName"), "xyz");
  Choose(C<QComboBox>(g, "CBOptRelP2"), QStringLiteral("No Card"));
  Choose(C<QComboBox>(g, "CBCar1Typ"), QStringLiteral("Not used"));
  Click(g, "BitBtnAnnuler");
  ASSERT_TRUE(WaitNoChild());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), loaded);

  Ok(OpenGeneral());
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(Encoded(), loaded);
}

TEST_F(GeneralTest, RelayCardEntriesMapToTheirCodes) {
  const struct {
    std::uint8_t stored;
    const char* shown;
    const char* chosen;
    std::uint8_t written;
  } cases[] = {{1, "Brenn Card", "Orla Card", 2}, {2, "Orla Card", "Brenn Card", 1}, {0, "No Card", "Brenn Card", 1},
               {1, "Brenn Card", "No Card", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    Encoded();
    Patch(kCard, {c.stored});
    TFormZvoGeneral* g = OpenGeneral();
    auto* card = C<QComboBox>(g, "CBOptRelP2");
    EXPECT_EQ(card->currentText(), QString::fromLatin1(c.shown));
    Choose(card, QString::fromLatin1(c.chosen));
    Ok(g);
    EXPECT_EQ(At(kCard, 1), Bytes{c.written});
  }
}

TEST_F(GeneralTest, EveryFieldTheUserSetsIsStored) {
  TFormZvoGeneral* g = OpenGeneral();
  auto type = [&](const char* edit, const char* text) {
    auto* e = C<QLineEdit>(g, edit);
    e->setFocus();
    e->selectAll();
    Type(e, QString::fromUtf8(text));
  };
  type("EditSiteName", "Gare/Nord");  // the slash names a folder
  Choose(C<QComboBox>(g, "CBDetMode"), QStringLiteral("Open Lines"));
  type("EditCod2", "12");
  type("EditCod3", "9");
  type("EditEditor", "Zoé");
  type("EditLocal", "Quai 3");
  Choose(C<QComboBox>(g, "CBSeuilOPT"), QStringLiteral("-- (5)"));
  Choose(C<QComboBox>(g, "CBSeuilThStatic"), QStringLiteral("BS (2)"));
  Choose(C<QComboBox>(g, "CBSeuilMultic"), QStringLiteral("+++ (0)"));
  Choose(C<QComboBox>(g, "CBSeuilS2H"), QStringLiteral("---- (7)"));
  Choose(C<QComboBox>(g, "CBCar2Typ"), QStringLiteral("Technical input"));
  Choose(C<QComboBox>(g, "CBCar2Pol"), QStringLiteral("Normally Active"));
  Ok(g);
  EXPECT_EQ(At(kSiteName, 20), Ascii("      GareNord      "));
  EXPECT_EQ(At(kLineSystem, 1), Bytes{0});
  EXPECT_EQ(At(kCode2, 6), Ascii("012009"));
  EXPECT_EQ(At(kEditor, 4), (Bytes{'Z', 'o', 0xE9, 0}));
  EXPECT_EQ(At(kLocal, 7), (Bytes{'Q', 'u', 'a', 'i', ' ', '3', 0}));
  EXPECT_EQ(At(kThresholds, 6), (Bytes{5, 2, 0, 7, 0, 0}));
  Bytes carry2 = {5, 1};
  const Bytes label = Ascii("Technical input");
  carry2.insert(carry2.end(), label.begin(), label.end());
  carry2.resize(22, 0);
  EXPECT_EQ(At(kCarry2, 22), carry2);
}

// A failed check shows its message, turns to the field's page, focuses the field and
// stores nothing; the first failure in the order of the checks wins.
TEST_F(GeneralTest, TheChecksComeInTheirOrderEachWithItsPageAndFocus) {
  const struct {
    const char* index;
    const char* code2;
    const char* code3;
    int carry1;  // function chosen, with the label emptied
    int carry2;
    const char* message;
    const char* page;
    const char* focus;
  } cases[] = {
      {"é", "", "", 2, 0, "Data index must be an A to Z character", "TabSheetInfo", "EditIndice"},
      {"", "1", "2", 0, 0, "Incorrect length, 1 character(s) allowed", "TabSheetInfo", "EditIndice"},
      // An empty code fails both the size and the number test; the number's message wins.
      {"B", "", "", 2, 0, "Access Code must be a three digits numeric value", "TabSheetPanel", "EditCod2"},
      {"B", "7x9", "", 0, 0, "Access Code must be a three digits numeric value", "TabSheetPanel", "EditCod2"},
      {"B", "12", "", 2, 0, "Access Code must be a three digits numeric value", "TabSheetPanel", "EditCod3"},
      {"B", "12", "3", 2, 3, "A label must be set to enable carry input.", "TabSheetCarry", "EditCar1"},
      {"B", "12", "3", 0, 3, "A label must be set to enable carry input.", "TabSheetCarry", "EditCar2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    boxes_.Clear();
    TFormZvoGeneral* g = OpenGeneral();
    auto* index = C<QLineEdit>(g, "EditIndice");
    index->setFocus();
    if (*c.index) {
      Type(index, QString::fromUtf8(c.index));
      EXPECT_EQ(index->text(), QString::fromUtf8(c.index));
    } else {
      index->clear();
    }
    C<QLineEdit>(g, "EditCod2")->setText(QString::fromLatin1(c.code2));
    C<QLineEdit>(g, "EditCod3")->setText(QString::fromLatin1(c.code3));
    for (const auto& [n, code] : {std::pair{1, c.carry1}, std::pair{2, c.carry2}}) {
      auto* typ = C<QComboBox>(g, n == 1 ? "CBCar1Typ" : "CBCar2Typ");
      Choose(typ, typ->itemText(typ->findData(code)));
      C<QLineEdit>(g, n == 1 ? "EditCar1" : "EditCar2")->clear();
    }
    C<QTabWidget>(g, "PageControl")->setCurrentIndex(2);
    Click(g, "BitBtnValider");
    EXPECT_EQ(boxes_.Texts(), QStringList{QString::fromLatin1(c.message)});
    EXPECT_EQ(C<QTabWidget>(g, "PageControl")->currentWidget()->objectName(), QString::fromLatin1(c.page));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromLatin1(c.focus));
    EXPECT_FALSE(Root().Modified());
    Click(g, "BitBtnAnnuler");
    ASSERT_TRUE(WaitNoChild());
  }
}

TEST_F(GeneralTest, KeyFiltersOfTheFields) {
  TFormZvoGeneral* g = OpenGeneral();
  const struct {
    const char* field;
    const char* typed;
    const char* pasted;
    const char* shown;
  } cases[] = {
      {"EditSiteName", "a:b?c", "d/e*f", "abcdef"},
      {"EditCod2", "1a", "x2", "12"},
      {"EditCar1", "Zo~é", "/1\\€", "Zoé1"},
      {"EditEditor", "x|y", "", "x|y"},
      {"EditIndice", "q1", "", "Q"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    // The carry label is there only for an input in use.
    if (std::string(c.field) == "EditCar1") Choose(C<QComboBox>(g, "CBCar1Typ"), QStringLiteral("Panel reset"));
    auto* edit = C<QLineEdit>(g, c.field);
    edit->setFocus();
    edit->clear();
    Type(edit, QString::fromUtf8(c.typed));
    if (*c.pasted) {
      QGuiApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
      QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }
    EXPECT_EQ(edit->text(), QString::fromUtf8(c.shown));
  }
  Click(g, "BitBtnAnnuler");
  EXPECT_TRUE(WaitNoChild());
}

TEST_F(GeneralTest, ACarryInputsLabelFollowsItsFunctionUntilTheUserTypesOne) {
  TFormZvoGeneral* g = OpenGeneral();
  auto* typ = C<QComboBox>(g, "CBCar1Typ");
  auto* label = C<QLineEdit>(g, "EditCar1");
  auto* box = C<QGroupBox>(g, "GroupBoxCar1");
  EXPECT_EQ(box->height(), TFormZvoGeneral::kUnusedCarryHeight);
  EXPECT_TRUE(label->isHidden());
  Choose(typ, QStringLiteral("Panel reset"));
  EXPECT_EQ(label->text(), QStringLiteral("Panel reset"));
  EXPECT_EQ(box->height(), TFormZvoGeneral::kUsedCarryHeight);
  EXPECT_FALSE(label->isHidden());
  Choose(typ, QStringLiteral("General fault"));
  EXPECT_EQ(label->text(), QStringLiteral("General fault"));
  label->setFocus();
  label->selectAll();
  QTest::keyClicks(label, "Door");
  Choose(typ, QStringLiteral("Technical input"));
  EXPECT_EQ(label->text(), QStringLiteral("Door"));
  Choose(C<QComboBox>(g, "CBCar1Pol"), QStringLiteral("Normally Active"));
  Choose(typ, QStringLiteral("Not used"));
  EXPECT_EQ(label->text(), QString());
  EXPECT_EQ(C<QComboBox>(g, "CBCar1Pol")->currentIndex(), 0);
  EXPECT_EQ(box->height(), TFormZvoGeneral::kUnusedCarryHeight);
  Click(g, "BitBtnAnnuler");
  ASSERT_TRUE(WaitNoChild());
}

TEST_F(GeneralTest, TheAutomaticLabelOutlivesTheWindowOnlyWhenStored) {
  for (bool store : {false, true}) {
    SCOPED_TRACE(store);
    TFormZvoGeneral* g = OpenGeneral();
    Choose(C<QComboBox>(g, "CBCar1Typ"), QStringLiteral("Panel reset"));
    if (store) {
      Ok(g);
    } else {
      Click(g, "BitBtnAnnuler");
      ASSERT_TRUE(WaitNoChild());
    }
  }
  // The stored label is still the automatic one: the next function replaces it.
  TFormZvoGeneral* g = OpenGeneral();
  Choose(C<QComboBox>(g, "CBCar1Typ"), QStringLiteral("General fault"));
  EXPECT_EQ(C<QLineEdit>(g, "EditCar1")->text(), QStringLiteral("General fault"));
  Click(g, "BitBtnAnnuler");
  ASSERT_TRUE(WaitNoChild());
}

// Panel type 3 offers no "Class change": list entries are not function codes.
TEST_F(PanelType3GeneralTest, AFunctionShowsAndStoresAsItsOwnCode) {
  Encoded();
  Patch(kCarry1, {2, 0, 'K', 'e', 'y'});
  Patch(kCarry2, {1, 0, 'O', 'l', 'd'});  // not offered on this panel type
  TFormZvoGeneral* g = OpenGeneral();
  auto* typ1 = C<QComboBox>(g, "CBCar1Typ");
  EXPECT_EQ(Entries(typ1),
            (QStringList{"Not used", "Panel reset", "General fault", "Power supply fault", "Technical input"}));
  EXPECT_EQ(typ1->currentText(), QStringLiteral("Panel reset"));
  EXPECT_EQ(C<QComboBox>(g, "CBCar2Typ")->currentText(), QStringLiteral("Class change"));
  Ok(g);
  EXPECT_EQ(At(kCarry1, 1), Bytes{2});
  EXPECT_EQ(At(kCarry2, 1), Bytes{1});

  g = OpenGeneral();
  Choose(C<QComboBox>(g, "CBCar1Typ"), QStringLiteral("General fault"));
  Ok(g);
  EXPECT_EQ(At(kCarry1, 1), Bytes{3});
}

TEST_F(GeneralTest, DayNightTimesFollowTheSliderAndThePickers) {
  TFormZvoGeneral* g = OpenGeneral();
  C<QTabWidget>(g, "PageControl")->setCurrentWidget(C(g, "TabSheetDayNight"));
  auto* enable = C<QCheckBox>(g, "CBDayNight");
  auto* start = C<QTimeEdit>(g, "DTPickerDNS");
  auto* end = C<QTimeEdit>(g, "DTPickerDNE");
  auto* warning = C<QLabel>(g, "lWarningJourNuit");
  auto* slider = C<TRangeSlider>(g, "RangeSlider");
  EXPECT_EQ(start->displayFormat(), QStringLiteral("HH:mm "));
  EXPECT_TRUE(start->isHidden());
  EXPECT_TRUE(slider->isHidden());
  EXPECT_TRUE(warning->isHidden());

  QTest::mouseClick(enable, Qt::LeftButton);
  ASSERT_TRUE(enable->isChecked());
  EXPECT_FALSE(slider->isHidden());
  EXPECT_EQ(warning->text(), QStringLiteral("Inactive function ! Please select different pre-alarm startup and outage times."));
  EXPECT_FALSE(warning->isHidden());

  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  EXPECT_EQ(start->time(), QTime(0, 1));
  EXPECT_TRUE(warning->isHidden());
  QTest::keyClick(slider, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(start->time(), QTime(0, 11));

  // A picker moves its thumb, and the thumb's event does not come back to the picker.
  start->setTime(QTime(6, 30));
  end->setTime(QTime(22, 0));
  EXPECT_EQ(slider->MinPosition(), 390);
  EXPECT_EQ(slider->MaxPosition(), 1320);
  EXPECT_EQ(start->time(), QTime(6, 30));
  Ok(g);
  EXPECT_EQ(At(kDayNight, 9), (Bytes{1, '0', '6', '3', '0', '2', '2', '0', '0'}));

  // Turned off, the times go back to their defaults.
  g = OpenGeneral();
  C<QTabWidget>(g, "PageControl")->setCurrentWidget(C(g, "TabSheetDayNight"));
  QTest::mouseClick(C<QCheckBox>(g, "CBDayNight"), Qt::LeftButton);
  EXPECT_EQ(C<QTimeEdit>(g, "DTPickerDNS")->time(), QTime(0, 0));
  EXPECT_TRUE(C(g, "RangeSlider")->isHidden());
  Ok(g);
  EXPECT_EQ(At(kDayNight, 9), (Bytes{0, '0', '0', '0', '0', '0', '0', '0', '0'}));
}

TEST_F(GeneralTest, TheRemarkIsStoredWithCrLfWithinItsSize) {
  TFormZvoGeneral* g = OpenGeneral();
  auto* memo = C<QPlainTextEdit>(g, "MemoRemark");
  memo->setFocus();
  QTest::keyClicks(memo, "ab");
  QTest::keyClick(memo, Qt::Key_Return);
  QTest::keyClicks(memo, "cd");
  EXPECT_EQ(memo->toolTip(), QStringLiteral("6 characters / 160 max."));
  Ok(g);
  EXPECT_EQ(At(kRemark, 7), (Bytes{'a', 'b', '\r', '\n', 'c', 'd', 0}));

  // Full up: a line end needs two characters, a paste is cut to the room left.
  g = OpenGeneral();
  memo = C<QPlainTextEdit>(g, "MemoRemark");
  memo->setFocus();
  memo->moveCursor(QTextCursor::End);
  QGuiApplication::clipboard()->setText(QString(160, QLatin1Char('x')));
  QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(memo->toolTip(), QStringLiteral("160 characters / 160 max."));
  QTest::keyClick(memo, Qt::Key_Backspace);
  QTest::keyClick(memo, Qt::Key_Return);
  QTest::keyClicks(memo, "yz");
  Ok(g);
  Bytes expected = {'a', 'b', '\r', '\n', 'c', 'd'};
  expected.resize(160, 'x');
  expected.back() = 'y';
  EXPECT_EQ(At(kRemark, 160), expected);
}

}  // namespace
