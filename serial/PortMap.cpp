#include "serial/PortMap.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "serial/SlConst.h"

namespace {

constexpr int kMaxPortNumber = 65535;  // ports are 16-bit numbers

struct DeviceRange {
  int first;
  const char* prefix;
};

// Sixteen ports per family, in this order.
constexpr DeviceRange kRanges[] = {{1, "/dev/ttyS"}, {17, "/dev/ttyUSB"}, {33, "/dev/ttyACM"}};
constexpr int kPortsPerRange = 16;

}  // namespace

std::string ComPortDevice(int n) {
  if (n < 1 || n > kMaxPortNumber) return {};
  const char* dir = std::getenv("KORVANEX_SERIAL_DIR");
  if (dir != nullptr && *dir != '\0') {
    std::string path(dir);
    if (path.back() != '/') path += '/';
    return path + "COM" + std::to_string(n);
  }
  for (const DeviceRange& range : kRanges) {
    if (n >= range.first && n < range.first + kPortsPerRange)
      return range.prefix + std::to_string(n - range.first);
  }
  return {};
}

int ComPortNumber(const std::string& name) {
  std::size_t pos = 0;
  if (name.rfind("\\\\.\\", 0) == 0) pos = 4;
  if (name.size() < pos + 4) return 0;
  for (int i = 0; i < 3; ++i) {
    const char expected = "COM"[i];
    if (std::toupper(static_cast<unsigned char>(name[pos + static_cast<std::size_t>(i)])) != expected)
      return 0;
  }
  pos += 3;
  long value = 0;
  for (; pos < name.size(); ++pos) {
    const unsigned char c = static_cast<unsigned char>(name[pos]);
    if (!std::isdigit(c)) return 0;
    value = value * 10 + (c - '0');
    if (value > kMaxPortNumber) return 0;
  }
  return static_cast<int>(value);
}

std::int32_t OpenErrorCode(int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTTY:  // not a serial device at all
    case EIO:     // a device node without hardware behind it
      return ecFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return ecPathNotFound;
    case EBUSY:
    case EWOULDBLOCK:  // the exclusive lock is held
    case EACCES:
    case EPERM:
    case EROFS:
      return ecAccessDenied;
    case EMFILE:
    case ENFILE:
      return ecTooManyFiles;
    case ENOMEM:
      return ecOutOfMemory;
    default:
      return ecGeneralFailure;
  }
}
