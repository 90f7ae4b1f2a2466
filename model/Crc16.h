// The CRC-16 that protects the site image (bytes 0..10319, stored little-endian in
// 10320-10321) and answers the panel's request. Its polynomial and final XOR follow the
// program's panel type at the moment the object is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/ElemDDS.h"

class TZavo;

class TCrc16DDS : public TElemDDS {
 public:
  TCrc16DDS();
  // Raises text 98 when the stored CRC differs from the computed one.
  void ReadImage() override;
  void WriteImage() override;
  std::uint16_t Compute(const std::uint8_t* buffer, std::size_t count) const;
  // The CRC a save would store, as four lower-case hex digits: the stored one while the
  // site is unmodified. Leaves the image and the modified flag as they were.
  static std::string SignatureText(TZavo& root);

  std::uint16_t Polynomial() const { return polynomial_; }
  std::uint16_t FinalXor() const { return finalXor_; }

 private:
  std::uint16_t polynomial_;
  std::uint16_t finalXor_;
  int variant_;  // 0..3, from the panel type when made
};
