// Small helpers shared by the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// The message of the exception the call raises, or "" when it raises none.
template <typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

// The site CRC written out independently of the site code, so that the code is checked
// against something other than itself.
inline std::uint16_t ReferenceCrc(const std::uint8_t* data, std::size_t count, std::uint16_t poly,
                                  std::uint16_t xorOut) {
  unsigned crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1U) ? (crc >> 1) ^ poly : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc ^ xorOut);
}

// The CRC of a site image at panel type 7, over its first 10320 bytes.
inline std::uint16_t ReferenceSiteCrc7(const std::uint8_t* image) { return ReferenceCrc(image, 10320, 0xA001, 0x5EF1); }

// Image bytes as a text, zero bytes included.
inline std::string RawText(const std::uint8_t* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }
