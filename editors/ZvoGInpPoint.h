// The points window's point box and the line view's point nodes: the fields of one point,
// the automatic label, the checks of an address, and the stores of an edited or new point.
#pragma once

#include <QString>

class TElemIHM;
class TFormZvoPoints;
class TGstPoints;
class TLignes;
class TPoints;

class TGInpPoint {
 public:
  explicit TGInpPoint(TFormZvoPoints& window);
  TGInpPoint(const TGInpPoint&) = delete;
  TGInpPoint& operator=(const TGInpPoint&) = delete;

  void LoadFields(const TPoints& point);
  void Reload();
  void SelectPoint(TPoints* point);
  // A new point placed by the selected element: a line, a zone, a point (the next free
  // address after it) or nothing.
  void PrepareAdd(TElemIHM* selected);
  void PrepareNew();
  // The first 16 characters of the identification, a blank and the address shown.
  QString AutoLabel() const;
  void RefreshAutoLabel();
  // The identification's rule on the zone-alarm output.
  void TypeChanged();
  bool CheckEdit();
  void StoreEdit();
  bool CheckAdd();
  void StoreAdd();

  TPoints* CurrentPoint() const { return point_; }
  TLignes* CurrentLine() const { return line_; }
  const QString& RememberedAutoLabel() const { return autoLabel_; }

 private:
  // The point at the address shown; null when the text names none.
  TPoints* ShownPoint() const;
  // The code of the chosen identification; -1 when none is chosen.
  int ShownType() const;
  void FillFreeAddresses();
  // The address check of an edit (the edited point keeps its own address) or of an add.
  bool CheckAddress(bool editing);
  void StoreFields(TPoints& point) const;
  void StoreNew(TPoints& point);

  TFormZvoPoints& window_;
  TGstPoints* points_;
  TPoints* point_ = nullptr;
  TLignes* line_ = nullptr;
  QString autoLabel_;
};
