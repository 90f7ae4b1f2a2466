#include "platform/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/AtomicFile.h"

namespace platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// b is a caller's name, trimmed like the names read from the file.
bool SameName(std::string_view a, std::string_view b) {
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// A line break would split the line and change what reading the file gives.
std::string_view FirstLine(std::string_view s) { return s.substr(0, s.find_first_of("\r\n")); }

bool IsQuoted(std::string_view v) { return v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back(); }

// The whole file, or an errno on failure (ENOENT included, for the caller to excuse).
int ReadWholeFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return err;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return 0;
}

// Digits only, no sign or prefix; false on anything else or when above limit.
bool ParseDigits(std::string_view s, unsigned base, std::uint64_t limit, std::uint64_t& out) {
  if (s.empty()) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') {
      d = static_cast<unsigned>(Lower(c) - 'a' + 10);
    } else {
      return false;
    }
    if (d >= base) return false;
    v = v * base + d;
    if (v > limit) return false;
  }
  out = v;
  return true;
}

// Hex spans the full 32 bits so "$FFFFFFFF" reads as -1, as a 32-bit program saw it.
bool ParseInteger(std::string_view s, int& out) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::uint64_t v = 0;
  bool ok;
  if (!s.empty() && s.front() == '$') {
    ok = ParseDigits(s.substr(1), 16, 0xFFFFFFFFu, v);
  } else if (s.size() > 2 && s[0] == '0' && Lower(s[1]) == 'x') {
    ok = ParseDigits(s.substr(2), 16, 0xFFFFFFFFu, v);
  } else {
    ok = ParseDigits(s, 10, negative ? 2147483648u : 2147483647u, v);
  }
  if (!ok) return false;
  if (negative) v = 0 - v;
  out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  return true;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)), default_eol_("\n") {
  std::string data;
  if (int err = ReadWholeFile(path_, data); err != 0) {
    if (err != ENOENT) load_error_ = std::strerror(err);
    return;
  }
  std::string_view rest = data;
  if (rest.substr(0, kBom.size()) == kBom) {
    bom_ = kBom;
    rest.remove_prefix(kBom.size());
  }
  while (!rest.empty()) {
    Line line;
    std::size_t nl = rest.find('\n');
    std::string_view text = rest.substr(0, nl);
    if (nl == std::string_view::npos) {
      rest = {};
    } else {
      rest.remove_prefix(nl + 1);
      line.eol = "\n";
      if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
        line.eol = "\r\n";
      }
      if (lines_.empty()) default_eol_ = line.eol;
    }
    line.text = text;
    Parse(line);
    lines_.push_back(std::move(line));
  }
}

void IniFile::Parse(Line& line) {
  line.kind = Kind::Other;
  line.name.clear();
  line.value.clear();
  line.value_pos = 0;
  line.quote = 0;

  std::string_view t = Trim(line.text);
  if (t.empty() || t.front() == ';' || t.front() == '#') return;
  if (t.front() == '[') {
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return;
    line.kind = Kind::Section;
    line.name = Trim(t.substr(1, close - 1));
    return;
  }
  std::size_t eq = line.text.find('=');
  if (eq == std::string::npos) return;
  std::string_view key = Trim(std::string_view(line.text).substr(0, eq));
  if (key.empty()) return;
  line.kind = Kind::Key;
  line.name = key;
  std::string_view value = Trim(std::string_view(line.text).substr(eq + 1));
  if (IsQuoted(value)) {
    line.quote = value.front();
    value = value.substr(1, value.size() - 2);
  }
  line.value = value;
  // Keep the blanks after '=' as the file had them; for an empty value keep at
  // most one so "key = " becomes "key = new", not "key =     new".
  std::size_t pos = eq + 1;
  const std::size_t limit = line.quote || !value.empty() ? line.text.size() : eq + 2;
  while (pos < line.text.size() && pos < limit && IsBlank(line.text[pos])) ++pos;
  line.value_pos = pos;
}

std::size_t IniFile::FindKey(std::string_view section, std::string_view key) const {
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Section) {
      inside = SameName(l.name, section);
    } else if (inside && l.kind == Kind::Key && SameName(l.name, key)) {
      return i;
    }
  }
  return npos;
}

std::size_t IniFile::FindHeader(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::Section && SameName(lines_[i].name, section)) return i;
  }
  return npos;
}

void IniFile::Insert(std::size_t at, std::string text) {
  // An unterminated last line needs an ending before anything can follow it.
  if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = default_eol_;
  Line line;
  line.text = std::move(text);
  line.eol = default_eol_;
  Parse(line);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  std::size_t i = FindKey(section, key);
  return i == npos ? std::string(def) : lines_[i].value;
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  std::size_t i = FindKey(section, key);
  int v;
  return i != npos && ParseInteger(lines_[i].value, v) ? v : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(FirstLine(section));
  key = Trim(FirstLine(key));
  value = FirstLine(value);
  if (key.empty()) return;

  std::size_t i = FindKey(section, key);
  if (i != npos) {
    Line& l = lines_[i];
    if (l.value == value) return;
    char quote = l.quote;
    if (!quote && (Trim(value).size() != value.size() || IsQuoted(value))) quote = '"';
    l.text.resize(l.value_pos);
    if (quote) l.text += quote;
    l.text += value;
    if (quote) l.text += quote;
    Parse(l);
    modified_ = true;
    return;
  }

  std::string text(key);
  text += '=';
  if (Trim(value).size() != value.size() || IsQuoted(value)) {
    text += '"';
    text += value;
    text += '"';
  } else {
    text += value;
  }

  std::size_t header = FindHeader(section);
  if (header == npos) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) Insert(lines_.size(), "");
    Insert(lines_.size(), "[" + std::string(section) + "]");
    Insert(lines_.size(), std::move(text));
  } else {
    std::size_t at = header + 1;
    for (std::size_t j = header + 1; j < lines_.size() && lines_[j].kind != Kind::Section; ++j) {
      if (lines_[j].kind == Kind::Key) at = j + 1;
    }
    Insert(at, std::move(text));
  }
  modified_ = true;
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool IniFile::SectionExists(std::string_view section) const {
  return !ReadSection(section).empty();
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindKey(section, key) != npos;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  bool inside = false;
  for (const Line& l : lines_) {
    if (l.kind == Kind::Section) {
      inside = SameName(l.name, section);
    } else if (inside && l.kind == Kind::Key) {
      bool seen = false;
      for (const std::string& k : keys) seen = seen || SameName(k, l.name);
      if (!seen) keys.push_back(l.name);
    }
  }
  return keys;
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  bool inside = false;
  std::size_t out = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Section) inside = SameName(l.name, section);
    if (inside && l.kind == Kind::Key && SameName(l.name, key)) continue;
    if (out != i) lines_[out] = std::move(lines_[i]);
    ++out;
  }
  if (out == lines_.size()) return;
  lines_.resize(out);
  modified_ = true;
}

void IniFile::EraseSection(std::string_view section) {
  bool inside = false;
  std::size_t out = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Section) inside = SameName(l.name, section);
    if (inside) continue;
    if (out != i) lines_[out] = std::move(lines_[i]);
    ++out;
  }
  if (out == lines_.size()) return;
  lines_.resize(out);
  modified_ = true;
}

bool IniFile::UpdateFile(std::string* error) {
  if (!modified_) return true;
  if (!load_error_.empty()) {
    if (error) *error = load_error_;
    return false;
  }
  std::string data = bom_;
  for (const Line& l : lines_) {
    data += l.text;
    data += l.eol;
  }
  if (!WriteFileAtomic(path_, data.data(), data.size(), error)) return false;
  modified_ = false;
  return true;
}

}  // namespace platform
