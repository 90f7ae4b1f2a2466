#include "model/Projet.h"

#include "model/Contexte.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/Texts.h"

using platform::LoadStr;

namespace {

TProjet* gCurrent = nullptr;

// A folder given relative, or not at all, is the current directory's.
std::string AbsoluteFolder(const std::string& folder) {
  if (!folder.empty() && folder[0] == '/') return folder;
  std::string cwd = platform::CurrentDirectory();
  return folder.empty() || folder == "." ? cwd : platform::JoinPath(cwd, folder);
}

std::string AbsolutePath(const std::string& path) {
  return path.empty() || path[0] == '/' ? path : platform::JoinPath(platform::CurrentDirectory(), path);
}

}  // namespace

TProjet::TProjet(const std::string& name, const std::string& folder) {
  AllocSiteImage();
  try {
    // The file-name field of the site holds ANSI text; names and paths are the file system's.
    root_ = new TZavo(platform::FromUnicode(name), GetContexte().PanelType());
  } catch (...) {
    FreeSiteImage();
    throw;
  }
  gCurrent = this;
  name_ = name;
  folder_ = platform::ExcludeTrailingSeparator(folder);
  caption_ = "[" + DatabasePath(*this) + "]";
}

TProjet::~TProjet() {
  delete root_;
  FreeSiteImage();
  if (gCurrent == this) gCurrent = nullptr;
}

void NewDatabase(const std::string& name, const std::string& folder) {
  if (gCurrent) throw platform::Exception(platform::FmtLoadStr(34, {platform::FromUnicode(name)}));
  new TProjet(name, AbsoluteFolder(folder));
}

void OpenDatabase(const std::string& path) {
  std::string full = AbsolutePath(path);
  std::string folder = platform::ExtractFileDir(full);
  std::string ext = platform::ExtractFileExt(full);
  std::string fileName = platform::ExtractFileName(full);
  std::string name = fileName.substr(0, fileName.size() - ext.size());
  if (!platform::FileExists(full)) throw platform::Exception(platform::FmtLoadStr(35, {platform::FromUnicode(path)}));
  CloseDatabase();
  auto* db = new TProjet(name, folder);
  try {
    db->Root()->LoadFromFile(full);
  } catch (const std::exception& e) {
    delete db;
    throw platform::Exception(LoadStr(37) + e.what());
  }
}

void SaveDatabase(TProjet& database, const std::string& path) {
  std::string target = path.empty() ? DatabasePath(database) : AbsolutePath(path);
  std::string folder = platform::ExtractFileDir(target);
  if (!platform::DirectoryExists(folder) && !platform::CreateDir(folder)) {
    throw platform::Exception(platform::FmtLoadStr(36, {platform::FromUnicode(folder)}));
  }
  if (platform::FileExists(target)) {
    // A failed backup does not stop the save; the previous backup stays as it was.
    platform::CopyFileAtomic(target, platform::ChangeFileExt(target, LoadStr(474)));
  }
  try {
    database.Root()->SaveToFile(target);
  } catch (const std::exception& e) {
    throw platform::Exception(LoadStr(38) + e.what());
  }
}

void CloseDatabase() { delete gCurrent; }

TProjet* CurrentDatabase() { return gCurrent; }

bool IsDatabaseLoaded() { return gCurrent != nullptr; }

std::string SiteFileName(const TProjet& database) { return database.Name() + LoadStr(473); }

std::string DatabasePath(const TProjet& database) { return platform::JoinPath(database.Folder(), SiteFileName(database)); }

std::string SiteFilePath(const std::string& path) {
  std::string fileName = platform::ExtractFileName(path);
  while (!fileName.empty() && fileName.back() == '.') fileName.pop_back();
  std::string name = fileName.substr(0, fileName.size() - platform::ExtractFileExt(fileName).size());
  return platform::JoinPath(platform::ExtractFileDir(path), name + LoadStr(473));
}

bool DeleteSiteFile(const TProjet& database) {
  std::string path = DatabasePath(database);
  if (!platform::FileExists(path)) return true;
  return platform::DeleteFileAt(path);
}
