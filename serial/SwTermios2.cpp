#include "serial/SwTermios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int SwSetCustomBaud(int fd, std::uint32_t baud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return -errno;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &tio) != 0) return -errno;
  return 0;
}

int SwGetBaud(int fd, std::uint32_t* baud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return -errno;
  *baud = tio.c_ospeed;
  return 0;
}
