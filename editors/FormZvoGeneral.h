// The general parameters of the open site on five pages: panel parameters, carry inputs,
// the day/night function, the alarm thresholds and the site information. The fields are
// read from the site as the window opens; only OK, once every check passes, writes them
// back (what the user left as it was is kept byte for byte) and marks the site modified.
#pragma once

#include <QString>
#include <string>

#include "model/TimeOfDay.h"
#include "shell/ChildForm.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimeEdit;
class QTime;
class TRangeSlider;
class TSiteMemo;
class TZavo;
class TParamsGen;
class TCarInpDDS;

class TFormZvoGeneral : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 40;
  static constexpr int kUsedCarryHeight = 177;
  static constexpr int kUnusedCarryHeight = 89;
  static constexpr int kRemarkMaxLength = 160;

  // Needs an open site.
  explicit TFormZvoGeneral(TFormZvoPrincipale* owner);
  void ApplyTexts() override;

  // OK: the checks, then the store and the close; a failed check shows its message,
  // turns to the page of the field and focuses it.
  void Valider();
  // Cancel: closes without storing.
  void Fermer();

  // The automatic labels of the carry inputs live from one opening to the next; this
  // forgets them, as at program start.
  static void ForgetAutomaticLabels();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct CarryControls {
    QGroupBox* box;
    QLabel* labelCaption;
    QLineEdit* label;
    QLabel* typeCaption;
    QComboBox* type;
    QLabel* contactCaption;
    QComboBox* contact;
  };

  QWidget* AddPage(const char* name);
  void BuildPanelPage();
  void BuildCarryPage();
  void BuildDayNightPage();
  void BuildThresholdsPage();
  void BuildInfoPage();
  void BuildSlider(QWidget* page);

  void LoadFields();
  void LoadCarry(int n, const TCarInpDDS& input);
  void StoreFields();
  void StoreCarry(int n, TCarInpDDS& input);
  // Shows the check's message and turns to the field when the text fails it.
  bool Fails(bool valid, const std::string& message, QWidget* page, QWidget* field);

  // n is 1 or 2. loading: the layout only, so that a loaded input keeps its label.
  void CarryTypeChange(int n, bool loading = false);
  int CarryCode(int n) const;
  void DayNightChange();
  void DayNightFocus();
  void UpdateWarning();
  // The pickers and the slider drive each other; each change runs once.
  void PickerChanged(bool start);
  void ThumbChanged(bool lower);
  void SetPickerTime(QTimeEdit* picker, const QTime& time);
  // Both times into the pickers and the thumbs, without running their handlers.
  void ShowTimes(TTimeHM start, TTimeHM end);
  void ModifIndiceData(const QString& key);
  void UpdateRemarkHint();

  TZavo* root_;
  TParamsGen* params_;
  bool stored_ = false;
  bool syncing_ = false;

  QTabWidget* pageControl_;
  QWidget* tabSheetPanel_;
  QWidget* tabSheetCarry_;
  QWidget* tabSheetDayNight_;
  QWidget* tabSheetThresholds_;
  QWidget* tabSheetInfo_;

  QLineEdit* editSiteName_;
  QComboBox* cbDetMode_;
  QLineEdit* editCod2_;
  QLineEdit* editCod3_;
  QComboBox* cbOptRelP2_;

  CarryControls car_[2];

  QCheckBox* cbDayNight_;
  QLabel* labelStart_;
  QLabel* labelEnd_;
  QTimeEdit* dtPickerDNS_;
  QTimeEdit* dtPickerDNE_;
  QLabel* lWarningJourNuit_;
  TRangeSlider* slider_;

  QComboBox* cbSeuilOPT_;
  QComboBox* cbSeuilThStatic_;
  QComboBox* cbSeuilThVelo_;
  QComboBox* cbSeuilMultic_;
  QComboBox* cbSeuilS2H_;

  QLineEdit* editEditor_;
  QLineEdit* editLocal_;
  QLineEdit* editIndice_;
  TSiteMemo* memoRemark_;

  QPushButton* bitBtnValider_;
  QPushButton* bitBtnAnnuler_;

  // What the fields showed as the window opened: a field left so is not stored again.
  QString shownSiteName_;
  QString shownCod2_;
  QString shownCod3_;
  QString shownCarryLabel_[2];
  QString shownEditor_;
  QString shownLocal_;
  QString shownIndice_;
  // The automatic labels as the window found them, put back when it closes unstored.
  QString automaticAtOpen_[2];
};
