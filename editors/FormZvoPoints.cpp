#include "editors/FormZvoPoints.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QToolTip>
#include <QVBoxLayout>

#include "editors/ChoiceTabs.h"
#include "editors/FormBits.h"
#include "editors/ParamComboBox.h"
#include "editors/TreeImages.h"
#include "editors/ZvoCtrlModePoints.h"
#include "editors/ZvoGInpLigne.h"
#include "editors/ZvoGInpPoint.h"
#include "editors/ZvoGInpZone.h"
#include "editors/ZvoInc.h"
#include "editors/ZvoTreeView.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "model/Projet.h"
#include "model/Zavo.h"
#include "model/Zones.h"
#include "shell/Boxes.h"
#include "shell/FormZvoPrincipale.h"
#include "shell/UiText.h"

bool PointsShowTypes = false;

namespace {

constexpr const char* kForm = "TFormZvoPoints";
constexpr int kLabelWidth = 20;
constexpr int kNumberWidth = 3;
// The right-hand column of the window; the boxes' tops follow the state.
constexpr int kColumnLeft = 300;
constexpr int kColumnWidth = 261;
constexpr int kPointBoxTop = 27;
constexpr int kPointBoxHeight = 160;
constexpr int kZoneBoxHeight = 120;
constexpr int kButtonRowHeight = 36;
constexpr int kButtonRowTop = 321;

QLineEdit* LabelEdit(QWidget* parent, const char* name) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setMaxLength(kLabelWidth);
  InstallNameKeyFilter(edit);
  return edit;
}

QWidget* ButtonPanel(QWidget* parent, const char* name, std::initializer_list<QWidget*> left,
                     std::initializer_list<QWidget*> right) {
  auto* panel = Named(new QWidget(parent), name);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  for (QWidget* b : left) row->addWidget(b);
  row->addStretch();
  for (QWidget* b : right) row->addWidget(b);
  panel->setGeometry(kColumnLeft, kButtonRowTop, kColumnWidth, kButtonRowHeight);
  panel->hide();
  return panel;
}

}  // namespace

QString TFormZvoPoints::Text(const char* component, const char* builtin) {
  return FormText(kForm, component, "Caption", QString::fromUtf8(builtin));
}

TFormZvoPoints::TFormZvoPoints(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      root_(CurrentDatabase()->Root()),
      zones_(root_->Zones()),
      lines_(root_->Lignes()),
      panelTree_(Named(new QWidget(this), "PanelTree")),
      tcView_(Named(new QTabBar(panelTree_), "TCView")),
      treeView_(Named(new TZvoTreeView(panelTree_), "TreeView")),
      gbPoint_(Named(new QGroupBox(this), "GBPoint")),
      cbAdresse_(NumberComboBox(gbPoint_, "CBAdresse", kNumberWidth)),
      cbIdent_(Named(new TDropDownComboBox(gbPoint_), "CBIdent")),
      editPoint_(LabelEdit(gbPoint_, "EditPoint")),
      cbActiveEC_(Named(new QCheckBox(gbPoint_), "CBActiveEC")),
      gbZone_(Named(new QGroupBox(this), "GBZone")),
      cbNumZone_(NumberComboBox(gbZone_, "CBNumZone", kNumberWidth)),
      tcMode_(Named(new TChoiceTabs(gbZone_), "TCMode")),
      editZone_(LabelEdit(gbZone_, "EditZone")),
      bbAjouter_(Named(new QPushButton, "BBAjouter")),
      bbRetirer_(Named(new QPushButton, "BBRetirer")),
      bbEdit_(Named(new QPushButton, "BBEdit")),
      bbFermer_(Named(new QPushButton, "BBFermer")),
      bbValider_(Named(new QPushButton, "BBValider")),
      bbAnnuler_(Named(new QPushButton, "BBAnnuler")),
      bbSuivant_(Named(new QPushButton, "BBSuivant")),
      menu_(Named(new QMenu(this), "pMenuAffichListPoints")) {
  setObjectName(QString::fromLatin1(kForm));
  setFixedSize(569, 361);

  tcView_->setDrawBase(false);
  tcView_->addTab(TreeGlyph(QColor(130, 210, 120), QLatin1Char('L')), QString());
  tcView_->addTab(TreeGlyph(QColor(255, 170, 60), QLatin1Char('Z')), QString());
  treeView_->SetImages(&TreeImages());
  treeView_->SetExpansionGuard(true);
  treeView_->SetDragScrollMargin(20);
  treeView_->SetMouseMoveHandler([this](QPoint pos) { TreeViewInfoBulle(pos); });
  treeView_->SetDropHandlers([this](QObject* source, QPoint pos) { return source == treeView_ && CanDrop(pos); },
                             [this](QObject* source, QPoint pos) {
                               if (source == treeView_) Drop(pos);
                             });
  treeView_->setContextMenuPolicy(Qt::CustomContextMenu);
  auto* tree = new QVBoxLayout(panelTree_);
  tree->setContentsMargins(0, 0, 0, 0);
  tree->setSpacing(2);
  tree->addWidget(tcView_);
  tree->addWidget(treeView_, 1);
  panelTree_->setGeometry(4, 4, kColumnLeft - 10, 361 - 8);

  BuildPointBox();
  BuildZoneBox();
  bbAjouter_->setIcon(TreeGlyph(QColor(130, 210, 120), QLatin1Char('+')));
  bbRetirer_->setIcon(TreeGlyph(QColor(240, 90, 90), QLatin1Char('-')));
  panelSelect_ = ButtonPanel(this, "PanelSelect", {bbAjouter_, bbRetirer_}, {bbEdit_, bbFermer_});
  panelEdit_ = ButtonPanel(this, "PanelEdit", {bbSuivant_}, {bbValider_, bbAnnuler_});

  auto* views = new QActionGroup(menu_);
  for (int tag : {1, 2}) {
    QAction* item = menu_->addAction(QString());
    item->setObjectName(QStringLiteral("MenuPosting%1").arg(tag));
    item->setCheckable(true);
    item->setChecked(PointsShowTypes == (tag == 2));
    views->addAction(item);
    connect(item, &QAction::triggered, this, [this, tag] { AffichagePointsClick(tag); });
  }
  connect(treeView_, &QWidget::customContextMenuRequested, this,
          [this](QPoint pos) { menu_->popup(treeView_->viewport()->mapToGlobal(pos)); });

  connect(treeView_, &QTreeWidget::itemClicked, this, [this] { Selectionner(); });
  connect(treeView_, &TZvoTreeView::DoubleClicked, this, [this] { DoubleCliquer(); });
  // The press that started a drag may have moved the selection without a click.
  connect(treeView_, &TZvoTreeView::DragFinished, this, [this] {
    if (mode_->Has(TCtrlMode::kBrowsing) && SelectedElement() != shown_) Selectionner();
  });
  connect(bbAjouter_, &QPushButton::clicked, this, [this] { Ajouter(); });
  connect(bbRetirer_, &QPushButton::clicked, this, [this] { Retirer(); });
  connect(bbEdit_, &QPushButton::clicked, this, [this] { Editer(); });
  connect(bbFermer_, &QPushButton::clicked, this, [this] { Fermer(); });
  connect(bbValider_, &QPushButton::clicked, this, [this] { Valider(); });
  connect(bbAnnuler_, &QPushButton::clicked, this, [this] { Annuler(); });
  connect(bbSuivant_, &QPushButton::clicked, this, [this] { Suivant(); });
  connect(cbIdent_, &QComboBox::activated, this, [this] { CBIdentChange(); });
  connect(cbIdent_, &TDropDownComboBox::DropDown, this, [this] { CapturerOuvertureCombo(); });

  mode_ = std::make_unique<TCtrlMode>(*this);
  zone_ = std::make_unique<TGInpZone>(*this);
  ligne_ = std::make_unique<TGInpLigne>(*this);
  point_ = std::make_unique<TGInpPoint>(*this);
  // An automatic label follows the address the user gives as it follows the type.
  auto addressChanged = [this] {
    if (editPoint_->text() == point_->RememberedAutoLabel()) point_->RefreshAutoLabel();
  };
  connect(cbAdresse_->lineEdit(), &QLineEdit::textEdited, this, addressChanged);
  connect(cbAdresse_, &QComboBox::activated, this, addressChanged);

  InstallKeyPreview(this);

  ApplyTexts();
  tcView_->setCurrentIndex(kLineView);
  VisuModeChange();
  connect(tcView_, &QTabBar::currentChanged, this, [this] { VisuModeChange(); });
  ShowAsChild();
  if (QMdiSubWindow* frame = SubWindow()) {
    const QRect area = MainWindow()->MdiArea()->viewport()->rect();
    frame->move(std::max(0, (area.width() - frame->width()) / 2), std::max(0, (area.height() - frame->height()) / 2));
  }
  Affichage();
}

TFormZvoPoints::~TFormZvoPoints() {
  disconnect(tcView_, &QTabBar::currentChanged, this, nullptr);
  point_.reset();
  zone_.reset();
  ligne_.reset();
  mode_.reset();
}

void TFormZvoPoints::BuildPointBox() {
  gbPoint_->setGeometry(kColumnLeft, kPointBoxTop, kColumnWidth, kPointBoxHeight);
  gbPoint_->hide();
  cbIdent_->setMinimumContentsLength(16);
  auto* grid = new QGridLayout(gbPoint_);
  const int row =
      AddRows(gbPoint_, grid, {{"LabelAdresse", cbAdresse_}, {"LabelIdent", cbIdent_}, {"LabelPoint", editPoint_}});
  grid->addWidget(cbActiveEC_, row, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  cbAdresse_->setFixedWidth(70);
}

void TFormZvoPoints::BuildZoneBox() {
  gbZone_->setGeometry(kColumnLeft, 195, kColumnWidth, kZoneBoxHeight);
  gbZone_->hide();
  auto* grid = new QGridLayout(gbZone_);
  AddRows(gbZone_, grid, {{"LabelNumZone", cbNumZone_}, {"LabelMode", tcMode_}, {"LabelZone", editZone_}});
  grid->setColumnStretch(1, 1);
  cbNumZone_->setFixedWidth(70);
}

void TFormZvoPoints::ApplyTexts() {
  setWindowTitle(Text(kForm, "Points declaration"));
  static const std::pair<const char*, const char*> kLabels[] = {
      {"LabelAdresse", "Address"}, {"LabelIdent", "Identification"}, {"LabelPoint", "Label"},
      {"LabelNumZone", "Number"},  {"LabelMode", "Mode"},            {"LabelZone", "Label"},
  };
  for (const auto& [name, builtin] : kLabels) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) label->setText(Text(name, builtin));
  }
  tcView_->setTabText(kLineView, FromAnsi(lines_->PluralTitle()));
  tcView_->setTabText(kZoneView, FromAnsi(zones_->Title()));
  gbPoint_->setTitle(Text("GBPoint", "Point"));
  gbZone_->setTitle(Text("GBZone", "Zone"));
  cbActiveEC_->setText(Text("CBActiveEC", "Output activated by zone alarm"));
  cbAdresse_->setToolTip(FormText(kForm, "CBAdresse", "Hint", QStringLiteral("Available point numbers")));
  cbNumZone_->setToolTip(FormText(kForm, "CBNumZone", "Hint", QStringLiteral("Available zone numbers")));
  const int mode = tcMode_->Index();
  tcMode_->SetCaptions({Text("TCMode0", "Alarm"), Text("TCMode1", "Pre Alarm")});
  tcMode_->Button(0)->setIcon(TreeImages().at(0));
  tcMode_->Button(1)->setIcon(TreeImages().at(2));
  tcMode_->SetIndex(mode < 0 ? 0 : mode);
  bbEdit_->setText(Text("BBEdit", "&Edit"));
  bbFermer_->setText(Text("BBFermer", "&Close"));
  bbAjouter_->setToolTip(Text("BBAjouter", "Add"));
  bbRetirer_->setToolTip(Text("BBRetirer", "Remove"));
  bbValider_->setText(Text("BBValider", "&OK"));
  bbAnnuler_->setText(Text("BBAnnuler", "&Cancel"));
  bbSuivant_->setText(Text("BBSuivant", "&Next"));
  const QList<QAction*> items = menu_->actions();
  items[0]->setText(Text("MenuPosting1", "Labels posting"));
  items[1]->setText(Text("MenuPosting2", "Types posting"));
}

QComboBox* TFormZvoPoints::CBIdent() const { return cbIdent_; }

bool TFormZvoPoints::IsZoneView() const { return tcView_->currentIndex() == kZoneView; }

TElemIHM* TFormZvoPoints::SelectedElement() const { return SelectedNodeObject<TElemIHM>(treeView_); }

void TFormZvoPoints::Affichage() { treeView_->setFocus(); }

void TFormZvoPoints::Fermer() { close(); }

void TFormZvoPoints::VisuModeChange() {
  if (IsZoneView()) {
    PointCaptionView = 1;
    RenseigneTree(*zones_, treeView_, nullptr, PointsShowTypes);
  } else {
    PointCaptionView = 2;
    RenseigneTree(*lines_, treeView_, nullptr, PointsShowTypes);
  }
  if (treeView_->topLevelItemCount() > 0) treeView_->setCurrentItem(treeView_->topLevelItem(0));
  Selectionner();
}

void TFormZvoPoints::Selectionner() {
  treeView_->NoteClick();
  // A deleted node leaves the tree a current node without a selection: the system's
  // tree selects it.
  if (!SelectedNode(treeView_) && treeView_->currentItem()) treeView_->currentItem()->setSelected(true);
  TElemIHM* element = SelectedElement();
  shown_ = element;
  if (auto* line = dynamic_cast<TLignes*>(element)) {
    mode_->SelectLine(line);
  } else if (auto* zone = dynamic_cast<TZones*>(element)) {
    mode_->SelectZone();
    zone_->SelectZone(zone);
  } else if (auto* point = dynamic_cast<TPoints*>(element)) {
    mode_->SelectPoint();
    zone_->SelectPointZone(point);
    point_->SelectPoint(point);
  } else {
    // Nothing to edit or remove: an empty zone view.
    mode_->SelectLine(nullptr);
  }
}

void TFormZvoPoints::DoubleCliquer() {
  TElemIHM* element = SelectedElement();
  if (dynamic_cast<TLignes*>(element)) {
    ShowErrorBox(this, Text("MsgLineEdit", "Lines / loops cannot be edited."));
  } else if (auto* zone = dynamic_cast<TZones*>(element)) {
    mode_->Edit();
    zone_->SelectZone(zone);
  } else if (auto* point = dynamic_cast<TPoints*>(element)) {
    mode_->Edit();
    zone_->SelectPointZone(point);
    point_->SelectPoint(point);
  }
}

// As a double click: the zone numbers offered are those a renumbering may take.
void TFormZvoPoints::Editer() {
  if (mode_->Has(TCtrlMode::kEditButton)) DoubleCliquer();
}

void TFormZvoPoints::Ajouter() {
  if (!mode_->CanAdd()) return;
  mode_->Add();
  point_->PrepareAdd(SelectedElement());
  editPoint_->setFocus();
}

void TFormZvoPoints::Retirer() {
  if (mode_->CanRemove()) {
    TElemIHM* element = SelectedElement();
    if (auto* line = dynamic_cast<TLignes*>(element)) {
      if (AskQuestion(this, Text("MsgDeleteLine", "Do you really want to delete all points associated\r\nto this line ?"))) {
        ligne_->DeleteLinePoints(line);
        root_->SetModified(true);
      }
    } else if (auto* zone = dynamic_cast<TZones*>(element)) {
      if (AskQuestion(this, Text("MsgDeleteZone", "Do you really want to delete this zone and all\r\nhosted points ?"))) {
        zone_->DeleteZone(zone);
        root_->SetModified(true);
      }
    } else if (auto* point = dynamic_cast<TPoints*>(element)) {
      if (AskQuestion(this, Text("MsgDeletePoint", "Do you really want to delete this point ?"))) {
        if (IsZoneView()) {
          zone_->DeletePoint(point);
        } else {
          ligne_->DeletePoint(point);
        }
        root_->SetModified(true);
      }
    }
  }
  Selectionner();
}

bool TFormZvoPoints::ConfirmNew() {
  if (!point_->CheckAdd() || !zone_->Check()) return false;
  point_->StoreAdd();
  if (mode_->Has(TCtrlMode::kZoneEdited)) zone_->Store();
  root_->SetModified(true);
  return true;
}

void TFormZvoPoints::Valider() {
  if (mode_->Has(TCtrlMode::kAdding)) {
    if (ConfirmNew()) Annuler();
    return;
  }
  const bool point = mode_->Has(TCtrlMode::kPointEdited);
  const bool zone = mode_->Has(TCtrlMode::kZoneEdited);
  if (point && !point_->CheckEdit()) return;
  if (zone && !zone_->Check()) return;
  if (point) point_->StoreEdit();
  if (zone) zone_->Store();
  mode_->Cancel();
  root_->SetModified(true);
  // The boxes show the element as stored, under its new address or number.
  Selectionner();
}

void TFormZvoPoints::Suivant() {
  if (ConfirmNew()) point_->PrepareAdd(SelectedElement());
  mode_->UpdateNext();
  editPoint_->setFocus();
}

void TFormZvoPoints::Annuler() {
  if (mode_->Has(TCtrlMode::kAdding)) {
    Selectionner();
  } else if (mode_->Has(TCtrlMode::kEditPanel)) {
    if (mode_->Has(TCtrlMode::kPointEdited)) point_->Reload();
    if (mode_->Has(TCtrlMode::kZoneEdited)) zone_->Reload();
  }
  mode_->Cancel();
}

bool TFormZvoPoints::eventFilter(QObject* watched, QEvent* event) {
  if (const QKeyEvent* key = mode_ ? PreviewedRelease(this, watched, event) : nullptr) {
    SurPressionClavier(key->key(), key->modifiers() & Qt::KeypadModifier);
  }
  return TZvoChildForm::eventFilter(watched, event);
}

void TFormZvoPoints::SurPressionClavier(int key, bool keypad) {
  if (!mode_->Has(TCtrlMode::kBrowsing)) return;
  if (key == Qt::Key_Delete || (keypad && key == Qt::Key_Minus)) {
    if (mode_->CanRemove()) Retirer();
  } else if (key == Qt::Key_Insert || (keypad && key == Qt::Key_Plus)) {
    if (mode_->CanAdd()) Ajouter();
  } else if (key == Qt::Key_Up || key == Qt::Key_Down) {
    Selectionner();
  } else if (SelectedElement() != shown_) {
    // Other keys command nothing, but one that moved the selection (Home, a letter) has
    // the boxes follow it.
    Selectionner();
  }
}

void TFormZvoPoints::TreeViewInfoBulle(QPoint pos) {
  QString hint;
  if (TElemIHM* element = NodeObjectAt<TElemIHM>(treeView_, pos)) {
    hint = dynamic_cast<TLignes*>(element) ? Text("HintLine", "Click to select")
                                           : Text("HintElement", "Click to select, double click to edit");
    if (const std::string check = element->CheckText(); !check.empty()) hint = FromAnsi(check);
  }
  if (hint != treeView_->toolTip()) {
    treeView_->setToolTip(hint);
    QToolTip::hideText();
  }
}

void TFormZvoPoints::CBIdentChange() {
  if (editPoint_->text() == point_->RememberedAutoLabel()) point_->RefreshAutoLabel();
  point_->TypeChanged();
}

void TFormZvoPoints::AffichagePointsClick(int tag) {
  if (tag != 1 && tag != 2) return;
  PointsShowTypes = tag == 2;
  const QList<QAction*> items = menu_->actions();
  items[tag - 1]->setChecked(true);
  VisuModeChange();
}

void TFormZvoPoints::CapturerOuvertureCombo() { AdjustDropDownWidth(-1, cbIdent_); }

bool TFormZvoPoints::CanDrop(QPoint pos) const {
  TElemIHM* dragged = SelectedElement();
  TElemIHM* target = NodeObjectAt<TElemIHM>(treeView_, pos);
  if (!dragged || !target || dragged == target) return false;
  const bool toLine = dynamic_cast<TLignes*>(target) != nullptr;
  const bool toZone = dynamic_cast<TZones*>(target) != nullptr;
  if (dynamic_cast<TPoints*>(dragged)) return toLine || toZone;
  if (dynamic_cast<TLignes*>(dragged)) return toLine;
  if (dynamic_cast<TZones*>(dragged)) return toZone;
  return false;
}

void TFormZvoPoints::Drop(QPoint pos) {
  if (!CanDrop(pos)) return;
  TElemIHM* dragged = SelectedElement();
  TElemIHM* target = NodeObjectAt<TElemIHM>(treeView_, pos);
  auto* point = dynamic_cast<TPoints*>(dragged);
  if (auto* line = dynamic_cast<TLignes*>(target)) {
    if (point) {
      ligne_->MovePoint(point, line);
    } else {
      ligne_->MergeLine(static_cast<TLignes*>(dragged), line);
    }
  } else if (auto* zone = dynamic_cast<TZones*>(target)) {
    if (point) {
      zone_->MovePoint(point, zone);
    } else {
      zone_->MergeZone(static_cast<TZones*>(dragged), zone);
    }
  }
  root_->SetModified(true);
  Selectionner();
}
