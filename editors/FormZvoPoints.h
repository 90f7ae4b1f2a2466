// The points and zones of the open site: one tree by line or loop or by zone, a point
// box and a zone box below it. The window routes each user action to its controllers;
// only OK, Next, a confirmed delete and a drop change the site.
#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <memory>

#include "shell/ChildForm.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class TCtrlMode;
class TChoiceTabs;
class TDropDownComboBox;
class TElemIHM;
class TGInpLigne;
class TGInpPoint;
class TGInpZone;
class TGstLignes;
class TGstZones;
class TZavo;
class TZvoTreeView;

// Whether the trees show points by their types (true) or by their labels; process-wide,
// not saved.
extern bool PointsShowTypes;

class TFormZvoPoints : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 41;
  static constexpr int kLineView = 0;
  static constexpr int kZoneView = 1;

  // Needs an open site.
  explicit TFormZvoPoints(TFormZvoPrincipale* owner);
  ~TFormZvoPoints() override;
  void ApplyTexts() override;
  // A text of this window or of its controllers in the current language.
  static QString Text(const char* component, const char* builtin);

  // The handlers of the window's controls.
  void Affichage();
  void Fermer();
  void VisuModeChange();
  void Selectionner();
  void DoubleCliquer();
  void Editer();
  void Ajouter();
  void Retirer();
  void Valider();
  void Suivant();
  void Annuler();
  void SurPressionClavier(int key, bool keypad);
  void TreeViewInfoBulle(QPoint pos);
  void CBIdentChange();
  // Tag 1 shows the points by label, tag 2 by type; any other changes nothing.
  void AffichagePointsClick(int tag);
  void CapturerOuvertureCombo();
  // Drag and drop within the tree, at a position of its viewport: the dragged element is
  // the selected node's.
  bool CanDrop(QPoint pos) const;
  void Drop(QPoint pos);

  bool IsZoneView() const;
  TCtrlMode& Mode() const { return *mode_; }
  TGInpZone& Zone() const { return *zone_; }
  TGInpLigne& Ligne() const { return *ligne_; }
  TGInpPoint& Point() const { return *point_; }

  // The controls the controllers work on.
  QWidget* PanelTree() const { return panelTree_; }
  QTabBar* TCView() const { return tcView_; }
  TZvoTreeView* TreeView() const { return treeView_; }
  QGroupBox* GBPoint() const { return gbPoint_; }
  QComboBox* CBAdresse() const { return cbAdresse_; }
  QComboBox* CBIdent() const;
  QLineEdit* EditPoint() const { return editPoint_; }
  QCheckBox* CBActiveEC() const { return cbActiveEC_; }
  QGroupBox* GBZone() const { return gbZone_; }
  QComboBox* CBNumZone() const { return cbNumZone_; }
  QLineEdit* EditZone() const { return editZone_; }
  TChoiceTabs* TCMode() const { return tcMode_; }
  QWidget* PanelSelect() const { return panelSelect_; }
  QPushButton* BBAjouter() const { return bbAjouter_; }
  QPushButton* BBRetirer() const { return bbRetirer_; }
  QPushButton* BBEdit() const { return bbEdit_; }
  QPushButton* BBFermer() const { return bbFermer_; }
  QWidget* PanelEdit() const { return panelEdit_; }
  QPushButton* BBValider() const { return bbValider_; }
  QPushButton* BBAnnuler() const { return bbAnnuler_; }
  QPushButton* BBSuivant() const { return bbSuivant_; }
  QMenu* PopupMenu() const { return menu_; }

 protected:
  // The window sees its controls' key releases first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPointBox();
  void BuildZoneBox();
  TElemIHM* SelectedElement() const;
  // The new-point confirmation of OK and Next.
  bool ConfirmNew();

  TZavo* root_;
  TGstZones* zones_;
  TGstLignes* lines_;
  QWidget* panelTree_;
  QTabBar* tcView_;
  TZvoTreeView* treeView_;
  QGroupBox* gbPoint_;
  QComboBox* cbAdresse_;
  TDropDownComboBox* cbIdent_;
  QLineEdit* editPoint_;
  QCheckBox* cbActiveEC_;
  QGroupBox* gbZone_;
  QComboBox* cbNumZone_;
  TChoiceTabs* tcMode_;
  QLineEdit* editZone_;
  QWidget* panelSelect_;
  QPushButton* bbAjouter_;
  QPushButton* bbRetirer_;
  QPushButton* bbEdit_;
  QPushButton* bbFermer_;
  QWidget* panelEdit_;
  QPushButton* bbValider_;
  QPushButton* bbAnnuler_;
  QPushButton* bbSuivant_;
  QMenu* menu_;
  // The element the boxes last showed for the selection.
  const void* shown_ = nullptr;
  std::unique_ptr<TCtrlMode> mode_;
  std::unique_ptr<TGInpZone> zone_;
  std::unique_ptr<TGInpLigne> ligne_;
  std::unique_ptr<TGInpPoint> point_;
};
