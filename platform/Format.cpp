#include "platform/Format.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace platform {

long long FmtArg::AsInt() const {
  switch (kind_) {
    case Kind::Int: return int_;
    case Kind::Float:
      // Out-of-range and NaN conversions are undefined; clamp them.
      if (std::isnan(float_)) return 0;
      if (float_ >= 9.2e18) return LLONG_MAX;
      if (float_ <= -9.2e18) return LLONG_MIN;
      return static_cast<long long>(float_);
    case Kind::Text: return std::strtoll(text_.c_str(), nullptr, 10);
  }
  return 0;
}

double FmtArg::AsFloat() const {
  switch (kind_) {
    case Kind::Int: return static_cast<double>(int_);
    case Kind::Float: return float_;
    case Kind::Text: return std::strtod(text_.c_str(), nullptr);
  }
  return 0;
}

std::string FmtArg::AsText() const {
  switch (kind_) {
    case Kind::Int: return std::to_string(int_);
    case Kind::Float: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%g", float_);
      return buf;
    }
    case Kind::Text: return text_;
  }
  return {};
}

namespace {

struct Conversion {
  std::string flags;
  int width = -1;       // -1: none
  int precision = -1;   // -1: none
  char conv = 0;
  bool widthStar = false;
  bool precisionStar = false;
};

// Parses one placeholder starting after '%'; returns the index after it, or npos
// when the text after '%' is not a placeholder (then it is copied as it stands).
size_t ParseConversion(std::string_view f, size_t i, Conversion& s) {
  while (i < f.size() && std::string_view("-+ #0").find(f[i]) != std::string_view::npos) s.flags += f[i++];
  if (i < f.size() && f[i] == '*') {
    s.widthStar = true;
    ++i;
  } else {
    int w = 0;
    bool any = false;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
      if (w < 10000) w = w * 10 + (f[i] - '0');
      any = true;
      ++i;
    }
    if (any) s.width = w;
  }
  if (i < f.size() && f[i] == '.') {
    ++i;
    if (i < f.size() && f[i] == '*') {
      s.precisionStar = true;
      ++i;
    } else {
      int p = 0;
      while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        if (p < 10000) p = p * 10 + (f[i] - '0');
        ++i;
      }
      s.precision = p;
    }
  }
  while (i < f.size() && std::string_view("hlLqjzt").find(f[i]) != std::string_view::npos) ++i;
  if (i >= f.size()) return std::string_view::npos;
  char c = f[i];
  if (std::string_view("diuxXocsfeEgGp").find(c) == std::string_view::npos) return std::string_view::npos;
  s.conv = c;
  return i + 1;
}

// The format passed to snprintf is built here from a parsed placeholder, and the
// argument is converted to the type that placeholder names.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string Render(const Conversion& s, const FmtArg* arg) {
  std::string conversion = "%" + s.flags;
  if (s.width >= 0) conversion += std::to_string(s.width);
  if (s.precision >= 0) conversion += "." + std::to_string(s.precision);
  char conv = s.conv == 'p' ? 'x' : s.conv;
  std::vector<char> buf(64 + static_cast<size_t>(s.width > 0 ? s.width : 0) +
                        static_cast<size_t>(s.precision > 0 ? s.precision : 0));
  int n = 0;
  switch (conv) {
    case 'd':
    case 'i':
      conversion += "lld";
      n = std::snprintf(buf.data(), buf.size(), conversion.c_str(), arg ? arg->AsInt() : 0LL);
      break;
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      conversion += "ll";
      conversion += conv;
      unsigned long long v = arg ? static_cast<unsigned long long>(arg->AsInt()) : 0ULL;
      // A negative 32-bit value shows as its 32-bit pattern, as the program's callers expect.
      if (arg && arg->AsInt() < 0 && arg->AsInt() >= -2147483648LL) v &= 0xFFFFFFFFULL;
      n = std::snprintf(buf.data(), buf.size(), conversion.c_str(), v);
      break;
    }
    case 'c': {
      conversion += 'c';
      int ch = 0;
      if (arg) ch = arg->kind() == FmtArg::Kind::Text ? (arg->AsText().empty() ? 0 : arg->AsText()[0]) : static_cast<int>(arg->AsInt());
      n = std::snprintf(buf.data(), buf.size(), conversion.c_str(), ch);
      break;
    }
    case 's': {
      std::string text = arg ? arg->AsText() : std::string();
      buf.resize(buf.size() + text.size());
      conversion += 's';
      n = std::snprintf(buf.data(), buf.size(), conversion.c_str(), text.c_str());
      break;
    }
    default:
      conversion += conv;
      buf.resize(buf.size() + 320);  // %f of a huge double
      n = std::snprintf(buf.data(), buf.size(), conversion.c_str(), arg ? arg->AsFloat() : 0.0);
      break;
  }
  if (n < 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n) < buf.size() ? static_cast<size_t>(n) : buf.size() - 1);
}
#pragma GCC diagnostic pop

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FmtArg> args) {
  std::string out;
  const FmtArg* next = args.begin();
  auto take = [&]() -> const FmtArg* { return next != args.end() ? next++ : nullptr; };
  for (size_t i = 0; i < format.size();) {
    char c = format[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    Conversion s;
    size_t end = ParseConversion(format, i + 1, s);
    if (end == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    if (s.widthStar) {
      const FmtArg* w = take();
      long long v = w ? w->AsInt() : 0;
      if (v < 0) {
        s.flags += '-';
        v = v < -10000 ? 10000 : -v;
      }
      s.width = static_cast<int>(v > 10000 ? 10000 : v);
    }
    if (s.precisionStar) {
      const FmtArg* p = take();
      long long v = p ? p->AsInt() : 0;
      s.precision = static_cast<int>(v < 0 ? -1 : (v > 10000 ? 10000 : v));
    }
    out += Render(s, take());
    i = end;
  }
  return out;
}

std::string PlaceholderSignature(std::string_view format) {
  std::string sig;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    Conversion s;
    size_t end = ParseConversion(format, i + 1, s);
    if (end == std::string_view::npos) continue;
    auto add = [&](char k) {
      if (!sig.empty()) sig += ' ';
      sig += k;
    };
    if (s.widthStar) add('d');
    if (s.precisionStar) add('d');
    switch (s.conv) {
      case 's': add('s'); break;
      case 'f': case 'e': case 'E': case 'g': case 'G': add('f'); break;
      default: add('d'); break;
    }
    i = end - 1;
  }
  return sig;
}

}  // namespace platform
