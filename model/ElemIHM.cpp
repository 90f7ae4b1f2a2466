#include "model/ElemIHM.h"

#include <algorithm>

#include "model/Points.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Format.h"
#include "platform/Texts.h"

std::string TElemIHM::CheckedText() {
  platform::StringList list;
  if (Check(&list)) return {};
  return platform::Trim(list.Text());
}

void TZvoList::Reset() {
  for (TElemIHM* item : items_) item->Reset();
}

void TZvoList::ReadImage() {
  for (TElemIHM* item : items_) item->ReadImage();
}

void TZvoList::WriteImage() {
  for (TElemIHM* item : items_) item->WriteImage();
}

TElemIHM* TZvoList::Item(int index) const {
  return index >= 0 && index < static_cast<int>(items_.size()) ? items_[static_cast<size_t>(index)] : nullptr;
}

int TZvoList::Count() const { return static_cast<int>(items_.size()); }

int TZvoList::UsedCount() const {
  int n = 0;
  for (int i = 0; i < Count(); ++i) {
    if (TElemIHM* item = Item(i); item && item->IsUsed()) ++n;
  }
  return n;
}

int TZvoList::UnusedCount() const {
  int n = 0;
  for (int i = 0; i < Count(); ++i) {
    if (TElemIHM* item = Item(i); item && !item->IsUsed()) ++n;
  }
  return n;
}

TZvoGest::~TZvoGest() { FreeItems(); }

void TZvoGest::FreeItems() {
  // First to last. No item's destructor looks at the list, so it is emptied at once
  // rather than erased from the front, which moved the rest each time.
  std::vector<TElemIHM*> items;
  items.swap(items_);
  for (TElemIHM* item : items) delete item;
}

std::string TLstPoints::CheckText() { return CheckedText(); }

TElemIHM* TLstPoints::RawItem(int index) const {
  if (index < 0 || index >= static_cast<int>(items_.size())) {
    throw platform::Exception(platform::Format("List index out of bounds (%d)", {index}));
  }
  return items_[static_cast<size_t>(index)];
}

TPoints* TLstPoints::PointAt(int index) const { return static_cast<TPoints*>(Item(index)); }

int TLstPoints::AddPoint(TPoints* point) {
  auto it = std::find(items_.begin(), items_.end(), point);
  if (it != items_.end()) return static_cast<int>(it - items_.begin());
  items_.push_back(point);
  return static_cast<int>(items_.size()) - 1;
}

void TLstPoints::RemovePoint(TPoints* point) {
  auto it = std::find(items_.begin(), items_.end(), point);
  if (it != items_.end()) items_.erase(it);
}

std::string TLstPoints::CountCaption() const {
  int n = Count();
  if (n == 0) return platform::LoadStr(192);
  return platform::Format("%d %s", {n, platform::LoadStr(n == 1 ? 193 : 194)});
}
