#include "printing/FormZvoPrintSite.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "editors/FormBits.h"
#include "editors/FormDragList.h"
#include "editors/TreeImages.h"
#include "model/Contexte.h"
#include "model/Groupes.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Security.h"
#include "model/SiteSettings.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "printing/ZvoPrintSite.h"
#include "shell/PrintDialog.h"
#include "shell/UiText.h"
#include "shell/ZvoApplication.h"

namespace {

constexpr const char* kForm = "FormZvoPrintSite";

QString Text(const char* component, const char* builtin) {
  return FormText(kForm, component, "Caption", QString::fromUtf8(builtin));
}

// The section images, one per section in their order.
const TImageList& SectionImages() {
  // Never destroyed: pixmaps must not outlive the application object.
  static const TImageList* images = [] {
    auto* list = new TImageList;
    const std::pair<QColor, char> glyphs[] = {
        {QColor(190, 190, 190), 'G'}, {QColor(120, 170, 255), 'P'}, {QColor(255, 170, 60), 'Z'},
        {QColor(240, 90, 90), 'S'},   {QColor(120, 200, 160), 'F'}, {QColor(190, 140, 230), 'R'},
        {QColor(250, 230, 90), 'T'},
    };
    for (const auto& [colour, letter] : glyphs) *list << TreeGlyph(colour, QLatin1Char(letter));
    return list;
  }();
  return *images;
}

bool AnyUsed(TZvoList& list) { return list.UsedCount() > 0; }

}  // namespace

std::string TTreeElmPrt::Caption() { return ToAnsi(QString::number(number_) + QStringLiteral(" - ") + SectionTitle()); }

QString TTreePrtParGen::SectionTitle() const { return QStringLiteral("General parameters"); }
void TTreePrtParGen::Print() { Engine().PrintGeneral(); }

QString TTreePrtPoints::SectionTitle() const { return QStringLiteral("Points"); }
void TTreePrtPoints::Print() { Engine().PrintPoints(); }

QString TTreePrtZones::SectionTitle() const { return QStringLiteral("Zones"); }
void TTreePrtZones::Print() { Engine().PrintZones(); }

QString TTreePrtFonctions::SectionTitle() const { return Engine().SounderSectionCaption(); }
void TTreePrtFonctions::Print() { Engine().PrintSounderLine(); }

QString TTreePrtSecurite::SectionTitle() const { return QStringLiteral("Security settings"); }
void TTreePrtSecurite::Print() { Engine().PrintSecurity(); }

QString TTreePrtGroupes::SectionTitle() const { return QStringLiteral("Repetitions"); }
void TTreePrtGroupes::Print() { Engine().PrintGroups(); }

QString TTreePrtResume::SectionTitle() const { return QStringLiteral("Site summary"); }
void TTreePrtResume::Print() { Engine().PrintSummary(); }

void TTreeLstPrt::Build(TPrintSite& engine) {
  TZavo& root = engine.Root();
  int number = 0;
  auto add = [&](auto* section) {
    section->InitSelected(true);
    sections_.emplace_back(section);
  };
  add(new TTreePrtParGen(++number, &engine));
  if (AnyUsed(*root.Points())) add(new TTreePrtPoints(++number, &engine));
  if (AnyUsed(*root.Zones())) add(new TTreePrtZones(++number, &engine));
  if (!GetContexte().IsFscCieVariant()) {
    if (root.LineSound()->mode != 0) add(new TTreePrtFonctions(++number, &engine));
  } else if (root.Security()->IsEnabled()) {
    add(new TTreePrtSecurite(++number, &engine));
  }
  if (AnyUsed(*root.Groups())) add(new TTreePrtGroupes(++number, &engine));
  add(new TTreePrtResume(++number, &engine));
}

void TTreeLstPrt::PrintSelected() {
  for (const auto& section : sections_) {
    if (section->IsSelected()) section->Print();
  }
}

void TTreeLstPrt::CollectBySelection(TTreeList& target, bool wanted) {
  target.Release();
  for (const auto& section : sections_) {
    if (section->IsSelected() == wanted) target.Add(section.get());
  }
}

bool TTreeLstPrt::AnySelected() const {
  for (const auto& section : sections_) {
    if (section->IsSelected()) return true;
  }
  return false;
}

void PrintSections(TTreeLstPrt& sections, TPrintSite& engine) {
  try {
    sections.PrintSelected();
    engine.EndDocument();
  } catch (...) {
    engine.AbortDocument();
    throw;
  }
}

TFormZvoPrintSite::TFormZvoPrintSite(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      engine_(std::make_unique<TPrintSite>()),
      sections_(std::make_unique<TTreeLstPrt>()),
      panelDrag_(Named(new QWidget(this), "PanelDrag")),
      picker_(nullptr),
      bitBtnImprimantes_(Named(new QPushButton(this), "BitBtnImprimantes")),
      bitBtnImprimer_(Named(new QPushButton(this), "BitBtnImprimer")),
      bitBtnSortir_(Named(new QPushButton(this), "BitBtnSortir")) {
  setObjectName(QString::fromLatin1(kForm));
  bitBtnSortir_->setDefault(true);
  connect(bitBtnImprimantes_, &QPushButton::clicked, this, [this] { Configurer(); });
  connect(bitBtnImprimer_, &QPushButton::clicked, this, [this] { Imprimer(); });
  connect(bitBtnSortir_, &QPushButton::clicked, this, [this] { Fermer(); });

  panelDrag_->setFixedSize(409, 249);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bitBtnImprimantes_);
  buttons->addStretch();
  buttons->addWidget(bitBtnImprimer_);
  buttons->addStretch();
  buttons->addWidget(bitBtnSortir_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(panelDrag_);
  layout->addLayout(buttons);

  sections_->Build(*engine_);
  {
    TUpdateLock lock(this);
    picker_ = new TFormDragList(panelDrag_);
    TTreeList available;
    TTreeList selected;
    sections_->CollectBySelection(available, false);
    sections_->CollectBySelection(selected, true);
    picker_->Load(available, selected, Text("Available", "Available items"), Text("Selected", "Selected items"),
                  &SectionImages());
    // The sections stay the section list's; the lists only referred to them.
    available.Release();
    selected.Release();
  }

  ApplyTexts();
  ShowAsChild();
  bitBtnImprimer_->setFocus();
}

TFormZvoPrintSite::~TFormZvoPrintSite() {
  // The picker's nodes refer to the sections: it goes first.
  delete picker_;
}

void TFormZvoPrintSite::ApplyTexts() {
  setWindowTitle(Text(kForm, "Site database print"));
  bitBtnImprimantes_->setText(Text("BitBtnImprimantes", "P&rinters..."));
  bitBtnImprimer_->setText(Text("BitBtnImprimer", "&Print"));
  bitBtnSortir_->setText(Text("BitBtnSortir", "&Close"));
}

void TFormZvoPrintSite::Imprimer() {
  if (!sections_->AnySelected()) return;
  if (!engine_->HasDestination()) {
    // No printer installed and none chosen yet: the dialog offers a PDF file.
    Configurer();
    if (!engine_->HasDestination()) return;
  }
  try {
    TWaitCursor wait;
    PrintSections(*sections_, *engine_);
  } catch (const std::exception& e) {
    // Told here, the cursor back first: an exception must not unwind through Qt's event
    // delivery, which does not clean up behind it.
    TZvoApplication::HandleException(e);
  }
}

void TFormZvoPrintSite::Configurer() {
  ChooseGlobalPrinter(this, QString::fromStdString(CurrentDatabase()->Name()));
  engine_->UpdatePrinterGeometry();
}

void TFormZvoPrintSite::Fermer() { close(); }
