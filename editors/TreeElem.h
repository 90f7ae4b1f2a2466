// The objects behind the nodes of the two-tree picker: each stands for one site element
// and knows whether it is on the "selected" side, where it stood when the picker was
// loaded, and what moving it to one side or the other does to the site. None owns the
// site element it refers to.
#pragma once

#include <string>
#include <vector>

class TTabGrpDDS;
class TZones;
class TSigEvt;
class TPoints;
class TRelais;
class TFoncBrk;

class TTreeElem {
 public:
  TTreeElem() = default;
  TTreeElem(const TTreeElem&) = delete;
  TTreeElem& operator=(const TTreeElem&) = delete;
  virtual ~TTreeElem() = default;

  virtual std::string Caption() { return {}; }
  virtual std::string Hint() { return {}; }
  virtual int ImageIndex() { return -1; }
  virtual int StateIndex() { return -1; }
  virtual bool CanMove() { return true; }
  virtual bool IsSelected() const { return selected_; }
  virtual void ApplySelected(int /*argument*/) {}
  virtual void ApplyUnselected(int /*argument*/) {}
  virtual void ApplyState(int /*kind*/) {}
  virtual void InitSelected(bool value);
  virtual void SetSelected(bool value) { selected_ = value; }
  virtual bool Accept(int /*filter*/) { return true; }

  bool InitiallySelected() const { return initial_; }

 protected:
  bool initial_ = false;
  bool selected_ = false;
};

// Owns its children.
class TTreeList : public TTreeElem {
 public:
  TTreeList() = default;
  ~TTreeList() override { FreeItems(); }

  void ApplySelected(int argument) override;
  void ApplyUnselected(int argument) override;
  void ApplyState(int kind) override;
  void InitSelected(bool value) override;
  void SetSelected(bool value) override;

  // The target then refers to the children that match; this list keeps owning them.
  virtual void CollectInto(TTreeList& target, int filter, bool wanted);
  virtual int CountMatching(int filter, bool wanted);

  void Add(TTreeElem* child) { items_.push_back(child); }
  // Empties the list without freeing the children (a list that only refers to them).
  void Release() { items_.clear(); }
  void FreeItems();
  const std::vector<TTreeElem*>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<TTreeElem*> items_;
};

// An element bound to its group table: moving it in adds the group, moving it out removes it.
class TTreeGroupe : public TTreeElem {
 public:
  explicit TTreeGroupe(TTabGrpDDS* table) : table_(table) {}
  // 1 + the places left once the pending move is applied.
  int StateIndex() override;
  // Always when it was selected at loading, so it can be taken out and put back.
  bool CanMove() override;
  void ApplySelected(int group) override;
  void ApplyUnselected(int group) override;

  TTabGrpDDS* Table() const { return table_; }

 private:
  TTabGrpDDS* table_;
};

class TTreeGrpZone : public TTreeGroupe {
 public:
  explicit TTreeGrpZone(TZones* zone);
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  TZones* Zone() const { return zone_; }

 private:
  TZones* zone_;
};

class TTreeGrpSiEv : public TTreeGroupe {
 public:
  explicit TTreeGrpSiEv(TSigEvt* signal);
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  TSigEvt* Signal() const { return signal_; }

 private:
  TSigEvt* signal_;
};

class TTreeGrpPoint : public TTreeGroupe {
 public:
  explicit TTreeGrpPoint(TPoints* point);
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  TPoints* Point() const { return point_; }

 private:
  TPoints* point_;
};

class TTreeGrpRelai : public TTreeGroupe {
 public:
  explicit TTreeGrpRelai(TRelais* relay);
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  TRelais* Relay() const { return relay_; }

 private:
  TRelais* relay_;
};

class TTreeGrpFonBrk : public TTreeGroupe {
 public:
  explicit TTreeGrpFonBrk(TFoncBrk* function);
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  TFoncBrk* Function() const { return function_; }

 private:
  TFoncBrk* function_;
};

// A point's part in one security function; kinds 0 evacuation, 1 and 2 the breaking functions.
class TTreeFonPoint : public TTreeElem {
 public:
  TTreeFonPoint(TPoints* point, bool selected);
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  void ApplyState(int kind) override;
  // Filter 0 takes every point, else the points of that category.
  bool Accept(int filter) override;
  TPoints* Point() const { return point_; }

 private:
  TPoints* point_;
};

// A zone that triggers the line of sounders when selected.
class TTreeZone : public TTreeElem {
 public:
  explicit TTreeZone(TZones* zone) : zone_(zone) {}
  std::string Caption() override;
  std::string Hint() override;
  int ImageIndex() override;
  void ApplySelected(int argument) override;
  void ApplyUnselected(int argument) override;
  TZones* Zone() const { return zone_; }

 private:
  TZones* zone_;
};
