#include "editors/FormDragList.h"

#include <QFont>
#include <QLabel>
#include <QLayout>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolTip>
#include <QVBoxLayout>
#include <tuple>
#include <vector>

#include "editors/TreeElem.h"
#include "shell/UiText.h"

namespace {

constexpr int kLabelHeight = 17;
constexpr int kButtonWidth = 41;
constexpr int kButtonHeight = 25;

// The first node in tree order carrying the object.
QTreeWidgetItem* FindNodeWithSameData(const QTreeWidget* tree, const void* object) {
  if (tree->topLevelItemCount() == 0) return nullptr;
  for (QTreeWidgetItem* at = tree->topLevelItem(0); at; at = NextNode(at)) {
    if (NodeObject(at) == object) return at;
  }
  return nullptr;
}

// A node for the element under the parent (top level when none), with the element's images.
QTreeWidgetItem* AddElementNode(TZvoTreeView* tree, QTreeWidgetItem* parent, TTreeElem* element, const QString& text) {
  auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  node->setText(0, text);
  SetNodeObject(node, element);
  tree->SetNodeImages(node, element->ImageIndex(), element->StateIndex());
  return node;
}

// A node of the tree like the given one: its text and element, the element's images, or
// the given node's own where it has no element.
QTreeWidgetItem* CopyOfNode(TZvoTreeView* tree, QTreeWidgetItem* parent, const QTreeWidgetItem* like) {
  if (TTreeElem* element = NodeTreeElem(like)) return AddElementNode(tree, parent, element, like->text(0));
  auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  node->setText(0, like->text(0));
  tree->SetNodeImages(node, NodeImageIndex(like), NodeStateIndex(like));
  return node;
}

// The node of the tree carrying the given node's element; when there is none, a copy of
// it under the (found or created) copy of its parent, expanded as the given parent is.
QTreeWidgetItem* FindOrCreateNodePath(TZvoTreeView* tree, const QTreeWidgetItem* node) {
  if (QTreeWidgetItem* found = FindNodeWithSameData(tree, NodeObject(node))) return found;
  QTreeWidgetItem* parentCopy = node->parent() ? FindOrCreateNodePath(tree, node->parent()) : nullptr;
  QTreeWidgetItem* copy = CopyOfNode(tree, parentCopy, node);
  if (parentCopy && node->parent()->isExpanded()) parentCopy->setExpanded(true);
  return copy;
}

// The node's parent as it stands in the other tree, created with its chain when missing.
QTreeWidgetItem* ParentInTarget(TZvoTreeView* target, const QTreeWidgetItem* node) {
  return node->parent() ? FindOrCreateNodePath(target, node->parent()) : nullptr;
}

// Expansion is copied one level: each copy as its original.
void CopyNodeTree(TZvoTreeView* target, const QTreeWidgetItem* node, QTreeWidgetItem* parent) {
  QTreeWidgetItem* copy = CopyOfNode(target, parent, node);
  for (int i = 0; i < node->childCount(); ++i) CopyNodeTree(target, node->child(i), copy);
  copy->setExpanded(node->isExpanded());
}

void DeleteNodeAndEmptyParents(QTreeWidgetItem* node) {
  while (node) {
    QTreeWidgetItem* parent = node->parent();
    delete node;
    if (parent && parent->childCount() > 0) return;
    node = parent;
  }
}

std::vector<QTreeWidgetItem*> Leaves(const QTreeWidget* tree) {
  std::vector<QTreeWidgetItem*> leaves;
  if (tree->topLevelItemCount() == 0) return leaves;
  for (QTreeWidgetItem* at = tree->topLevelItem(0); at; at = NextNode(at)) {
    if (at->childCount() == 0) leaves.push_back(at);
  }
  return leaves;
}

void CollectLeaves(const QTreeWidget* tree, TTreeList& list) {
  list.Release();
  for (QTreeWidgetItem* leaf : Leaves(tree)) {
    if (TTreeElem* element = NodeTreeElem(leaf)) list.Add(element);
  }
}

}  // namespace

TFormDragList::TFormDragList(QWidget* host)
    : QWidget(host),
      labelSrc_(new QLabel(this)),
      labelDst_(new QLabel(this)),
      tvSrc_(new TZvoTreeView(this)),
      panelBtn_(new QWidget(this)),
      bbAdd_(new QPushButton(QStringLiteral(">"), panelBtn_)),
      bbDel_(new QPushButton(QStringLiteral("< "), panelBtn_)),
      bbAddAll_(new QPushButton(QStringLiteral(">>"), panelBtn_)),
      bbDelAll_(new QPushButton(QStringLiteral("<< "), panelBtn_)),
      tvDst_(new TZvoTreeView(this)) {
  // The host shows nothing of the picker until it is whole.
  TUpdateLock lock(host);
  setObjectName(QStringLiteral("TFormDragList"));
  setMinimumSize(306, 204);
  labelSrc_->setObjectName(QStringLiteral("LabelSrc"));
  labelDst_->setObjectName(QStringLiteral("LabelDst"));
  tvSrc_->setObjectName(QStringLiteral("TVSrc"));
  tvDst_->setObjectName(QStringLiteral("TVDst"));
  panelBtn_->setObjectName(QStringLiteral("PanelBtn"));
  bbAdd_->setObjectName(QStringLiteral("BBAdd"));
  bbDel_->setObjectName(QStringLiteral("BBDel"));
  bbAddAll_->setObjectName(QStringLiteral("BBAddAll"));
  bbDelAll_->setObjectName(QStringLiteral("BBDelAll"));
  for (QLabel* label : {labelSrc_, labelDst_}) label->setAlignment(Qt::AlignCenter);

  QFont arrows = font();
  arrows.setPixelSize(19);
  arrows.setBold(true);
  for (QPushButton* b : {bbAdd_, bbDel_, bbAddAll_, bbDelAll_}) {
    b->setFont(arrows);
    QPalette palette = b->palette();
    palette.setColor(QPalette::ButtonText, Qt::blue);
    b->setPalette(palette);
    b->setAutoDefault(false);
  }
  connect(bbAdd_, &QPushButton::clicked, this, [this] { BBAddClick(); });
  connect(bbDel_, &QPushButton::clicked, this, [this] { BBDelClick(); });
  connect(bbAddAll_, &QPushButton::clicked, this, [this] { BBAddAllClick(); });
  connect(bbDelAll_, &QPushButton::clicked, this, [this] { BBDelAllClick(); });

  for (TZvoTreeView* tree : {tvSrc_, tvDst_}) {
    tree->setIndentation(19);
    tree->setExpandsOnDoubleClick(false);  // a double click moves the node
    connect(tree, &TZvoTreeView::DoubleClicked, this, [this, tree] { TreeViewDblClick(tree); });
    tree->SetDropHandlers([this, tree](QObject* source, QPoint) { return TreeViewDragOver(source, tree); },
                          [this, tree](QObject* source, QPoint) { TreeViewDragDrop(source, tree); });
    tree->SetMouseMoveHandler([this, tree](QPoint pos) { TreeViewInfoBulle(tree, pos); });
  }

  if (!host->layout()) {
    auto* fill = new QVBoxLayout(host);
    fill->setContentsMargins(0, 0, 0, 0);
  }
  host->layout()->addWidget(this);
  LayOut();
}

TFormDragList::~TFormDragList() { OnMoved = nullptr; }

void TFormDragList::Load(TTreeList& source, TTreeList& destination, const QString& sourceCaption,
                         const QString& destinationCaption, const TImageList* images, const TImageList* states) {
  bbAddAll_->show();
  bbDelAll_->show();
  labelSrc_->setText(sourceCaption);
  labelDst_->setText(destinationCaption);
  for (TZvoTreeView* tree : {tvSrc_, tvDst_}) {
    tree->SetImages(images);
    if (states) tree->SetStateImages(states);
  }
  for (auto [list, tree, selected] : {std::tuple{&source, tvSrc_, false}, std::tuple{&destination, tvDst_, true}}) {
    list->InitSelected(selected);
    TUpdateLock lock(tree);
    tree->clear();
    FillTree(*list, tree, nullptr);
    SortAlphabetically(tree);
  }
  show();
  LayOut();
}

void TFormDragList::LoadSingle(TTreeList& source, TTreeList& destination, const QString& sourceCaption,
                               const QString& destinationCaption, const TImageList* images,
                               const TImageList* states) {
  Load(source, destination, sourceCaption, destinationCaption, images, states);
  bbAddAll_->hide();
  bbDelAll_->hide();
}

bool TFormDragList::IsSingle() const { return bbAddAll_->isHidden(); }

void TFormDragList::Store(TTreeList& source, TTreeList& destination) const {
  CollectLeaves(tvSrc_, source);
  CollectLeaves(tvDst_, destination);
}

void TFormDragList::CopyDestinationTo(TZvoTreeView* view) const {
  TUpdateLock lock(view);
  view->clear();
  for (QTreeWidgetItem* leaf : Leaves(tvDst_)) {
    QTreeWidgetItem* parent = ParentInTarget(view, leaf);
    CopyNodeTree(view, leaf, parent);
    if (parent && leaf->parent()->isExpanded()) parent->setExpanded(true);
    SortAlphabetically(view);
  }
}

void TFormDragList::FillTree(TTreeList& list, TZvoTreeView* tree, QTreeWidgetItem* parent) {
  for (TTreeElem* element : list.Items()) {
    QTreeWidgetItem* node = AddElementNode(tree, parent, element, FromAnsi(element->Caption()));
    if (auto* children = dynamic_cast<TTreeList*>(element)) FillTree(*children, tree, node);
  }
}

void TFormDragList::BBAddClick() { MoveSelected(tvSrc_, tvDst_); }
void TFormDragList::BBDelClick() { MoveSelected(tvDst_, tvSrc_); }
void TFormDragList::BBAddAllClick() { MoveAll(tvSrc_, tvDst_); }
void TFormDragList::BBDelAllClick() { MoveAll(tvDst_, tvSrc_); }

void TFormDragList::TreeViewDblClick(TZvoTreeView* tree) {
  if (SelectedNode(tree)) MoveSelected(tree, Other(tree));
}

bool TFormDragList::TreeViewDragOver(const QObject* source, const QObject* target) const {
  const bool sourceOurs = source && (source == tvSrc_ || source == tvDst_);
  const bool targetOurs = target && (target == tvSrc_ || target == tvDst_);
  return sourceOurs && targetOurs && source != target;
}

void TFormDragList::TreeViewDragDrop(QObject* source, QObject* target) {
  if (!TreeViewDragOver(source, target)) return;
  auto* from = static_cast<TZvoTreeView*>(source);
  if (SelectedNode(from)) MoveSelected(from, Other(from));
}

void TFormDragList::TreeViewInfoBulle(TZvoTreeView* tree, QPoint pos) {
  TTreeElem* element = NodeTreeElem(tree->itemAt(pos));
  if (!element) return;
  const QString hint = FromAnsi(element->Hint());
  if (hint.isEmpty()) {
    tree->setToolTip(QString());
  } else if (hint != tree->toolTip()) {
    tree->setToolTip(hint);
    QToolTip::hideText();  // the new text shows at the next pause
  }
}

void TFormDragList::MoveSelected(TZvoTreeView* from, TZvoTreeView* to) {
  {
    TUpdateLock lock(this);
    if (QTreeWidgetItem* node = SelectedNode(from)) {
      MoveNode({from, to, to == tvDst_, IsSingle()}, node);
      if (OnMoved) OnMoved();
    }
  }
  from->setFocus();
}

void TFormDragList::MoveAll(TZvoTreeView* from, TZvoTreeView* to) {
  {
    TUpdateLock lock(this);
    MoveAllLeaves(from, {from, to, to == tvDst_, false});
    if (OnMoved) OnMoved();
  }
  from->setFocus();
}

void TFormDragList::MoveAllLeaves(TZvoTreeView* from, const MoveContext& context) {
  // Collected first: a move deletes the leaf and the parents it leaves empty, never another leaf.
  for (QTreeWidgetItem* leaf : Leaves(from)) MoveNode(context, leaf);
}

void TFormDragList::MoveNode(const MoveContext& context, QTreeWidgetItem* node) {
  TTreeElem* element = NodeTreeElem(node);
  if (!element || !element->CanMove()) return;
  if (context.toDestination && context.single) MoveAllLeaves(tvDst_, {tvDst_, tvSrc_, false, false});
  element->SetSelected(context.toDestination);

  QTreeWidgetItem* sourceParent = node->parent();
  QTreeWidgetItem* parent = ParentInTarget(context.to, node);
  CopyNodeTree(context.to, node, parent);
  if (parent && sourceParent->isExpanded()) parent->setExpanded(true);
  SortAlphabetically(context.to);

  delete node;
  if (sourceParent && sourceParent->childCount() == 0) DeleteNodeAndEmptyParents(sourceParent);
}

void TFormDragList::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TFormDragList::LayOut() {
  const int clientWidth = width();
  const int clientHeight = height();
  const int w = clientWidth - kButtonPanelWidth;
  const int srcWidth = w / 2;
  const int dstLeft = srcWidth + kButtonPanelWidth;
  const int dstWidth = clientWidth - dstLeft;
  const int treeHeight = clientHeight - kLabelHeight;
  labelSrc_->setGeometry(0, 0, srcWidth, kLabelHeight);
  tvSrc_->setGeometry(0, kLabelHeight, srcWidth, treeHeight);
  panelBtn_->setGeometry(srcWidth, 0, kButtonPanelWidth, clientHeight);
  tvDst_->setGeometry(dstLeft, kLabelHeight, dstWidth, treeHeight);
  labelDst_->setGeometry(dstLeft, 0, dstWidth, kLabelHeight);

  // The buttons in a column at the middle of their panel.
  const int shown = IsSingle() ? 2 : 4;
  const int gap = 8;
  int top = (clientHeight - (shown * kButtonHeight + (shown - 1) * gap)) / 2;
  const int left = (kButtonPanelWidth - kButtonWidth) / 2;
  for (QPushButton* b : {bbAdd_, bbDel_, bbAddAll_, bbDelAll_}) {
    if (b->isHidden()) continue;
    b->setGeometry(left, top, kButtonWidth, kButtonHeight);
    top += kButtonHeight + gap;
  }
}
