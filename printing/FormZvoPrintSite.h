// The site-report window: the report's sections that make sense for the open site, all
// selected at first, chosen in the two-tree picker and printed in their fixed order as
// one document.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "editors/TreeElem.h"
#include "shell/ChildForm.h"

class QPushButton;
class TFormDragList;
class TPrintSite;

// One section of the report.
class TTreeElmPrt : public TTreeElem {
 public:
  TTreeElmPrt(int number, TPrintSite* engine) : number_(number), engine_(engine) {}
  // The number, " - " and the section's title.
  std::string Caption() override;
  virtual void Print() {}
  virtual QString SectionTitle() const { return {}; }
  int Number() const { return number_; }

 protected:
  TPrintSite& Engine() const { return *engine_; }

 private:
  int number_;
  TPrintSite* engine_;
};

class TTreePrtParGen : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 0; }
  void Print() override;
};

class TTreePrtPoints : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 1; }
  void Print() override;
};

class TTreePrtZones : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 2; }
  void Print() override;
};

class TTreePrtFonctions : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 3; }
  void Print() override;
};

class TTreePrtSecurite : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 4; }
  void Print() override;
};

class TTreePrtGroupes : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 5; }
  void Print() override;
};

class TTreePrtResume : public TTreeElmPrt {
 public:
  using TTreeElmPrt::TTreeElmPrt;
  QString SectionTitle() const override;
  int ImageIndex() override { return 6; }
  void Print() override;
};

// The sections, owned, in the order they print.
class TTreeLstPrt : public TTreeElem {
 public:
  TTreeLstPrt() = default;
  // The sections that apply to the engine's site, numbered from 1 without gaps, all selected.
  void Build(TPrintSite& engine);
  void Add(std::unique_ptr<TTreeElmPrt> section) { sections_.push_back(std::move(section)); }
  virtual void PrintSelected();
  // The target (emptied first) then refers to the sections whose selection is the wanted one.
  virtual void CollectBySelection(TTreeList& target, bool wanted);
  const std::vector<std::unique_ptr<TTreeElmPrt>>& Sections() const { return sections_; }
  bool AnySelected() const;

 private:
  std::vector<std::unique_ptr<TTreeElmPrt>> sections_;
};

// One print run: the selected sections, then the end of the document. A failure drops
// the document begun, so the next run starts a new one, and is raised again.
void PrintSections(TTreeLstPrt& sections, TPrintSite& engine);

class TFormZvoPrintSite : public TZvoChildForm {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 30;

  // Needs an open site.
  explicit TFormZvoPrintSite(TFormZvoPrincipale* owner);
  ~TFormZvoPrintSite() override;
  void ApplyTexts() override;

  // Prints the selected sections; with no printer chosen yet and none installed, the
  // printer dialog comes first. A failure is told by the application's handler.
  void Imprimer();
  // The printer dialog; the printer geometry is re-read however it was closed.
  void Configurer();
  void Fermer();

  TPrintSite& Engine() const { return *engine_; }
  TTreeLstPrt& Sections() const { return *sections_; }
  TFormDragList& Picker() const { return *picker_; }

 private:
  std::unique_ptr<TPrintSite> engine_;
  std::unique_ptr<TTreeLstPrt> sections_;
  QWidget* panelDrag_;
  TFormDragList* picker_;
  QPushButton* bitBtnImprimantes_;
  QPushButton* bitBtnImprimer_;
  QPushButton* bitBtnSortir_;
};
