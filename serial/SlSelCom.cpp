#include "serial/SlSelCom.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "serial/PortMap.h"
#include "serial/SlConst.h"
#include "serial/SwDispatcher.h"

bool UseDispatcherForAvail = true;
bool ShowPortsInUse = true;

namespace {

constexpr std::uint32_t kProbeBufferSize = 64;

// The device layer's open and close, without InitPort: no rings, no line settings, no
// threads, but the same refusals (not a tty, no UART behind a ttyS node, locked elsewhere).
// CreateDispatcher, so that a device a test injects is probed like the real one.
std::int32_t ProbeThroughDispatcher(int number) {
  std::unique_ptr<TSioBaseDispatcher> dispatcher(CreateDispatcher(nullptr));
  if (!dispatcher) return ecOutOfMemory;
  const std::int32_t opened =
      dispatcher->OpenCom("COM" + std::to_string(number), kProbeBufferSize, kProbeBufferSize);
  if (opened < 0) return opened;
  dispatcher->CloseCom();
  return ecOK;
}

// Opens for reading and writing, existing only, not shared (the exclusive lock every
// opener of this library takes), and closes at once.
std::int32_t ProbeDevice(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return OpenErrorCode(errno);
  std::int32_t result = ecOK;
  struct serial_struct serial {};
  if (!isatty(fd))
    result = ecFileNotFound;
  else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    result = OpenErrorCode(errno);
  else if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN)
    result = ecFileNotFound;  // a ttyS node opens even with no UART behind it
  ::close(fd);  // drops the lock too
  return result;
}

std::int32_t ProbePort(int number) {
  if (number <= 0) return ecFileNotFound;
  const std::string path = ComPortDevice(number);
  if (path.empty()) return ecFileNotFound;
  return UseDispatcherForAvail ? ProbeThroughDispatcher(number) : ProbeDevice(path);
}

}  // namespace

bool IsPortAvailable(int number, bool& inUse) {
  const std::int32_t result = ProbePort(number);
  inUse = result == ecAccessDenied;
  return result == ecOK || (inUse && ShowPortsInUse);
}

bool IsPortAvailable(int number) {
  bool inUse = false;
  return IsPortAvailable(number, inUse);
}

bool IsPortInUse(int number) { return ProbePort(number) == ecAccessDenied; }
