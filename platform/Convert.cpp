#include "platform/Convert.h"

#include "platform/Exception.h"

namespace platform {

bool TryStrToInt(std::string_view text, int& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return false;
    v = v * base + d;
    if (v > 0x80000000LL) return false;
  }
  if (negative) v = -v;
  if (v > 0x7FFFFFFFLL || v < -0x80000000LL) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(std::string_view text) {
  int v = 0;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

int StrToIntDef(std::string_view text, int def) {
  int v = 0;
  return TryStrToInt(text, v) ? v : def;
}

bool IsDecimalDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace platform
