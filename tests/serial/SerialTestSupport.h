// Small helpers the serial tests share: delivering this thread's messages until a
// condition holds, the error code an operation raises, the number of threads, and how
// often this thread blocked.
#pragma once

#include <dirent.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "serial/SlExcept.h"
#include "serial/SwMsgWindow.h"
#include "support/Patience.h"

namespace serialtest {

// Delivers this thread's messages until cond holds or timeoutMs passed; cond's last value.
inline bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = testwait::kPatienceMs) {
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

// How often this thread gave up the processor by blocking (a sleep, a wait, a contended
// lock); preemption is not counted. A call that adds nothing to it never waited, however
// loaded the machine, which elapsed time cannot show.
inline long BlockingSwitches() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_nvcsw;
}

}  // namespace serialtest
