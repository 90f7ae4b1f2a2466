// The two pickers of the groups window: the elements that trigger a group (zones, or
// signals and events) and the elements it activates (points, relays, breaking functions).
// Each holds the elements not in the group ("available") and those in it ("selected");
// membership is the group's number in the element's group table. Messages are in the
// model's code page, as the model's own.
#pragma once

#include <string>

#include "editors/TreeElem.h"
#include "editors/ZvoTreeView.h"

class QWidget;
class TFormDragList;
class TFoncBrk;
class TGstPoints;
class TGstRelais;
class TGstSigEvt;
class TGstZones;

class TGInpElmGrp {
 public:
  // The picker fills the host control.
  TGInpElmGrp(QWidget* host, const TImageList* images, const TImageList* states);
  TGInpElmGrp(const TGInpElmGrp&) = delete;
  TGInpElmGrp& operator=(const TGInpElmGrp&) = delete;
  virtual ~TGInpElmGrp();

  // Takes group n out of every element of the picker's kinds.
  virtual void ClearGroup(int n) = 0;
  virtual void Apply(int n) = 0;

  TFormDragList& Picker() const { return *picker_; }
  TTreeList& Source() { return source_; }
  TTreeList& Destination() { return destination_; }

 protected:
  // The picker's trees back into the lists; answers how many are selected.
  int StoredCount();
  // Frees every element of both lists, and the nodes of both trees.
  void Clear();
  // The element goes to the selected side when its table holds n.
  void Place(TTreeGroupe* element, int n);
  void ApplyLists(int n);
  void LoadPicker(bool single);

  TFormDragList* picker_;
  const TImageList* images_;
  const TImageList* states_;
  TTreeList source_;
  TTreeList destination_;
};

// The triggers: the zones in use, or one signal or event.
class TGInpElmTgr : public TGInpElmGrp {
 public:
  TGInpElmTgr(QWidget* host, const TImageList* images, const TImageList* states);

  void Load(int n, bool byZones);
  bool CheckTriggers(std::string& message);
  // Fails on exactly one selected zone (logic AND and AND of 2 need two).
  bool CheckNotSingle(std::string& message);
  // The group's triggers are then of the loaded kind only.
  void Apply(int n) override;
  void ClearGroup(int n) override;

 private:
  void RemoveFromZones(int n);
  void RemoveFromSignals(int n);

  TGstZones* zones_;
  TGstSigEvt* signals_;
  bool byZones_ = true;
};

// The activated elements: points (of the types a group may drive), relays, and the
// breaking functions that are off.
class TGInpElmTgd : public TGInpElmGrp {
 public:
  TGInpElmTgd(QWidget* host, const TImageList* images, const TImageList* states);

  void Load(int n);
  bool CheckActivated(std::string& message);
  void Apply(int n) override;
  void ClearGroup(int n) override;

  // Point types a group never activates.
  static bool IsActivatable(int pointType);

 private:
  // Breaking function 1 or 2 when it can serve groups: in use and not enabled.
  TFoncBrk* ServingFunction(int number) const;

  TGstPoints* points_;
  TGstRelais* relays_;
};
