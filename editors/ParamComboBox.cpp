#include "editors/ParamComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

int AdjustDropDownWidth(int minimumWidth, QComboBox* box) {
  QAbstractItemView* view = box->view();
  int width = minimumWidth;
  if (width < box->width()) {
    // Face and size of the box's font and nothing else: a bold box measures as a plain one.
    QFont font = box->font();
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    const QFontMetrics metrics(font, box);
    for (int i = 0; i < box->count(); ++i) width = std::max(width, metrics.horizontalAdvance(box->itemText(i)));
    // Room for the list's vertical scroll bar (its width) and a margin of the height of its
    // thumb, the smallest the slider gets: the two allowances the system metrics give.
    const QScrollBar* bar = view->verticalScrollBar();
    const QStyle* style = bar->style();
    width += style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar) +
             style->pixelMetric(QStyle::PM_ScrollBarSliderMin, nullptr, bar);
  }
  view->setMinimumWidth(std::max(width, 0));
  return width;
}

void TDropDownComboBox::showPopup() {
  emit DropDown();
  QComboBox::showPopup();
}
