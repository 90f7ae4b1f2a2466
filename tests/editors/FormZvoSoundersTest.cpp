// The line-of-sounders window, opened from Configuration as the user opens it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "editors/FormDragList.h"
#include "editors/FormZvoSounders.h"
#include "model/Points.h"
#include "model/SiteImage.h"
#include "model/SiteSettings.h"
#include "model/Zones.h"
#include "support/EditorFixture.h"

namespace {

constexpr std::size_t kResistance = 10234;
constexpr std::size_t kMode = 10303;
constexpr std::size_t kZoneFlagOfZone1 = 2451 + 26;
constexpr std::size_t kZoneRecord = 27;

using Bytes = std::vector<std::uint8_t>;

class SoundersTest : public EditorFixture {
 protected:
  TLineSound& Sounders() { return *Root().LineSound(); }

  // Zones 1 to 3 in use, labelled; zone 2 triggers the sounders.
  void ThreeZones() {
    const char* labels[] = {"Hall", "Stairs", "Cellar"};
    for (int z = 1; z <= 3; ++z) {
      MakePoint(z, 19, z);
      Zone(z).SetLabel(labels[z - 1]);
    }
    Zone(2).SetZoneFlag(true);
    Zone(9).SetLabel("Unused");
  }

  TFormZvoSounders* OpenSounders() {
    auto* s = Open<TFormZvoSounders>("MenuItemSirene");
    if (!s) throw std::logic_error("the window did not open");
    return s;
  }
  template <class T = QWidget>
  static T* C(const QWidget* s, const char* name) {
    return Control<T>(s, name);
  }
  static QStringList Captions(const QTreeWidget* tree) {
    QStringList captions;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) captions << tree->topLevelItem(i)->text(0);
    return captions;
  }
  static QString Shown(const QTimeEdit* picker) { return picker->time().toString(QStringLiteral("hh:mm")); }
};

TEST_F(SoundersTest, TitleModesAndNotUsedResetsTheDelays) {
  ThreeZones();
  Sounders().mode = 2;
  Sounders().delay = {3, 30};
  Sounders().hotelDelay1 = {7, 0};
  Sounders().hotelDelay2 = {1, 15};
  TFormZvoSounders* s = OpenSounders();
  EXPECT_EQ(s->windowTitle(), QStringLiteral("Line of sounders configuration"));
  auto* modes = C<QComboBox>(s, "CBFunMode");
  EXPECT_EQ(Entries(modes), (QStringList{"Not used", "Direct Evacuation", "Mode Hotel Evacuation", "Option C Evacuation"}));
  EXPECT_EQ(modes->currentText(), QStringLiteral("Mode Hotel Evacuation"));
  // The hotel mode shows its two delays as stored; the standard delay it does not use is reset.
  EXPECT_FALSE(C(s, "PanelStandard")->isVisibleTo(s));
  EXPECT_TRUE(C(s, "PanelHotel")->isVisibleTo(s));
  EXPECT_TRUE(C(s, "PanelDrag")->isVisibleTo(s));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiStd")), QStringLiteral("00:00"));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiHo1")), QStringLiteral("07:00"));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiHo2")), QStringLiteral("01:15"));

  Choose(modes, QStringLiteral("Direct Evacuation"));
  EXPECT_TRUE(C(s, "PanelStandard")->isVisibleTo(s));
  EXPECT_FALSE(C(s, "PanelHotel")->isVisibleTo(s));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiHo1")), QStringLiteral("05:00"));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiHo2")), QStringLiteral("02:00"));
  auto* standard = C<QTimeEdit>(s, "DtpDelaiStd");
  standard->setFocus();
  standard->setCurrentSection(QDateTimeEdit::HourSection);
  QTest::keyClick(standard, Qt::Key_Up);
  ASSERT_EQ(Shown(standard), QStringLiteral("01:00"));

  Choose(modes, QStringLiteral("Not used"));
  for (const char* panel : {"PanelStandard", "PanelHotel", "PanelDrag"}) EXPECT_FALSE(C(s, panel)->isVisibleTo(s));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiStd")), QStringLiteral("00:00"));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiHo1")), QStringLiteral("05:00"));
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelaiHo2")), QStringLiteral("02:00"));

  // "Not used" stores with any selection, none included.
  QTest::mouseClick(C<QPushButton>(s, "BitBtnValider"), Qt::LeftButton);
  ASSERT_TRUE(WaitNoChild());
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(Sounders().mode, 0);
  EXPECT_EQ(Sounders().delay, (TTimeHM{0, 0}));
  EXPECT_EQ(Sounders().hotelDelay1, (TTimeHM{5, 0}));
}

// The pickers stay within 0:00 to 10:00, wrapping at both ends.
TEST_F(SoundersTest, DelaysWrapWithinTenMinutes) {
  ThreeZones();
  Sounders().mode = 1;
  struct Case {
    TTimeHM from;
    QDateTimeEdit::Section section;
    Qt::Key key;
    const char* shown;
  };
  const Case cases[] = {
      {{0, 0}, QDateTimeEdit::HourSection, Qt::Key_Down, "10:00"},
      {{10, 0}, QDateTimeEdit::HourSection, Qt::Key_Up, "00:00"},
      {{10, 0}, QDateTimeEdit::MinuteSection, Qt::Key_Down, "09:59"},
      {{10, 0}, QDateTimeEdit::MinuteSection, Qt::Key_Up, "00:00"},
      {{9, 59}, QDateTimeEdit::HourSection, Qt::Key_Up, "10:00"},
      {{4, 0}, QDateTimeEdit::MinuteSection, Qt::Key_Down, "04:59"},
  };
  for (const Case& c : cases) {
    Sounders().delay = c.from;
    TFormZvoSounders* s = OpenSounders();
    auto* picker = C<QTimeEdit>(s, "DtpDelaiStd");
    picker->setFocus();
    picker->setCurrentSection(c.section);
    QTest::keyClick(picker, c.key);
    EXPECT_EQ(Shown(picker), QString::fromLatin1(c.shown)) << TimeToStr(c.from) << " key " << c.key;
    s->Fermer();
    ASSERT_TRUE(WaitNoChild());
  }
}

TEST_F(SoundersTest, AModeWithoutTriggeringZoneIsRefused) {
  ThreeZones();
  Zone(2).SetZoneFlag(false);
  Sounders().mode = 1;
  const Bytes before = Encoded();
  QPointer<TFormZvoSounders> s = OpenSounders();
  QTest::mouseClick(C<QPushButton>(s, "BitBtnValider"), Qt::LeftButton);
  ASSERT_EQ(boxes_.Texts(), QStringList{QStringLiteral("Error : no zone trigger selected")});
  EXPECT_EQ(boxes_.Boxes().front().kind, BoxKind::Error);
  EXPECT_TRUE(s && s->isVisible());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
}

TEST_F(SoundersTest, OkStoresTheTriggeringZonesModeAndDelays) {
  ThreeZones();
  TFormZvoSounders* s = OpenSounders();
  auto* src = C<QTreeWidget>(s, "TVSrc");
  auto* dst = C<QTreeWidget>(s, "TVDst");
  // Only zones in use are listed; one in use but not triggering starts on the left.
  EXPECT_EQ(Captions(src), (QStringList{"Z001  \"Hall\"", "Z003  \"Cellar\""}));
  EXPECT_EQ(Captions(dst), (QStringList{"Z002  \"Stairs\""}));
  EXPECT_EQ(C<QLabel>(s, "LabelSrc")->text(), QStringLiteral("Available zones"));
  EXPECT_EQ(C<QLabel>(s, "LabelDst")->text(), QStringLiteral("Selected zones"));

  Choose(C<QComboBox>(s, "CBFunMode"), QStringLiteral("Option C Evacuation"));
  src->setCurrentItem(src->topLevelItem(1));
  QTest::mouseClick(C<QPushButton>(s, "BBAdd"), Qt::LeftButton);
  dst->setCurrentItem(dst->findItems(QStringLiteral("Z002  \"Stairs\""), Qt::MatchExactly).front());
  QTest::mouseClick(C<QPushButton>(s, "BBDel"), Qt::LeftButton);
  auto* delay = C<QTimeEdit>(s, "DtpDelaiStd");
  delay->setFocus();
  delay->setCurrentSection(QDateTimeEdit::HourSection);
  QTest::keyClick(delay, Qt::Key_Up);
  QTest::mouseClick(C<QPushButton>(s, "BitBtnValider"), Qt::LeftButton);
  ASSERT_TRUE(WaitNoChild());

  EXPECT_TRUE(Root().Modified());
  const Bytes image = Encoded();
  for (int z = 1; z <= 3; ++z) EXPECT_EQ(image[kZoneFlagOfZone1 + kZoneRecord * (z - 1)], z == 3 ? 1 : 0) << z;
  EXPECT_EQ(image[kMode], 3);
  EXPECT_EQ(Bytes(image.begin() + kMode + 1, image.begin() + kMode + 7), (Bytes{1, 0, 5, 0, 2, 0}));
}

// OK at once stores what the window showed: nothing changes but the modified flag; Cancel
// changes nothing at all, not even after moves.
TEST_F(SoundersTest, OkAtOnceKeepsTheImageAndCancelDiscards) {
  ThreeZones();
  Sounders().mode = 1;
  Sounders().delay = {3, 30};
  Sounders().resistance = 12;
  Encoded();
  Reload();
  const Bytes loaded = Encoded();

  TFormZvoSounders* s = OpenSounders();
  QTest::mouseClick(C<QPushButton>(s, "BitBtnValider"), Qt::LeftButton);
  ASSERT_TRUE(WaitNoChild());
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(Encoded(), loaded);

  Root().SetModified(false);
  s = OpenSounders();
  Choose(C<QComboBox>(s, "CBFunMode"), QStringLiteral("Mode Hotel Evacuation"));
  s->findChild<TFormDragList*>()->BBAddAllClick();
  QTest::mouseClick(C<QPushButton>(s, "BitBtnAnnuler"), Qt::LeftButton);
  ASSERT_TRUE(WaitNoChild());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), loaded);
}

TEST_F(SoundersTest, CtrlAltCancelChoosesTheDefaultResistance) {
  ThreeZones();
  Sounders().mode = 1;
  Sounders().resistance = 12;
  TFormZvoSounders* s = OpenSounders();
  QStringList entries;
  QString preselected;
  const ModalRun run = Chooser(
      [&] { QTest::mouseClick(C<QPushButton>(s, "BitBtnAnnuler"), Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier); },
      [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Sounders"));
        auto* list = C<QComboBox>(&d, "CBResistance");
        entries = Entries(list);
        preselected = list->currentText();
        list->setCurrentIndex(list->findText(QStringLiteral("7")));
        QTest::mouseClick(C<QPushButton>(&d, "OK"), Qt::LeftButton);
      });
  EXPECT_FALSE(run.stayedOpen);
  ASSERT_EQ(entries.size(), 31);
  EXPECT_EQ(entries.front(), QStringLiteral("0"));
  EXPECT_EQ(entries.back(), QStringLiteral("30"));
  EXPECT_EQ(preselected, QStringLiteral("12"));
  EXPECT_EQ(Sounders().resistance, 7);
  EXPECT_TRUE(Root().Modified());
  EXPECT_TRUE(s->isVisible());
  EXPECT_EQ(Encoded()[kResistance], 7);

  // With "Not used" chosen the same click simply closes.
  Choose(C<QComboBox>(s, "CBFunMode"), QStringLiteral("Not used"));
  QTest::mouseClick(C<QPushButton>(s, "BitBtnAnnuler"), Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_TRUE(WaitNoChild());
}

}  // namespace
