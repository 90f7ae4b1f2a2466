// The groups an element triggers or is activated by: an ascending set of group
// numbers stored as one byte each in a fixed number of image bytes, zeros after the last.
#pragma once

#include <cstdint>
#include <set>

#include "model/ElemDDS.h"

class TTabGrpDDS : public TElemDDS {
 public:
  TTabGrpDDS(std::uint8_t* position, int capacity);
  void Reset() override { groups_.clear(); }
  // Adds the image's numbers to what the set holds.
  void ReadImage() override;
  void WriteImage() override;

  // Ignored when the table is full.
  void Add(int group);
  // The other table's groups in place of these, as many as this one holds.
  void Assign(const TTabGrpDDS& other);
  void Remove(int group) { groups_.erase(group); }
  bool Contains(int group) const { return groups_.count(group) != 0; }
  int FreePlaces() const { return capacity_ - static_cast<int>(groups_.size()); }
  bool Empty() const { return groups_.empty(); }
  const std::set<int>& Groups() const { return groups_; }

 private:
  std::set<int> groups_;
  std::uint8_t* position_;
  int capacity_;
};
