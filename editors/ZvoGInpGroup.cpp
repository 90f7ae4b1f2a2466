#include "editors/ZvoGInpGroup.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabWidget>

#include "editors/ChoiceTabs.h"
#include "editors/FormBits.h"
#include "editors/FormDragList.h"
#include "editors/FormZvoGroups.h"
#include "editors/TreeImages.h"
#include "editors/ZvoGInpElmGrp.h"
#include "model/Groupes.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/StringList.h"
#include "shell/UiText.h"

namespace {

void SetText(QLineEdit* edit, const QString& text) {
  const QSignalBlocker blocker(edit);
  edit->setText(text);
}

// The page shown and the control focused for a failed check.
void FocusOn(QTabWidget* pages, QWidget* page, QWidget* control) {
  pages->setCurrentWidget(page);
  control->setFocus();
}

}  // namespace

TGInpGroup::TGInpGroup(TFormZvoGroups& window)
    : window_(window),
      groups_(GstGroupsInstance),
      triggers_(std::make_unique<TGInpElmTgr>(window.TSTrigger(), &TreeImages(), &StateImages())),
      activated_(std::make_unique<TGInpElmTgd>(window.TSTrigged(), &TreeImages(), &StateImages())) {
  // The user's changes only: the program fills these fields itself.
  QComboBox* number = window.CBNumGroupe();
  QObject::connect(number->lineEdit(), &QLineEdit::textEdited, &window, [this] { NumberChanged(); });
  QObject::connect(number, &QComboBox::activated, &window, [this] { NumberChanged(); });
  QObject::connect(window.TCType(), &TChoiceTabs::Changed, &window, [this] { TypeChanged(); });
}

TGInpGroup::~TGInpGroup() {
  QObject::disconnect(window_.CBNumGroupe()->lineEdit(), &QLineEdit::textEdited, &window_, nullptr);
  QObject::disconnect(window_.CBNumGroupe(), &QComboBox::activated, &window_, nullptr);
  QObject::disconnect(window_.TCType(), &TChoiceTabs::Changed, &window_, nullptr);
}

void TGInpGroup::FillGroupsTree() { RenseigneTree(*groups_, window_.TVGroups(), nullptr, false); }

void TGInpGroup::FillFreeNumbers() {
  platform::StringList free;
  groups_->FillFreeGroups(free);
  ::Fill(window_.CBNumGroupe(), free);
}

void TGInpGroup::ShowGroup(TGroupe* group) {
  if (group == current_) return;
  current_ = group;
  FillFreeNumbers();
  LoadFields(group);
  CopySummaries();
}

void TGInpGroup::LoadFields(TGroupe* group) {
  {
    QComboBox* number = window_.CBNumGroupe();
    const QSignalBlocker blocker(number);
    number->setEditText(QString::number(group->Number()));
  }
  SetText(window_.EditGroupe(), FromAnsi(group->Label()));
  SetText(window_.EditRetard(), FromAnsi(group->Delay()));
  window_.TCType()->SetIndex(group->TriggerType() - 1);
  TypeChanged();
  activated_->Load(group->Number());
}

bool TGInpGroup::IsByZones() const { return window_.TCType()->Index() == 0; }

void TGInpGroup::TypeChanged() {
  const bool byZones = IsByZones();
  if (byZones && current_) {
    window_.TCEvent()->SetIndex(current_->ZoneEvent() - 1);
    window_.TCLogic()->SetIndex(current_->ZoneLogic() - 1);
  } else {
    window_.TCEvent()->SetIndex(-1);
    window_.TCLogic()->SetIndex(-1);
  }
  window_.PanelByZones()->setVisible(byZones);
  window_.PanelPulsExt()->setVisible(!byZones);
  if (current_) triggers_->Load(current_->Number(), byZones);
}

TGroupe* TGInpGroup::Numbered() const {
  int n = 0;
  if (!platform::TryStrToInt(ToAnsi(window_.CBNumGroupe()->currentText()), n)) return nullptr;
  return groups_->GetGroup(n - 1);
}

void TGInpGroup::NumberChanged() {
  TGroupe* group = Numbered();
  if (group && group->IsUsed()) LoadFields(group);
}

void TGInpGroup::CopySummaries() {
  triggers_->Picker().CopyDestinationTo(window_.TVTgr());
  activated_->Picker().CopyDestinationTo(window_.TVTgd());
}

void TGInpGroup::NewGroup() {
  QComboBox* number = window_.CBNumGroupe();
  FillFreeNumbers();
  {
    const QSignalBlocker blocker(number);
    if (number->count() > 0) {
      number->setCurrentIndex(0);
    } else {
      number->setEditText(QStringLiteral("1"));
    }
  }
  current_ = Numbered();
  if (!current_) return;
  SetText(window_.EditRetard(), FromAnsi(TGroupe::DefaultDelay()));
  window_.TCType()->SetIndex(0);
  window_.TCEvent()->SetIndex(0);
  window_.TCLogic()->SetIndex(0);
  TypeChanged();
  activated_->Load(current_->Number());
  CopySummaries();
}

bool TGInpGroup::Check(bool adding, std::string& message) {
  message.clear();
  QTabWidget* pages = window_.PCEdition();
  QWidget* parameters = window_.TSParametres();
  const std::string numberText = ToAnsi(window_.CBNumGroupe()->currentText());
  if (!TGstGroups::CheckGroupNumber(numberText, message)) {
    FocusOn(pages, parameters, window_.CBNumGroupe());
    return false;
  }
  TGroupe* group = Numbered();
  const int n = group->Number();
  if ((adding || !current_ || n != current_->Number()) && group->IsUsed()) {
    message = platform::Format(ToAnsi(TFormZvoGroups::Text("Exists", "Group %2.2d already exists.")), {n});
    FocusOn(pages, parameters, window_.CBNumGroupe());
  }
  if (message.empty()) {
    const bool byZones = IsByZones();
    bool typeAndLogicPassed = false;
    if (!group->CheckTriggerType(window_.TCType()->Index() + 1, message)) {
      FocusOn(pages, parameters, window_.TCType());
    } else if (!group->CheckZoneEvent(byZones, window_.TCEvent()->Index() + 1, message)) {
      FocusOn(pages, parameters, window_.TCEvent());
    } else if (!group->CheckZoneLogic(byZones, window_.TCLogic()->Index() + 1, message)) {
      FocusOn(pages, parameters, window_.TCLogic());
    } else {
      typeAndLogicPassed = true;
      if (!group->CheckDelay(ToAnsi(window_.EditRetard()->text()), message)) {
        FocusOn(pages, parameters, window_.EditRetard());
      } else if (!triggers_->CheckTriggers(message)) {
        FocusOn(pages, window_.TSTrigger(), triggers_->Picker().SourceTree());
      } else if (!activated_->CheckActivated(message)) {
        FocusOn(pages, window_.TSTrigged(), activated_->Picker().SourceTree());
      }
    }
    const int logic = window_.TCLogic()->Index();
    if (typeAndLogicPassed && (logic == 1 || logic == 2)) {
      std::string single;
      if (!triggers_->CheckNotSingle(single)) {
        message = single;
        FocusOn(pages, parameters, window_.TCLogic());
      }
    }
  }
  return message.empty();
}

void TGInpGroup::StoreFields(TGroupe* group) {
  group->SetLabel(ToAnsi(window_.EditGroupe()->text()));
  const int type = window_.TCType()->Index() + 1;
  if (TGroupe::IsValidTriggerType(type)) group->SetTriggerType(static_cast<std::uint8_t>(type));
  group->SetDelay(ToAnsi(window_.EditRetard()->text()));
  if (IsByZones()) {
    const int event = window_.TCEvent()->Index() + 1;
    const int logic = window_.TCLogic()->Index() + 1;
    if (TGroupe::IsValidZoneEvent(false, event)) group->SetZoneEvent(static_cast<std::uint8_t>(event));
    if (TGroupe::IsValidZoneLogic(false, logic)) group->SetZoneLogic(static_cast<std::uint8_t>(logic));
  } else {
    group->SetZoneEvent(0);
    group->SetZoneLogic(0);
  }
  triggers_->Apply(group->Number());
  activated_->Apply(group->Number());
}

void TGInpGroup::Store(bool adding) {
  TGroupe* group = Numbered();
  if (!group) return;
  TZvoTreeView* tree = window_.TVGroups();
  if (adding) {
    StoreFields(group);
    AddNodeOnce(tree, group);
  } else if (current_ && group == current_) {
    StoreFields(current_);
    RefreshNode(tree, current_, false);
  } else if (current_) {
    TGroupe* old = current_;
    DeleteGroup(old);
    StoreFields(group);
    DeleteNodeOfObject(tree, old);
    AddNodeTree(tree, group);
  }
  current_ = nullptr;
}

void TGInpGroup::DeleteGroup(TGroupe* group) {
  triggers_->ClearGroup(group->Number());
  activated_->ClearGroup(group->Number());
  group->Reset();
  DeleteNodeOfObject(window_.TVGroups(), group);
}
