#include "platform/LanguageModule.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/Format.h"
#include "platform/Texts.h"

namespace platform {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The escapes of the built-in table; answers the reason of a failure, or "".
std::string Unescape(std::string_view in, std::string& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    char c = in[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= in.size()) return "a backslash ends the line";
    switch (in[i]) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'x': {
        int hi = i + 1 < in.size() ? HexDigit(in[i + 1]) : -1;
        int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
        if (hi < 0 || lo < 0) return "\\x needs two hexadecimal digits";
        // The texts travel as C strings further on; a NUL would cut them short.
        if (hi == 0 && lo == 0) return "\\x00 is not allowed";
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return std::string("unknown escape \\") + in[i];
    }
  }
  return {};
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra = 0;
    unsigned cp = 0;
    unsigned min = 0;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1FU, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0FU, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07U, min = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3FU);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

bool IsNumberKey(std::string_view key, int& number) {
  size_t start = !key.empty() && key[0] == '-' ? 1 : 0;
  if (start >= key.size()) return false;
  for (size_t i = start; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return false;
  }
  auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), number);
  return ec == std::errc() && ptr == key.data() + key.size();
}

// Class.Component.Property, or deeper: at least three non-empty parts.
bool IsWindowKey(std::string_view key) {
  int parts = 1;
  bool partEmpty = true;
  for (char c : key) {
    if (c == '.') {
      if (partEmpty) return false;
      ++parts;
      partEmpty = true;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') {
      partEmpty = false;
    } else {
      return false;
    }
  }
  return !partEmpty && parts >= 3;
}

bool Fail(std::string* error, int lineNo, const std::string& reason) {
  if (error) *error = "line " + std::to_string(lineNo) + ": " + reason;
  return false;
}

}  // namespace

bool ParseLanguageModule(std::string_view content, LanguageModule& module, std::string* error) {
  LanguageModule parsed;
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  int lineNo = 0;
  while (!content.empty()) {
    ++lineNo;
    size_t eol = content.find('\n');
    std::string_view line = content.substr(0, eol);
    content.remove_prefix(eol == std::string_view::npos ? content.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;

    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return Fail(error, lineNo, "no tab after the key");
    std::string_view key = line.substr(0, tab);
    std::string text;
    std::string why = Unescape(line.substr(tab + 1), text);
    if (!why.empty()) return Fail(error, lineNo, why);
    if (!IsValidUtf8(text)) return Fail(error, lineNo, "the text is not valid UTF-8");

    int number = 0;
    if (IsNumberKey(key, number)) {
      if (parsed.texts.count(number) != 0) return Fail(error, lineNo, "duplicate number " + std::string(key));
      const char* builtin = BuiltinTextUtf8(number);
      if (builtin && PlaceholderSignature(builtin) != PlaceholderSignature(text)) {
        parsed.refused.push_back({number, lineNo});
        // Still taken as seen, so a second line for the number counts as a duplicate.
        parsed.texts.emplace(number, std::string());
        continue;
      }
      parsed.texts.emplace(number, std::move(text));
    } else if (IsWindowKey(key)) {
      if (!parsed.formTexts.emplace(std::string(key), std::move(text)).second) {
        return Fail(error, lineNo, "duplicate key " + std::string(key));
      }
    } else {
      return Fail(error, lineNo, "bad key \"" + std::string(key) + "\"");
    }
  }
  for (const auto& r : parsed.refused) parsed.texts.erase(r.number);
  module = std::move(parsed);
  return true;
}

bool LoadLanguageModule(const std::string& path, LanguageModule& module, std::string* error) {
  // stdio rather than a stream: it reports a failed read (a folder, an I/O error) by errno.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::string content;
  bool ok = f != nullptr;
  if (ok) {
    char buf[8192];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
    ok = std::ferror(f) == 0;
  }
  int err = errno;
  if (f) std::fclose(f);
  if (!ok) {
    if (error) *error = std::string("cannot be read: ") + std::strerror(err);
    return false;
  }
  return ParseLanguageModule(content, module, error);
}

}  // namespace platform
