#include "platform/Texts.h"

#include <mutex>

#include "platform/CodePage.h"
#include "platform/TextTable.h"

namespace platform {

extern const TextRow BuiltinTexts[];
extern const std::size_t BuiltinTextsCount;

namespace {

std::mutex& OverrideMutex() {
  static std::mutex m;
  return m;
}

std::map<int, std::string>& Overrides() {
  static std::map<int, std::string> o;
  return o;
}

std::map<std::string, std::string, std::less<>>& FormOverrides() {
  static std::map<std::string, std::string, std::less<>> o;
  return o;
}

}  // namespace

const char* FindTextRow(const TextRow* rows, std::size_t count, int id) {
  std::size_t lo = 0;
  std::size_t hi = count;
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    if (rows[mid].id < id) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < count && rows[lo].id == id ? rows[lo].text : nullptr;
}

const char* BuiltinTextUtf8(int id) { return FindTextRow(BuiltinTexts, BuiltinTextsCount, id); }

std::string LoadStrUtf8(int id) {
  {
    std::lock_guard<std::mutex> lock(OverrideMutex());
    auto it = Overrides().find(id);
    if (it != Overrides().end()) return it->second;
  }
  const char* text = BuiltinTextUtf8(id);
  return text ? std::string(text) : std::string();
}

std::string LoadStr(int id) { return FromUnicode(LoadStrUtf8(id)); }

std::string FmtLoadStr(int id, std::initializer_list<FmtArg> args) { return Format(LoadStr(id), args); }

void SetTextOverrides(std::map<int, std::string> utf8Texts) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  Overrides() = std::move(utf8Texts);
}

std::string FormTextUtf8(std::string_view key, std::string_view builtinUtf8) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  auto it = FormOverrides().find(key);
  return it != FormOverrides().end() ? it->second : std::string(builtinUtf8);
}

void SetFormTextOverrides(std::map<std::string, std::string, std::less<>> utf8Texts) {
  std::lock_guard<std::mutex> lock(OverrideMutex());
  FormOverrides() = std::move(utf8Texts);
}

}  // namespace platform
