#include "editors/ZvoCtrlModePoints.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "editors/FormZvoPoints.h"
#include "editors/ZvoTreeView.h"
#include "model/Lignes.h"
#include "model/Points.h"

namespace {

// The box and the controls it holds directly.
void EnableBox(QGroupBox* box, bool enabled) {
  box->setEnabled(enabled);
  for (QWidget* control : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) control->setEnabled(enabled);
}

}  // namespace

void TCtrlMode::SelectLine(const TLignes* line) {
  removable_ = line && line->Count() > 0;
  SetState(kLineSelected);
}

void TCtrlMode::SelectZone() {
  removable_ = true;
  SetState(kZoneSelected);
}

void TCtrlMode::SelectPoint() {
  removable_ = true;
  SetState(kPointSelected);
}

void TCtrlMode::Edit() {
  if (state_ == kZoneSelected) {
    SetState(kZoneEditing);
  } else if (state_ == kPointSelected) {
    SetState(kPointEditing);
  }
}

void TCtrlMode::Add() {
  if (state_ == kLineSelected) {
    SetState(kAddingFromLine);
  } else if (state_ == kZoneSelected) {
    SetState(kAddingFromZone);
  } else if (state_ == kPointSelected) {
    SetState(window_.IsZoneView() ? kAddingFromZone : kAddingFromLine);
  }
}

void TCtrlMode::Cancel() {
  if (state_ == kZoneEditing || state_ == kAddingFromZone) {
    SetState(kZoneSelected);
  } else if (state_ == kPointEditing) {
    SetState(kPointSelected);
  } else if (state_ == kAddingFromLine) {
    SetState(kLineSelected);
  }
  window_.TreeView()->setFocus();
}

bool TCtrlMode::CanAdd() const {
  return Has(kAddButton) && GstPointsInstance && GstPointsInstance->UnusedCount() > 0;
}

void TCtrlMode::UpdateNext() {
  window_.BBSuivant()->setVisible(Has(kAdding) && GstPointsInstance && GstPointsInstance->UnusedCount() > 1);
}

void TCtrlMode::SetState(std::uint16_t mask) {
  state_ = mask;
  const bool browsing = Has(kBrowsing);
  window_.PanelTree()->setEnabled(browsing);
  window_.PanelSelect()->setVisible(browsing);
  window_.BBAjouter()->setVisible(CanAdd());
  window_.BBRetirer()->setVisible(CanRemove());
  window_.BBEdit()->setVisible(Has(kEditButton));
  window_.PanelEdit()->setVisible(Has(kEditPanel));
  UpdateNext();

  const bool zone = Has(kZoneShown);
  const bool point = Has(kPointShown);
  QWidget* edit = window_.PanelEdit();
  edit->move(edit->x(), zone && !point ? 153 : point && !zone ? 188 : 321);

  QGroupBox* zoneBox = window_.GBZone();
  zoneBox->setVisible(zone);
  zoneBox->move(zoneBox->x(), zone && !point ? 27 : 195);
  EnableBox(zoneBox, Has(kZoneEdited));
  if (Has(kZoneEdited) && !point) window_.EditZone()->setFocus();

  QGroupBox* pointBox = window_.GBPoint();
  pointBox->setVisible(point);
  EnableBox(pointBox, Has(kPointEdited));
  if (Has(kPointEdited)) {
    window_.CBIdentChange();
    window_.EditPoint()->setFocus();
  }
}
