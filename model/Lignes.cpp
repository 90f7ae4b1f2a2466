#include "model/Lignes.h"

#include <set>

#include "model/Points.h"
#include "model/SiteImage.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::Format;
using platform::FmtLoadStr;
using platform::LoadStr;

TGstLignes* GstLignesInstance = nullptr;

namespace {
constexpr std::size_t kLineSystemOffset = 272;
}

TLignes::TLignes(int index) : number_(index + 1) { RefreshPoints(); }

void TLignes::RefreshPoints() {
  if (GstPointsInstance) GstPointsInstance->FillLinePoints(number_, *this);
}

int TLignes::ZoneCount() const {
  std::set<int> zones;
  for (TElemIHM* item : items_) zones.insert(static_cast<TPoints*>(item)->ZoneNumber());
  return static_cast<int>(zones.size());
}

std::string TLignes::Caption() const {
  std::string caption = Format("%s - %s", {ShortName(), CountCaption()});
  int n = ZoneCount();
  if (n > 0) caption = Format("%s - %d %s", {caption, n, LoadStr(n == 1 ? 160 : 161)});
  return caption;
}

std::string TLigne::ShortName() const { return Format("%s%1.1d", {LoadStr(151), number_}); }

bool TLigne::Check(platform::StringList* list) {
  int id = 0;
  if (Count() == 0) {
    id = 157;
  } else if (Count() > 32) {
    id = 158;
  }
  if (id == 0) return true;
  if (list) list->Add(FmtLoadStr(id, {number_}));
  return false;
}

std::string TBoucle::ShortName() const { return Format("%s%1.1d", {LoadStr(150), number_}); }

bool TBoucle::Check(platform::StringList* list) {
  if (Count() != 0) return true;
  if (list) list->Add(FmtLoadStr(156, {number_}));
  return false;
}

TGstLignes::TGstLignes() {
  GstLignesInstance = this;
  TGstLignes::Reset();
}

TGstLignes::~TGstLignes() {
  if (GstLignesInstance == this) GstLignesInstance = nullptr;
}

void TGstLignes::Reset() {
  loopSystem_ = true;
  BuildLines();
}

void TGstLignes::ReadImage() {
  SetLoopSystem(SiteImage[kLineSystemOffset] != 0);
  TZvoList::ReadImage();
}

void TGstLignes::WriteImage() { SiteImage[kLineSystemOffset] = loopSystem_ ? 1 : 0; }

TLignes* TGstLignes::GetLine(int index) const { return static_cast<TLignes*>(Item(index)); }

void TGstLignes::BuildLines() {
  FreeItems();
  int count = loopSystem_ ? 2 : 4;
  for (int i = 0; i < count; ++i) {
    if (loopSystem_) {
      items_.push_back(new TBoucle(i));
    } else {
      items_.push_back(new TLigne(i));
    }
  }
}

void TGstLignes::SetLoopSystem(bool loops) {
  if (loops == loopSystem_) return;
  loopSystem_ = loops;
  BuildLines();
  if (GstPointsInstance) GstPointsInstance->RemapLines(loops);
  for (TElemIHM* item : items_) static_cast<TLignes*>(item)->RefreshPoints();
}

void TGstLignes::FillSystemList(platform::StringList& list) {
  list.Clear();
  list.Add(LoadStr(148));
  list.Add(LoadStr(149));
}

std::string TGstLignes::PluralTitle() const { return LoadStr(loopSystem_ ? 152 : 153); }
