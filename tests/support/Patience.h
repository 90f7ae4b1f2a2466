// How long a test waits for something that must happen: a byte, an event, a child's end.
// Only a hung or broken run ever waits that long; a correct one, on a loaded machine or
// under a sanitizer, takes a small part of it. The tests assert what happened, never how
// fast: speed and latency are measured in bench/.
#pragma once

#include <chrono>

namespace testwait {

inline constexpr std::chrono::seconds kPatience{60};
inline constexpr int kPatienceMs = 60000;

}  // namespace testwait
