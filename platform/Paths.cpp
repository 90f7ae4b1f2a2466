#include "platform/Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/AtomicFile.h"

namespace platform {

std::string ExtractFilePath(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileDir(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string ExtractFileName(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::string old = ExtractFileExt(path);
  return std::string(path.substr(0, path.size() - old.size())) + std::string(ext);
}

std::string ExcludeTrailingSeparator(std::string_view path) {
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string r(folder);
  if (r.back() != '/') r += '/';
  return r + std::string(name);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  if (path.empty()) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return DirectoryExists(path);
}

bool CreateDirs(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string parent = ExtractFileDir(ExcludeTrailingSeparator(path));
  if (!parent.empty() && parent != path && !DirectoryExists(parent) && !CreateDirs(parent)) return false;
  return CreateDir(path);
}

bool DeleteFileAt(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1U << 20)) return ".";
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

bool CopyFileAtomic(const std::string& src, const std::string& dst, std::string* error) {
  std::ifstream in(src, std::ios::binary);
  if (!in) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    if (error) *error = "Read error";
    return false;
  }
  return WriteFileAtomic(dst, data.data(), data.size(), error);
}

std::optional<LocalDateTime> FileDate(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  std::tm tm{};
  std::time_t t = st.st_mtime;
  if (!localtime_r(&t, &tm)) return std::nullopt;
  return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string ProgramFile() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string ProgramFolder() { return ExtractFileDir(ProgramFile()); }

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string ConfigHomeFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return ExcludeTrailingSeparator(xdg);
  return JoinPath(HomeFolder(), ".config");
}

std::string DocumentsFolder() {
  // user-dirs.dirs holds lines such as XDG_DOCUMENTS_DIR="$HOME/Documents".
  std::string home = HomeFolder();
  std::ifstream in(JoinPath(ConfigHomeFolder(), "user-dirs.dirs"));
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DOCUMENTS_DIR=";
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    value = ExcludeTrailingSeparator(value);
    // "$HOME/" alone means the documents folder is disabled.
    if (!value.empty() && value[0] == '/' && value != ExcludeTrailingSeparator(home)) return value;
  }
  return ExcludeTrailingSeparator(home);
}

}  // namespace platform
