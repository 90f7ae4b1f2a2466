// Times of day and durations as the site holds them: an hour and a minute field.
// Text conversions always use "hh:nn" with ':' whatever the user's regional settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TTimeHM {
  int hour = 0;
  int minute = 0;
  friend bool operator==(const TTimeHM&, const TTimeHM&) = default;
};

// "h:n", "hh:nn" or "hh:nn:ss" (one or two digits each); nullopt for anything that is
// not a valid time of day.
std::optional<TTimeHM> StrToTimeHM(std::string_view text);
// The time of a string-table text; 00:00 when the text is not a time.
TTimeHM TimeOfText(int textId);
// "hh:nn".
std::string TimeToStr(TTimeHM t);
// The time of an hour byte and a minute byte, when they form a valid time of day.
std::optional<TTimeHM> TimeOfBytes(std::uint8_t hour, std::uint8_t minute);
