// A folder of lock files of the test's own, in place of /var/lock while it lives, so that
// tests running side by side never meet each other's locks.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "serial/PortLock.h"

namespace serialtest {

class LockDir {
 public:
  LockDir() {
    char dir[] = "/tmp/kvx-lock-XXXXXX";
    if (mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = dir;
    SetPortLockDir(path_);
  }
  ~LockDir() {
    SetPortLockDir("");
    chmod(path_.c_str(), 0755);  // a test may have made it read-only
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  LockDir(const LockDir&) = delete;
  LockDir& operator=(const LockDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace serialtest
