#include "serial/PortLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "serial/SlConst.h"

namespace {

constexpr const char* kDefaultLockDir = "/var/lock";

// Held while a lock is taken or given back, so that two ports of this process never
// race for one lock file; leaf.
std::mutex& LockMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& LockDirLocked() {
  static std::string dir;  // empty: the default
  return dir;
}

// The lock files this process holds: a lock with our PID that is not here was left by an
// earlier process that had the same number. A forked child starts with none: the locks it
// inherited name its parent, who still holds them.
std::set<std::string>& HeldLocked() {
  static pid_t holder = 0;
  static std::set<std::string> held;
  if (holder != getpid()) {
    holder = getpid();
    held.clear();
  }
  return held;
}

enum class Made { kMade, kTaken, kRefused };

// The PID goes into a private file of the folder first, which is then linked to the lock's
// name: the lock appears complete or not at all, and link() fails when it exists.
Made Create(const std::string& dir, const std::string& path, dev_t& dev, ino_t& ino) {
  std::string temp = dir + "/LTMP.XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Made::kRefused;
  fchmod(fd, 0644);  // readable by every program that checks the lock
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  struct stat st {};
  const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length && fstat(fd, &st) == 0;
  ::close(fd);
  int err = 0;
  if (written && link(temp.c_str(), path.c_str()) != 0) err = errno;
  unlink(temp.c_str());
  if (!written) return Made::kRefused;
  if (err == EEXIST) return Made::kTaken;
  if (err != 0) return Made::kRefused;
  dev = st.st_dev;
  ino = st.st_ino;
  return Made::kMade;
}

struct Owner {
  enum State { kGone, kPid, kGarbage, kUnreadable };
  State state = kGone;
  pid_t pid = 0;
  dev_t dev = 0;  // of the lock file read, so that only that file is removed as stale
  ino_t ino = 0;
};

Owner ReadOnce(const std::string& path) {
  Owner owner;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd < 0) {
    if (errno == ENOENT) return owner;
    // A symlink in place of a lock is garbage; anything else we cannot read may be live.
    owner.state = errno == ELOOP && lstat(path.c_str(), &st) == 0 ? Owner::kGarbage : Owner::kUnreadable;
    owner.dev = st.st_dev;
    owner.ino = st.st_ino;
    return owner;
  }
  char text[64];
  const ssize_t n = fstat(fd, &st) == 0 ? ::read(fd, text, sizeof text) : -1;
  ::close(fd);
  owner.dev = st.st_dev;
  owner.ino = st.st_ino;
  if (n < 0) {
    owner.state = Owner::kUnreadable;
    return owner;
  }
  // "%10d\n", the leading blanks optional. Some terminal programs write their name and
  // user after the number ("%10d name user\n"): the PID is the first word, and whatever
  // follows a blank is theirs.
  const auto size = static_cast<std::size_t>(n);
  std::size_t i = 0;
  while (i < size && text[i] == ' ') ++i;
  long value = 0;
  std::size_t digits = 0;
  for (; i < size && text[i] >= '0' && text[i] <= '9' && digits < 10; ++i, ++digits)
    value = value * 10 + (text[i] - '0');
  const bool ended = i == size || text[i] == '\n' || text[i] == ' ' || text[i] == '\t';
  const bool valid = digits > 0 && ended && value > 0 && value <= 0x7FFFFFFF;
  owner.state = valid ? Owner::kPid : Owner::kGarbage;
  owner.pid = valid ? static_cast<pid_t>(value) : 0;
  return owner;
}

Owner ReadOwner(const std::string& path) {
  Owner owner = ReadOnce(path);
  if (owner.state != Owner::kGarbage) return owner;
  // A locker that creates its file and then writes it shows an empty file for a moment.
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ReadOnce(path);
}

bool Alive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// Removes the stale lock that was read, not one that replaced it meanwhile. False when the
// folder does not let us (another user's file in a sticky folder).
bool RemoveStale(const std::string& path, const Owner& stale) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return true;
  if (st.st_dev != stale.dev || st.st_ino != stale.ino) return true;  // look again
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace

void SetPortLockDir(const std::string& dir) {
  std::lock_guard guard(LockMutex());
  LockDirLocked() = dir;
}

std::string PortLockDir() {
  std::lock_guard guard(LockMutex());
  return LockDirLocked().empty() ? kDefaultLockDir : LockDirLocked();
}

std::string PortLockName(const std::string& device) {
  std::string name =
      device.rfind("/dev/", 0) == 0 ? device.substr(5) : device.substr(device.find_last_of('/') + 1);
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

TPortLock::TPortLock(TPortLock&& other) noexcept
    : path_(std::move(other.path_)), owner_(other.owner_), dev_(other.dev_), ino_(other.ino_) {
  other.path_.clear();
}

TPortLock& TPortLock::operator=(TPortLock&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::move(other.path_);
    owner_ = other.owner_;
    dev_ = other.dev_;
    ino_ = other.ino_;
    other.path_.clear();
  }
  return *this;
}

std::int32_t TPortLock::Acquire(const std::string& device) {
  Release();
  const std::string dir = PortLockDir();
  const std::string path = dir + "/" + PortLockName(device);
  std::lock_guard guard(LockMutex());
  if (HeldLocked().count(path) != 0) return ecAccessDenied;  // open here already
  // A stale lock is removed and the lock tried once more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    dev_t dev = 0;
    ino_t ino = 0;
    const Made made = Create(dir, path, dev, ino);
    if (made == Made::kMade) {
      HeldLocked().insert(path);
      path_ = path;
      owner_ = getpid();
      dev_ = dev;
      ino_ = ino;
      return ecOK;
    }
    const Owner owner = ReadOwner(path);
    if (owner.state == Owner::kGone) {
      if (made == Made::kRefused) return ecOK;  // no lock here, and none to be had
      continue;                                 // given back meanwhile
    }
    if (owner.state == Owner::kUnreadable) return ecAccessDenied;
    if (owner.state == Owner::kPid && owner.pid != getpid() && Alive(owner.pid)) return ecAccessDenied;
    // Stale: a dead owner, garbage, or our own number from an earlier process.
    if (made == Made::kRefused || !RemoveStale(path, owner)) return ecOK;
  }
  return ecAccessDenied;  // taken again as soon as the stale one went
}

void TPortLock::Release() {
  if (path_.empty()) return;
  std::lock_guard guard(LockMutex());
  struct stat st {};
  if (owner_ == getpid() && lstat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_)
    unlink(path_.c_str());
  HeldLocked().erase(path_);
  path_.clear();
}

bool DeviceOpenElsewhere(dev_t rdev) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  const long self = static_cast<long>(getpid());
  bool found = false;
  while (!found) {
    const dirent* process = readdir(proc);
    if (process == nullptr) break;
    char* end = nullptr;
    const long pid = std::strtol(process->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    char path[48];
    std::snprintf(path, sizeof path, "/proc/%ld/fd", pid);
    const int dirFd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) continue;  // ended meanwhile, or another user's process
    DIR* fds = fdopendir(dirFd);
    if (fds == nullptr) {
      ::close(dirFd);
      continue;
    }
    while (const dirent* fd = readdir(fds)) {
      if (fd->d_name[0] == '.') continue;
      // The file behind the descriptor, its attributes as cached: a file on a network
      // mount that no longer answers cannot stall the open.
      struct statx st {};
      const int flags = AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT;
      if (statx(dirFd, fd->d_name, flags, STATX_TYPE, &st) == 0 && S_ISCHR(st.stx_mode) &&
          makedev(st.stx_rdev_major, st.stx_rdev_minor) == rdev) {
        found = true;
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  return found;
}
