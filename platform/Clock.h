// Local wall-clock time, with a fixed time that tests can set.
#pragma once

#include <optional>

namespace platform {

struct LocalDateTime {
  int year = 0;    // four digits
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

LocalDateTime Now();

// While set, Now() answers this time; std::nullopt returns to the real clock.
void SetFixedNow(std::optional<LocalDateTime> fixed);

}  // namespace platform
