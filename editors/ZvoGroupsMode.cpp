#include "editors/ZvoGroupsMode.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVariant>

#include "editors/FormZvoGroups.h"
#include "editors/ZvoTreeView.h"
#include "model/Groupes.h"

void TGroupMode::Browse() {
  if (mode_ != kBrowse) SetMode(kBrowse);
  window_.PCEdition()->setCurrentWidget(window_.TSParametres());
  window_.TVGroups()->setFocus();
}

void TGroupMode::Edit() {
  if (mode_ == kBrowse) SetMode(kEdit);
}

void TGroupMode::Add() {
  if (mode_ == kBrowse) SetMode(kAdd);
}

bool TGroupMode::CanAdd() const { return IsBrowsing() && GstGroupsInstance && GstGroupsInstance->UnusedCount() > 0; }

bool TGroupMode::CanRemove() const { return IsBrowsing() && SelectedNode(window_.TVGroups()); }

void TGroupMode::SetMode(int mode) {
  mode_ = mode;
  const bool browsing = mode == kBrowse;
  window_.PanelSelection()->setEnabled(browsing);
  window_.PCEdition()->setEnabled(!browsing);
  QWidget* panel = window_.PanelParametres();
  QList<QWidget*> controls = panel->findChildren<QWidget*>();
  controls.prepend(panel);
  for (QWidget* control : controls) {
    if (control->property(kTag).toInt() == 0) control->setEnabled(!browsing);
  }
  window_.LabelTgr()->setEnabled(!browsing);
  window_.LabelTgd()->setEnabled(!browsing);
  window_.PanelAction()->setVisible(browsing);
  window_.BBAjouter()->setVisible(CanAdd());
  window_.BBRetirer()->setVisible(CanRemove());
  window_.BBEdit()->setVisible(CanEdit());
  window_.PanelConfirmation()->setVisible(!browsing);
}
