// Port numbers to device paths, and open failures to result codes.
#include "serial/PortMap.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "serial/SlConst.h"

namespace {

// Restores KORVANEX_SERIAL_DIR as it was.
class SerialDirEnv {
 public:
  SerialDirEnv() {
    const char* v = std::getenv("KORVANEX_SERIAL_DIR");
    had_ = v != nullptr;
    if (had_) old_ = v;
  }
  ~SerialDirEnv() {
    if (had_)
      setenv("KORVANEX_SERIAL_DIR", old_.c_str(), 1);
    else
      unsetenv("KORVANEX_SERIAL_DIR");
  }

 private:
  bool had_ = false;
  std::string old_;
};

struct DeviceCase {
  int n;
  const char* path;
};

TEST(PortMapTest, DefaultFamiliesOfSixteen) {
  SerialDirEnv env;
  unsetenv("KORVANEX_SERIAL_DIR");
  const DeviceCase cases[] = {
      {1, "/dev/ttyS0"},    {16, "/dev/ttyS15"},  {17, "/dev/ttyUSB0"}, {32, "/dev/ttyUSB15"},
      {33, "/dev/ttyACM0"}, {48, "/dev/ttyACM15"}, {0, ""},            {-1, ""},
      {49, ""},             {65535, ""},
  };
  for (const DeviceCase& c : cases) EXPECT_EQ(ComPortDevice(c.n), c.path) << c.n;
  setenv("KORVANEX_SERIAL_DIR", "", 1);  // empty counts as unset
  EXPECT_EQ(ComPortDevice(17), "/dev/ttyUSB0");
}

TEST(PortMapTest, SerialDirNamesEveryPortByItsEntry) {
  SerialDirEnv env;
  setenv("KORVANEX_SERIAL_DIR", "/tmp/ports", 1);
  EXPECT_EQ(ComPortDevice(7), "/tmp/ports/COM7");
  EXPECT_EQ(ComPortDevice(1), "/tmp/ports/COM1");  // no fall-back to /dev
  EXPECT_EQ(ComPortDevice(200), "/tmp/ports/COM200");
  EXPECT_EQ(ComPortDevice(0), "");
  EXPECT_EQ(ComPortDevice(65536), "");
  setenv("KORVANEX_SERIAL_DIR", "/tmp/ports/", 1);
  EXPECT_EQ(ComPortDevice(7), "/tmp/ports/COM7");
}

TEST(PortMapTest, PortNumberOfAName) {
  const struct {
    const char* name;
    int n;
  } cases[] = {
      {"COM7", 7},  {"com12", 12},     {"\\\\.\\COM3", 3}, {"COM", 0},     {"COM0", 0},
      {"COM7x", 0}, {"/dev/ttyS0", 0}, {"XCOM7", 0},       {"COM65536", 0}, {"COM65535", 65535},
  };
  for (const auto& c : cases) EXPECT_EQ(ComPortNumber(c.name), c.n) << c.name;
}

TEST(PortMapTest, OpenErrorsBecomeResultCodesNeverErrnos) {
  const struct {
    int err;
    std::int32_t code;
  } cases[] = {
      {ENOENT, ecFileNotFound}, {ENODEV, ecFileNotFound},  {ENXIO, ecFileNotFound},
      {ENOTTY, ecFileNotFound}, {EBUSY, ecAccessDenied},   {EWOULDBLOCK, ecAccessDenied},
      {EACCES, ecAccessDenied}, {EPERM, ecAccessDenied},   {EMFILE, ecTooManyFiles},
      {ENOMEM, ecOutOfMemory},  {ENOTDIR, ecPathNotFound}, {EINVAL, ecGeneralFailure},
  };
  for (const auto& c : cases) EXPECT_EQ(OpenErrorCode(c.err), c.code) << c.err;
}

}  // namespace
