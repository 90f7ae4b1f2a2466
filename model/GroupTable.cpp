#include "model/GroupTable.h"

TTabGrpDDS::TTabGrpDDS(std::uint8_t* position, int capacity) : position_(position), capacity_(capacity) {
  TTabGrpDDS::Reset();
}

void TTabGrpDDS::ReadImage() {
  for (int i = 0; i < capacity_; ++i) {
    if (position_[i] != 0) Add(position_[i]);
  }
}

void TTabGrpDDS::WriteImage() {
  int i = 0;
  for (int g : groups_) {
    if (i >= capacity_) break;
    position_[i++] = static_cast<std::uint8_t>(g);
  }
  for (; i < capacity_; ++i) position_[i] = 0;
}

void TTabGrpDDS::Add(int group) {
  if (static_cast<int>(groups_.size()) < capacity_) groups_.insert(group);
}

void TTabGrpDDS::Assign(const TTabGrpDDS& other) {
  Reset();
  for (int group : other.groups_) Add(group);
}
