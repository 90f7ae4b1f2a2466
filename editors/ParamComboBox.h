// Drop-down lists wide enough for their longest item while the box keeps its width.
#pragma once

#include <QComboBox>

// Sets the width of the box's drop-down list (the minimum width of its popup view) and
// answers the width computed: minimumWidth as given when it is at least the box's current
// width; otherwise the larger of minimumWidth and the widest item, measured in the box's
// font at normal weight, plus the room of the list's scroll bar. The list never becomes
// narrower than the box (Qt's popup, like the system's, never is); a negative result
// applies as 0.
int AdjustDropDownWidth(int minimumWidth, QComboBox* box);

// A combo box that tells when its list is about to drop down, as the system's does.
class TDropDownComboBox : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;
  void showPopup() override;

 signals:
  void DropDown();
};
