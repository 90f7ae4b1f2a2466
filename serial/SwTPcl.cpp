#include "serial/SwTPcl.h"

#include <array>
#include <mutex>

#include "serial/SwXModem.h"

namespace {

std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}

std::array<TProtocolRoutines, ProtocolTypeCount>& Table() {
  static std::array<TProtocolRoutines, ProtocolTypeCount> table = [] {
    std::array<TProtocolRoutines, ProtocolTypeCount> t{};
    const TProtocolRoutines xmodem{xpPrepareReceive, xpReceive, xpPrepareTransmit, xpTransmit};
    t[ptXmodem] = xmodem;
    t[ptXmodemCRC] = xmodem;
    t[ptXmodem1K] = xmodem;
    t[ptXmodem1KG] = xmodem;
    return t;
  }();
  return table;
}

}  // namespace

const TProtocolRoutines& ProtocolRoutines(std::uint8_t Type) {
  static const TProtocolRoutines none{};
  std::lock_guard guard(TableLock());
  if (Type >= ProtocolTypeCount) return none;
  return Table()[Type];
}

void RegisterProtocolRoutines(std::uint8_t Type, const TProtocolRoutines& Routines) {
  if (Type == ptNoProtocol || Type >= ProtocolTypeCount) return;
  std::lock_guard guard(TableLock());
  Table()[Type] = Routines;
}
