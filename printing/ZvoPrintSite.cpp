#include "printing/ZvoPrintSite.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <stdexcept>

#include "model/Contexte.h"
#include "model/Crc16.h"
#include "model/Groupes.h"
#include "model/Lignes.h"
#include "model/ParamsGen.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/SiteSettings.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "platform/Clock.h"
#include "shell/UiText.h"

namespace {

const QString kFont = QStringLiteral("Arial");
constexpr int kFontSize = 11;
constexpr int kSmallFontSize = 8;
constexpr int kTitleFontSize = 12;
constexpr int kHeaderPen = 5;
// First row of a page's tables, under the header.
constexpr int kTableRow = 10;
constexpr int kCellsPerRow = 10;
constexpr int kCellColumns = 2;

QString Ansi(const std::string& text) { return FromAnsi(text); }

QString Number(int n) { return QString::number(n); }

QString Blank(bool shown, int n) { return shown ? Number(n) : QString(); }

struct SounderSection {
  const char* title;    // on paper
  const char* caption;  // in the section list
};

// By the sounder-line mode; mode 0 (not used) has neither.
SounderSection SounderTexts(int mode) {
  switch (mode) {
    case 1:
    case 2: return {"LINE OF SOUNDERS", "Line of sounders"};
    case 3: return {"ALERT / EVAC FUNCTION", "Alert/evac function"};
    case 4: return {"ALERT OUTPUT", "Alert output"};
    default: return {"", ""};
  }
}

QString Counted(int count, const char* singular, const char* plural) {
  return Number(count) + QLatin1String(count > 1 ? plural : singular);
}

}  // namespace

TGivZonActLDS::TGivZonActLDS(const TGstZones& zones) : TGetTabVal(99), zones_(zones) {}

QString TGivZonActLDS::GetText(int index) const {
  TZones* zone = zones_.GetZone(index);
  return Blank(zone && zone->IsUsed() && zone->ZoneFlag() != 0, zone ? zone->Number() : 0);
}

TGivZonActGrp::TGivZonActGrp(const TGstZones& zones, int group) : TGetTabVal(99, group), zones_(zones) {}

QString TGivZonActGrp::GetText(int index) const {
  TZones* zone = zones_.GetZone(index);
  return Blank(zone && zone->IsUsed() && zone->Groups()->Contains(group_), zone ? zone->Number() : 0);
}

TGivGrpActDet::TGivGrpActDet(const TGstPoints& points, int group)
    : TGetTabVal(TGstPoints::kPointCount, group), points_(points) {}

QString TGivGrpActDet::GetText(int index) const {
  TPoints* point = points_.GetPoint(index);
  return Blank(point && point->IsUsed() && point->Groups()->Contains(group_), point ? point->Address() : 0);
}

TGivGrpActCmR::TGivGrpActCmR(const TGstRelais& relays, int group)
    : TGetTabVal(relays.OnBoardCount(), group), relays_(relays) {}

QString TGivGrpActCmR::GetText(int index) const {
  TRelais* relay = relays_.OnBoardRelay(index);
  return Blank(relay && relay->IsUsed() && relay->Groups()->Contains(group_), relay ? relay->Number() : 0);
}

TGivGrpActRxR::TGivGrpActRxR(const TGstRelais& relays, int group)
    : TGetTabVal(relays.CardCount(), group), relays_(relays) {}

QString TGivGrpActRxR::GetText(int index) const {
  TRelais* relay = relays_.CardRelay(index);
  return Blank(relay && relay->IsUsed() && relay->Groups()->Contains(group_), relay ? relay->Number() : 0);
}

TGivGrpActBrk::TGivGrpActBrk(const TSecurity& security, int group) : TGetTabVal(2, group), security_(security) {}

QString TGivGrpActBrk::GetText(int index) const {
  TFoncBrk* function = security_.Breaking(index + 1);
  return Blank(function->Groups()->Contains(group_), function->Number());
}

TGivPtsActSel::TGivPtsActSel(const TGstPoints& points, int selection)
    : TGetTabVal(TGstPoints::kPointCount), points_(points), selection_(selection) {}

QString TGivPtsActSel::GetText(int index) const {
  TPoints* point = points_.GetPoint(index);
  return Blank(point && point->IsUsed() && point->Evacuation(selection_), point ? point->Address() : 0);
}

TPrintSite::TPrintSite() : context_(&GetContexte()), database_(CurrentDatabase()) {
  if (!database_) throw std::logic_error("no site is open");
  root_ = database_->Root();
  params_ = root_->ParamsGen();
  // The print job's name, a PDF file's title.
  Printer().setDocName(QString::fromStdString(SiteFileName(*database_)));
}

void TPrintSite::NewPage(const QString& title) {
  if (PageCount() == 0) signature_.clear();
  TZvoPrint::NewPage(title);
  PrintHeader();
}

QString TPrintSite::SignatureText() {
  if (signature_.isEmpty()) signature_ = QString::fromStdString(TCrc16DDS::SignatureText(*root_));
  return signature_;
}

QString TPrintSite::DurationText(TTimeHM t) {
  return QStringLiteral("%1'%2\"").arg(t.hour, 2, 10, QLatin1Char('0')).arg(t.minute, 2, 10, QLatin1Char('0'));
}

QString TPrintSite::SounderSectionTitle() const { return QLatin1String(SounderTexts(root_->LineSound()->mode).title); }

QString TPrintSite::SounderSectionCaption() const {
  return QLatin1String(SounderTexts(root_->LineSound()->mode).caption);
}

void TPrintSite::PrintHeader() {
  const bool bold = Font().bold();
  const int size = Font().pointSize();
  const int pen = PenWidth();
  SetFont(kFont, kFontSize);
  SetPenWidth(kHeaderPen);
  const int w = CellWidth();
  const int h = CellHeight();
  const int c = Columns();
  const int k = c * 8 / 20;
  const int m = c - c / 3;

  DrawCellFrame(1, 2, h / 2, 0, 5, c - 1);
  DrawCellFrame(k, 2, h / 2, 0, 5, m - k);

  const QString editor = Ansi(params_->EditorName()->Text());
  DrawTextAt(2, 3, false, QStringLiteral("File name : %1").arg(QString::fromStdString(SiteFileName(*database_))));
  DrawTextAt(2, 4, false, QStringLiteral("Site name : %1").arg(Ansi(params_->SiteName()->Text())));
  DrawTextAt(2, 5, false, QStringLiteral("Data index : %1").arg(Ansi(params_->DataIndex()->Text())));
  DrawTextAt(2, 6, false, QStringLiteral("Editor name : %1").arg(editor.isEmpty() ? QStringLiteral("unknown") : editor));

  const platform::LocalDateTime now = platform::Now();
  const QString date = QLocale::system().toString(QDate(now.year, now.month, now.day), QLocale::ShortFormat);
  DrawTextAt(m + 1, 3, false, QStringLiteral("Software Version %1").arg(Ansi(context_->VersionText())));
  DrawTextAt(m + 1, 4, false, QStringLiteral("Printed  %1").arg(date));
  DrawTextAt(m + 1, 5, false, QStringLiteral("Datas sign : %1h").arg(SignatureText()));

  DrawTextAligned(kCentre, ClipBottom() / h, false, QStringLiteral("Page %1").arg(PageCount()));

  SetBold(true);
  Font().setPointSize(kTitleFontSize);
  const int x = ((m - k) * w) / 2 + k * w - w / 2 - TextWidth(Title()) / 2;
  DrawTextBox(Title(), false, x, (7 * h) / 2);

  SetBold(bold);
  Font().setPointSize(size);
  SetPenWidth(pen);
}

void TPrintSite::PrintGeneral() {
  NewPage(QStringLiteral("GENERAL PARAMETERS"));
  SetFont(kFont, kFontSize);
  const int half = Columns() / 2;
  TParamsGen& p = *params_;

  DrawTextAt(2, 10, true, QStringLiteral("PANEL PARAMETERS"));
  DrawLabelValue(2, 12, Ansi(p.SiteName()->Text()), QStringLiteral("Site name : "));
  DrawLabelValue(2, 13, Ansi(root_->Lignes()->PluralTitle()), QStringLiteral("Detection mode : "));
  DrawLabelValue(half, 13, Ansi(p.AccessCode2()->Text()), QStringLiteral("Access code level 2 : "));
  DrawLabelValue(2, 14, Ansi(root_->Relais()->CardTypeText()), QStringLiteral("Optional card : "));
  DrawLabelValue(half, 14, Ansi(p.AccessCode3()->Text()), QStringLiteral("Access code level 3 : "));

  const TCarInpDDS* inputs[] = {root_->CarryInput1(), root_->CarryInput2()};
  for (int i = 0; i < 2; ++i) {
    const TCarInpDDS& input = *inputs[i];
    const int row = 17 + 6 * i;
    DrawTextAt(2, row, true, QStringLiteral("CARRY INPUT %1").arg(i + 1));
    if (input.function == 0) {
      SetBold(true);
      DrawTextAt(2, row + 2, false, Ansi(input.FunctionText()));
      SetBold(false);
      continue;
    }
    DrawLabelValue(2, row + 2, Ansi(input.FunctionText()), QStringLiteral("Type : "));
    DrawLabelValue(half, row + 2, Ansi(input.StateText()), QStringLiteral("Contact : "));
    DrawLabelValue(2, row + 3, Ansi(input.label), QStringLiteral("Label : "));
  }

  const TDayNightF& dayNight = *root_->DayNight();
  DrawTextAt(2, 29, true, QStringLiteral("DAY/NIGHT FUNCTION"));
  if (dayNight.enabled) {
    DrawLabelValue(2, 31, QString::fromStdString(TimeToStr(dayNight.start)), QStringLiteral("Startup time : "));
    DrawLabelValue(half, 31, QString::fromStdString(TimeToStr(dayNight.end)), QStringLiteral("End time : "));
  } else {
    SetBold(true);
    DrawTextAt(2, 31, false, QStringLiteral("Disabled"));
    SetBold(false);
  }

  const TAlarmThresholds& t = *root_->Thresholds();
  DrawTextAt(2, 34, true, QStringLiteral("ALARM THRESHOLDS SETTING"));
  DrawLabelValue(2, 35, Ansi(t.OpticalText()), QStringLiteral("Optical : "));
  DrawLabelValue(2, 36, Ansi(t.StaticHeatText()), QStringLiteral("Static heat : "));
  DrawLabelValue(2, 37, Ansi(t.RateOfRiseText()), QStringLiteral("Rate of rise : "));
  DrawLabelValue(2, 38, Ansi(t.MulticriteriaText()), QStringLiteral("Multicriteria : "));
  DrawLabelValue(2, 39, Ansi(t.MulticriteriaText()), QStringLiteral("Combined : "));
  DrawLabelValue(2, 40, Ansi(t.AirSamplingText()), QStringLiteral("Air sampling Fire localization : "));

  DrawTextAt(2, 44, true, QStringLiteral("SITE INFORMATION"));
  DrawLabelValue(2, 45, Ansi(p.EditorName()->Text()), QStringLiteral("Editor name : "));
  DrawLabelValue(2, 46, Ansi(p.Localisation()->Text()), QStringLiteral("Localization : "));
  DrawLabelValue(2, 47, Ansi(p.DataIndex()->Text()), QStringLiteral("Data index : "));
  DrawTextAt(2, 48, false, QStringLiteral("Remarks : "));

  // Long remarks go on under the same title rather than past the page's last rows.
  const QStringList lines = Ansi(p.Remarks()->Text()).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
  const int last = Rows() - 3;
  int row = 50;
  for (const QString& line : lines) {
    if (row > last) {
      NewPage(QString());
      row = kTableRow;
    }
    DrawTextAt(2, row++, false, line);
  }
}

void TPrintSite::PrintPoints() {
  SetFont(kFont, kFontSize);
  const TGstPoints& points = *root_->Points();
  // The grid of the section's font, which every page's header gives back.
  const int rows = Rows();
  const int c = Columns();
  int row = rows;
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    TPoints* point = points.GetPoint(i);
    if (!point->IsUsed()) continue;
    if (rows - 4 < row) {
      NewPage(QStringLiteral("POINTS"));
      DrawCell(2, 5, true, QStringLiteral("Address"), kTableRow, kCentre);
      DrawCell(6, 11, true, QStringLiteral("Line/Loop"), kTableRow, kCentre);
      DrawCell(12, 14, true, QStringLiteral("Zone"), kTableRow, kCentre);
      DrawCell(15, 30, true, QStringLiteral("Identification"), kTableRow, kCentre);
      DrawCell(31, 34, true, QStringLiteral("Out. Act."), kTableRow, kCentre);
      DrawCell(35, c, true, QStringLiteral("Label"), kTableRow, kLeft);
      row = kTableRow;
    }
    ++row;
    DrawCell(2, 5, false, QStringLiteral("%1").arg(point->Address(), 3, 10, QLatin1Char('0')), row, kCentre);
    DrawCell(6, 11, false, Number(point->LineNumber()), row, kCentre);
    DrawCell(12, 14, false, Number(point->ZoneNumber()), row, kCentre);
    DrawCell(15, 30, false, Ansi(point->TypeName()), row, kCentre);
    DrawCell(31, 34, false, point->ActiveOutput() ? QStringLiteral("X") : QString(), row, kCentre);
    DrawCell(35, c, false, Ansi(point->Label()), row, kLeft);
  }
}

void TPrintSite::PrintZones() {
  SetFont(kFont, kFontSize);
  const TGstZones& zones = *root_->Zones();
  const int rows = Rows();
  int row = rows;
  for (int i = 0; i < zones.Count(); ++i) {
    TZones* zone = zones.GetZone(i);
    if (!zone->IsUsed()) continue;
    if (rows - 4 < row) {
      NewPage(QStringLiteral("ZONES"));
      DrawCell(2, 7, true, QStringLiteral("Number"), kTableRow, kCentre);
      DrawCell(8, 15, true, QStringLiteral("Mode"), kTableRow, kCentre);
      DrawCell(16, 28, true, QStringLiteral("Label"), kTableRow, kLeft);
      row = kTableRow;
    }
    ++row;
    DrawCell(2, 7, false, Number(zone->Number()), row, kCentre);
    DrawCell(8, 15, false, Ansi(zone->ModeText()), row, kCentre);
    DrawCell(16, 28, false, Ansi(zone->Label()), row, kLeft);
  }
}

void TPrintSite::PrintSounderLine() {
  NewPage(SounderSectionTitle());
  SetFont(kFont, kFontSize);
  const TLineSound& line = *root_->LineSound();
  if (line.mode == 1 || line.mode == 2) {
    DrawLabelValue(2, 10, Ansi(line.ModeText()), QStringLiteral("Fonctionnal mode : "));
  }
  if (line.mode == 1 || line.mode == 4) DrawLabelValue(2, 12, DurationText(line.delay), QStringLiteral("Delay : "));
  if (line.mode == 2 || line.mode == 3) {
    DrawLabelValue(2, 12, DurationText(line.hotelDelay1), QStringLiteral("Delay 1 : "));
    DrawLabelValue(14, 12, DurationText(line.hotelDelay2), QStringLiteral("Delay 2 : "));
  }
  if (line.mode != 0) {
    DrawCellRow(2, 15, TGivZonActLDS(*root_->Zones()), QStringLiteral("TRIGGERING ZONES"), kCellsPerRow, kCellColumns);
  }
}

void TPrintSite::PrintBlockTitle(const QString& title, int row) {
  DrawCell(3, TextWidth(title) / CellWidth() + 4, false, title, row, kLeft);
}

void TPrintSite::PrintSecurity() {
  NewPage(QStringLiteral("SECURITY SETTINGS"));
  SetFont(kFont, kSmallFontSize);
  const TSecurity& security = *root_->Security();
  const TGstPoints& points = *root_->Points();
  const QString titles[] = {QStringLiteral("AMU"), QStringLiteral("BREAKING FUNCTION 1"),
                            QStringLiteral("BREAKING FUNCTION 2")};
  const int c = Columns();
  for (int b = 0; b < 3; ++b) {
    const int first = 15 + 25 * b;
    DrawCellFrame(2, first, 0, 0, 18, c - 3);
    PrintBlockTitle(titles[b], first);
  }

  const QString triggering = QStringLiteral("TRIGGERING POINTS");
  TFoncUGA& evacuation = *security.Evacuation();
  if (evacuation.IsEnabled()) {
    DrawLabelValue(3, 17, DurationText(evacuation.Time()), QStringLiteral("Delay : "));
    DrawLabelValue(14, 17, DurationText(evacuation.Duration()), QStringLiteral("Duration : "));
    DrawCellRow(32, 17, TGivPtsActUga(points), triggering, kCellsPerRow, kCellColumns);
  } else {
    DrawTextAt(3, 17, false, QStringLiteral("Disabled"));
  }
  for (int n = 1; n <= 2; ++n) {
    TFoncBrk& breaking = *security.Breaking(n);
    const int row = 17 + 25 * n;
    if (!breaking.IsEnabled()) {
      DrawTextAt(3, row, false, QStringLiteral("Disabled"));
      continue;
    }
    DrawLabelValue(3, row, DurationText(breaking.Time()), QStringLiteral("Delay : "));
    if (n == 1) {
      DrawCellRow(32, row, TGivPtsActBr1(points), triggering, kCellsPerRow, kCellColumns);
    } else {
      DrawCellRow(32, row, TGivPtsActBr2(points), triggering, kCellsPerRow, kCellColumns);
    }
  }
}

void TPrintSite::PrintGroups() {
  SetFont(kFont, kFontSize);
  const int h11 = CellHeight();
  SetFont(kFont, kSmallFontSize);
  const int h8 = CellHeight();
  const int first = (8 * h11) / h8;
  const int rows = ClipBottom() / h8;
  int row = rows;
  const TGstGroups& groups = *root_->Groups();
  for (int i = 0; i < groups.Count(); ++i) {
    if (!groups.GetGroup(i)->IsUsed()) continue;
    if (rows - 18 < row) {
      row = first;
      NewPage(QStringLiteral("REPETITIONS"));
    }
    PrintGroup(i, row);
    row += 20;
  }
}

void TPrintSite::PrintGroup(int groupIndex, int firstRow) {
  const int a = firstRow;
  TGroupe& group = *root_->Groups()->GetGroup(groupIndex);
  const int number = group.Number();
  int next = a + 5;

  DrawCellFrame(2, a + 1, 0, 0, 18, Columns() - 3);
  PrintBlockTitle(QStringLiteral("GROUP NUMBER %1").arg(number), a + 1);
  DrawLabelValue(27, a + 2, Ansi(group.Label()), QStringLiteral("Label : "));
  DrawLabelValue(27, a + 3, Ansi(group.Delay()) + QStringLiteral(" sec"), QStringLiteral("Activation delay : "));
  DrawLabelValue(3, a + 3, Ansi(group.TriggerTypeText()), QStringLiteral("Trigger type : "));

  if (group.TriggerType() == 1) {
    DrawLabelValue(51, a + 2, Ansi(group.ZoneEventText()), QStringLiteral("Event : "));
    DrawLabelValue(51, a + 3, Ansi(group.ZoneLogicText()), QStringLiteral("Logic : "));
    DrawCellRow(3, a + 5, TGivZonActGrp(*root_->Zones(), number), QStringLiteral("TRIGGERING ZONES"), kCellsPerRow,
                kCellColumns);
  } else if (group.TriggerType() == 2) {
    if (TSigEvt* trigger = root_->SigEvt()->FindByGroup(number)) {
      DrawCell(3, 20, false, trigger->IsSignal() ? QStringLiteral("TRIGGERING SIGNAL") : QStringLiteral("TRIGGERING EVENT"),
               a + 5, kCentre);
      DrawCell(3, 20, false, Ansi(trigger->LabelText()), a + 6, kLeft);
      if (trigger->IsPanelReset()) {
        DrawLabelValue(51, a + 2, Ansi(root_->PulseExtension()->Text()) + QStringLiteral(" sec"),
                       QStringLiteral("Reset pulse extension : "));
      }
    }
  }

  const TGstRelais& relays = *root_->Relais();
  if (relays.OnBoardCount() > 0) {
    DrawCellRow(27, next, TGivGrpActCmR(relays, number), QStringLiteral("ACTIVATED ON BOARD RELAYS"), kCellsPerRow,
                kCellColumns);
    next += 4;
  }
  if (relays.CardCount() > 0) {
    const int card = relays.CardType();
    const QString title = card == 1   ? QStringLiteral("ACTIVATED Brenn RELAYS")
                          : card == 2 ? QStringLiteral("ACTIVATED Orla RELAYS")
                                      : QString();
    DrawCellRow(27, next, TGivGrpActRxR(relays, number), title, kCellsPerRow, kCellColumns);
    next += card == 1 ? 5 : 4;
  }
  if (context_->IsFscCieVariant()) {
    DrawCellRow(27, next, TGivGrpActBrk(*root_->Security(), number), QStringLiteral("ACTIVATED BREAK FUNCTION RELAYS"),
                kCellsPerRow, kCellColumns);
  }
  DrawCellRow(51, a + 5, TGivGrpActDet(*root_->Points(), number), QStringLiteral("ACTIVATED POINTS"), kCellsPerRow,
              kCellColumns);
}

void TPrintSite::PrintSummary() {
  NewPage(QStringLiteral("SITE SUMMARY"));
  SetFont(kFont, kFontSize);
  DrawTextAt(2, 10, true, QStringLiteral("OPTIONAL CARD"));
  DrawTextAt(2, 12, false, Ansi(root_->Relais()->CardTypeText()));
  const TGstPoints& points = *root_->Points();
  DrawTextAt(2, 15, true, Counted(points.UsedCount(), " DECLARED POINT", " DECLARED POINTS"));
  platform::StringList summary;
  points.FillTypeSummary(summary);
  int row = 17;
  for (const std::string& line : summary.Lines()) DrawTextAt(2, row++, false, Ansi(line));
  DrawTextAt(2, row + 2, true, Counted(root_->Zones()->UsedCount(), " DECLARED ZONE", " DECLARED ZONES"));
  DrawTextAt(2, row + 6, true, Counted(root_->Groups()->UsedCount(), " DECLARED GROUP", " DECLARED GROUPS"));
}
