// The application context: folders, the settings file, the program's version and
// its current panel type with the rules that switch features by panel type.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TContexte {
 public:
  TContexte();
  TContexte(const TContexte&) = delete;
  TContexte& operator=(const TContexte&) = delete;

  // Panel type: the program's current one and the rules on it.
  std::uint8_t PanelType() const { return panelType_; }
  // Makes the type current when it is compatible with the current one; answers that verdict.
  bool SetPanelType(std::uint8_t type);
  // Sets the type outright: the command-line option of the test tools, and tests.
  void SetCurrentPanelType(std::uint8_t type) { panelType_ = type; }
  void SelectFscVariant(bool security);
  void SetInstallerMode(bool) {}
  bool SettingsFlag() const { return settingsFlag_; }

  bool IsCompatible(std::uint8_t type) const;
  bool HasEvacuationModes() const;
  bool HasOptionCEvacuation() const;
  bool HasFscVariants() const;
  bool IsFscVariant() const;
  bool IsFscCieVariant() const;
  bool IsType2Or3() const;
  bool IsType4Or5() const;
  bool IsType6Or10Or11() const;
  bool IsType11() const;
  bool IsType7() const;
  int OnBoardRelayCount() const;
  int CrcVariant() const;

  // Folders (no trailing separator).
  const std::string& ProgramFolder() const { return programFolder_; }
  const std::string& DocumentsFolder() const { return documentsFolder_; }
  const std::string& SettingsFolder() const { return settingsFolder_; }
  const std::string& SettingsFilePath() const { return settingsFilePath_; }
  const std::string& LoadSavePath() const { return loadSavePath_; }
  const std::string& SaveAsPath() const { return saveAsPath_; }
  // UPLOADEDPATH; replaced by the documents folder first when it no longer exists.
  const std::string& UploadedPath();
  void SetLoadSavePath(const std::string& filePath);
  void SetSaveAsPath(const std::string& filePath);
  void SetUploadedPath(const std::string& filePath);
  std::string HelpFilePath() const;

  // Settings values.
  int ComPort() const { return comPort_; }
  void SetComPort(int port) { comPort_ = port; }
  bool Trace() const { return trace_; }
  bool Log() const { return log_; }
  bool Avsa() const { return avsa_; }
  void SetAvsa(bool avsa) { avsa_ = avsa; }
  const std::string& LangueDefaut() const { return langueDefaut_; }
  void SetLangueDefaut(const std::string& key) { langueDefaut_ = key; }

  int VersionMajor() const { return versionMajor_; }
  int VersionMinor() const { return versionMinor_; }
  int VersionRelease() const { return versionRelease_; }
  int VersionBuild() const { return versionBuild_; }
  std::string VersionText() const;

  void ReadSettings();
  // Writes the written-back keys; on failure answers false and sets error.
  bool WriteSettings(std::string* error = nullptr);

 private:
  void FindFolders();
  void ReadFileVersion();
  std::string CheckedFolder(std::string folder) const;
  void RememberFolder(std::string& field, const std::string& filePath) const;

  std::uint8_t panelType_ = 7;
  bool settingsFlag_ = true;
  std::string settingsFilePath_;
  std::string programFolder_;
  std::string documentsFolder_;
  std::string settingsFolder_;
  std::string loadSavePath_;
  std::string saveAsPath_;
  std::string uploadedPath_;
  std::string langueDefaut_;
  int versionMajor_ = 0;
  int versionMinor_ = 0;
  int versionRelease_ = 0;
  int versionBuild_ = 0;
  int comPort_ = 1;
  bool trace_ = false;
  bool log_ = false;
  bool avsa_ = true;
};

// Creates the context on the first call, then answers the same object.
TContexte& GetContexte();
// Writes the settings back and frees the context, when it exists. Never throws:
// a settings file that cannot be written is reported through the handler below.
void FreeContexte();

// Where a settings file that cannot be written is reported (the main window shows it
// in its message box; by default it goes to standard error).
using SettingsErrorHandler = std::function<void(const std::string& message)>;
void SetSettingsErrorHandler(SettingsErrorHandler handler);
