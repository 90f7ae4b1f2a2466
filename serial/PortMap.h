// Port numbers to device paths, and open failures to result codes.
//
// The program names a serial port by its number n ("COM%d" in texts, COM=n in the
// settings). On Linux the number resolves to a device path in one of two ways:
//
//   * KORVANEX_SERIAL_DIR set (and not empty): COMn is the entry named "COMn" in that
//     folder, normally a symlink to a device or to a pseudo-terminal. Every n >= 1 is
//     allowed; a missing entry makes the open fail with "not found".
//   * otherwise:   COM1-16  -> /dev/ttyS0-15    (real UARTs; a node without a UART
//                                                behind it opens as "not found")
//                  COM17-32 -> /dev/ttyUSB0-15  (USB serial adapters)
//                  COM33-48 -> /dev/ttyACM0-15  (USB modems and CDC devices)
//
// Any other number has no device (empty path). See docs/serial-ports.md.
#pragma once

#include <cstdint>
#include <string>

// The device path of port n, or an empty string when n has none.
std::string ComPortDevice(int n);

// The port number in a name "COMn" or "\\.\COMn" (case-insensitive), else 0.
int ComPortNumber(const std::string& name);

// A device failure with no code of its own (the I/O area's "General failure").
constexpr std::int32_t ecGeneralFailure = -162;

// The result code for an errno of a failed open or lock: the "not found" and
// "access denied" codes the port component turns into "bad id" and "already open".
// A raw errno never comes back.
std::int32_t OpenErrorCode(int err);
