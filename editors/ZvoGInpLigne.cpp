#include "editors/ZvoGInpLigne.h"

#include <QTreeWidgetItem>

#include "editors/FormZvoPoints.h"
#include "editors/ZvoTreeView.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "shell/WaitCursor.h"

namespace {

TPoints* FirstPoint(const TLignes& line) { return static_cast<TPoints*>(line.Item(0)); }

}  // namespace

TGInpLigne::TGInpLigne(TFormZvoPoints& window) : window_(window) {}

void TGInpLigne::DeleteLinePoints(TLignes* line) {
  if (!line) return;
  while (line->Count() > 0) FirstPoint(*line)->Reset();
  line->Reset();
  if (window_.IsZoneView()) return;
  TZvoTreeView* tree = window_.TreeView();
  if (QTreeWidgetItem* node = FindNodeByObject(tree, line)) qDeleteAll(node->takeChildren());
  RefreshNode(tree, line, false);
}

void TGInpLigne::DeletePoint(TPoints* point) {
  if (!point) return;
  TLignes* line = point->Line();
  point->Reset();
  TZvoTreeView* tree = window_.TreeView();
  DeleteChildNode(tree, line, point);
  if (line) RefreshNode(tree, line, false);
}

void TGInpLigne::MovePoint(TPoints* point, TLignes* line) {
  if (!point || !line) return;
  TLignes* old = point->Line();
  point->SetLine(line->Number());
  TZvoTreeView* tree = window_.TreeView();
  DeleteChildNode(tree, old, point);
  if (old) RefreshNode(tree, old, false);
  AddChildNode(tree, line, point, PointsShowTypes);
  RefreshNode(tree, line, false);
}

void TGInpLigne::MergeLine(TLignes* source, TLignes* destination) {
  if (!source || !destination || source == destination) return;
  const TWaitCursor wait;
  TZvoTreeView* tree = window_.TreeView();
  const TUpdateLock lock(tree);
  while (source->Count() > 0) {
    TPoints* point = FirstPoint(*source);
    point->SetLine(destination->Number());
    DeleteChildNode(tree, source, point);
    AddChildNode(tree, destination, point, PointsShowTypes);
  }
  RefreshNode(tree, source, false);
  RefreshNode(tree, destination, false);
  CollapseNode(tree, destination);
}
