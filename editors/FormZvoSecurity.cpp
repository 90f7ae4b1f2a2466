#include "editors/FormZvoSecurity.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "editors/FormBits.h"
#include "editors/FormDragList.h"
#include "editors/TreeImages.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Security.h"
#include "model/Zavo.h"

namespace {

constexpr const char* kForm = "TFormZvoSecurity";
constexpr const char* kFunctionSuffix[] = {"Uga", "Br1", "Br2"};

QString Text(const char* component, const char* builtin) {
  return FormText(kForm, component, "Caption", QString::fromUtf8(builtin));
}

// By category: the buttons' name prefix, the picker's captions, and the button's picture.
struct Category {
  const char* prefix;
  const char* available;
  const char* selected;
  char letter;
  QColor colour;
};
const Category kCategoryTable[] = {
    {"SBAl", "Available Points", "Selected Points", 'A', QColor(190, 190, 190)},
    {"SBDi", "Available FD", "Selected FD", 'D', QColor(120, 170, 255)},
    {"SBBm", "Available MCP", "Selected MCP", 'M', QColor(240, 90, 90)},
    {"SBAc", "Available CA", "Selected CA", 'C', QColor(90, 200, 190)},
    {"SBAt", "Available TA", "Selected TA", 'T', QColor(190, 140, 230)},
};

// Minutes and seconds beyond which a breaking delay is shown in red.
constexpr TTimeHM kBreakingWarning{0, 30};

// Red above half a minute, else the normal window colour.
void ShowBreakingWarning(QTimeEdit* picker) {
  const TTimeHM t = ToTimeHM(picker->time());
  QPalette palette = QApplication::palette(picker);
  if (DurationSeconds(t) > DurationSeconds(kBreakingWarning)) {
    palette.setColor(QPalette::Base, Qt::red);
  }
  picker->setPalette(palette);
}

}  // namespace

TFormZvoSecurity::TFormZvoSecurity(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      root_(CurrentDatabase()->Root()),
      evacuation_(root_->Security()->Evacuation()),
      breaking_{root_->Security()->Breaking(1), root_->Security()->Breaking(2)},
      points_(root_->Points()),
      dtpDelUGA_(DurationPicker(this, "DtpDelUGA")),
      dtpDurUGA_(DurationPicker(this, "DtpDurUGA")),
      cbCAuxRearm_(Named(new QCheckBox(this), "cbCAux_Rearm")),
      cbBreak_{Named(new QCheckBox(this), "CBBreak1"), Named(new QCheckBox(this), "CBBreak2")},
      dtpDelBr_{DurationPicker(this, "DtpDelBr1"), DurationPicker(this, "DtpDelBr2")},
      labelDelBr_{Caption(this, "LabelDelBr1"), Caption(this, "LabelDelBr2")},
      labelDelMsBr_{Caption(this, "LabelDelMsBr1"), Caption(this, "LabelDelMsBr2")},
      buttons_{},
      panelDrag_(Named(new QWidget(this), "PanelDrag")),
      picker_(nullptr),
      bitBtnValider_(Named(new QPushButton(this), "BitBtnValider")),
      bitBtnAnnuler_(Named(new QPushButton(this), "BitBtnAnnuler")) {
  setObjectName(QString::fromLatin1(kForm));
  // Point captions as in the points window's line view.
  PointCaptionView = 2;

  auto* functions = new QVBoxLayout;
  for (int f = 0; f < kFunctions; ++f) {
    const std::string box = std::string("GroupBox") + kFunctionSuffix[f];
    auto* group = Named(new QGroupBox(this), box.c_str());
    auto* grid = new QGridLayout(group);
    auto* row = new QHBoxLayout;
    for (int c = 0; c < kCategories; ++c) {
      const std::string name = std::string(kCategoryTable[c].prefix) + kFunctionSuffix[f];
      auto* button = Named(new QToolButton(group), name.c_str());
      button->setCheckable(true);
      button->setIcon(TreeGlyph(kCategoryTable[c].colour, QLatin1Char(kCategoryTable[c].letter)));
      button->setToolButtonStyle(c == 0 ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
      const int tag = f * 10 + c;
      connect(button, &QToolButton::clicked, this, [this, tag] { Renseigner(tag); });
      buttons_[static_cast<std::size_t>(f)][static_cast<std::size_t>(c)] = button;
      row->addWidget(button);
    }
    row->addStretch();
    if (f == 0) {
      grid->addWidget(Caption(group, "LabelDelUGA"), 0, 0);
      grid->addWidget(dtpDelUGA_, 0, 1);
      grid->addWidget(Caption(group, "LabelDelMsUGA"), 0, 2);
      grid->addWidget(Caption(group, "LabelDurUGA"), 1, 0);
      grid->addWidget(dtpDurUGA_, 1, 1);
      grid->addWidget(Caption(group, "LabelDurMsUGA"), 1, 2);
      grid->addWidget(cbCAuxRearm_, 2, 0, 1, 4);
      grid->addLayout(row, 3, 0, 1, 4);
    } else {
      const auto i = static_cast<std::size_t>(f - 1);
      grid->addWidget(cbBreak_[i], 0, 0, 1, 4);
      grid->addWidget(labelDelBr_[i], 1, 0);
      grid->addWidget(dtpDelBr_[i], 1, 1);
      grid->addWidget(labelDelMsBr_[i], 1, 2);
      grid->addLayout(row, 2, 0, 1, 4);
      connect(cbBreak_[i], &QCheckBox::clicked, this, [this, f] { ControlRupture(f); });
      connect(dtpDelBr_[i], &QTimeEdit::timeChanged, this, [this, f] { FiltrerRetardRupture(f); });
    }
    grid->setColumnStretch(3, 1);
    functions->addWidget(group);
  }
  functions->addStretch();
  connect(dtpDurUGA_, &QTimeEdit::timeChanged, this, [this] { FiltrerDureeUGA(); });
  connect(dtpDelUGA_, &QTimeEdit::timeChanged, this, [this] { FiltrerRetardUGA(); });
  connect(bitBtnValider_, &QPushButton::clicked, this, [this] { Valider(); });
  connect(bitBtnAnnuler_, &QPushButton::clicked, this, [this] { Fermer(); });

  auto* body = new QHBoxLayout;
  body->addLayout(functions);
  body->addWidget(panelDrag_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(ButtonRow({bitBtnValider_, bitBtnAnnuler_}));

  picker_ = new TFormDragList(panelDrag_);
  picker_->OnMoved = [this] { AffNbElmParFiltre(); };

  resize(697, 393);
  ApplyTexts();
  Fill();
  ShowAsChild();
  bitBtnValider_->setFocus();
}

TFormZvoSecurity::~TFormZvoSecurity() {
  // The picker's nodes refer to the elements of the lists: it goes first.
  delete picker_;
}

void TFormZvoSecurity::ApplyTexts() {
  setWindowTitle(Text(kForm, "Security settings"));
  static const std::pair<const char*, const char*> kGroups[] = {
      {"GroupBoxUga", "AMU"}, {"GroupBoxBr1", "Breaking function 1"}, {"GroupBoxBr2", "Breaking function 2"}};
  for (const auto& [name, builtin] : kGroups) {
    if (auto* box = findChild<QGroupBox*>(QString::fromLatin1(name))) box->setTitle(Text(name, builtin));
  }
  static const std::pair<const char*, const char*> kLabels[] = {
      {"LabelDelUGA", "Delay"},  {"LabelDelMsUGA", "min sec"}, {"LabelDurUGA", "Duration"},
      {"LabelDurMsUGA", "min sec"}, {"LabelDelBr1", "Delay"},   {"LabelDelMsBr1", "min sec"},
      {"LabelDelBr2", "Delay"},  {"LabelDelMsBr2", "min sec"},
  };
  for (const auto& [name, builtin] : kLabels) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) label->setText(Text(name, builtin));
  }
  cbCAuxRearm_->setText(Text("cbCAux_Rearm", "Reset of auxiliary contacts by general reset"));
  cbBreak_[0]->setText(Text("CBBreak1", "Activated"));
  cbBreak_[1]->setText(Text("CBBreak2", "Activated"));
  bitBtnValider_->setText(Text("BitBtnValider", "&OK"));
  bitBtnAnnuler_->setText(Text("BitBtnAnnuler", "&Cancel"));
}

void TFormZvoSecurity::Fill() {
  for (int n = 1; n <= 2; ++n) {
    cbBreak_[static_cast<std::size_t>(n - 1)]->setChecked(breaking_[static_cast<std::size_t>(n - 1)]->IsEnabled());
    ControlRupture(n);
  }
  cbCAuxRearm_->setChecked(evacuation_->AuxContactFlag() != 0);
  ShowDuration(dtpDurUGA_, evacuation_->Duration());
  ShowDuration(dtpDelUGA_, evacuation_->Time());
  for (int n = 1; n <= 2; ++n) {
    ShowDuration(dtpDelBr_[static_cast<std::size_t>(n - 1)], breaking_[static_cast<std::size_t>(n - 1)]->Time());
    // Shown as stored: the limits apply to what the user changes.
    ShowBreakingWarning(dtpDelBr_[static_cast<std::size_t>(n - 1)]);
  }
  for (int i = 0; i < TGstPoints::kPointCount; ++i) {
    TPoints* point = points_->GetPoint(i);
    if (!point->IsUsed()) continue;
    for (int f = 0; f < kFunctions; ++f) Points(f).Add(new TTreeFonPoint(point, point->Evacuation(f + 1)));
  }
  AffNbElmParFiltre();
  Renseigner(0);
}

QToolButton* TFormZvoSecurity::Button(int tag) const {
  const int f = tag / 10;
  const int c = tag % 10;
  if (f < 0 || f >= kFunctions || c < 0 || c >= kCategories) return nullptr;
  return buttons_[static_cast<std::size_t>(f)][static_cast<std::size_t>(c)];
}

void TFormZvoSecurity::Renseigner(int tag) {
  if (current_ != tag) {
    if (QToolButton* before = Button(current_)) before->setChecked(false);
  }
  if (QToolButton* button = Button(tag)) button->setChecked(true);
  current_ = tag;
  const int function = tag / 10 == 1 || tag / 10 == 2 ? tag / 10 : 0;
  const int category = tag % 10;
  const Category& captions = kCategoryTable[category >= 0 && category < kCategories ? category : 0];
  TTreeList available;
  TTreeList selected;
  Points(function).CollectInto(available, category, false);
  Points(function).CollectInto(selected, category, true);
  picker_->Load(available, selected, Text(captions.available, captions.available),
                Text(captions.selected, captions.selected), &TreeImages());
  // The elements stay the function's list's.
  available.Release();
  selected.Release();
}

void TFormZvoSecurity::AffNbElmParFiltre() {
  for (int f = 0; f < kFunctions; ++f) {
    for (int c = 1; c < kCategories; ++c) {
      Button(f * 10 + c)->setText(QString::number(Points(f).CountMatching(c, true)));
    }
  }
}

void TFormZvoSecurity::ControlRupture(int function) {
  const auto i = static_cast<std::size_t>(function - 1);
  const bool on = cbBreak_[i]->isChecked();
  if (on) {
    Renseigner(function * 10);
  } else {
    ShowDuration(dtpDelBr_[i], breaking_[i]->DefaultTime());
    ShowBreakingWarning(dtpDelBr_[i]);
    Renseigner(0);
  }
  for (QWidget* w : {static_cast<QWidget*>(dtpDelBr_[i]), static_cast<QWidget*>(labelDelBr_[i]),
                     static_cast<QWidget*>(labelDelMsBr_[i])}) {
    w->setVisible(on);
  }
  for (int c = 0; c < kCategories; ++c) Button(function * 10 + c)->setVisible(on);
}

void TFormZvoSecurity::FiltrerDureeUGA() { LimitPicker(dtpDurUGA_, {5, 0}, {15, 0}); }

void TFormZvoSecurity::FiltrerRetardUGA() { LimitPicker(dtpDelUGA_, {0, 4}, {5, 0}); }

void TFormZvoSecurity::FiltrerRetardRupture(int function) {
  QTimeEdit* picker = dtpDelBr_[static_cast<std::size_t>(function - 1)];
  LimitPicker(picker, {0, 0}, {5, 0});
  ShowBreakingWarning(picker);
}

void TFormZvoSecurity::Valider() {
  for (int n = 1; n <= 2; ++n) {
    const auto i = static_cast<std::size_t>(n - 1);
    if (cbBreak_[i]->isChecked() && Points(n).CountMatching(0, true) == 0) {
      cbBreak_[i]->setChecked(false);
      ControlRupture(n);
    }
  }
  evacuation_->SetDuration(ToTimeHM(dtpDurUGA_->time()));
  evacuation_->SetTime(ToTimeHM(dtpDelUGA_->time()));
  // A stored flag other than 1 stays as it is while the box stays checked.
  if (!cbCAuxRearm_->isChecked()) {
    evacuation_->SetAuxContactFlag(0);
  } else if (evacuation_->AuxContactFlag() == 0) {
    evacuation_->SetAuxContactFlag(1);
  }
  for (int n = 1; n <= 2; ++n) {
    const auto i = static_cast<std::size_t>(n - 1);
    TFoncBrk& function = *breaking_[i];
    function.SetTime(ToTimeHM(dtpDelBr_[i]->time()));
    function.SetEnabled(cbBreak_[i]->isChecked());
    // An enabled function drives its relay by itself: no group may drive it too.
    if (function.IsEnabled()) {
      function.Groups()->Reset();
    } else {
      Points(n).InitSelected(false);
    }
  }
  for (int f = 0; f < kFunctions; ++f) Points(f).ApplyState(f);
  root_->SetModified(true);
  close();
}

void TFormZvoSecurity::Fermer() { close(); }
