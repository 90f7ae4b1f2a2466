// printf-style formatting of the string-table texts. Arguments are typed values,
// so a text whose placeholders do not match its arguments (a translated text with
// a wrong placeholder, say) yields odd output but never reads a wrong argument.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

class FmtArg {
 public:
  enum class Kind { Int, Float, Text };
  FmtArg(int v) : kind_(Kind::Int), int_(v) {}                 // NOLINT(google-explicit-constructor)
  FmtArg(long v) : kind_(Kind::Int), int_(v) {}                // NOLINT(google-explicit-constructor)
  FmtArg(long long v) : kind_(Kind::Int), int_(v) {}           // NOLINT(google-explicit-constructor)
  FmtArg(unsigned v) : kind_(Kind::Int), int_(v) {}            // NOLINT(google-explicit-constructor)
  FmtArg(unsigned long v) : kind_(Kind::Int), int_(static_cast<long long>(v)) {}  // NOLINT
  FmtArg(double v) : kind_(Kind::Float), float_(v) {}          // NOLINT(google-explicit-constructor)
  FmtArg(const char* v) : kind_(Kind::Text), text_(v ? v : "") {}  // NOLINT(google-explicit-constructor)
  FmtArg(std::string_view v) : kind_(Kind::Text), text_(v) {}  // NOLINT(google-explicit-constructor)
  FmtArg(const std::string& v) : kind_(Kind::Text), text_(v) {}  // NOLINT(google-explicit-constructor)

  Kind kind() const { return kind_; }
  long long AsInt() const;
  double AsFloat() const;
  std::string AsText() const;

 private:
  Kind kind_;
  long long int_ = 0;
  double float_ = 0;
  std::string text_;
};

// Conversions: d i u x X o c s f e E g G p(as x) and %%; flags - + space # 0; width and
// precision, also as '*'. A missing argument formats as nothing; a spare one is ignored;
// an argument of the other kind is converted (text to number by its leading digits).
std::string Format(std::string_view format, std::initializer_list<FmtArg> args = {});

// The number of placeholders and their kinds ('d' for integers, 'f' for floats, 's' for
// texts), e.g. "d s"; a language module uses it to refuse a text whose placeholders differ.
std::string PlaceholderSignature(std::string_view format);

}  // namespace platform
