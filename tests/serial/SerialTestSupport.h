// Small helpers the serial tests share: delivering this thread's messages until a
// condition holds, the error code an operation raises, and the number of threads.
#pragma once

#include <dirent.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "serial/SlExcept.h"
#include "serial/SwMsgWindow.h"

namespace serialtest {

// Delivers this thread's messages until cond holds or timeoutMs passed; cond's last value.
inline bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return cond();
    if (PumpOneMessage() == 0) WaitForMessages(2);
  }
  return true;
}

// The code of the serial exception f raises; 0 when it raises none.
inline std::int32_t CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESioException& e) {
    return e.ErrorCode;
  }
  return 0;
}

// Threads of this process (entries of /proc/self/task, with . and ..); -1 when unreadable.
inline int ThreadCount() {
  DIR* d = opendir("/proc/self/task");
  if (d == nullptr) return -1;
  int n = 0;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

}  // namespace serialtest
