// Another process holding a serial device the way a second instance of the program does:
// open, exclusive flock() and TIOCEXCL, until the holder is destroyed.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace serialtest {

class PortHolder {
 public:
  explicit PortHolder(const std::string& path) {
    int ready[2], release[2];
    if (pipe(ready) != 0) return;
    if (pipe(release) != 0) {
      ::close(ready[0]);
      ::close(ready[1]);
      return;
    }
    child_ = fork();
    if (child_ == 0) {
      // Only system calls from here: the parent may have threads.
      ::close(ready[0]);
      ::close(release[1]);
      // Inherited descriptors (the test's own ptys) would make those look held too.
      const unsigned low = static_cast<unsigned>(std::min(ready[1], release[0]));
      const unsigned high = static_cast<unsigned>(std::max(ready[1], release[0]));
      if (low > 3) close_range(3, low - 1, 0);
      if (high > low + 1) close_range(low + 1, high - 1, 0);
      close_range(high + 1, ~0U, 0);
      const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCEXCL) == 0;
      const char answer = held ? 'y' : 'n';
      if (::write(ready[1], &answer, 1) != 1) _exit(1);
      char c;
      if (::read(release[0], &c, 1) < 0) _exit(1);
      // The exclusive flag belongs to the tty, which the test's own slave keeps alive.
      if (fd >= 0) ioctl(fd, TIOCNXCL);
      _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char answer = 0;
    held_ = child_ > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
  }
  ~PortHolder() {
    if (release_ >= 0) ::close(release_);
    if (child_ > 0) {
      int status = 0;
      waitpid(child_, &status, 0);
    }
  }
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

  bool Held() const { return held_; }

 private:
  pid_t child_ = -1;
  int release_ = -1;
  bool held_ = false;
};

}  // namespace serialtest
