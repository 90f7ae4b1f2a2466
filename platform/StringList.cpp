#include "platform/StringList.h"

namespace platform {

int StringList::IndexOf(const std::string& text) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].text == text) return static_cast<int>(i);
  }
  return -1;
}

int StringList::IndexOfObject(std::intptr_t object) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].object == object) return static_cast<int>(i);
  }
  return -1;
}

std::string StringList::Text() const {
  std::string r;
  for (const Item& item : items_) r += item.text + "\r\n";
  return r;
}

std::vector<std::string> StringList::Lines() const {
  std::vector<std::string> lines;
  for (const Item& item : items_) {
    std::string line;
    for (size_t i = 0; i < item.text.size(); ++i) {
      char c = item.text[i];
      if (c == '\r' && i + 1 < item.text.size() && item.text[i + 1] == '\n') continue;
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace platform
