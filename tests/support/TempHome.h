// Test environment of its own for code that reads the user's folders and settings:
// a fresh HOME (and XDG config folder) in a temporary folder, and a fresh context.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/Contexte.h"
#include "model/Projet.h"

class TempHome {
 public:
  TempHome() {
    char pattern[] = "/tmp/kvx-home-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made ? made : "/tmp";
    CloseDatabase();
    FreeContexteQuietly();
    ::setenv("HOME", path_.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
  }
  ~TempHome() {
    CloseDatabase();
    FreeContexteQuietly();
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& Path() const { return path_; }
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }
  std::string SettingsFile() const { return path_ + "/.config/Korvanex/Korvanex.ini"; }

 private:
  static void FreeContexteQuietly() {
    SetSettingsErrorHandler([](const std::string&) {});
    FreeContexte();
    SetSettingsErrorHandler({});
  }
  std::string path_;
};
