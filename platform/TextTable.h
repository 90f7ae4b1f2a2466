// A constant table of numbered texts, sorted by number (generated at build time).
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

struct TextRow {
  int id;
  const char* text;
};

// Binary search in a sorted table; nullptr when the number is absent.
const char* FindTextRow(const TextRow* rows, std::size_t count, int id);

}  // namespace platform
