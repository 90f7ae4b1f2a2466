// The groups (repetitions) of the open site: the groups in use on the left, one group
// edited at a time on the right (its parameters, its triggers and the elements it
// activates). The editing lives in the two controllers; only OK and a confirmed delete
// change the site.
#pragma once

#include <QString>
#include <memory>

#include "shell/ChildForm.h"

class QLabel;
class QLineEdit;
class QComboBox;
class QPushButton;
class QTabWidget;
class TChoiceTabs;
class TGInpGroup;
class TGroupMode;
class TZavo;
class TZvoTreeView;

class TFormZvoGroups : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 43;

  // Needs an open site.
  explicit TFormZvoGroups(TFormZvoPrincipale* owner);
  ~TFormZvoGroups() override;
  void ApplyTexts() override;
  // A text of this window or of its controllers in the current language.
  static QString Text(const char* component, const char* builtin);

  // The handlers of the window's controls.
  void Affichage();
  void Selectionner();
  void DoubleCliquer();
  void Editer();
  void Ajouter();
  void Retirer();
  void Valider();
  void Annuler();
  void Fermer();

  TGroupMode& Mode() const { return *mode_; }
  TGInpGroup& Input() const { return *input_; }

  // The controls the controllers work on.
  QWidget* PanelSelection() const { return panelSelection_; }
  TZvoTreeView* TVGroups() const { return tvGroups_; }
  QWidget* PanelAction() const { return panelAction_; }
  QWidget* PanelConfirmation() const { return panelConfirmation_; }
  QWidget* PanelParametres() const { return panelParametres_; }
  QWidget* PanelByZones() const { return panelByZones_; }
  QWidget* PanelPulsExt() const { return panelPulsExt_; }
  QTabWidget* PCEdition() const { return pcEdition_; }
  QWidget* TSParametres() const { return tsParametres_; }
  QWidget* TSTrigger() const { return tsTrigger_; }
  QWidget* TSTrigged() const { return tsTrigged_; }
  QComboBox* CBNumGroupe() const { return cbNumGroupe_; }
  QLineEdit* EditGroupe() const { return editGroupe_; }
  QLineEdit* EditRetard() const { return editRetard_; }
  QLineEdit* EditResetExt() const { return editResetExt_; }
  TChoiceTabs* TCType() const { return tcType_; }
  TChoiceTabs* TCEvent() const { return tcEvent_; }
  TChoiceTabs* TCLogic() const { return tcLogic_; }
  TZvoTreeView* TVTgr() const { return tvTgr_; }
  TZvoTreeView* TVTgd() const { return tvTgd_; }
  QLabel* LabelTgr() const { return labelTgr_; }
  QLabel* LabelTgd() const { return labelTgd_; }
  QPushButton* BBAjouter() const { return bbAjouter_; }
  QPushButton* BBRetirer() const { return bbRetirer_; }
  QPushButton* BBEdit() const { return bbEdit_; }

 protected:
  // The window sees its controls' key releases first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildParameters();
  void SurPressionClavier(int key, bool keypad);
  void TVGroupsInfoBulle(QPoint pos);

  TZavo* root_;
  QWidget* panelSelection_;
  TZvoTreeView* tvGroups_;
  QWidget* panelAction_;
  QPushButton* bbFermer_;
  QPushButton* bbEdit_;
  QPushButton* bbAjouter_;
  QPushButton* bbRetirer_;
  QWidget* panelConfirmation_;
  QPushButton* bbAnnuler_;
  QPushButton* bbValider_;
  QTabWidget* pcEdition_;
  QWidget* tsParametres_;
  QWidget* tsTrigger_;
  QWidget* tsTrigged_;
  QWidget* panelParametres_;
  QComboBox* cbNumGroupe_;
  QLineEdit* editRetard_;
  QLineEdit* editGroupe_;
  TChoiceTabs* tcType_;
  QWidget* panelByZones_;
  TChoiceTabs* tcEvent_;
  TChoiceTabs* tcLogic_;
  QWidget* panelPulsExt_;
  QLineEdit* editResetExt_;
  QLabel* labelTgr_;
  QLabel* labelTgd_;
  TZvoTreeView* tvTgr_;
  TZvoTreeView* tvTgd_;
  std::unique_ptr<TGroupMode> mode_;
  std::unique_ptr<TGInpGroup> input_;
};
