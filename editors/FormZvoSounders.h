// The line of sounders of the open site: its mode, its delays and the zones whose alarm
// triggers it, chosen in the two-tree picker. Only OK writes them back.
#pragma once

#include "editors/TreeElem.h"
#include "shell/ChildForm.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimeEdit;
class TFormDragList;
class TGstZones;
class TLineSound;
class TZavo;

class TFormZvoSounders : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 42;
  static constexpr int kMaxResistance = 30;

  // Needs an open site.
  explicit TFormZvoSounders(TFormZvoPrincipale* owner);
  void ApplyTexts() override;

  // Shows the panels of the chosen mode and resets the delays it does not use.
  void FuncModeChange();
  // OK: a mode in use needs a triggering zone; then the store and the close.
  void Valider();
  // Cancel; with Ctrl and Alt held and a mode chosen, the default-resistance chooser instead.
  void Fermer();

 private:
  void Fill();
  // Keeps a delay picker within 0:00 to 10:00, wrapping at both ends.
  void BriderADixMinutes(QTimeEdit* picker);
  void ChooseResistance();

  TZavo* root_;
  TLineSound* sounders_;
  TGstZones* zones_;
  TTreeList notTriggering_;
  TTreeList triggering_;

  QLabel* labelFunMode_;
  QComboBox* cbFunMode_;
  QWidget* panelStandard_;
  QTimeEdit* dtpDelaiStd_;
  QWidget* panelHotel_;
  QTimeEdit* dtpDelaiHo1_;
  QTimeEdit* dtpDelaiHo2_;
  QWidget* panelDrag_;
  TFormDragList* picker_;
  QPushButton* bitBtnValider_;
  QPushButton* bitBtnAnnuler_;
};
