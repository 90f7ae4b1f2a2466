#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace platform {
namespace {

std::atomic<long> g_fault_bytes{-1};
std::atomic<int> g_fault_errno{0};

// The process umask without the umask(2) set-and-restore dance, which would
// briefly change it for every other thread.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
    }
  }
  mode_t old = ::umask(022);
  ::umask(old);
  return old;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A user who symlinks the file elsewhere (dotfiles) expects the link to survive.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf) == nullptr) return path;  // dangling: replace the link
  return buf;
}

bool WriteAll(int fd, const char* p, std::size_t size) {
  const long fault = g_fault_bytes.load();
  std::size_t limit = size;
  if (fault >= 0 && static_cast<unsigned long>(fault) < size) limit = static_cast<std::size_t>(fault);
  std::size_t done = 0;
  while (done < limit) {
    ssize_t n = ::write(fd, p + done, limit - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {  // no progress and no errno: treat like a full device
      errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (limit < size) {
    errno = g_fault_errno.load();
    return false;
  }
  return true;
}

int CloseKeepErrno(int fd) {
  int saved = errno;
  int rc = ::close(fd);
  errno = saved;
  return rc;
}

}  // namespace

void SetWriteFaultForTests(long bytes, int err) {
  g_fault_errno.store(err);
  g_fault_bytes.store(bytes < 0 ? -1 : bytes);
}

bool WriteFileAtomic(const std::string& path, const void* data, std::size_t size,
                     std::string* error, AtomicStage* stage) {
  auto fail = [&](AtomicStage where) {
    if (error) *error = std::strerror(errno);
    if (stage) *stage = where;
    return false;
  };

  const std::string target = ResolveTarget(path);

  mode_t mode;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    // rename() would happily replace a read-only file; a plain open would not,
    // and users make settings files read-only on purpose.
    if (::access(target.c_str(), W_OK) != 0) return fail(AtomicStage::Create);
    mode = st.st_mode & 07777;
  } else {
    mode = 0666 & ~CurrentUmask();
  }

  std::string temp = target + ".tmpXXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(AtomicStage::Create);

  auto discard = [&]() {
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail(AtomicStage::Write);
  };

  if (!WriteAll(fd, static_cast<const char*>(data), size) || ::fsync(fd) != 0 ||
      ::fchmod(fd, mode) != 0) {
    CloseKeepErrno(fd);
    return discard();
  }
  if (::close(fd) != 0) return discard();
  if (::rename(temp.c_str(), target.c_str()) != 0) return discard();

  // Make the rename itself durable; the data is already safe, so a failure
  // here is not worth reporting.
  int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  if (stage) *stage = AtomicStage::None;
  return true;
}

}  // namespace platform
