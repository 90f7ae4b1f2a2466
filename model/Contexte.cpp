#include "model/Contexte.h"

#include <iostream>
#include <memory>

#include "platform/Format.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Texts.h"
#include "platform/Version.h"

using platform::LoadStr;

namespace {

std::unique_ptr<TContexte> gContexte;

SettingsErrorHandler& ErrorHandler() {
  static SettingsErrorHandler handler;
  return handler;
}

void ReportSettingsError(const std::string& message) {
  if (ErrorHandler()) {
    ErrorHandler()(message);
  } else {
    std::cerr << message << '\n';
  }
}

bool In(std::uint8_t t, std::initializer_list<int> types) {
  for (int x : types) {
    if (t == x) return true;
  }
  return false;
}

// The partner of a type in the pairs 2/3, 4/5, 8/9; 0 when it has none.
std::uint8_t Partner(std::uint8_t t) {
  switch (t) {
    case 2: return 3;
    case 3: return 2;
    case 4: return 5;
    case 5: return 4;
    case 8: return 9;
    case 9: return 8;
    default: return 0;
  }
}

constexpr const char* kGeneral = "GENERAL";
constexpr const char* kMultiLangue = "MULTILANGUE";
constexpr const char* kPoint = "POINT";

}  // namespace

TContexte& GetContexte() {
  if (!gContexte) gContexte = std::make_unique<TContexte>();
  return *gContexte;
}

void FreeContexte() {
  if (!gContexte) return;
  std::string error;
  if (!gContexte->WriteSettings(&error)) ReportSettingsError(error);
  gContexte.reset();
}

void SetSettingsErrorHandler(SettingsErrorHandler handler) { ErrorHandler() = std::move(handler); }

TContexte::TContexte() {
  FindFolders();
  loadSavePath_ = saveAsPath_ = uploadedPath_ = documentsFolder_;
  ReadFileVersion();
  settingsFilePath_ = platform::JoinPath(settingsFolder_, LoadStr(471));
  if (platform::FileExists(settingsFilePath_)) {
    ReadSettings();
  } else {
    std::string error;
    if (!WriteSettings(&error)) ReportSettingsError(error);
  }
}

void TContexte::FindFolders() {
  programFolder_ = platform::ProgramFolder();
  documentsFolder_ = platform::DocumentsFolder();
  // The configuration folder may not exist yet on a fresh account; it is ours to create.
  settingsFolder_ = platform::ConfigHomeFolder();
  platform::CreateDirs(settingsFolder_);
  if (!platform::DirectoryExists(documentsFolder_)) documentsFolder_ = programFolder_;
  if (!platform::DirectoryExists(settingsFolder_)) {
    settingsFolder_ = documentsFolder_;
    return;
  }
  std::string candidate = platform::JoinPath(settingsFolder_, LoadStr(472));
  if (platform::CreateDir(candidate)) settingsFolder_ = candidate;
}

void TContexte::ReadFileVersion() {
  versionMajor_ = platform::kVersionMajor;
  versionMinor_ = platform::kVersionMinor;
  versionRelease_ = platform::kVersionRelease;
  versionBuild_ = platform::kVersionBuild;
}

std::string TContexte::CheckedFolder(std::string folder) const {
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  // An empty or relative folder, or the root in any spelling, is not kept.
  bool onlySeparators = folder.find_first_not_of('/') == std::string::npos;
  if (onlySeparators || folder[0] != '/' || !platform::DirectoryExists(folder)) return documentsFolder_;
  return folder;
}

void TContexte::ReadSettings() {
  platform::IniFile ini(settingsFilePath_);
  comPort_ = ini.ReadInteger(kGeneral, "COM", 1);
  trace_ = ini.ReadBool(kGeneral, "TRACE", false);
  log_ = ini.ReadBool(kGeneral, "LOG", false);
  saveAsPath_ = CheckedFolder(ini.ReadString(kGeneral, "SAVE_AS_PATH", documentsFolder_));
  loadSavePath_ = CheckedFolder(ini.ReadString(kGeneral, "LOADSAVEPATH", documentsFolder_));
  uploadedPath_ = CheckedFolder(ini.ReadString(kGeneral, "UPLOADEDPATH", documentsFolder_));
  langueDefaut_ = ini.ReadString(kMultiLangue, "LANGUEDEFAUT", "LANGUE_ANGLAIS");
  avsa_ = ini.ReadBool(kPoint, "AVSA", true);
}

bool TContexte::WriteSettings(std::string* error) {
  platform::IniFile ini(settingsFilePath_);
  ini.WriteInteger(kGeneral, "COM", comPort_);
  ini.WriteString(kGeneral, "SAVE_AS_PATH", saveAsPath_);
  ini.WriteString(kGeneral, "LOADSAVEPATH", loadSavePath_);
  ini.WriteString(kGeneral, "UPLOADEDPATH", uploadedPath_);
  ini.WriteString(kMultiLangue, "LANGUEDEFAUT", langueDefaut_);
  ini.WriteBool(kPoint, "AVSA", avsa_);
  std::string cause;
  if (ini.UpdateFile(&cause)) return true;
  if (error) *error = platform::FmtLoadStr(9501, {settingsFilePath_, cause});
  return false;
}

void TContexte::RememberFolder(std::string& field, const std::string& filePath) const {
  std::string folder = platform::ExcludeTrailingSeparator(platform::ExtractFilePath(filePath));
  if (folder == "/") return;
  // A relative path names a folder of the current directory; the settings keep it absolute.
  if (!folder.empty() && folder[0] != '/') folder = platform::JoinPath(platform::CurrentDirectory(), folder);
  if (platform::DirectoryExists(folder)) field = folder;
}

void TContexte::SetLoadSavePath(const std::string& filePath) { RememberFolder(loadSavePath_, filePath); }
void TContexte::SetSaveAsPath(const std::string& filePath) { RememberFolder(saveAsPath_, filePath); }
void TContexte::SetUploadedPath(const std::string& filePath) { RememberFolder(uploadedPath_, filePath); }

const std::string& TContexte::UploadedPath() {
  if (!platform::DirectoryExists(uploadedPath_)) uploadedPath_ = documentsFolder_;
  return uploadedPath_;
}

std::string TContexte::HelpFilePath() const { return platform::JoinPath(programFolder_, LoadStr(20)); }

std::string TContexte::VersionText() const {
  if (versionMajor_ != 0 || versionMinor_ != 0) {
    std::string text = platform::Format("%2d.%2.2d", {versionMajor_, versionMinor_});
    if (versionRelease_ < 100) text += platform::Format("B%d", {versionRelease_});
    return text;
  }
  auto date = platform::FileDate(platform::ProgramFile());
  if (!date) return {};
  return platform::Format("%04d%02d%02d", {date->year, date->month, date->day});
}

bool TContexte::SetPanelType(std::uint8_t type) {
  bool ok = IsCompatible(type);
  if (ok) panelType_ = type;
  return ok;
}

void TContexte::SelectFscVariant(bool security) {
  if (security) {
    if (In(panelType_, {2, 4, 8})) ++panelType_;
  } else if (In(panelType_, {3, 5, 9})) {
    --panelType_;
  }
}

bool TContexte::IsCompatible(std::uint8_t type) const {
  return type == panelType_ || (Partner(panelType_) != 0 && type == Partner(panelType_));
}

bool TContexte::HasEvacuationModes() const { return In(panelType_, {6, 7, 10, 11}); }
bool TContexte::HasOptionCEvacuation() const { return In(panelType_, {6, 7, 10, 11}); }
bool TContexte::HasFscVariants() const { return In(panelType_, {2, 3, 4, 5, 8, 9}); }
bool TContexte::IsFscVariant() const { return In(panelType_, {2, 4, 8}); }
bool TContexte::IsFscCieVariant() const { return In(panelType_, {3, 5, 9}); }
bool TContexte::IsType2Or3() const { return In(panelType_, {2, 3}); }
bool TContexte::IsType4Or5() const { return In(panelType_, {4, 5}); }
bool TContexte::IsType6Or10Or11() const { return In(panelType_, {6, 10, 11}); }
bool TContexte::IsType11() const { return panelType_ == 11; }
bool TContexte::IsType7() const { return panelType_ == 7; }
int TContexte::OnBoardRelayCount() const { return IsFscCieVariant() ? 4 : 5; }

int TContexte::CrcVariant() const {
  if (In(panelType_, {2, 3, 7})) return 1;
  if (In(panelType_, {4, 5, 6})) return 3;
  if (In(panelType_, {8, 9})) return 2;
  return 0;
}
