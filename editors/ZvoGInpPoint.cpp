#include "editors/ZvoGInpPoint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "editors/FormBits.h"
#include "editors/FormZvoPoints.h"
#include "editors/ZvoGInpZone.h"
#include "editors/ZvoTreeView.h"
#include "model/GroupTable.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "model/Zones.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/StringList.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"

namespace {

void SetText(QLineEdit* edit, const QString& text) {
  const QSignalBlocker blocker(edit);
  edit->setText(text);
}

void SetEditText(QComboBox* box, const QString& text) {
  const QSignalBlocker blocker(box);
  box->setEditText(text);
}

bool WithoutZoneOutput(int type) { return type == 6 || type == 14 || type == 18; }

}  // namespace

TGInpPoint::TGInpPoint(TFormZvoPoints& window) : window_(window), points_(GstPointsInstance) {
  platform::StringList types;
  FillPointTypeList(types);
  QComboBox* ident = window.CBIdent();
  Fill(ident, types);
  Select(ident, ident->findData(DefaultPointType()));
}

TPoints* TGInpPoint::ShownPoint() const {
  int address = 0;
  if (!platform::TryStrToInt(ToAnsi(window_.CBAdresse()->currentText()), address)) return nullptr;
  return points_->GetPoint(address - 1);
}

int TGInpPoint::ShownType() const {
  const QVariant code = window_.CBIdent()->currentData();
  return code.isValid() ? code.toInt() : -1;
}

void TGInpPoint::FillFreeAddresses() {
  platform::StringList free;
  points_->FillFreeAddresses(free);
  Fill(window_.CBAdresse(), free);
}

void TGInpPoint::LoadFields(const TPoints& point) {
  SetEditText(window_.CBAdresse(), QString::number(point.Address()));
  SetText(window_.EditPoint(), FromAnsi(point.Label()));
  {
    const QSignalBlocker blocker(window_.CBActiveEC());
    window_.CBActiveEC()->setChecked(point.ActiveOutput());
  }
  QComboBox* ident = window_.CBIdent();
  Select(ident, ident->findData(static_cast<int>(point.Type())));
  TypeChanged();
}

void TGInpPoint::Reload() {
  if (point_) LoadFields(*point_);
}

void TGInpPoint::SelectPoint(TPoints* point) {
  point_ = point;
  line_ = point ? point->Line() : nullptr;
  FillFreeAddresses();
  if (!point) return;
  LoadFields(*point);
  const QString label = window_.EditPoint()->text();
  autoLabel_ = label == AutoLabel() ? label : QString();
}

QString TGInpPoint::AutoLabel() const {
  return window_.CBIdent()->currentText().left(16) + QLatin1Char(' ') + window_.CBAdresse()->currentText();
}

void TGInpPoint::RefreshAutoLabel() {
  autoLabel_ = AutoLabel();
  SetText(window_.EditPoint(), autoLabel_);
}

void TGInpPoint::PrepareNew() {
  FillFreeAddresses();
  QComboBox* address = window_.CBAdresse();
  Select(address, 0);
  QComboBox* ident = window_.CBIdent();
  Select(ident, ident->findData(DefaultPointType()));
  RefreshAutoLabel();
  TypeChanged();
}

void TGInpPoint::PrepareAdd(TElemIHM* selected) {
  TZvoTreeView* tree = window_.TreeView();
  TGInpZone& zones = window_.Zone();
  if (auto* line = dynamic_cast<TLignes*>(selected)) {
    line_ = line;
    zones.PrepareNumber();
    PrepareNew();
    ExpandNode(tree, line);
  } else if (auto* zone = dynamic_cast<TZones*>(selected)) {
    zones.SelectZone(zone);
    PrepareNew();
    ExpandNode(tree, zone);
  } else if (auto* point = dynamic_cast<TPoints*>(selected)) {
    zones.SelectPointZone(point);
    SelectPoint(point);
    const int next = points_->NextFreeAddress(point->Address());
    SetEditText(window_.CBAdresse(), next > 0 ? QString::number(next) : QString());
    if (window_.EditPoint()->text() == autoLabel_) RefreshAutoLabel();
  } else {
    zones.PrepareNumber();
    PrepareNew();
  }
}

void TGInpPoint::TypeChanged() {
  QCheckBox* output = window_.CBActiveEC();
  if (WithoutZoneOutput(ShownType())) {
    const QSignalBlocker blocker(output);
    output->setChecked(false);
    output->setEnabled(false);
  } else {
    output->setEnabled(true);
  }
}

bool TGInpPoint::CheckAddress(bool editing) {
  QComboBox* box = window_.CBAdresse();
  std::string message;
  if (TGstPoints::CheckAddress(ToAnsi(box->currentText()), message)) {
    TPoints* shown = ShownPoint();
    const bool own = editing && (!point_ || shown == point_);
    if (!own && shown->IsUsed()) {
      message = platform::Format(ToAnsi(TFormZvoPoints::Text("MsgAddressUsed", "Address %3.3d is already used")),
                                 {shown->Address()});
    }
  }
  if (message.empty()) return true;
  box->setFocus();
  ShowMessageBox(FromAnsi(message));
  return false;
}

bool TGInpPoint::CheckEdit() { return CheckAddress(true); }

bool TGInpPoint::CheckAdd() { return CheckAddress(false); }

void TGInpPoint::StoreFields(TPoints& point) const {
  point.SetLabel(ToAnsi(window_.EditPoint()->text()));
  point.SetActiveOutput(window_.CBActiveEC()->isChecked());
  int zone = 0;
  point.SetZone(platform::TryStrToInt(ToAnsi(window_.CBNumZone()->currentText()), zone) ? zone : 0);
  // A stored type the list does not offer shows no entry and is kept.
  if (const int type = ShownType(); type > 0) point.SetType(type);
}

void TGInpPoint::StoreNew(TPoints& point) {
  point.SetLine(line_ ? line_->Number() : 1);
  StoreFields(point);
}

void TGInpPoint::StoreEdit() {
  TPoints* target = ShownPoint();
  if (!target) return;
  window_.Zone().SetPoints(point_ ? point_ : target, target);
  TZvoTreeView* tree = window_.TreeView();
  const bool lineView = !window_.IsZoneView();
  if (!point_) {
    StoreNew(*target);
  } else if (target == point_) {
    StoreFields(*point_);
    if (lineView) {
      RefreshNode(tree, point_, PointsShowTypes);
      // The line's caption counts its zones, which a new zone number changes.
      if (TLignes* line = point_->Line()) RefreshNode(tree, line, false);
    }
  } else {
    // Readdressed: the point's groups and security functions go with it.
    TPoints* old = point_;
    TLignes* oldLine = old->Line();
    target->Groups()->Assign(*old->Groups());
    for (int n = 1; n <= 3; ++n) target->SetEvacuation(n, old->Evacuation(n));
    old->Reset();
    StoreNew(*target);
    point_ = target;
    if (lineView) {
      DeleteChildNode(tree, oldLine, old);
      AddChildNode(tree, target->Line(), target, PointsShowTypes);
      RefreshNode(tree, target->Line(), false);
    }
  }
}

void TGInpPoint::StoreAdd() {
  TPoints* target = ShownPoint();
  if (!target) return;
  window_.Zone().SetPoints(target, target);
  StoreNew(*target);
  if (window_.IsZoneView()) {
    window_.Zone().StoreInto(target->Zone());
  } else {
    TZvoTreeView* tree = window_.TreeView();
    AddChildNode(tree, target->Line(), target, PointsShowTypes);
    RefreshNode(tree, target->Line(), false);
  }
}
