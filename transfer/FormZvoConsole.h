// The transfer window: downloads the open site to the panel, uploads a site from the
// panel into a file the user names, or sends a panel language file, over one serial
// port with XMODEM-CRC. The panel's request before a database transfer is answered by
// the request responder (ZvoInc.h). Everything is reported in the log and the bar.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/OoMisc.h"
#include "shell/ChildForm.h"

class QComboBox;
class QFileDialog;
class QFrame;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class SerialAckResponder;
class TSioComPort;
class TSioCustomComPort;
class TSioProtocol;

// "COMn" for each serial port that exists now, with its number, sorted by text as the
// user has always seen them (COM10 before COM2).
struct PortListItem {
  QString text;
  int number;
};
std::vector<PortListItem> ListSerialPorts();

// The stored file-name field of a received site as a name to offer: no folder
// separators, control characters or "..", so that it cannot point out of the folder.
QString SafeOfferedFileName(const std::string& storedName);

// Moves the received file to the chosen path. Nothing happens when both name the same
// file; a move across file systems copies and then removes. False with the reason in
// error when the file could not be moved; the received file then stays where it was.
bool MoveReceivedFile(const std::string& from, const std::string& to, std::string* error);

class TFormZvoConsole : public TZvoChildForm {
  Q_OBJECT

 public:
  enum TransferState : std::uint8_t { kIdle = 0, kDownload = 1, kUpload = 2, kLanguage = 3 };

  TFormZvoConsole(TFormZvoPrincipale* owner, bool installer);
  ~TFormZvoConsole() override;

  void ApplyTexts() override;

  // The file dialogs (language file, received site) run through this hook while it is
  // set (tests): it gets the prepared dialog and answers the chosen path, or an empty
  // text for a cancel. An empty hook shows the dialogs.
  using FileDialogHook = std::function<QString(QFileDialog& dialog)>;
  static void SetFileDialogHook(FileDialogHook hook);

  // Commands.
  void ButtonTransfererClick();
  void ButtonRecevoirClick();
  void ButtonLangageClick();
  void ButtonFermerClick();
  void ComPortChange();

  static void FillPortList(QComboBox* items);

  std::uint8_t State() const { return state_; }
  QPlainTextEdit* MemoLog() const { return memoLog_; }
  QProgressBar* ProgressBar() const { return progressBar_; }
  QComboBox* CBport() const { return cbPort_; }
  QPushButton* BitBtnTransferer() const { return bitBtnTransferer_; }
  QPushButton* BitBtnRecevoir() const { return bitBtnRecevoir_; }
  QPushButton* BitBtnFermer() const { return bitBtnFermer_; }
  QPushButton* BitBtnLanguage() const { return bitBtnLanguage_; }
  TSioComPort* Port() const { return port_.get(); }
  TSioProtocol* Protocol() const { return protocol_.get(); }

 protected:
  bool CanClose() override { return PreFermeture(); }

 private:
  void SetTransferState(std::uint8_t state);
  void FocusFirstButton();
  bool PreFermeture();
  void OpenSelectedPort(const QString& portText);
  void CreateProtocol();
  void StartDatabaseRoad(std::uint8_t state);
  void FailStart(const QString& message);
  void ClosePort();
  void AddLog(const QString& line);

  void SurFinPreambule();
  void SurDebutPreambule();
  void SurDebutProtocole();
  void OnTimer();

  void ProtocoleError(std::int32_t code);
  void ProtocoleFinish(std::int32_t code);
  void ProtocoleLog(std::uint16_t code);
  void ProtocoleStatus();
  void UpdateProgress();
  void SaveReceivedDatabase();

  void ComPortOpen(TSioCustomComPort* sender);
  void ComPortClose(TSioCustomComPort* sender);

  // Runs the dialog, or the hook in its place.
  static QString RunFileDialog(QFileDialog& dialog);

  QPlainTextEdit* memoLog_;
  QProgressBar* progressBar_;
  QFrame* panelConsole_;
  QPushButton* bitBtnTransferer_;
  QPushButton* bitBtnRecevoir_;
  QComboBox* cbPort_;
  QPushButton* bitBtnFermer_;
  QPushButton* bitBtnLanguage_;

  std::uint8_t state_ = kIdle;
  // The owner of the serial components, as the window is theirs.
  TSioBaseComponent components_;
  std::unique_ptr<TSioComPort> port_;
  std::unique_ptr<SerialAckResponder> responder_;
  std::unique_ptr<TSioProtocol> protocol_;
  QTimer* timer_;
  void (TFormZvoConsole::*timerHandler_)() = nullptr;
  QString languageFileName_;
  std::int64_t languageFileSize_ = 0;
  // The position hidden while the bar blinks (the protocol's Tag keeps the last block
  // number seen), and the bar's step, one block.
  int progressTag_ = 0;
  int progressStep_ = 1;
};
