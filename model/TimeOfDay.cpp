#include "model/TimeOfDay.h"

#include <vector>

#include "platform/Format.h"
#include "platform/Texts.h"

std::optional<TTimeHM> StrToTimeHM(std::string_view text) {
  std::vector<int> fields;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  while (true) {
    int digits = 0;
    int v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
      v = v * 10 + (text[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > 2) return std::nullopt;
    fields.push_back(v);
    if (i < text.size() && text[i] == ':' && fields.size() < 3) {
      ++i;
      continue;
    }
    break;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (i != text.size() || fields.size() < 2) return std::nullopt;
  if (fields[0] > 23 || fields[1] > 59 || (fields.size() == 3 && fields[2] > 59)) return std::nullopt;
  return TTimeHM{fields[0], fields[1]};
}

TTimeHM TimeOfText(int textId) { return StrToTimeHM(platform::LoadStr(textId)).value_or(TTimeHM{}); }

std::string TimeToStr(TTimeHM t) { return platform::Format("%2.2d:%2.2d", {t.hour, t.minute}); }

std::optional<TTimeHM> TimeOfBytes(std::uint8_t hour, std::uint8_t minute) {
  if (hour > 23 || minute > 59) return std::nullopt;
  return TTimeHM{hour, minute};
}
