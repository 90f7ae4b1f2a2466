// The security functions of the open site (panel types 3, 5 and 9): the evacuation
// function and the two breaking functions, their times and the points that trigger each,
// chosen in the two-tree picker one function and one point category at a time. Only OK
// writes them back.
#pragma once

#include <array>

#include "editors/TreeElem.h"
#include "shell/ChildForm.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimeEdit;
class QToolButton;
class TFoncBrk;
class TFoncUGA;
class TFormDragList;
class TGstPoints;
class TZavo;

class TFormZvoSecurity : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 44;
  // Functions: 0 the evacuation function, 1 and 2 the breaking functions. Categories: 0
  // every point, 1-4 the points' categories. A category button's tag is function x 10 +
  // category.
  static constexpr int kFunctions = 3;
  static constexpr int kCategories = 5;

  // Needs an open site.
  explicit TFormZvoSecurity(TFormZvoPrincipale* owner);
  ~TFormZvoSecurity() override;
  void ApplyTexts() override;

  // Shows the points of the button's function and category in the picker; its button
  // stays down, the one down before goes up.
  void Renseigner(int tag);
  // The count of selected points of each category on the category buttons.
  void AffNbElmParFiltre();
  // After "Activated" of breaking function 1 or 2 changed.
  void ControlRupture(int function);
  void FiltrerDureeUGA();
  void FiltrerRetardUGA();
  void FiltrerRetardRupture(int function);
  void Valider();
  void Fermer();

  int CurrentTag() const { return current_; }
  TTreeList& Points(int function) { return lists_[static_cast<std::size_t>(function)]; }

 private:
  void Fill();
  QToolButton* Button(int tag) const;

  TZavo* root_;
  TFoncUGA* evacuation_;
  std::array<TFoncBrk*, 2> breaking_;
  TGstPoints* points_;
  std::array<TTreeList, kFunctions> lists_;
  int current_ = 0;

  QTimeEdit* dtpDelUGA_;
  QTimeEdit* dtpDurUGA_;
  QCheckBox* cbCAuxRearm_;
  std::array<QCheckBox*, 2> cbBreak_;
  std::array<QTimeEdit*, 2> dtpDelBr_;
  std::array<QLabel*, 2> labelDelBr_;
  std::array<QLabel*, 2> labelDelMsBr_;
  std::array<std::array<QToolButton*, kCategories>, kFunctions> buttons_;
  QWidget* panelDrag_;
  TFormDragList* picker_;
  QPushButton* bitBtnValider_;
  QPushButton* bitBtnAnnuler_;
};
