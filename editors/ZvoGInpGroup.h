// Moves one group between the groups window's controls and the site: shows a group,
// prepares a new one, checks the fields in order and stores them with the group's
// memberships, and deletes a group with every membership it has.
#pragma once

#include <memory>
#include <string>

class TFormZvoGroups;
class TGInpElmTgd;
class TGInpElmTgr;
class TGroupe;
class TGstGroups;

class TGInpGroup {
 public:
  explicit TGInpGroup(TFormZvoGroups& window);
  TGInpGroup(const TGInpGroup&) = delete;
  TGInpGroup& operator=(const TGInpGroup&) = delete;
  ~TGInpGroup();

  void FillGroupsTree();
  // Nothing when the group is already the one shown.
  void ShowGroup(TGroupe* group);
  void NewGroup();
  // The first failing check's message, with the page and focus moved to its control.
  bool Check(bool adding, std::string& message);
  // After a successful Check.
  void Store(bool adding);
  void DeleteGroup(TGroupe* group);
  bool IsByZones() const;

  // The user changed the number or the trigger type.
  void NumberChanged();
  void TypeChanged();

  TGroupe* Current() const { return current_; }
  // The next ShowGroup loads its group again, whichever it is.
  void Forget() { current_ = nullptr; }
  TGInpElmTgr& Triggers() const { return *triggers_; }
  TGInpElmTgd& Activated() const { return *activated_; }

 private:
  void LoadFields(TGroupe* group);
  void StoreFields(TGroupe* group);
  void CopySummaries();
  // The group the number field names, or null.
  TGroupe* Numbered() const;
  void FillFreeNumbers();

  TFormZvoGroups& window_;
  TGstGroups* groups_;
  TGroupe* current_ = nullptr;
  std::unique_ptr<TGInpElmTgr> triggers_;
  std::unique_ptr<TGInpElmTgd> activated_;
};
