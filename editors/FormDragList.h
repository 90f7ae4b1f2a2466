// The two-tree picker a host window embeds in one of its panels: available elements on
// the left, selected ones on the right, moved by four buttons, a double click or a drag.
// It knows nothing of the site: the host hands it two lists of tree elements and reads
// them back on confirmation; each element's selection follows the tree it ends in.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "editors/ZvoTreeView.h"

class QLabel;
class QPushButton;
class QTreeWidgetItem;
class TTreeList;
class TTreeElem;

class TFormDragList : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kButtonPanelWidth = 57;

  // Fills the host's client area; the host is not drawn while the picker builds into it.
  explicit TFormDragList(QWidget* host);
  ~TFormDragList() override;

  // Fills both trees: every element of the source is unselected, every one of the
  // destination selected, as they were at loading.
  void Load(TTreeList& source, TTreeList& destination, const QString& sourceCaption,
            const QString& destinationCaption, const TImageList* images, const TImageList* states = nullptr);
  // As Load, with at most one element in the destination.
  void LoadSingle(TTreeList& source, TTreeList& destination, const QString& sourceCaption,
                  const QString& destinationCaption, const TImageList* images, const TImageList* states = nullptr);
  bool IsSingle() const;
  // The elements of the leaves of each tree, in tree order, into the lists (emptied
  // first; the elements are not freed).
  void Store(TTreeList& source, TTreeList& destination) const;
  // The leaves of the destination with their parent chains into another tree.
  void CopyDestinationTo(TZvoTreeView* view) const;

  // Called after every move the user asks for, whether an element moved or not.
  std::function<void()> OnMoved;

  void BBAddClick();
  void BBDelClick();
  void BBAddAllClick();
  void BBDelAllClick();
  void TreeViewDblClick(TZvoTreeView* tree);
  // Only between this picker's two trees, never onto the tree the drag came from.
  bool TreeViewDragOver(const QObject* source, const QObject* target) const;
  void TreeViewDragDrop(QObject* source, QObject* target);
  // The hint of the element under the mouse becomes the tree's.
  void TreeViewInfoBulle(TZvoTreeView* tree, QPoint pos);

  TZvoTreeView* SourceTree() const { return tvSrc_; }
  TZvoTreeView* DestinationTree() const { return tvDst_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct MoveContext {
    TZvoTreeView* from;
    TZvoTreeView* to;
    bool toDestination;
    bool single;
  };

  void MoveSelected(TZvoTreeView* from, TZvoTreeView* to);
  void MoveAll(TZvoTreeView* from, TZvoTreeView* to);
  void MoveNode(const MoveContext& context, QTreeWidgetItem* node);
  void MoveAllLeaves(TZvoTreeView* from, const MoveContext& context);
  void FillTree(TTreeList& list, TZvoTreeView* tree, QTreeWidgetItem* parent);
  TZvoTreeView* Other(const TZvoTreeView* tree) const { return tree == tvSrc_ ? tvDst_ : tvSrc_; }
  void LayOut();

  QLabel* labelSrc_;
  QLabel* labelDst_;
  TZvoTreeView* tvSrc_;
  QWidget* panelBtn_;
  QPushButton* bbAdd_;
  QPushButton* bbDel_;
  QPushButton* bbAddAll_;
  QPushButton* bbDelAll_;
  TZvoTreeView* tvDst_;
};
