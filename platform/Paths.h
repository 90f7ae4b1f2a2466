// File-system helpers and the user's folders. "/" is the separator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace platform {

// Path pieces in the manner the program's callers expect:
//   ExtractFilePath("/a/b.srd") == "/a/"   ExtractFileDir("/a/b.srd") == "/a"
//   ExtractFileName("/a/b.srd") == "b.srd" ExtractFileExt("/a/b.srd") == ".srd"
std::string ExtractFilePath(std::string_view path);
std::string ExtractFileDir(std::string_view path);
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// One trailing separator removed (not from "/" itself).
std::string ExcludeTrailingSeparator(std::string_view path);
// A path joined to a folder; an empty folder gives the path itself.
std::string JoinPath(std::string_view folder, std::string_view name);

bool FileExists(const std::string& path);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);  // "" is not a folder
bool CreateDir(const std::string& path);        // one level; true when it exists afterwards
bool CreateDirs(const std::string& path);       // with missing parents
bool DeleteFileAt(const std::string& path);
std::string CurrentDirectory();

// Copies src over dst through a temporary file, so an older dst survives a failed copy.
bool CopyFileAtomic(const std::string& src, const std::string& dst, std::string* error = nullptr);

// Last modification time of a file, in local time.
std::optional<LocalDateTime> FileDate(const std::string& path);

// The executable and its folder (no trailing separator).
std::string ProgramFile();
std::string ProgramFolder();

// $HOME, else the password database's home.
std::string HomeFolder();
// The per-user configuration folder: $XDG_CONFIG_HOME when absolute, else ~/.config.
std::string ConfigHomeFolder();
// The XDG documents folder (user-dirs.dirs), else $HOME.
std::string DocumentsFolder();

}  // namespace platform
