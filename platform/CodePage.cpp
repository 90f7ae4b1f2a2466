#include "platform/CodePage.h"

#include <cstdint>

namespace platform {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes keep their C1 code points,
// so every byte round-trips.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t CodePoint(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b; }

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ToAnsi(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string ToUnicode(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) AppendUtf8(out, CodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string FromUnicode(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    uint32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
      cp = b & 0x07;
    } else {
      out += '?';
      ++i;
      continue;
    }
    // A malformed sequence is one '?' for its lead byte and the continuation bytes
    // that did follow it; an overlong form counts as malformed.
    size_t seen = 0;
    for (; seen < static_cast<size_t>(extra) && i + 1 + seen < utf8.size(); ++seen) {
      auto c = static_cast<unsigned char>(utf8[i + 1 + seen]);
      if ((c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (seen < static_cast<size_t>(extra) || cp < kLeast[extra]) {
      out += '?';
      i += 1 + seen;
      continue;
    }
    out += ToAnsi(cp);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

char AnsiUpperChar(char c) {
  auto b = static_cast<unsigned char>(c);
  if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) return static_cast<char>(b - 0x20);
  switch (b) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
  }
}

std::string AnsiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AnsiUpperChar(c);
  return out;
}

std::string Trim(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace platform
