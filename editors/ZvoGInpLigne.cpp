#include "editors/ZvoGInpLigne.h"

#include <QTreeWidgetItem>

#include "editors/FormZvoPoints.h"
#include "editors/ZvoTreeView.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "shell/WaitCursor.h"

TGInpLigne::TGInpLigne(TFormZvoPoints& window) : window_(window) {}

void TGInpLigne::DeleteLinePoints(TLignes* line) {
  if (!line) return;
  while (line->Count() > 0) line->PointAt(0)->Reset();
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
  MovePointNodes(tree, *source, destination, PointsShowTypes,
                 [destination](TPoints& point) { point.SetLine(destination->Number()); });
  RefreshNode(tree, source, false);
  RefreshNode(tree, destination, false);
  CollapseNode(tree, destination);
}
