#include "editors/ZvoTreeView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <chrono>
#include <utility>

#include "model/ElemIHM.h"
#include "model/Points.h"
#include "shell/UiText.h"

namespace {

constexpr int kElementRole = Qt::UserRole;
constexpr int kTreeElemRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kStateRole = Qt::UserRole + 3;
// What a drag between the editors' trees carries: nothing the drop reads, only a
// format no other program offers or takes.
constexpr const char* kDragFormat = "application/x-korvanex-tree-node";

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TZvoTreeView::Clock& CurrentClock() {
  static TZvoTreeView::Clock clock;
  return clock;
}

std::int64_t NowMs() { return CurrentClock() ? CurrentClock()() : SteadyMs(); }

template <class T>
T* Stored(const QTreeWidgetItem* node, int role) {
  if (!node) return nullptr;
  return reinterpret_cast<T*>(node->data(0, role).value<quintptr>());
}

QString ItemText(TElemIHM* item, bool typeCaption) {
  if (typeCaption) {
    if (auto* point = dynamic_cast<TPoints*>(item)) return FromAnsi(point->TypeCaption());
  }
  return FromAnsi(item->Caption());
}

QTreeWidgetItem* AddElementNode(TZvoTreeView* view, QTreeWidgetItem* parent, TElemIHM* element, const QString& text) {
  auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(view);
  node->setText(0, text);
  SetNodeObject(node, element);
  view->SetNodeImages(node, element->ImageIndex());
  return node;
}

}  // namespace

TUpdateLock::TUpdateLock(QWidget* widget) : widget_(widget), wasEnabled_(widget->updatesEnabled()) {
  widget_->setUpdatesEnabled(false);
}

TUpdateLock::~TUpdateLock() {
  if (wasEnabled_) widget_->setUpdatesEnabled(true);
}

TZvoTreeView::TZvoTreeView(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TZvoTreeView::SetNodeImages(QTreeWidgetItem* node, int imageIndex, int stateIndex) {
  node->setData(0, kImageRole, imageIndex);
  node->setData(0, kStateRole, stateIndex);
  const bool hasImage = images_ && imageIndex >= 0 && imageIndex < images_->size();
  const bool hasState = states_ && stateIndex >= 0 && stateIndex < states_->size();
  if (!hasState) {
    node->setIcon(0, hasImage ? images_->at(imageIndex) : QIcon());
    return;
  }
  // Qt's tree has no state image: the two are drawn side by side in one icon.
  const int side = 16;
  QPixmap both(2 * side, side);
  both.fill(Qt::transparent);
  {
    QPainter painter(&both);
    painter.drawPixmap(0, 0, states_->at(stateIndex).pixmap(side, side));
    if (hasImage) painter.drawPixmap(side, 0, images_->at(imageIndex).pixmap(side, side));
  }
  node->setIcon(0, QIcon(both));
  if (iconSize().width() < 2 * side) setIconSize(QSize(2 * side, side));
}

void TZvoTreeView::NoteClick() {
  lastClick_ = NowMs();
  clicked_ = true;
}

bool TZvoTreeView::ExpansionAllowed() const {
  return !guard_ || !clicked_ || NowMs() >= lastClick_ + kExpansionDelayMs;
}

void TZvoTreeView::SetClock(Clock clock) { CurrentClock() = std::move(clock); }

void TZvoTreeView::SetDropHandlers(DropTest canDrop, DropAction drop) {
  canDrop_ = std::move(canDrop);
  drop_ = std::move(drop);
  const bool on = static_cast<bool>(canDrop_);
  setDragEnabled(on);
  setAcceptDrops(on);
  viewport()->setAcceptDrops(on);
  setDropIndicatorShown(false);
  setDragDropMode(on ? QAbstractItemView::DragDrop : QAbstractItemView::NoDragDrop);
  setDefaultDropAction(Qt::MoveAction);
}

void TZvoTreeView::SetMouseMoveHandler(std::function<void(QPoint)> handler) {
  mouseMoved_ = std::move(handler);
  setMouseTracking(static_cast<bool>(mouseMoved_));
}

bool TZvoTreeView::OnExpandButton(const QPoint& pos) const {
  QTreeWidgetItem* node = itemAt(pos);
  if (!node || node->childCount() == 0) return false;
  const QRect r = visualItemRect(node);
  return pos.x() < r.x() && pos.x() >= r.x() - indentation();
}

void TZvoTreeView::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  // Empty space takes the focus and keeps the selection, which the next double click acts on.
  if (!itemAt(pos)) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  if (event->button() == Qt::LeftButton && OnExpandButton(pos) && !ExpansionAllowed()) {
    event->accept();
    return;
  }
  // As the system's trees: the right button opens the menu on the selection it finds.
  if (event->button() == Qt::RightButton) {
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void TZvoTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint())) NoteClick();
}

void TZvoTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (ExpansionAllowed()) {
    QTreeWidget::mouseDoubleClickEvent(event);
  } else {
    const bool expands = expandsOnDoubleClick();
    setExpandsOnDoubleClick(false);
    QTreeWidget::mouseDoubleClickEvent(event);
    setExpandsOnDoubleClick(expands);
  }
  if (event->button() == Qt::LeftButton) emit DoubleClicked();
}

void TZvoTreeView::mouseMoveEvent(QMouseEvent* event) {
  QTreeWidget::mouseMoveEvent(event);
  if (mouseMoved_) mouseMoved_(event->position().toPoint());
}

void TZvoTreeView::keyPressEvent(QKeyEvent* event) {
  if (!ExpansionAllowed()) {
    QTreeWidgetItem* node = currentItem();
    const bool expandable = node && node->childCount() > 0;
    bool toggles = false;
    switch (event->key()) {
      case Qt::Key_Plus:
      case Qt::Key_Minus:
      case Qt::Key_Asterisk: toggles = expandable; break;
      case Qt::Key_Right: toggles = expandable && !node->isExpanded(); break;
      case Qt::Key_Left: toggles = expandable && node->isExpanded(); break;
      default: break;
    }
    if (toggles) {
      event->accept();
      return;
    }
  }
  QTreeWidget::keyPressEvent(event);
}

// The hint is the tree's own, set as the mouse moves over its nodes.
bool TZvoTreeView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (toolTip().isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), toolTip(), viewport());
    }
    return true;
  }
  return QTreeWidget::viewportEvent(event);
}

// The drop handler does the move; the view must not remove the dragged node itself.
void TZvoTreeView::startDrag(Qt::DropActions) {
  if (!SelectedNode(this)) return;
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(kDragFormat), QByteArray());
  drag->setMimeData(mime);
  drag->exec(Qt::MoveAction);
  emit DragFinished();
}

bool TZvoTreeView::ScrollForDrag(QPoint pos) {
  if (dragScrollMargin_ <= 0) return false;
  QTreeWidgetItem* top = itemAt(QPoint(0, 0));
  if (!top) return false;
  QTreeWidgetItem* to = nullptr;
  if (pos.y() < dragScrollMargin_) {
    to = itemAbove(top);
  } else if (pos.y() > viewport()->height() - dragScrollMargin_) {
    to = itemBelow(top);
  }
  if (!to) return false;
  TUpdateLock lock(this);
  scrollToItem(to, QAbstractItemView::PositionAtTop);
  return true;
}

bool TZvoTreeView::CanDropHere(const QDropEvent* event) const {
  return canDrop_ && canDrop_(event->source(), event->position().toPoint());
}

// Qt sends the moves and the drop of a drag only to the widget that took its enter, and
// a drag from this view enters over the dragged node, where nothing may drop: the enter
// is taken for any drag of ours, and each move decides where it may drop.
void TZvoTreeView::dragEnterEvent(QDragEnterEvent* event) {
  if (canDrop_ && event->mimeData()->hasFormat(QString::fromLatin1(kDragFormat))) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TZvoTreeView::dragMoveEvent(QDragMoveEvent* event) {
  ScrollForDrag(event->position().toPoint());
  if (CanDropHere(event)) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TZvoTreeView::dropEvent(QDropEvent* event) {
  if (!CanDropHere(event)) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);  // nothing for the source view to remove
  event->accept();
  if (drop_) drop_(event->source(), event->position().toPoint());
}

void SetNodeObject(QTreeWidgetItem* node, TElemIHM* element) {
  node->setData(0, kElementRole, QVariant::fromValue(reinterpret_cast<quintptr>(element)));
  node->setData(0, kTreeElemRole, QVariant());
}

void SetNodeObject(QTreeWidgetItem* node, TTreeElem* element) {
  node->setData(0, kTreeElemRole, QVariant::fromValue(reinterpret_cast<quintptr>(element)));
  node->setData(0, kElementRole, QVariant());
}

TElemIHM* NodeElement(const QTreeWidgetItem* node) { return Stored<TElemIHM>(node, kElementRole); }

TTreeElem* NodeTreeElem(const QTreeWidgetItem* node) { return Stored<TTreeElem>(node, kTreeElemRole); }

const void* NodeObject(const QTreeWidgetItem* node) {
  if (const TElemIHM* e = NodeElement(node)) return e;
  return NodeTreeElem(node);
}

int NodeImageIndex(const QTreeWidgetItem* node) {
  const QVariant v = node->data(0, kImageRole);
  return v.isValid() ? v.toInt() : -1;
}

int NodeStateIndex(const QTreeWidgetItem* node) {
  const QVariant v = node->data(0, kStateRole);
  return v.isValid() ? v.toInt() : -1;
}

QTreeWidgetItem* SelectedNode(const QTreeWidget* view) {
  if (!view) return nullptr;
  const QList<QTreeWidgetItem*> selected = view->selectedItems();
  return selected.isEmpty() ? nullptr : selected.front();
}

QTreeWidgetItem* NextNode(const QTreeWidgetItem* node) {
  if (node->childCount() > 0) return node->child(0);
  for (const QTreeWidgetItem* at = node; at; at = at->parent()) {
    QTreeWidgetItem* parent = at->parent();
    const int index = parent ? parent->indexOfChild(const_cast<QTreeWidgetItem*>(at))
                             : at->treeWidget()->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(at));
    const int count = parent ? parent->childCount() : at->treeWidget()->topLevelItemCount();
    if (index + 1 < count) return parent ? parent->child(index + 1) : at->treeWidget()->topLevelItem(index + 1);
  }
  return nullptr;
}

QTreeWidgetItem* FindNodeFrom(QTreeWidgetItem* node, const void* object) {
  if (!object) return node;
  for (QTreeWidgetItem* at = node; at; at = NextNode(at)) {
    if (NodeObject(at) == object) return at;
  }
  return nullptr;
}

QTreeWidgetItem* FindNodeByObject(const QTreeWidget* view, const void* object) {
  if (!view || view->topLevelItemCount() == 0) return nullptr;
  return FindNodeFrom(view->topLevelItem(0), object);
}

void DeleteNodeOfObject(QTreeWidget* view, const void* object) {
  if (!object) return;
  delete FindNodeByObject(view, object);
}

void SortAlphabetically(QTreeWidget* view) { view->sortItems(0, Qt::AscendingOrder); }

void AddNodeOnce(TZvoTreeView* view, TElemIHM* element) {
  if (FindNodeByObject(view, element)) return;
  QTreeWidgetItem* node = AddElementNode(view, nullptr, element, FromAnsi(element->Caption()));
  SortAlphabetically(view);
  view->setCurrentItem(node);
}

void RefreshNode(TZvoTreeView* view, TElemIHM* element, bool typeCaption) {
  QTreeWidgetItem* node = FindNodeByObject(view, element);
  if (!node) return;
  view->SetNodeImages(node, element->ImageIndex(), NodeStateIndex(node));
  node->setText(0, ItemText(element, typeCaption));
}

void AddNodeTree(TZvoTreeView* view, TElemIHM* element, bool typeCaption) {
  QTreeWidgetItem* node = AddElementNode(view, nullptr, element, FromAnsi(element->Caption()));
  if (auto* collection = dynamic_cast<TZvoList*>(element)) AddChildNodes(*collection, view, node, typeCaption);
  SortAlphabetically(view);
  view->setCurrentItem(node);
}

void DeleteChildNode(QTreeWidget* view, const void* parent, const void* object) {
  if (!object) return;
  if (QTreeWidgetItem* from = FindNodeByObject(view, parent)) {
    if (QTreeWidgetItem* node = NextNode(from)) delete FindNodeFrom(node, object);
  }
}

void AddChildNode(TZvoTreeView* view, const void* parent, TElemIHM* element, bool typeCaption) {
  QTreeWidgetItem* parentNode = FindNodeByObject(view, parent);
  if (!parentNode || FindNodeByObject(view, element)) return;
  QTreeWidgetItem* node = AddElementNode(view, parentNode, element, ItemText(element, typeCaption));
  parentNode->sortChildren(0, Qt::AscendingOrder);
  view->setCurrentItem(node);
}

void MovePointNodes(TZvoTreeView* view, TLstPoints& source, TElemIHM* destination, bool typeCaption,
                    const std::function<void(TPoints&)>& move) {
  const TElemIHM* parent = &source;  // the object its node carries
  while (TPoints* point = source.PointAt(0)) {
    move(*point);
    DeleteChildNode(view, parent, point);
    AddChildNode(view, destination, point, typeCaption);
  }
}

namespace {

void SetExpandedBelow(QTreeWidgetItem* node, bool expanded) {
  node->setExpanded(expanded);
  for (int i = 0; i < node->childCount(); ++i) SetExpandedBelow(node->child(i), expanded);
}

}  // namespace

void ExpandNode(QTreeWidget* view, const void* object) {
  if (QTreeWidgetItem* node = FindNodeByObject(view, object)) SetExpandedBelow(node, true);
}

void CollapseNode(QTreeWidget* view, const void* object) {
  if (QTreeWidgetItem* node = FindNodeByObject(view, object)) SetExpandedBelow(node, false);
}

void AddChildNodes(TZvoList& collection, TZvoTreeView* view, QTreeWidgetItem* parent, bool typeCaption) {
  for (int i = 0; i < collection.Count(); ++i) {
    TElemIHM* item = collection.Item(i);
    if (!item || !item->IsUsed()) continue;
    const QString text = parent ? ItemText(item, typeCaption) : FromAnsi(item->Caption());
    QTreeWidgetItem* node = AddElementNode(view, parent, item, text);
    if (auto* nested = dynamic_cast<TZvoList*>(item)) AddChildNodes(*nested, view, node, typeCaption);
  }
}

void RenseigneTree(TZvoList& collection, TZvoTreeView* view, QTreeWidgetItem* parent, bool typeCaption) {
  TUpdateLock lock(view);
  // Clearing every node would free the parent too: a parent keeps itself and loses its children.
  if (parent) {
    qDeleteAll(parent->takeChildren());
  } else {
    view->clear();
  }
  AddChildNodes(collection, view, parent, typeCaption);
  SortAlphabetically(view);
}
