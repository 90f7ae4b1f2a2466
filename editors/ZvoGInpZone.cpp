#include "editors/ZvoGInpZone.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "editors/ChoiceTabs.h"
#include "editors/FormBits.h"
#include "editors/FormZvoPoints.h"
#include "editors/ZvoCtrlModePoints.h"
#include "editors/ZvoTreeView.h"
#include "model/GroupTable.h"
#include "model/Points.h"
#include "model/Zones.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/StringList.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"
#include "shell/WaitCursor.h"

TGInpZone::TGInpZone(TFormZvoPoints& window)
    : window_(window), zones_(GstZonesInstance) {
  // The user's changes only: the program fills the box itself.
  QComboBox* number = window.CBNumZone();
  QObject::connect(number->lineEdit(), &QLineEdit::textEdited, &window, [this] { NumberChanged(); });
  QObject::connect(number, &QComboBox::activated, &window, [this] { NumberChanged(); });
}

TGInpZone::~TGInpZone() {
  QObject::disconnect(window_.CBNumZone()->lineEdit(), &QLineEdit::textEdited, &window_, nullptr);
  QObject::disconnect(window_.CBNumZone(), &QComboBox::activated, &window_, nullptr);
}

int TGInpZone::ShownNumber() const {
  int n = 0;
  return platform::TryStrToInt(ToAnsi(window_.CBNumZone()->currentText()), n) ? n : 0;
}

TZones* TGInpZone::ShownZone() const { return zones_->GetZone(ShownNumber() - 1); }

bool TGInpZone::ZoneAloneEdited() const {
  const TCtrlMode& mode = window_.Mode();
  return mode.Has(TCtrlMode::kZoneEdited) && !mode.Has(TCtrlMode::kPointShown);
}

bool TGInpZone::ZoneView() const { return window_.IsZoneView(); }

void TGInpZone::NumberChanged() {
  TZones* zone = ShownZone();
  if (zone && zone->IsUsed()) {
    LoadFields(*zone);
  } else if (zone_) {
    // A number not in use takes the fields of the zone edited, never those of a zone in
    // use typed on the way to it.
    ShowFields(window_.CBNumZone()->currentText(), FromAnsi(zone_->Label()), zone_->PreAlarm());
  }
}

void TGInpZone::ShowFields(const QString& number, const QString& label, bool preAlarm) {
  QComboBox* box = window_.CBNumZone();
  // A number typed as "05" stays as typed.
  if (ShownNumber() == 0 || QString::number(ShownNumber()) != number) {
    const QSignalBlocker blocker(box);
    box->setEditText(number);
  }
  const QSignalBlocker blocker(window_.EditZone());
  window_.EditZone()->setText(label);
  window_.TCMode()->SetIndex(preAlarm ? 1 : 0);
}

void TGInpZone::LoadFields(const TZones& zone) {
  ShowFields(QString::number(zone.Number()), FromAnsi(zone.Label()), zone.PreAlarm());
}

void TGInpZone::StoreFields(TZones& zone) const {
  zone.SetLabel(ToAnsi(window_.EditZone()->text()));
  zone.SetPreAlarm(window_.TCMode()->Index() != 0);
}

void TGInpZone::Reload() {
  if (zone_) LoadFields(*zone_);
}

void TGInpZone::SelectZone(TZones* zone) {
  zone_ = zone;
  platform::StringList numbers;
  if (ZoneAloneEdited()) {
    zones_->FillFreeZones(numbers);
  } else {
    zones_->FillUsedZones(numbers);
  }
  Fill(window_.CBNumZone(), numbers);
  if (zone) LoadFields(*zone);
}

void TGInpZone::SelectPointZone(const TPoints* point) {
  zone_ = point ? point->Zone() : nullptr;
  if (zone_) {
    SelectZone(zone_);
  } else {
    // A point of no zone (a loaded one) shows none, not the zone shown before.
    SelectZone(nullptr);
    ShowFields(QString(), QString(), false);
  }
}

void TGInpZone::PrepareNumber() {
  platform::StringList numbers;
  zones_->FillUsedZones(numbers);
  QComboBox* box = window_.CBNumZone();
  Fill(box, numbers);
  // The fields belong to the number shown, never to the zone seen before.
  zone_ = nullptr;
  if (box->count() > 0) {
    Select(box, 0);
    zone_ = ShownZone();
    if (zone_) LoadFields(*zone_);
  } else {
    ShowFields(QStringLiteral("1"), QString(), false);
  }
}

bool TGInpZone::Check() {
  QComboBox* box = window_.CBNumZone();
  std::string message;
  if (TGstZones::CheckZoneNumber(ToAnsi(box->currentText()), message)) {
    const int n = ShownNumber();
    if (ZoneAloneEdited() && zone_ && n != zone_->Number() && zones_->GetZone(n - 1)->IsUsed()) {
      message = platform::Format(ToAnsi(TFormZvoPoints::Text("MsgZoneDeclared", "Zone %3.3d is already declared")),
                                 {n});
    }
  }
  if (message.empty()) return true;
  box->setFocus();
  ShowMessageBox(FromAnsi(message));
  return false;
}

void TGInpZone::Store() {
  TZones* target = ShownZone();
  if (!target) return;
  TZvoTreeView* tree = window_.TreeView();
  const bool types = PointsShowTypes;
  if (zone_ && ZoneAloneEdited()) {
    if (target == zone_) {
      StoreFields(*zone_);
      if (ZoneView()) RefreshNode(tree, zone_, types);
      return;
    }
    // Renumbered: the points, the groups and the sounders' trigger go with the number.
    TZones* old = zone_;
    target->Groups()->Assign(*old->Groups());
    target->SetZoneFlag(old->ZoneFlag() != 0);
    while (old->Count() > 0) old->PointAt(0)->SetZone(target->Number());
    old->Reset();
    zone_ = target;
    StoreFields(*target);
    if (ZoneView()) {
      DeleteNodeOfObject(tree, old);
      AddNodeTree(tree, target, types);
    }
    return;
  }
  if (zone_ && target == zone_) {
    StoreFields(*zone_);
    if (ZoneView()) {
      RefreshNode(tree, zone_, false);
      if (pointBefore_ == pointAfter_) {
        RefreshNode(tree, pointAfter_, types);
      } else {
        DeleteChildNode(tree, zone_, pointBefore_);
        AddChildNode(tree, zone_, pointAfter_, types);
      }
    }
    return;
  }
  if (zone_) {
    if (!zone_->IsUsed()) {
      zone_->Reset();
      if (ZoneView()) DeleteNodeOfObject(tree, zone_);
    } else if (ZoneView()) {
      DeleteChildNode(tree, zone_, pointBefore_);
      RefreshNode(tree, zone_, false);
    }
  }
  zone_ = target;
  StoreInto(target);
}

void TGInpZone::StoreInto(TZones* zone) {
  if (!zone) return;
  StoreFields(*zone);
  if (!ZoneView()) return;
  TZvoTreeView* tree = window_.TreeView();
  if (zone->Count() < 2) {
    AddNodeOnce(tree, zone);
  } else {
    RefreshNode(tree, zone, false);
  }
  if (pointAfter_) AddChildNode(tree, zone, pointAfter_, PointsShowTypes);
}

void TGInpZone::DeleteZone(TZones* zone) {
  if (!zone) return;
  while (zone->Count() > 0) zone->PointAt(0)->Reset();
  zone->Reset();
  if (zone_ == zone) zone_ = nullptr;
  if (ZoneView()) DeleteNodeOfObject(window_.TreeView(), zone);
}

void TGInpZone::AfterPointLeft(TZones* zone, TPoints* point) {
  if (!zone) return;
  TZvoTreeView* tree = window_.TreeView();
  if (!zone->IsUsed()) {
    DeleteNodeOfObject(tree, zone);
  } else {
    DeleteChildNode(tree, zone, point);
    RefreshNode(tree, zone, false);
  }
}

void TGInpZone::DeletePoint(TPoints* point) {
  if (!point) return;
  TZones* zone = point->Zone();
  point->Reset();
  AfterPointLeft(zone, point);
}

void TGInpZone::MovePoint(TPoints* point, TZones* zone) {
  if (!point || !zone) return;
  TZones* old = point->Zone();
  point->SetZone(zone->Number());
  TZvoTreeView* tree = window_.TreeView();
  DeleteChildNode(tree, old, point);
  AfterPointLeft(old, point);
  AddChildNode(tree, zone, point, PointsShowTypes);
  RefreshNode(tree, zone, false);
}

void TGInpZone::MergeZone(TZones* source, TZones* destination) {
  if (!source || !destination || source == destination) return;
  const TWaitCursor wait;
  TZvoTreeView* tree = window_.TreeView();
  const TUpdateLock lock(tree);
  MovePointNodes(tree, *source, destination, PointsShowTypes,
                 [destination](TPoints& point) { point.SetZone(destination->Number()); });
  AfterPointLeft(source, nullptr);
  RefreshNode(tree, destination, false);
  CollapseNode(tree, destination);
}
