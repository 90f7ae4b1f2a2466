// The points window's zone box and zone nodes: the fields of one zone, its checks, and
// the stores and moves that change zones, with the zone view's nodes kept in step.
#pragma once

#include <QString>

class TFormZvoPoints;
class TGstZones;
class TPoints;
class TZones;

class TGInpZone {
 public:
  explicit TGInpZone(TFormZvoPoints& window);
  ~TGInpZone();
  TGInpZone(const TGInpZone&) = delete;
  TGInpZone& operator=(const TGInpZone&) = delete;

  // The user's change of the number: the fields of the zone in use under it.
  void NumberChanged();
  void LoadFields(const TZones& zone);
  void StoreFields(TZones& zone) const;
  void Reload();
  void SelectZone(TZones* zone);
  void SelectPointZone(const TPoints* point);
  // The zones in use to choose from, the first shown with its fields (a fresh zone's
  // when none is in use).
  void PrepareNumber();
  bool Check();
  void Store();
  void DeleteZone(TZones* zone);
  void DeletePoint(TPoints* point);
  void MovePoint(TPoints* point, TZones* zone);
  void MergeZone(TZones* source, TZones* destination);
  // Step 4 of the store: the point after arrives in the zone of the number shown.
  void StoreInto(TZones* zone);

  // The point as it was before a store and as it is after (another one when the address changed).
  void SetPoints(TPoints* before, TPoints* after) {
    pointBefore_ = before;
    pointAfter_ = after;
  }
  TZones* CurrentZone() const { return zone_; }

 private:
  // The number the box shows; 0 when it holds none.
  int ShownNumber() const;
  TZones* ShownZone() const;
  bool ZoneAloneEdited() const;
  bool ZoneView() const;
  // The zone's node after a point left it: gone with its last point, else refreshed.
  void AfterPointLeft(TZones* zone, TPoints* point);
  void ShowFields(const QString& number, const QString& label, bool preAlarm);

  TFormZvoPoints& window_;
  TGstZones* zones_;
  TZones* zone_ = nullptr;
  TPoints* pointBefore_ = nullptr;
  TPoints* pointAfter_ = nullptr;
};
