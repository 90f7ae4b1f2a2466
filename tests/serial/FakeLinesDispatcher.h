// A fake device behind the port: injected line errors and modem-line changes, reached
// through the dispatcher factory as the port component reaches its dispatcher.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "serial/SwPosixDispatcher.h"

namespace serialtest {

class FakeLinesDispatcher : public TSioPosixDispatcher {
 public:
  FakeLinesDispatcher() : TSioPosixDispatcher(nullptr) {}
  ~FakeLinesDispatcher() override { Shutdown(); }
  std::uint32_t GetComError(TComStatus& status) override {
    return TSioPosixDispatcher::GetComError(status) | errors_.exchange(0);
  }
  std::uint8_t GetComModemStatus() override { return levels_.load(); }
  std::atomic<std::uint32_t> errors_{0};
  std::atomic<std::uint8_t> levels_{msCts | msDsr | msDcd};
};

// A fake made by the dispatcher factory, which is reset afterwards.
inline std::unique_ptr<TSioBaseDispatcher> CreateFakeLinesDispatcher() {
  SetDispatcherFactory([](void*) -> TSioBaseDispatcher* { return new FakeLinesDispatcher; });
  std::unique_ptr<TSioBaseDispatcher> base(CreateDispatcher(nullptr));
  SetDispatcherFactory(nullptr);
  return base;
}

}  // namespace serialtest
