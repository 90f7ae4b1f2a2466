// Who else has a serial device: the UUCP lock files of /var/lock, and the descriptors
// other processes hold on it (/proc/<pid>/fd). flock() and TIOCEXCL only stop openers that
// take them too, and TIOCEXCL never stops root; a terminal program or a plain `cat` of the
// device would otherwise share the line and take bytes of a transfer.
//
// A lock file is "LCK..<name>" in the lock folder, <name> being the device path after
// "/dev/" with every '/' turned into '_' (/dev/ttyS0 -> LCK..ttyS0, /dev/pts/3 ->
// LCK..pts_3; a device outside /dev by its last path element). It holds the owner's PID as
// ten ASCII digits right-aligned and a newline. See docs/serial-ports.md.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// The folder of lock files: /var/lock, unless a test set another. Empty restores /var/lock.
void SetPortLockDir(const std::string& dir);
std::string PortLockDir();

// The lock file name of a device path that is already resolved (no symlinks).
std::string PortLockName(const std::string& device);

// The lock file of one device, held from Acquire until Release or destruction.
class TPortLock {
 public:
  TPortLock() = default;
  ~TPortLock() { Release(); }
  TPortLock(TPortLock&& other) noexcept;
  TPortLock& operator=(TPortLock&& other) noexcept;
  TPortLock(const TPortLock&) = delete;
  TPortLock& operator=(const TPortLock&) = delete;

  // ecOK when the device is free: the lock file is this process's now, or the folder takes
  // no lock file from this user (then Path() is empty). ecAccessDenied when a live process
  // holds the lock, this process among them (a second open here), or the lock is unreadable.
  // A lock of a dead process, or garbage, is removed and taken.
  std::int32_t Acquire(const std::string& device);
  // Removes the lock file if it is still the one Acquire made.
  void Release();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  pid_t owner_ = 0;  // a forked child inherits the object, not the lock
  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

// Whether a process other than this one has a descriptor open on the character device
// rdev. Processes whose descriptors this user may not read are not seen.
bool DeviceOpenElsewhere(dev_t rdev);
