#include "serial/SlStrMap.h"

#include <cstring>

namespace {

std::int64_t AbsCode(std::int64_t code) { return code < 0 ? -code : code; }

// strerror_r comes in two flavours (XSI returns int, GNU returns the text).
[[maybe_unused]] const char* StrErrorResult(int rc, const char* buffer) { return rc == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* StrErrorResult(const char* text, const char*) { return text; }

std::string StrError(int number) {
  char buffer[256] = {};
  const char* text = StrErrorResult(strerror_r(number, buffer, sizeof buffer), buffer);
  return text ? std::string(text) : std::string();
}

// The C library's text for an error number, or empty when it only says "Unknown error N"
// (in whatever language the locale gives it, hence the comparison with a sure unknown).
std::string SystemErrorText(std::int64_t number) {
  if (number <= 0 || number > 0x7FFFFFFF) return {};
  std::string text = StrError(static_cast<int>(number));
  if (text.empty()) return {};
  constexpr int kSureUnknown = 0x7FFFFFFF;
  const std::string unknownDigits = std::to_string(kSureUnknown);
  std::string unknown = StrError(kSureUnknown);
  std::size_t at = unknown.find(unknownDigits);
  if (at != std::string::npos) {
    unknown.replace(at, unknownDigits.size(), std::to_string(number));
    if (text == unknown) return {};
  }
  return text;
}

}  // namespace

std::string_view MessageNumberToString(std::int32_t code) noexcept {
  const std::int64_t a = AbsCode(code);
  const platform::TextRow* rows = platform::SlMessageNumberLookup;
  std::int64_t lo = 0;
  std::int64_t hi = static_cast<std::int64_t>(platform::SlMessageNumberLookupCount) - 1;
  while (hi >= lo) {
    // The midpoint rounded half to even, as the table's search has always done.
    const std::int64_t sum = lo + hi;
    std::int64_t mid = sum / 2;
    if (sum % 2 != 0 && mid % 2 != 0) ++mid;
    const std::int64_t rowAbs = AbsCode(rows[mid].id);
    if (a == rowAbs) return rows[mid].text;
    if (a < rowAbs) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return {};
}

std::string SioCleanSystemText(std::string_view text) {
  std::size_t length = text.size() < kSioMaxText ? text.size() : kSioMaxText;
  // Never cut inside a UTF-8 sequence (localised messages).
  if (length < text.size()) {
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const char c = static_cast<unsigned char>(text[i]) < 32 ? ' ' : text[i];
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

std::string SioLoadStr(std::int32_t code) {
  std::string_view text = MessageNumberToString(code);
  if (!text.empty()) return std::string(text.substr(0, kSioMaxText));
  return SioCleanSystemText(SystemErrorText(AbsCode(code)));
}

std::string ErrorMsg(std::int32_t code) { return SioLoadStr(code); }

char* SioLoadZ(char* buffer, std::size_t size, std::int32_t code) {
  if (buffer == nullptr || size == 0) return buffer;
  const std::string text = SioLoadStr(code);
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return buffer;
}
