// An ordered list of texts, each with an optional object tag, as the list boxes,
// checks and reports of the program fill them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class StringList {
 public:
  struct Item {
    std::string text;
    std::intptr_t object = 0;
  };

  void Clear() { items_.clear(); }
  int Add(std::string text) { return AddObject(std::move(text), 0); }
  int AddObject(std::string text, std::intptr_t object) {
    items_.push_back({std::move(text), object});
    return static_cast<int>(items_.size()) - 1;
  }
  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](int index) const { return items_.at(static_cast<size_t>(index)).text; }
  std::intptr_t Object(int index) const { return items_.at(static_cast<size_t>(index)).object; }
  int IndexOf(const std::string& text) const;
  int IndexOfObject(std::intptr_t object) const;
  const std::vector<Item>& Items() const { return items_; }

  // Every line followed by "\r\n".
  std::string Text() const;
  // The texts, each may hold several lines; split at "\r\n" or "\n".
  std::vector<std::string> Lines() const;

 private:
  std::vector<Item> items_;
};

}  // namespace platform
