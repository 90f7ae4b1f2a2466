// Texts of the serial library's codes: error codes (negative), status and log texts
// (positive). Look-ups go by absolute value, so -2001 and 2001 name the same text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/TextTable.h"

namespace platform {
// Generated from serial/codes.txt at build time, sorted by absolute code.
extern const TextRow SlMessageNumberLookup[];
extern const std::size_t SlMessageNumberLookupCount;
}  // namespace platform

// Longest text SioLoadStr returns.
constexpr std::size_t kSioMaxText = 255;

// The code table's text alone; empty when the code has no row.
std::string_view MessageNumberToString(std::int32_t code) noexcept;

// The table's text, or the C library's error text for |code| when the table has none;
// empty when neither knows the code. At most kSioMaxText characters.
std::string SioLoadStr(std::int32_t code);
std::string ErrorMsg(std::int32_t code);

// SioLoadStr copied into buffer (size bytes, zero-terminated, cut to fit); returns buffer.
char* SioLoadZ(char* buffer, std::size_t size, std::int32_t code);

// Tidies a system message for one-line display: cut to kSioMaxText characters, control
// characters (line breaks included) become blanks, runs of blanks shrink to one.
std::string SioCleanSystemText(std::string_view text);
