// The plain exception that carries a user message, in the ANSI code page.
#pragma once

#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Raised by integer conversion of a text that is not a number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace platform
