// A pseudo-terminal pair as the far end of a serial port: the test holds the master, and
// KORVANEX_SERIAL_DIR/COM7 is a symlink to the slave, so "COM7" opens the slave.
//
// The fixture keeps its own slave descriptor open (raw, never read), so the pty survives
// the port's close and the slave's settings can be read back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/Patience.h"

namespace serialtest {

using testwait::kPatienceMs;

// Polls cond every millisecond until it holds or timeoutMs passed.
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = kPatienceMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return cond();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Byte i of a test stream: not periodic over any small length, so a lost or doubled
// block shows.
inline std::uint8_t Pattern(std::size_t i, std::uint8_t seed = 0) {
  return static_cast<std::uint8_t>((i * 7 + (i >> 8) * 13 + (i >> 16) + seed) & 0xFF);
}

class PtyPair {
 public:
  PtyPair() {
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
      throw std::runtime_error("openpty failed");
    slavePath_ = name;
    termios t {};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);  // nothing echoes back before the port is opened
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    char dir[] = "/tmp/kvx-serial-XXXXXX";
    if (mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = dir;
    std::filesystem::create_symlink(slavePath_, dir_ + "/COM7");
    setenv("KORVANEX_SERIAL_DIR", dir_.c_str(), 1);
  }
  ~PtyPair() {
    unsetenv("KORVANEX_SERIAL_DIR");
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int Master() const { return master_; }
  int Slave() const { return slave_; }
  const std::string& SlavePath() const { return slavePath_; }
  const std::string& Dir() const { return dir_; }

  termios SlaveTermios() const {
    termios t {};
    tcgetattr(slave_, &t);
    return t;
  }

  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  // Writes everything to the master, waiting while the pty is full; false on time-out.
  bool Write(const void* data, std::size_t size, int timeoutMs = kPatienceMs) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (size > 0) {
      const ssize_t n = ::write(master_, p, size);
      if (n > 0) {
        p += n;
        size -= static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      pollfd fd{master_, POLLOUT, 0};
      poll(&fd, 1, 10);
    }
    return true;
  }
  bool Write(const std::string& text) { return Write(text.data(), text.size()); }

  // Reads from the master until size bytes came or timeoutMs passed.
  std::vector<std::uint8_t> Read(std::size_t size, int timeoutMs = kPatienceMs) {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::uint8_t buffer[4096];
    while (out.size() < size) {
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, size - out.size()));
      if (n > 0) {
        out.insert(out.end(), buffer, buffer + n);
        continue;
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      pollfd fd{master_, POLLIN, 0};
      poll(&fd, 1, 10);
    }
    return out;
  }

  // Whatever the master holds right now, after waiting quietMs for more.
  std::vector<std::uint8_t> Drain(int quietMs = 50) {
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[4096];
    for (;;) {
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, quietMs) <= 0) break;
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string dir_;
};

}  // namespace serialtest
