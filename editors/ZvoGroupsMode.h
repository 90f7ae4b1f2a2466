// Which of its three modes the groups window is in, and what each mode enables: browse
// (choose a group; add, remove, edit), edit and add (the group tree locked, the editing
// pages open with Cancel and OK).
#pragma once

class TFormZvoGroups;

class TGroupMode {
 public:
  static constexpr int kNone = 0;
  static constexpr int kBrowse = 1;
  static constexpr int kEdit = 2;
  static constexpr int kAdd = 3;
  // A control of the parameters panel with this property non-zero keeps its enabled state.
  static constexpr const char* kTag = "kvxTag";

  explicit TGroupMode(TFormZvoGroups& window) : window_(window) {}
  TGroupMode(const TGroupMode&) = delete;
  TGroupMode& operator=(const TGroupMode&) = delete;

  void Browse();
  void Edit();
  void Add();
  void Refresh() { SetMode(mode_); }
  void SetMode(int mode);

  int Mode() const { return mode_; }
  bool IsBrowsing() const { return mode_ == kBrowse; }
  bool IsAdding() const { return mode_ == kAdd; }
  bool CanAdd() const;
  bool CanRemove() const;
  bool CanEdit() const { return CanRemove(); }

 private:
  TFormZvoGroups& window_;
  int mode_ = kNone;
};
