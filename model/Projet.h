// The current site database: at most one is open, with its name, folder and root
// object; the site image lives exactly as long as it does. Names and paths are the file
// system's (UTF-8); the messages raised are ANSI, like every model text.
#pragma once

#include <string>

class TZavo;

class TProjet {
 public:
  TProjet(const std::string& name, const std::string& folder);
  virtual ~TProjet();
  TProjet(const TProjet&) = delete;
  TProjet& operator=(const TProjet&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Folder() const { return folder_; }
  // "[" + the site file's path + "]", for the main window's caption (UTF-8, as the path).
  const std::string& CaptionText() const { return caption_; }
  TZavo* Root() const { return root_; }

 private:
  std::string name_;
  std::string caption_;
  std::string folder_;
  TZavo* root_ = nullptr;
};

// Raises text 34 when a database is open already; writes nothing to disk.
void NewDatabase(const std::string& name, const std::string& folder);
// Replaces the open database by the one read from the file at path. A missing file
// raises text 35 and keeps the open one; a file that fails to load raises text 37 with
// the reason and leaves none open.
void OpenDatabase(const std::string& path);
// Saves to path, or to the database's own file when path is empty, after copying the
// previous file to ".bak". Raises text 36 or 38; the previous file survives a failure.
void SaveDatabase(TProjet& database, const std::string& path = {});
void CloseDatabase();
TProjet* CurrentDatabase();
bool IsDatabaseLoaded();
std::string DatabasePath(const TProjet& database);
std::string SiteFileName(const TProjet& database);
// The site file that a path chosen for a database names: the same folder and name (what
// OpenDatabase takes for the database's name), with the site file's extension whatever
// extension, case or trailing dots the path had. Saving there keeps the file written, the
// database's name and every later save on one file.
std::string SiteFilePath(const std::string& path);
bool DeleteSiteFile(const TProjet& database);
