// The tree views of the editors and the node routines they share. A node carries the
// object it stands for (a site element or a picker's tree element) and nothing else but
// its text and image indexes.
#pragma once

#include <QList>
#include <QIcon>
#include <QPoint>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <type_traits>

class TElemIHM;
class TLstPoints;
class TPoints;
class TTreeElem;
class TZvoList;

using TImageList = QList<QIcon>;

// Holds the view's painting off while it is refilled, and gives it back however the
// scope is left.
class TUpdateLock {
 public:
  explicit TUpdateLock(QWidget* widget);
  ~TUpdateLock();
  TUpdateLock(const TUpdateLock&) = delete;
  TUpdateLock& operator=(const TUpdateLock&) = delete;

 private:
  QWidget* widget_;
  bool wasEnabled_;
};

class TZvoTreeView : public QTreeWidget {
  Q_OBJECT

 public:
  // Milliseconds of a monotonic clock.
  using Clock = std::function<std::int64_t()>;
  static constexpr std::int64_t kExpansionDelayMs = 300;

  explicit TZvoTreeView(QWidget* parent = nullptr);

  // The images the nodes' image and state indexes name; an index out of a list shows none.
  void SetImages(const TImageList* images) { images_ = images; }
  void SetStateImages(const TImageList* states) { states_ = states; }
  const TImageList* Images() const { return images_; }
  const TImageList* StateImages() const { return states_; }
  // Sets the node's indexes and the icon they give (the state image before the image).
  void SetNodeImages(QTreeWidgetItem* node, int imageIndex, int stateIndex = -1);

  // A click on a node followed within 300 ms by an expansion or a collapse (the second
  // click of a double click, the expand button, a key) does not expand or collapse it:
  // a double click is meant for the element. Off unless the window asks for it.
  void SetExpansionGuard(bool on) { guard_ = on; }
  // Remembers the time of the user's click.
  void NoteClick();
  bool ExpansionAllowed() const;
  // The clock of every guarded tree; an empty one returns to the steady clock.
  static void SetClock(Clock clock);

  // Dropping onto this view: canDrop decides while the drag passes (source: the widget the
  // drag started from, or null), drop acts. No handler: no drop. The view never moves or
  // makes nodes by itself.
  using DropTest = std::function<bool(QObject* source, QPoint pos)>;
  using DropAction = std::function<void(QObject* source, QPoint pos)>;
  void SetDropHandlers(DropTest canDrop, DropAction drop);
  // Called on every mouse move over the nodes, with the position in the viewport.
  void SetMouseMoveHandler(std::function<void(QPoint pos)> handler);
  // While a drag passes within the margin (pixels) of the top or bottom edge, the view
  // scrolls by one node towards that edge; 0 (the default) never scrolls.
  void SetDragScrollMargin(int pixels) { dragScrollMargin_ = pixels; }
  // One step of that scroll for the position in the viewport; answers whether it scrolled.
  bool ScrollForDrag(QPoint pos);

 signals:
  // A double click anywhere in the view, over a node or not (after Qt's own handling).
  void DoubleClicked();
  // A drag started from this view ended, dropped or not: the press that started it may
  // have moved the selection.
  void DragFinished();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool OnExpandButton(const QPoint& pos) const;
  bool CanDropHere(const QDropEvent* event) const;

  const TImageList* images_ = nullptr;
  const TImageList* states_ = nullptr;
  bool guard_ = false;
  std::int64_t lastClick_ = 0;
  bool clicked_ = false;
  DropTest canDrop_;
  DropAction drop_;
  std::function<void(QPoint)> mouseMoved_;
  int dragScrollMargin_ = 0;
};

// Node data. A node holds either a site element or a tree element.
void SetNodeObject(QTreeWidgetItem* node, TElemIHM* element);
void SetNodeObject(QTreeWidgetItem* node, TTreeElem* element);
TElemIHM* NodeElement(const QTreeWidgetItem* node);
TTreeElem* NodeTreeElem(const QTreeWidgetItem* node);
// The object of the node, of either kind, as an identity; null for none.
const void* NodeObject(const QTreeWidgetItem* node);
int NodeImageIndex(const QTreeWidgetItem* node);
int NodeStateIndex(const QTreeWidgetItem* node);

template <class T>
T* NodeObjectAs(const QTreeWidgetItem* node) {
  if constexpr (std::is_base_of_v<TTreeElem, T>) {
    return dynamic_cast<T*>(NodeTreeElem(node));
  } else {
    return dynamic_cast<T*>(NodeElement(node));
  }
}

// The view's selected node; null when none is selected.
QTreeWidgetItem* SelectedNode(const QTreeWidget* view);
// For a tree view, the object of its selected node; for a node, its object; else null.
template <class T>
T* SelectedNodeObject(const QObject* from) {
  const auto* view = qobject_cast<const QTreeWidget*>(from);
  return view ? NodeObjectAs<T>(SelectedNode(view)) : nullptr;
}
template <class T>
T* SelectedNodeObject(const QTreeWidgetItem* node) {
  return NodeObjectAs<T>(node);
}
// The object of the node at the viewport position; null over empty space or for a
// widget that is not a tree view.
template <class T>
T* NodeObjectAt(const QObject* view, QPoint pos) {
  const auto* tree = qobject_cast<const QTreeWidget*>(view);
  return tree ? NodeObjectAs<T>(tree->itemAt(pos)) : nullptr;
}

// Each node after the given one in tree order: depth first, parents before children.
QTreeWidgetItem* NextNode(const QTreeWidgetItem* node);
// From the node onward, the first carrying the object; with no object, the node itself.
QTreeWidgetItem* FindNodeFrom(QTreeWidgetItem* node, const void* object);
QTreeWidgetItem* FindNodeByObject(const QTreeWidget* view, const void* object);
void DeleteNodeOfObject(QTreeWidget* view, const void* object);
// A top-level node for an element that has none yet; the view is sorted and the node selected.
void AddNodeOnce(TZvoTreeView* view, TElemIHM* element);
void RefreshNode(TZvoTreeView* view, TElemIHM* element, bool typeCaption);
// A top-level node for the element, with a collection's items under it.
void AddNodeTree(TZvoTreeView* view, TElemIHM* element, bool typeCaption = false);
// From the parent's node onward in tree order, deletes the first node carrying the object.
void DeleteChildNode(QTreeWidget* view, const void* parent, const void* object);
// A child node for an element that has none yet, under the parent's node when it has one;
// the parent's children are sorted and the new node selected.
void AddChildNode(TZvoTreeView* view, const void* parent, TElemIHM* element, bool typeCaption);
// Every point of the list, one at a time, under the destination's node: move puts the
// point on the destination, which takes it off the list.
void MovePointNodes(TZvoTreeView* view, TLstPoints& source, TElemIHM* destination, bool typeCaption,
                    const std::function<void(TPoints&)>& move);
// The node of the object with every node below it.
void ExpandNode(QTreeWidget* view, const void* object);
void CollapseNode(QTreeWidget* view, const void* object);
// The collection's items in use under the parent (top level when null); nested
// collections recurse.
void AddChildNodes(TZvoList& collection, TZvoTreeView* view, QTreeWidgetItem* parent, bool typeCaption);
// Clears the view (or the parent's children) and fills it from the collection.
void RenseigneTree(TZvoList& collection, TZvoTreeView* view, QTreeWidgetItem* parent, bool typeCaption);
// Sorts every level by text.
void SortAlphabetically(QTreeWidget* view);
