// The points window's state: a mask of what is shown, enabled and focused. The browsing
// states follow the tree's selection, the editing and adding states the user's commands.
#pragma once

#include <cstdint>

class TFormZvoPoints;
class TLignes;

class TCtrlMode {
 public:
  // Bits of the state.
  static constexpr std::uint16_t kBrowsing = 0x0001;
  static constexpr std::uint16_t kEditButton = 0x0002;
  static constexpr std::uint16_t kAddButton = 0x0004;
  static constexpr std::uint16_t kRemoveButton = 0x0008;
  static constexpr std::uint16_t kEditPanel = 0x0010;
  static constexpr std::uint16_t kAdding = 0x0020;
  static constexpr std::uint16_t kZoneShown = 0x0040;
  static constexpr std::uint16_t kZoneEdited = 0x0080;
  static constexpr std::uint16_t kPointShown = 0x0100;
  static constexpr std::uint16_t kPointEdited = 0x0200;
  static constexpr std::uint16_t kFromZone = 0x1000;

  // The states.
  static constexpr std::uint16_t kLineSelected = 13;
  static constexpr std::uint16_t kZoneSelected = 79;
  static constexpr std::uint16_t kPointSelected = 335;
  static constexpr std::uint16_t kZoneEditing = 208;
  static constexpr std::uint16_t kPointEditing = 976;
  static constexpr std::uint16_t kAddingFromLine = 1008;
  static constexpr std::uint16_t kAddingFromZone = 5104;

  explicit TCtrlMode(TFormZvoPoints& window) : window_(window) {}
  TCtrlMode(const TCtrlMode&) = delete;
  TCtrlMode& operator=(const TCtrlMode&) = delete;

  void SelectLine(const TLignes* line);
  void SelectZone();
  void SelectPoint();
  void Edit();
  void Add();
  void Cancel();
  void SetState(std::uint16_t mask);

  std::uint16_t State() const { return state_; }
  bool Has(std::uint16_t bits) const { return (state_ & bits) == bits; }
  bool Removable() const { return removable_; }
  bool CanRemove() const { return Has(kRemoveButton) && removable_; }
  bool CanAdd() const;
  void UpdateNext();

 private:
  TFormZvoPoints& window_;
  std::uint16_t state_ = kLineSelected;
  bool removable_ = false;
};
