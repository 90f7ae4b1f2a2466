#include "platform/Clock.h"

#include <atomic>
#include <ctime>
#include <mutex>

namespace platform {

namespace {
std::mutex gMutex;
std::optional<LocalDateTime> gFixed;
}  // namespace

LocalDateTime Now() {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gFixed) return *gFixed;
  }
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void SetFixedNow(std::optional<LocalDateTime> fixed) {
  std::lock_guard<std::mutex> lock(gMutex);
  gFixed = fixed;
}

}  // namespace platform
