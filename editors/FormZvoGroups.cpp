#include "editors/FormZvoGroups.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include "editors/ChoiceTabs.h"
#include "editors/FormBits.h"
#include "editors/TreeImages.h"
#include "editors/ZvoGInpElmGrp.h"
#include "editors/ZvoGInpGroup.h"
#include "editors/ZvoGroupsMode.h"
#include "editors/ZvoInc.h"
#include "model/Groupes.h"
#include "model/Projet.h"
#include "model/SiteSettings.h"
#include "model/Zavo.h"
#include "shell/Boxes.h"
#include "shell/UiText.h"

namespace {

constexpr const char* kForm = "TFormZvoGroups";

QLineEdit* NumberEdit(QWidget* parent, const char* name, int length) {
  auto* edit = Named(new QLineEdit(parent), name);
  edit->setMaxLength(length);
  InstallDigitKeyFilter(edit);
  return edit;
}

TChoiceTabs* Choice(QWidget* parent, const char* name) { return Named(new TChoiceTabs(parent), name); }

TZvoTreeView* SummaryTree(QWidget* parent, const char* name) {
  auto* tree = Named(new TZvoTreeView(parent), name);
  tree->setHeaderHidden(true);
  tree->SetImages(&TreeImages());
  // The summaries never keep a selection.
  tree->setSelectionMode(QAbstractItemView::NoSelection);
  // The hint of the element under the mouse; where there is none the tooltip stays.
  tree->SetMouseMoveHandler([tree](QPoint pos) {
    TTreeElem* element = NodeTreeElem(tree->itemAt(pos));
    const QString hint = element ? FromAnsi(element->Hint()) : QString();
    if (!hint.isEmpty() && hint != tree->toolTip()) {
      tree->setToolTip(hint);
      QToolTip::hideText();
    }
  });
  return tree;
}

}  // namespace

QString TFormZvoGroups::Text(const char* component, const char* builtin) {
  return FormText(kForm, component, "Caption", QString::fromUtf8(builtin));
}

TFormZvoGroups::TFormZvoGroups(TFormZvoPrincipale* owner)
    : TZvoChildForm(owner, kHelpContext),
      root_(CurrentDatabase()->Root()),
      panelSelection_(Named(new QWidget(this), "PanelSelection")),
      tvGroups_(Named(new TZvoTreeView(panelSelection_), "TVGroups")),
      panelAction_(Named(new QWidget(this), "PanelAction")),
      bbFermer_(Named(new QPushButton(panelAction_), "BBFermer")),
      bbEdit_(Named(new QPushButton(panelAction_), "BBEdit")),
      bbAjouter_(Named(new QPushButton(panelAction_), "BBAjouter")),
      bbRetirer_(Named(new QPushButton(panelAction_), "BBRetirer")),
      panelConfirmation_(Named(new QWidget(this), "PanelConfirmation")),
      bbAnnuler_(Named(new QPushButton(panelConfirmation_), "BBAnnuler")),
      bbValider_(Named(new QPushButton(panelConfirmation_), "BBValider")),
      pcEdition_(Named(new QTabWidget(this), "PCEdition")),
      tsParametres_(Named(new QWidget, "TSParametres")),
      tsTrigger_(Named(new QWidget, "TSTrigger")),
      tsTrigged_(Named(new QWidget, "TSTrigged")),
      panelParametres_(Named(new QWidget(tsParametres_), "PanelParametres")),
      cbNumGroupe_(NumberComboBox(panelParametres_, "CBNumGroupe", 2)),
      editRetard_(NumberEdit(panelParametres_, "EditRetard", 3)),
      editGroupe_(Named(new QLineEdit(panelParametres_), "EditGroupe")),
      tcType_(Choice(panelParametres_, "TCType")),
      panelByZones_(Named(new QWidget(panelParametres_), "PanelByZones")),
      tcEvent_(Choice(panelByZones_, "TCEvent")),
      tcLogic_(Choice(panelByZones_, "TCLogic")),
      panelPulsExt_(Named(new QWidget(panelParametres_), "PanelPulsExt")),
      editResetExt_(NumberEdit(panelPulsExt_, "EditResetExt", 2)),
      labelTgr_(Caption(panelParametres_, "LabelTgr")),
      labelTgd_(Caption(panelParametres_, "LabelTgd")),
      tvTgr_(SummaryTree(panelParametres_, "TVTgr")),
      tvTgd_(SummaryTree(panelParametres_, "TVTgd")) {
  setObjectName(QString::fromLatin1(kForm));

  tvGroups_->setHeaderHidden(true);
  tvGroups_->SetImages(&GroupImages());
  tvGroups_->SetExpansionGuard(true);
  tvGroups_->SetMouseMoveHandler([this](QPoint pos) { TVGroupsInfoBulle(pos); });
  auto* selection = new QVBoxLayout(panelSelection_);
  selection->setContentsMargins(0, 0, 0, 0);
  selection->addWidget(Caption(panelSelection_, "LabelGroups"));
  selection->addWidget(tvGroups_, 1);

  bbAjouter_->setIcon(TreeGlyph(QColor(130, 210, 120), QLatin1Char('+')));
  bbRetirer_->setIcon(TreeGlyph(QColor(240, 90, 90), QLatin1Char('-')));
  auto* action = new QHBoxLayout(panelAction_);
  action->setContentsMargins(0, 0, 0, 0);
  action->addWidget(bbAjouter_);
  action->addWidget(bbRetirer_);
  action->addStretch();
  action->addWidget(bbEdit_);
  action->addWidget(bbFermer_);
  auto* confirmation = new QHBoxLayout(panelConfirmation_);
  confirmation->setContentsMargins(0, 0, 0, 0);
  confirmation->addStretch();
  confirmation->addWidget(bbValider_);
  confirmation->addWidget(bbAnnuler_);

  BuildParameters();
  pcEdition_->addTab(tsParametres_, QString());
  pcEdition_->addTab(tsTrigger_, QString());
  pcEdition_->addTab(tsTrigged_, QString());

  auto* body = new QHBoxLayout;
  body->addWidget(panelSelection_, 0);
  body->addWidget(pcEdition_, 1);
  panelSelection_->setFixedWidth(230);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addWidget(panelAction_);
  layout->addWidget(panelConfirmation_);

  connect(tvGroups_, &QTreeWidget::itemClicked, this, [this] { Selectionner(); });
  connect(tvGroups_, &TZvoTreeView::DoubleClicked, this, [this] { DoubleCliquer(); });
  connect(bbEdit_, &QPushButton::clicked, this, [this] { Editer(); });
  connect(bbAjouter_, &QPushButton::clicked, this, [this] { Ajouter(); });
  connect(bbRetirer_, &QPushButton::clicked, this, [this] { Retirer(); });
  connect(bbValider_, &QPushButton::clicked, this, [this] { Valider(); });
  connect(bbAnnuler_, &QPushButton::clicked, this, [this] { Annuler(); });
  connect(bbFermer_, &QPushButton::clicked, this, [this] { Fermer(); });

  mode_ = std::make_unique<TGroupMode>(*this);
  input_ = std::make_unique<TGInpGroup>(*this);

  InstallKeyPreview(this);

  resize(768, 481);
  ApplyTexts();
  ShowAsChild();
  if (SubWindow()) SubWindow()->move(0, 0);
  Affichage();
}

TFormZvoGroups::~TFormZvoGroups() {
  // The controllers' pickers live in this window's pages.
  input_.reset();
  mode_.reset();
}

void TFormZvoGroups::BuildParameters() {
  editGroupe_->setMaxLength(20);
  InstallNameKeyFilter(editGroupe_);
  editResetExt_->setText(QStringLiteral("60"));
  // Enabled with the mode by the controller's own rule.
  labelTgr_->setProperty(TGroupMode::kTag, 1);
  labelTgd_->setProperty(TGroupMode::kTag, 1);

  auto* byZones = new QGridLayout(panelByZones_);
  byZones->setContentsMargins(0, 0, 0, 0);
  byZones->addWidget(Caption(panelByZones_, "LabelEvent"), 0, 0);
  byZones->addWidget(tcEvent_, 0, 1);
  byZones->addWidget(Caption(panelByZones_, "LabelLogic"), 1, 0);
  byZones->addWidget(tcLogic_, 1, 1);
  byZones->setColumnStretch(1, 1);
  auto* pulse = new QHBoxLayout(panelPulsExt_);
  pulse->setContentsMargins(0, 0, 0, 0);
  pulse->addWidget(Caption(panelPulsExt_, "LabelResetExt"));
  pulse->addWidget(editResetExt_);
  pulse->addStretch();
  editResetExt_->setFixedWidth(40);
  editRetard_->setFixedWidth(50);
  cbNumGroupe_->setFixedWidth(60);

  auto* grid = new QGridLayout(panelParametres_);
  grid->addWidget(Caption(panelParametres_, "LabelNumber"), 0, 0);
  grid->addWidget(cbNumGroupe_, 0, 1, Qt::AlignLeft);
  grid->addWidget(Caption(panelParametres_, "LabelRetard"), 0, 2);
  grid->addWidget(editRetard_, 0, 3, Qt::AlignLeft);
  grid->addWidget(Caption(panelParametres_, "LabelGroupe"), 1, 0);
  grid->addWidget(editGroupe_, 1, 1, 1, 3);
  grid->addWidget(Caption(panelParametres_, "LabelType"), 2, 0);
  grid->addWidget(tcType_, 2, 1, 1, 3);
  grid->addWidget(panelByZones_, 3, 0, 1, 4);
  grid->addWidget(panelPulsExt_, 4, 0, 1, 4);
  auto* synthese = Named(new QWidget(panelParametres_), "PanelSynthese");
  auto* summaries = new QGridLayout(synthese);
  summaries->setContentsMargins(0, 0, 0, 0);
  summaries->addWidget(labelTgr_, 0, 0);
  summaries->addWidget(labelTgd_, 0, 1);
  summaries->addWidget(tvTgr_, 1, 0);
  summaries->addWidget(tvTgd_, 1, 1);
  grid->addWidget(synthese, 5, 0, 1, 4);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(3, 1);
  auto* page = new QVBoxLayout(tsParametres_);
  page->addWidget(panelParametres_);
}

void TFormZvoGroups::ApplyTexts() {
  setWindowTitle(Text(kForm, "Groups declaration"));
  static const std::pair<const char*, const char*> kLabels[] = {
      {"LabelGroups", "Groups"},
      {"LabelNumber", "Number"},
      {"LabelRetard", "Activation delay"},
      {"LabelGroupe", "Label"},
      {"LabelType", "Type"},
      {"LabelEvent", "Event"},
      {"LabelLogic", "Logic"},
      {"LabelResetExt", "Panel Reset pulse extension (sec)"},
      {"LabelTgr", "Triggers"},
      {"LabelTgd", "Activated Elements"},
  };
  for (const auto& [name, builtin] : kLabels) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) label->setText(Text(name, builtin));
  }
  pcEdition_->setTabText(0, Text("TSParametres", "Parameters"));
  pcEdition_->setTabText(1, Text("TSTrigger", "Triggers"));
  pcEdition_->setTabText(2, Text("TSTrigged", "Activated Elements"));
  tcType_->SetCaptions({Text("TCType0", "Zone"), Text("TCType1", "Signal/Event")});
  tcEvent_->SetCaptions({Text("TCEvent0", "Alarm"), Text("TCEvent1", "Pre alarm"), Text("TCEvent2", " Fault")});
  tcLogic_->SetCaptions({Text("TCLogic0", " OR"), Text("TCLogic1", " AND"), Text("TCLogic2", "AND of 2")});
  bbFermer_->setText(Text("BBFermer", "&Close"));
  bbEdit_->setText(Text("BBEdit", "&Edit"));
  bbAjouter_->setToolTip(Text("BBAjouter", "Add"));
  bbRetirer_->setToolTip(Text("BBRetirer", "Remove"));
  bbAnnuler_->setText(Text("BBAnnuler", "&Cancel"));
  bbValider_->setText(Text("BBValider", "&OK"));
}

void TFormZvoGroups::Affichage() {
  input_->FillGroupsTree();
  if (tvGroups_->topLevelItemCount() > 0) tvGroups_->setCurrentItem(tvGroups_->topLevelItem(0));
  mode_->Browse();
  editResetExt_->setText(FromAnsi(root_->PulseExtension()->Text()));
  Selectionner();
}

void TFormZvoGroups::Selectionner() {
  tvGroups_->NoteClick();
  if (auto* group = SelectedNodeObject<TGroupe>(tvGroups_)) input_->ShowGroup(group);
}

void TFormZvoGroups::DoubleCliquer() {
  auto* group = SelectedNodeObject<TGroupe>(tvGroups_);
  if (!group) return;
  input_->ShowGroup(group);
  mode_->Edit();
}

void TFormZvoGroups::Editer() { mode_->Edit(); }

void TFormZvoGroups::Ajouter() {
  mode_->Add();
  input_->NewGroup();
}

void TFormZvoGroups::Retirer() {
  if (auto* group = SelectedNodeObject<TGroupe>(tvGroups_)) {
    if (AskQuestion(this, Text("DeleteQuery", "Do you really want to delete this group ?"))) {
      input_->DeleteGroup(group);
      root_->SetModified(true);
    }
  }
  mode_->Refresh();
  Selectionner();
}

void TFormZvoGroups::Valider() {
  std::string message;
  if (!TResPulExt::IsValidMsg(ToAnsi(editResetExt_->text()), message)) {
    pcEdition_->setCurrentWidget(tsParametres_);
    editResetExt_->setFocus();
  } else if (input_->Check(mode_->IsAdding(), message)) {
    input_->Store(mode_->IsAdding());
    root_->PulseExtension()->SetText(ToAnsi(editResetExt_->text()));
    root_->SetModified(true);
    Annuler();
  }
  if (!message.empty()) ShowErrorBox(this, FromAnsi(message));
}

void TFormZvoGroups::Annuler() {
  mode_->Browse();
  // The fields may hold what was just discarded: the selected group is shown afresh.
  input_->Forget();
  Selectionner();
}

void TFormZvoGroups::Fermer() { close(); }

bool TFormZvoGroups::eventFilter(QObject* watched, QEvent* event) {
  if (const QKeyEvent* key = mode_ ? PreviewedRelease(this, watched, event) : nullptr) {
    SurPressionClavier(key->key(), key->modifiers() & Qt::KeypadModifier);
  }
  return TZvoChildForm::eventFilter(watched, event);
}

void TFormZvoGroups::SurPressionClavier(int key, bool keypad) {
  if (key == Qt::Key_Delete || (keypad && key == Qt::Key_Minus)) {
    if (mode_->CanRemove()) Retirer();
  } else if (key == Qt::Key_Insert || (keypad && key == Qt::Key_Plus)) {
    if (mode_->CanAdd()) Ajouter();
  } else if ((key == Qt::Key_Up || key == Qt::Key_Down) && mode_->IsBrowsing()) {
    Selectionner();
  }
}

void TFormZvoGroups::TVGroupsInfoBulle(QPoint pos) {
  auto* group = NodeObjectAt<TGroupe>(tvGroups_, pos);
  const QString hint = group ? FromAnsi(group->CheckText()) : QString();
  if (hint != tvGroups_->toolTip()) {
    tvGroups_->setToolTip(hint);
    QToolTip::hideText();
  }
}
