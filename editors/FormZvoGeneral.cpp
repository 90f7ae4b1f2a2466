#include "editors/FormZvoGeneral.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTime>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "editors/FormBits.h"
#include "editors/RangeSlider.h"
#include "editors/SiteMemo.h"
#include "editors/ZvoInc.h"
#include "model/Contexte.h"
#include "model/Lignes.h"
#include "model/ParamsGen.h"
#include "model/Projet.h"
#include "model/Relais.h"
#include "model/SiteSettings.h"
#include "model/Zavo.h"
#include "platform/StringList.h"
#include "platform/Texts.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"

namespace {

constexpr const char* kForm = "TFormZvoGeneral";
constexpr int kNameWidth = 20;
constexpr int kCodeWidth = 3;
const QString kTimeFormat = QStringLiteral("HH:mm ");

// The automatic label of each carry input: the label last filled in from its type.
QString gAutomatic[2];

// The card list is "No Card", "Orla Card", "Brenn Card", while code 1 is the Brenn card
// and code 2 the Orla card: the same swap maps either way.
int CardEntryOrCode(int value) { return value == 1 ? 2 : value == 2 ? 1 : value; }

QLineEdit* LineEdit(QWidget* parent, const char* name, int maxLength) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setMaxLength(maxLength);
  return edit;
}

QComboBox* List(QWidget* parent, const char* name) { return Named(new QComboBox(parent), name); }

// Shows a stored text; answers what the field shows, against which the store tells a change.
QString Show(QLineEdit* edit, const std::string& ansi) {
  edit->setText(FromAnsi(ansi));
  return edit->text();
}

// The field's text into the site, when the user changed what it showed.
void StoreIfChanged(const QLineEdit* edit, const QString& shown, TLabelDDS& field) {
  if (edit->text() != shown) field.SetText(ToAnsi(edit->text()));
}

}  // namespace

void TFormZvoGeneral::ForgetAutomaticLabels() {
  for (QString& a : gAutomatic) a.clear();
}

TFormZvoGeneral::TFormZvoGeneral(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      pageControl_(Named(new QTabWidget(this), "PageControl")),
      bitBtnValider_(Named(new QPushButton(this), "BitBtnValider")),
      bitBtnAnnuler_(Named(new QPushButton(this), "BitBtnAnnuler")) {
  setObjectName(kForm);
  TProjet* database = CurrentDatabase();
  if (!database) throw std::logic_error("no site is open");
  root_ = database->Root();
  params_ = root_->ParamsGen();
  std::copy(std::begin(gAutomatic), std::end(gAutomatic), std::begin(automaticAtOpen_));

  BuildPanelPage();
  BuildCarryPage();
  BuildDayNightPage();
  BuildThresholdsPage();
  BuildInfoPage();
  pageControl_->setCurrentWidget(tabSheetPanel_);

  connect(bitBtnValider_, &QPushButton::clicked, this, [this] { Valider(); });
  connect(bitBtnAnnuler_, &QPushButton::clicked, this, [this] { Fermer(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pageControl_);
  layout->addLayout(ButtonRow({bitBtnValider_, bitBtnAnnuler_}));

  ApplyTexts();
  LoadFields();
  // The pickers follow the user only once the fields are loaded.
  connect(dtPickerDNS_, &QTimeEdit::timeChanged, this, [this] { PickerChanged(true); });
  connect(dtPickerDNE_, &QTimeEdit::timeChanged, this, [this] { PickerChanged(false); });
  connect(pageControl_, &QTabWidget::currentChanged, this, [this](int) {
    if (pageControl_->currentWidget() == tabSheetDayNight_) DayNightFocus();
  });
  UpdateWarning();
  resize(460, 400);
  ShowAsChild();
  editSiteName_->setFocus();
}

QWidget* TFormZvoGeneral::AddPage(const char* name) {
  auto* page = Named(new QWidget, name);
  pageControl_->addTab(page, QString());  // captions come with the texts
  return page;
}

void TFormZvoGeneral::BuildPanelPage() {
  tabSheetPanel_ = AddPage("TabSheetPanel");
  QWidget* p = tabSheetPanel_;
  editSiteName_ = LineEdit(p, "EditSiteName", kNameWidth);
  InstallNameKeyFilter(editSiteName_, kSiteNameRefused);
  cbDetMode_ = List(p, "CBDetMode");
  editCod2_ = LineEdit(p, "EditCod2", kCodeWidth);
  editCod3_ = LineEdit(p, "EditCod3", kCodeWidth);
  InstallDigitKeyFilter(editCod2_);
  InstallDigitKeyFilter(editCod3_);
  cbOptRelP2_ = List(p, "CBOptRelP2");

  auto* grid = new QGridLayout(p);
  const int end = AddRows(p, grid,
                          {{"LabelSiteName", editSiteName_},
                           {"LabelDetMode", cbDetMode_},
                           {"LabelCod2", editCod2_},
                           {"LabelCod3", editCod3_},
                           {"LabelOptRelP2", cbOptRelP2_}});
  grid->setRowStretch(end, 1);
}

void TFormZvoGeneral::BuildCarryPage() {
  tabSheetCarry_ = AddPage("TabSheetCarry");
  auto* page = new QVBoxLayout(tabSheetCarry_);
  static const char* const kNames[2][7] = {
      {"GroupBoxCar1", "LabelCar1", "EditCar1", "LabelCar1Typ", "CBCar1Typ", "LabelCar1Pol", "CBCar1Pol"},
      {"GroupBoxCar2", "LabelCar2", "EditCar2", "LabelCar2Typ", "CBCar2Typ", "LabelCar2Pol", "CBCar2Pol"}};
  for (int i = 0; i < 2; ++i) {
    const char* const* name = kNames[i];
    CarryControls& c = car_[i];
    c.box = Named(new QGroupBox(tabSheetCarry_), name[0]);
    c.labelCaption = Caption(c.box, name[1]);
    c.label = LineEdit(c.box, name[2], kNameWidth);
    InstallNameKeyFilter(c.label);
    c.typeCaption = Caption(c.box, name[3]);
    c.type = List(c.box, name[4]);
    c.contactCaption = Caption(c.box, name[5]);
    c.contact = List(c.box, name[6]);
    auto* grid = new QGridLayout(c.box);
    grid->addWidget(c.typeCaption, 0, 0);
    grid->addWidget(c.type, 0, 1);
    grid->addWidget(c.labelCaption, 1, 0);
    grid->addWidget(c.label, 1, 1);
    grid->addWidget(c.contactCaption, 2, 0);
    grid->addWidget(c.contact, 2, 1);
    page->addWidget(c.box);
    const int n = i + 1;
    connect(c.type, &QComboBox::activated, this, [this, n] { CarryTypeChange(n); });
  }
  page->addStretch();
}

void TFormZvoGeneral::BuildDayNightPage() {
  tabSheetDayNight_ = AddPage("TabSheetDayNight");
  QWidget* p = tabSheetDayNight_;
  cbDayNight_ = Named(new QCheckBox(p), "CBDayNight");
  cbDayNight_->setGeometry(16, 16, 300, 22);
  connect(cbDayNight_, &QCheckBox::clicked, this, [this] { DayNightChange(); });
  labelStart_ = Caption(p, "LabelDNS");
  labelStart_->setGeometry(16, 56, 100, 22);
  labelEnd_ = Caption(p, "LabelDNE");
  labelEnd_->setGeometry(16, 86, 100, 22);
  dtPickerDNS_ = Named(new QTimeEdit(p), "DTPickerDNS");
  dtPickerDNE_ = Named(new QTimeEdit(p), "DTPickerDNE");
  for (QTimeEdit* picker : {dtPickerDNS_, dtPickerDNE_}) {
    // Each part wraps on its own, as the system's time picker does.
    picker->setWrapping(true);
    picker->setDisplayFormat(kTimeFormat);
  }
  dtPickerDNS_->setGeometry(120, 56, 80, 22);
  dtPickerDNE_->setGeometry(120, 86, 80, 22);
  lWarningJourNuit_ = Caption(p, "lWarningJourNuit");
  lWarningJourNuit_->setWordWrap(true);
  lWarningJourNuit_->setGeometry(16, 160, 400, 40);
  lWarningJourNuit_->setStyleSheet(QStringLiteral("color: red"));
  BuildSlider(p);
}

void TFormZvoGeneral::BuildSlider(QWidget* page) {
  slider_ = new TRangeSlider(page);
  slider_->setObjectName(QStringLiteral("RangeSlider"));
  slider_->SetiGradientType(1);
  slider_->SetThumbStyle(TThumbStyle::rsTransparent);
  slider_->setGeometry(189, 110, 208, slider_->sizeHint().height());
  slider_->SetRullerHeight(14);
  // Positions are the minutes of the day.
  slider_->SetMax(1440);
  slider_->SetMaxPosition(0);
  slider_->SetMin(0);
  slider_->SetMinPosition(1440);
  slider_->SetRangeColor(0x7E00FD);
  slider_->SetDragArea(5);
  slider_->SetIsDay(true);
  slider_->SetDrawXAxis(true);
  slider_->SetiRangeOffset(2);
  slider_->OnMinPosChange = [this](TRangeSlider*, int) { ThumbChanged(true); };
  slider_->OnMaxPosChange = [this](TRangeSlider*, int) { ThumbChanged(false); };
  slider_->SetbGradientDisplayed(true);
  slider_->GradientColors = {QStringLiteral("0x00D20000"), QStringLiteral("0x00D20000"), QStringLiteral("0x00FFCB9F"),
                             QStringLiteral("0x00FFCB9F"), QStringLiteral("0x00FFCB9F"), QStringLiteral("0x00D20000"),
                             QStringLiteral("0x00D20000")};
  slider_->UseTStringList();
}

void TFormZvoGeneral::BuildThresholdsPage() {
  tabSheetThresholds_ = AddPage("TabSheetThresholds");
  QWidget* p = tabSheetThresholds_;
  cbSeuilOPT_ = List(p, "CBSeuilOPT");
  cbSeuilThStatic_ = List(p, "CBSeuilThStatic");
  cbSeuilThVelo_ = List(p, "CBSeuilThVelo");
  cbSeuilThVelo_->setEnabled(false);
  cbSeuilMultic_ = List(p, "CBSeuilMultic");
  cbSeuilS2H_ = List(p, "CBSeuilS2H");
  auto* grid = new QGridLayout(p);
  int row = AddRows(p, grid,
                    {{"LabelSeuilOPT", cbSeuilOPT_},
                     {"LabelSeuilThStatic", cbSeuilThStatic_},
                     {"LabelSeuilThVelo", cbSeuilThVelo_},
                     {"LabelSeuilMultic", cbSeuilMultic_},
                     {"LabelSeuilS2H", cbSeuilS2H_}});
  QLabel* note = Caption(p, "LabelSeuilNote");
  note->setWordWrap(true);
  grid->addWidget(note, row++, 0, 1, 2);
  grid->setRowStretch(row, 1);
}

void TFormZvoGeneral::BuildInfoPage() {
  tabSheetInfo_ = AddPage("TabSheetInfo");
  QWidget* p = tabSheetInfo_;
  editEditor_ = LineEdit(p, "EditEditor", kNameWidth);
  editLocal_ = LineEdit(p, "EditLocal", kNameWidth);
  InstallNameKeyFilter(editEditor_);
  InstallNameKeyFilter(editLocal_);
  editIndice_ = LineEdit(p, "EditIndice", 1);
  editIndice_->setReadOnly(true);
  editIndice_->installEventFilter(this);
  memoRemark_ = Named(new TSiteMemo(kRemarkMaxLength, p), "MemoRemark");
  connect(memoRemark_, &QPlainTextEdit::textChanged, this, [this] { UpdateRemarkHint(); });
  AddRows(p, new QGridLayout(p),
          {{"LabelEditor", editEditor_},
           {"LabelLocal", editLocal_},
           {"LabelIndice", editIndice_},
           {"LabelRemark", memoRemark_}},
          Qt::AlignTop);
}

void TFormZvoGeneral::ApplyTexts() {
  const auto text = [](const char* component, const char* builtin) {
    return FormText(kForm, component, "Caption", QString::fromUtf8(builtin));
  };
  setWindowTitle(text(kForm, "General Parameters"));
  const std::pair<QWidget*, const char*> pages[] = {{tabSheetPanel_, "Panel Parameters"},
                                                    {tabSheetCarry_, "Carry Input"},
                                                    {tabSheetDayNight_, "Day / Night Function"},
                                                    {tabSheetThresholds_, "Alarm thresholds setting"},
                                                    {tabSheetInfo_, "Site Information"}};
  for (const auto& [page, builtin] : pages) {
    pageControl_->setTabText(pageControl_->indexOf(page), text(page->objectName().toLatin1().constData(), builtin));
  }
  static const std::pair<const char*, const char*> kCaptions[] = {
      {"LabelSiteName", "Site Name"},
      {"LabelDetMode", "Detection Mode"},
      {"LabelCod2", "Access Code 2"},
      {"LabelCod3", "Access Code 3"},
      {"LabelOptRelP2", "Relay Card Option"},
      {"LabelCar1", "Label "},
      {"LabelCar2", "Label "},
      {"LabelCar1Typ", "Input Type"},
      {"LabelCar2Typ", "Input Type"},
      {"LabelCar1Pol", "Contact Type"},
      {"LabelCar2Pol", "Contact Type"},
      {"LabelDNS", "Startup time : "},
      {"LabelDNE", "End time : "},
      {"LabelSeuilOPT", "Optic :"},
      {"LabelSeuilThStatic", "Static heat :"},
      {"LabelSeuilThVelo", "Rate of rise :"},
      {"LabelSeuilMultic", "Multicriteria :           Combined : (A2S) + "},
      {"LabelSeuilS2H", "Air sampling fire localization :"},
      {"LabelSeuilNote", "The chosen thresholds are used and valid for all detection zones of panel"},
      {"LabelEditor", "Editor"},
      {"LabelLocal", "Localization"},
      {"LabelIndice", "Site Data Index"},
      {"LabelRemark", "Remark"},
  };
  for (const auto& [name, builtin] : kCaptions) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) label->setText(text(name, builtin));
  }
  car_[0].box->setTitle(text("GroupBoxCar1", "Carry input 1"));
  car_[1].box->setTitle(text("GroupBoxCar2", "Carry input 2"));
  cbDayNight_->setText(text("CBDayNight", "Enable Function"));
  cbDayNight_->adjustSize();  // a click beside the text is no click on the box
  lWarningJourNuit_->setText(Str(296));
  bitBtnValider_->setText(text("BitBtnValider", "&OK"));
  bitBtnAnnuler_->setText(text("BitBtnAnnuler", "&Cancel"));
}

// ---- Loading -----------------------------------------------------------------------------

void TFormZvoGeneral::LoadFields() {
  const std::string& siteName = params_->SiteName()->Text();
  // A site still under the default name is named after its file.
  if (siteName == platform::LoadStr(475)) {
    editSiteName_->setText(QString::fromStdString(CurrentDatabase()->Name()));
  } else {
    editSiteName_->setText(FromAnsi(siteName));
  }
  // Against the stored name, not the field: a file name shown for the default is a change.
  shownSiteName_ = FromAnsi(siteName);

  {
    const QSignalBlocker blocker(cbDetMode_);
    cbDetMode_->clear();
    cbDetMode_->addItems({Str(148), Str(149)});
  }
  Select(cbDetMode_, root_->Lignes()->IsLoopSystem() ? 1 : 0);
  platform::StringList list;
  TGstRelais::FillCardTypeList(list);
  Fill(cbOptRelP2_, list);
  Select(cbOptRelP2_, CardEntryOrCode(root_->Relais()->CardType()));

  shownCod2_ = Show(editCod2_, params_->AccessCode2()->Text());
  shownCod3_ = Show(editCod3_, params_->AccessCode3()->Text());

  LoadCarry(1, *root_->CarryInput1());
  LoadCarry(2, *root_->CarryInput2());

  const TDayNightF& dayNight = *root_->DayNight();
  {
    const QSignalBlocker blocker(cbDayNight_);
    cbDayNight_->setChecked(dayNight.enabled);
  }
  DayNightChange();
  ShowTimes(dayNight.start, dayNight.end);

  shownEditor_ = Show(editEditor_, params_->EditorName()->Text());
  shownLocal_ = Show(editLocal_, params_->Localisation()->Text());
  shownIndice_ = Show(editIndice_, params_->DataIndex()->Text());
  memoRemark_->SetSiteText(params_->Remarks()->Text());
  UpdateRemarkHint();

  const TAlarmThresholds& t = *root_->Thresholds();
  TAlarmThresholds::FillThresholdList(list, 1);
  Fill(cbSeuilOPT_, list);
  Fill(cbSeuilMultic_, list);
  TAlarmThresholds::FillThresholdList(list, 2);
  Fill(cbSeuilThStatic_, list);
  TAlarmThresholds::FillThresholdList(list, 3);
  Fill(cbSeuilThVelo_, list);
  TAlarmThresholds::FillThresholdList(list, 4);
  Fill(cbSeuilS2H_, list);
  Select(cbSeuilOPT_, t.optical);
  Select(cbSeuilThStatic_, t.staticHeat);
  Select(cbSeuilThVelo_, t.rateOfRise);
  Select(cbSeuilMultic_, t.multicriteria);
  Select(cbSeuilS2H_, t.airSampling - 1);
}

void TFormZvoGeneral::LoadCarry(int n, const TCarInpDDS& input) {
  CarryControls& c = car_[n - 1];
  shownCarryLabel_[n - 1] = Show(c.label, input.label);
  platform::StringList list;
  input.FillFunctionList(list);
  Fill(c.type, list);
  // A stored function the panel type does not offer still shows as itself, so that it is
  // neither misread nor lost.
  if (c.type->findData(input.function) < 0 && input.function >= 0 && input.function <= 6) {
    int at = 0;
    while (at < c.type->count() && c.type->itemData(at).toInt() < input.function) ++at;
    const QSignalBlocker blocker(c.type);
    c.type->insertItem(at, FromAnsi(input.FunctionText()), input.function);
  }
  Select(c.type, c.type->findData(input.function));
  TCarInpDDS::FillStateList(list);
  Fill(c.contact, list);
  Select(c.contact, input.normallyActive ? 1 : 0);
  CarryTypeChange(n, true);
}

// ---- Carry inputs ------------------------------------------------------------------------

int TFormZvoGeneral::CarryCode(int n) const {
  const QComboBox* type = car_[n - 1].type;
  return type->currentIndex() < 0 ? -1 : type->currentData().toInt();
}

void TFormZvoGeneral::CarryTypeChange(int n, bool loading) {
  CarryControls& c = car_[n - 1];
  QString& automatic = gAutomatic[n - 1];
  const bool used = CarryCode(n) > 0;
  if (!used && !loading) {
    c.label->clear();
    Select(c.contact, 0);
  }
  c.box->setFixedHeight(used ? kUsedCarryHeight : kUnusedCarryHeight);
  for (QWidget* w : {static_cast<QWidget*>(c.labelCaption), static_cast<QWidget*>(c.label),
                     static_cast<QWidget*>(c.contactCaption), static_cast<QWidget*>(c.contact)}) {
    w->setVisible(used);
  }
  if (!used) return;
  const QString functionText = c.type->currentText();
  if (loading) {
    // A loaded label stays as stored; one that is its function's text counts as filled in.
    if (c.label->text() == functionText) automatic = functionText;
    return;
  }
  if (c.label->text().isEmpty() || c.label->text() == automatic) {
    c.label->setText(functionText);
    automatic = functionText;
  }
}

// ---- Day / night -------------------------------------------------------------------------

void TFormZvoGeneral::DayNightChange() {
  const bool enabled = cbDayNight_->isChecked();
  if (!enabled) ShowTimes(TDayNightF::DefaultStartTime(), TDayNightF::DefaultEndTime());
  for (QWidget* w : {static_cast<QWidget*>(labelStart_), static_cast<QWidget*>(labelEnd_),
                     static_cast<QWidget*>(dtPickerDNS_), static_cast<QWidget*>(dtPickerDNE_),
                     static_cast<QWidget*>(slider_)}) {
    w->setVisible(enabled);
  }
  UpdateWarning();
  DayNightFocus();
}

void TFormZvoGeneral::DayNightFocus() {
  for (QTimeEdit* picker : {dtPickerDNS_, dtPickerDNE_}) picker->setDisplayFormat(kTimeFormat);
}

void TFormZvoGeneral::UpdateWarning() {
  // Start and end both at their defaults: the function would never act.
  const bool inactive = cbDayNight_->isChecked() && dtPickerDNS_->time() == ToQTime(TDayNightF::DefaultStartTime()) &&
                        dtPickerDNE_->time() == ToQTime(TDayNightF::DefaultEndTime());
  lWarningJourNuit_->setVisible(inactive);
}

// The program's own sets run no handler: picker changes pass syncing_, thumb moves run
// with the slider's events muted. Only what the user does reaches the other control.
void TFormZvoGeneral::SetPickerTime(QTimeEdit* picker, const QTime& time) {
  const bool was = std::exchange(syncing_, true);
  picker->setTime(time);
  syncing_ = was;
}

void TFormZvoGeneral::ShowTimes(TTimeHM start, TTimeHM end) {
  SetPickerTime(dtPickerDNS_, ToQTime(start));
  SetPickerTime(dtPickerDNE_, ToQTime(end));
  const bool was = slider_->BlockEvents(true);
  slider_->SetMaxTime(end);
  slider_->SetMinTime(start);
  slider_->BlockEvents(was);
}

void TFormZvoGeneral::PickerChanged(bool start) {
  if (syncing_) return;
  const bool was = slider_->BlockEvents(true);
  if (start) {
    slider_->SetMinTime(ToTimeHM(dtPickerDNS_->time()));
  } else {
    slider_->SetMaxTime(ToTimeHM(dtPickerDNE_->time()));
  }
  slider_->BlockEvents(was);
  UpdateWarning();
}

void TFormZvoGeneral::ThumbChanged(bool lower) {
  if (lower) {
    SetPickerTime(dtPickerDNS_, ToQTime(slider_->GetMinTime()));
  } else {
    SetPickerTime(dtPickerDNE_, ToQTime(slider_->GetMaxTime()));
  }
  UpdateWarning();
}

// ---- Site information --------------------------------------------------------------------

bool TFormZvoGeneral::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editIndice_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (TypesCharacter(*key)) {
      ModifIndiceData(key->text());
      return true;
    }
  }
  return TZvoChildForm::eventFilter(watched, event);
}

void TFormZvoGeneral::ModifIndiceData(const QString& key) {
  QChar c = key.at(0);
  if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = c.toUpper();
  // Any letter of the code page is shown; the check at OK wants A to Z.
  if (IsAnsiLetter(c)) editIndice_->setText(QString(c));
}

void TFormZvoGeneral::UpdateRemarkHint() {
  memoRemark_->setToolTip(QStringLiteral("%1 characters / %2 max.").arg(memoRemark_->Length()).arg(kRemarkMaxLength));
}

// ---- OK and Cancel -----------------------------------------------------------------------

bool TFormZvoGeneral::Fails(bool valid, const std::string& message, QWidget* page, QWidget* field) {
  if (valid) return false;
  ShowMessageBox(FromAnsi(message));
  pageControl_->setCurrentWidget(page);
  field->setFocus();
  return true;
}

void TFormZvoGeneral::Valider() {
  std::string message;
  const auto ansi = [](const QLineEdit* edit) { return ToAnsi(edit->text()); };
  if (Fails(params_->DataIndex()->IsValidMsg(ansi(editIndice_), message), message, tabSheetInfo_, editIndice_)) return;
  if (Fails(params_->AccessCode2()->IsValidMsg(ansi(editCod2_), message), message, tabSheetPanel_, editCod2_)) return;
  if (Fails(params_->AccessCode3()->IsValidMsg(ansi(editCod3_), message), message, tabSheetPanel_, editCod3_)) return;
  for (int n = 1; n <= 2; ++n) {
    QLineEdit* label = car_[n - 1].label;
    if (Fails(TCarInpDDS::CheckInput(ansi(label), CarryCode(n), message), message, tabSheetCarry_, label)) return;
  }
  StoreFields();
  stored_ = true;
  close();
}

void TFormZvoGeneral::StoreFields() {
  root_->SetModified(true);
  StoreIfChanged(editSiteName_, shownSiteName_, *params_->SiteName());
  root_->Lignes()->SetLoopSystem(cbDetMode_->currentIndex() == 1);
  if (cbOptRelP2_->currentIndex() >= 0) root_->Relais()->SetCardType(CardEntryOrCode(cbOptRelP2_->currentIndex()));
  StoreIfChanged(editCod2_, shownCod2_, *params_->AccessCode2());
  StoreIfChanged(editCod3_, shownCod3_, *params_->AccessCode3());
  StoreCarry(1, *root_->CarryInput1());
  StoreCarry(2, *root_->CarryInput2());

  TDayNightF& dayNight = *root_->DayNight();
  dayNight.enabled = cbDayNight_->isChecked();
  dayNight.start = ToTimeHM(dtPickerDNS_->time());
  dayNight.end = ToTimeHM(dtPickerDNE_->time());

  StoreIfChanged(editEditor_, shownEditor_, *params_->EditorName());
  StoreIfChanged(editLocal_, shownLocal_, *params_->Localisation());
  StoreIfChanged(editIndice_, shownIndice_, *params_->DataIndex());
  params_->Remarks()->SetText(memoRemark_->SiteText());

  TAlarmThresholds& t = *root_->Thresholds();
  if (cbSeuilOPT_->currentIndex() >= 0) t.optical = cbSeuilOPT_->currentIndex();
  if (cbSeuilThStatic_->currentIndex() >= 0) t.staticHeat = cbSeuilThStatic_->currentIndex();
  if (cbSeuilMultic_->currentIndex() >= 0) t.multicriteria = cbSeuilMultic_->currentIndex();
  if (cbSeuilS2H_->currentIndex() >= 0) t.airSampling = cbSeuilS2H_->currentIndex() + 1;
}

void TFormZvoGeneral::StoreCarry(int n, TCarInpDDS& input) {
  const CarryControls& c = car_[n - 1];
  if (c.label->text() != shownCarryLabel_[n - 1]) input.SetLabel(ToAnsi(c.label->text()));
  const int code = CarryCode(n);
  if (code >= 0 && code <= 6) input.function = code;
  if (c.contact->currentIndex() >= 0) input.normallyActive = c.contact->currentIndex() != 0;
}

void TFormZvoGeneral::Fermer() { close(); }

void TFormZvoGeneral::closeEvent(QCloseEvent* event) {
  // Whichever way the window closes without storing, the automatic labels go back.
  if (!stored_) std::copy(std::begin(automaticAtOpen_), std::end(automaticAtOpen_), std::begin(gAutomatic));
  TZvoChildForm::closeEvent(event);
}
