#include "editors/FormZvoSounders.h"

#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "editors/FormBits.h"
#include "editors/FormDragList.h"
#include "editors/TreeImages.h"
#include "model/Projet.h"
#include "model/SiteSettings.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"

namespace {

constexpr const char* kForm = "TFormZvoSounders";

QString Text(const char* component, const char* builtin) {
  return FormText(kForm, component, "Caption", QString::fromUtf8(builtin));
}

int ModeCode(const QComboBox* box) { return box->currentIndex() >= 0 ? box->currentData().toInt() : -1; }

}  // namespace

TFormZvoSounders::TFormZvoSounders(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      root_(CurrentDatabase()->Root()),
      sounders_(root_->LineSound()),
      zones_(root_->Zones()),
      labelFunMode_(Caption(this, "LabelFunMode")),
      cbFunMode_(Named(new QComboBox(this), "CBFunMode")),
      panelStandard_(Named(new QWidget(this), "PanelStandard")),
      dtpDelaiStd_(DurationPicker(panelStandard_, "DtpDelaiStd")),
      panelHotel_(Named(new QWidget(this), "PanelHotel")),
      dtpDelaiHo1_(DurationPicker(panelHotel_, "DtpDelaiHo1")),
      dtpDelaiHo2_(DurationPicker(panelHotel_, "DtpDelaiHo2")),
      panelDrag_(Named(new QWidget(this), "PanelDrag")),
      picker_(nullptr),
      bitBtnValider_(Named(new QPushButton(this), "BitBtnValider")),
      bitBtnAnnuler_(Named(new QPushButton(this), "BitBtnAnnuler")) {
  setObjectName(QString::fromLatin1(kForm));

  auto* standard = new QHBoxLayout(panelStandard_);
  standard->addWidget(Caption(panelStandard_, "LabelDelaiStd"));
  standard->addWidget(dtpDelaiStd_);
  standard->addWidget(Caption(panelStandard_, "LabelMinSecStd"));
  standard->addStretch();
  auto* hotel = new QGridLayout(panelHotel_);
  hotel->addWidget(Caption(panelHotel_, "LabelDelaiHo1"), 0, 0);
  hotel->addWidget(dtpDelaiHo1_, 0, 1);
  hotel->addWidget(Caption(panelHotel_, "LabelMinSecHo1"), 0, 2);
  hotel->addWidget(Caption(panelHotel_, "LabelDelaiHo2"), 1, 0);
  hotel->addWidget(dtpDelaiHo2_, 1, 1);
  hotel->addWidget(Caption(panelHotel_, "LabelMinSecHo2"), 1, 2);
  hotel->setColumnStretch(3, 1);
  for (QWidget* panel : {panelStandard_, panelHotel_, panelDrag_}) panel->hide();

  auto* mode = new QHBoxLayout;
  mode->addWidget(labelFunMode_);
  mode->addWidget(cbFunMode_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(mode);
  layout->addWidget(panelStandard_);
  layout->addWidget(panelHotel_);
  layout->addWidget(panelDrag_, 1);
  layout->addStretch();
  layout->addLayout(ButtonRow({bitBtnValider_, bitBtnAnnuler_}));

  picker_ = new TFormDragList(panelDrag_);
  connect(cbFunMode_, &QComboBox::activated, this, [this] { FuncModeChange(); });
  for (QTimeEdit* picker : {dtpDelaiStd_, dtpDelaiHo1_, dtpDelaiHo2_}) {
    connect(picker, &QTimeEdit::timeChanged, this, [this, picker] { BriderADixMinutes(picker); });
  }
  connect(bitBtnValider_, &QPushButton::clicked, this, [this] { Valider(); });
  connect(bitBtnAnnuler_, &QPushButton::clicked, this, [this] { Fermer(); });

  resize(470, 430);
  ApplyTexts();
  Fill();
  ShowAsChild();
  cbFunMode_->setFocus();
}

void TFormZvoSounders::ApplyTexts() {
  setWindowTitle(Str(477));
  static const std::pair<const char*, const char*> kCaptions[] = {
      {"LabelFunMode", "Functional Mode"}, {"LabelDelaiStd", "Delay"},     {"LabelMinSecStd", "min sec"},
      {"LabelDelaiHo1", "Delay 1"},        {"LabelMinSecHo1", "min sec"},  {"LabelDelaiHo2", "Delay 2"},
      {"LabelMinSecHo2", "min sec"},
  };
  for (const auto& [name, builtin] : kCaptions) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) label->setText(Text(name, builtin));
  }
  bitBtnValider_->setText(Text("BitBtnValider", "&OK"));
  bitBtnAnnuler_->setText(Text("BitBtnAnnuler", "&Cancel"));
}

void TFormZvoSounders::Fill() {
  for (int i = 0; i < TGstZones::kZoneCount; ++i) {
    TZones* zone = zones_->GetZone(i);
    if (!zone->IsUsed()) continue;
    (zone->ZoneFlag() ? triggering_ : notTriggering_).Add(new TTreeZone(zone));
  }
  picker_->Load(notTriggering_, triggering_, Text("Available", "Available zones"),
                Text("Selected", "Selected zones"), &TreeImages());

  platform::StringList modes;
  TLineSound::FillModeList(modes);
  ::Fill(cbFunMode_, modes);
  Select(cbFunMode_, cbFunMode_->findData(static_cast<int>(sounders_->mode)));

  ShowDuration(dtpDelaiStd_, sounders_->delay);
  ShowDuration(dtpDelaiHo1_, sounders_->hotelDelay1);
  ShowDuration(dtpDelaiHo2_, sounders_->hotelDelay2);
  FuncModeChange();
}

void TFormZvoSounders::FuncModeChange() {
  const int code = ModeCode(cbFunMode_);
  bool standard = false;
  bool hotel = false;
  switch (code) {
    case 0:
      ShowDuration(dtpDelaiStd_, TLineSound::DefaultDelay());
      [[fallthrough]];
    case 1:
    case 3:
    case 4:
      ShowDuration(dtpDelaiHo1_, TLineSound::DefaultHotelDelay1());
      ShowDuration(dtpDelaiHo2_, TLineSound::DefaultHotelDelay2());
      standard = code != 0;
      break;
    case 2:
      ShowDuration(dtpDelaiStd_, TLineSound::DefaultDelay());
      hotel = true;
      break;
    default: return;  // no entry: the panels stay as they are
  }
  panelStandard_->setVisible(standard);
  panelHotel_->setVisible(hotel);
  panelDrag_->setVisible(code != 0);
}

void TFormZvoSounders::BriderADixMinutes(QTimeEdit* picker) { LimitPicker(picker, {0, 0}, {10, 0}); }

void TFormZvoSounders::Valider() {
  picker_->Store(notTriggering_, triggering_);
  if (cbFunMode_->currentIndex() != 0 && triggering_.Count() == 0) {
    ShowErrorBox(this, Text("ErrorNoZone", "Error : no zone trigger selected"));
    return;
  }
  triggering_.ApplySelected(0);
  notTriggering_.ApplyUnselected(0);
  const int code = ModeCode(cbFunMode_);
  if (code >= 0 && code <= 4) sounders_->mode = static_cast<std::uint8_t>(code);
  sounders_->delay = ToTimeHM(dtpDelaiStd_->time());
  sounders_->hotelDelay1 = ToTimeHM(dtpDelaiHo1_->time());
  sounders_->hotelDelay2 = ToTimeHM(dtpDelaiHo2_->time());
  root_->SetModified(true);
  close();
}

void TFormZvoSounders::Fermer() {
  const Qt::KeyboardModifiers held = QGuiApplication::keyboardModifiers();
  if ((held & Qt::ControlModifier) && (held & Qt::AltModifier) && cbFunMode_->currentIndex() != 0) {
    ChooseResistance();
    return;
  }
  close();
}

void TFormZvoSounders::ChooseResistance() {
  QDialog chooser(this);
  chooser.setObjectName(QStringLiteral("SoundersResistance"));
  chooser.setWindowTitle(Text("ResistanceCaption", "Sounders"));
  chooser.setGeometry(100, 100, 210, 150);
  auto* list = Named(new QComboBox(&chooser), "CBResistance");
  for (int r = 0; r <= kMaxResistance; ++r) list->addItem(QString::number(r));
  list->setGeometry(70, 40, 60, list->sizeHint().height());
  list->setCurrentIndex(list->findText(QString::number(sounders_->resistance)));
  auto* label = Named(new QLabel(Text("ResistanceLabel", "Choose Default Sounders Resistance"), &chooser),
                      "LabelResistance");
  label->move(15, 20);
  label->adjustSize();
  auto* ok = Named(new QPushButton(QStringLiteral("OK"), &chooser), "OK");
  ok->move(20, 70);
  ok->setDefault(true);
  auto* cancel = Named(new QPushButton(Text("ResistanceCancel", "Cancel"), &chooser), "Cancel");
  cancel->move(100, 70);
  connect(ok, &QPushButton::clicked, &chooser, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, &chooser, &QDialog::reject);
  if (chooser.exec() != QDialog::Accepted) return;
  // Nothing chosen (a stored value beyond the list) keeps the value.
  bool number = false;
  const int chosen = list->currentText().toInt(&number);
  if (!number) return;
  sounders_->resistance = static_cast<std::uint8_t>(chosen);
  // Stored at once, whatever the window's OK or Cancel: the site must know it changed.
  root_->SetModified(true);
}
