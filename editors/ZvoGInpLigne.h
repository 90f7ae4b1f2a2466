// The line view's line nodes: deleting a line's points, moving points between lines.
#pragma once

class TFormZvoPoints;
class TLignes;
class TPoints;

class TGInpLigne {
 public:
  explicit TGInpLigne(TFormZvoPoints& window);
  TGInpLigne(const TGInpLigne&) = delete;
  TGInpLigne& operator=(const TGInpLigne&) = delete;

  void DeleteLinePoints(TLignes* line);
  void DeletePoint(TPoints* point);
  void MovePoint(TPoints* point, TLignes* line);
  void MergeLine(TLignes* source, TLignes* destination);

 private:
  TFormZvoPoints& window_;
};
