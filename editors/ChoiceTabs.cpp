#include "editors/ChoiceTabs.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

TChoiceTabs::TChoiceTabs(QWidget* parent) : QWidget(parent), group_(new QButtonGroup(this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addStretch();
  connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
    // A click on the chosen entry keeps it chosen: no change.
    if (id != last_) {
      last_ = id;
      emit Changed(id);
    }
  });
}

void TChoiceTabs::SetCaptions(const QStringList& captions) {
  auto* row = static_cast<QHBoxLayout*>(layout());
  for (int i = 0; i < captions.size(); ++i) {
    if (i >= Count()) {
      auto* button = new QPushButton(this);
      button->setCheckable(true);
      button->setObjectName(objectName() + QString::number(i));
      group_->addButton(button, i);
      row->insertWidget(i, button);
      buttons_.push_back(button);
    }
    buttons_[static_cast<std::size_t>(i)]->setText(captions[i]);
  }
  setFocusProxy(buttons_.empty() ? nullptr : buttons_.front());
  SetIndex(Index());
}

int TChoiceTabs::Index() const { return group_->checkedId(); }

void TChoiceTabs::SetIndex(int index) {
  if (index >= 0 && index < Count()) {
    buttons_[static_cast<std::size_t>(index)]->setChecked(true);
  } else if (QAbstractButton* checked = group_->checkedButton()) {
    // An exclusive group never unchecks its last checked button.
    group_->setExclusive(false);
    checked->setChecked(false);
    group_->setExclusive(true);
  }
  last_ = Index();
}

QPushButton* TChoiceTabs::Button(int index) const {
  return index >= 0 && index < Count() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}
