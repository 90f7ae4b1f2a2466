// The file-transfer protocol component: TSioCustomProtocol holds the settings of every
// protocol engine, selects the engine by ProtocolType, starts and cancels transfers over
// its ComPort, and turns what the engines report into events. The engines run on the
// port's dispatch thread (SwAbsPcl.h); their messages reach the component's hidden
// message window of the class "swMsgHandler", so every event runs on the thread that
// created the component (the user-interface thread), in the order the engine sent them.
//
// Beside it stand two optional companions found on the same owner: a status display
// (TSioAbstractStatus, told of every status report) and a history log (TSioProtocolLog,
// lines per transfer in a text file).
//
// Properties are getter/setter pairs: HandshakeWait() and SetHandshakeWait(v). Failures
// raise the exception of their code through CheckException (SlExcept.h). Change settings
// only while no transfer runs; read the run-time properties from the events, where the
// engine waits for them.
//
// Closing: the finish event, and a CancelProtocol, first let the port's output drain for
// up to one second (the output ring, then the device's queue and transmitter; a pty,
// which cannot tell, gets 50 ms), so that closing the port right after them still
// delivers the final ACK or the cancel sequence to the peer.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "serial/OoMisc.h"
#include "serial/SioComPort.h"
#include "serial/SwAbsPcl.h"
#include "serial/SwMsgWindow.h"

enum TZmodemFileOptions : std::uint8_t {
  zfoNoOption,
  zfoWriteNewerLonger,
  zfoWriteCrc,
  zfoWriteAppend,
  zfoWriteClobber,
  zfoWriteNewer,
  zfoWriteDifferent,
  zfoWriteProtect
};

enum TDeleteFailed : std::uint8_t { dfNever, dfAlways, dfNonRecoverable };

// How the ASCII engine treats CR and LF: unchanged, dropped, an LF becomes CR LF, a CR
// becomes CR LF.
enum TAsciiEOLTranslation : std::uint8_t { aetNone, aetStrip, aetAddCRBefore, aetAddLFAfter };

class TSioCustomProtocol;

// ---- events (all receive the component as sender) ----
using TProtocolAcceptEvent =
    std::function<void(TSioCustomProtocol* sender, bool& accept, std::string& fileName)>;
using TProtocolErrorEvent = std::function<void(TSioCustomProtocol* sender, std::int32_t errorCode)>;
using TProtocolFinishEvent = std::function<void(TSioCustomProtocol* sender, std::int32_t errorCode)>;
using TProtocolLogEvent = std::function<void(TSioCustomProtocol* sender, std::uint16_t log)>;
using TProtocolNextFileEvent = std::function<void(TSioCustomProtocol* sender, std::string& fileName)>;
using TProtocolResumeEvent =
    std::function<void(TSioCustomProtocol* sender, TWriteFailAction& resume)>;
using TProtocolStatusEvent = std::function<void(TSioCustomProtocol* sender, std::uint16_t options)>;

// A status display: told of every status report of its protocol. The visual part is a
// descendant's: it builds its display in CreateDisplay and shows the report in
// UpdateDisplay. A C++ base cannot call a descendant's override from its own constructor,
// so the descendant's constructor calls CreateDisplay (and its destructor DestroyDisplay).
class TSioAbstractStatus : public TSioBaseComponent {
 public:
  // Links itself to the first protocol of the owner that has no status display yet.
  explicit TSioAbstractStatus(TSioBaseComponent* owner = nullptr);
  ~TSioAbstractStatus() override;

  virtual void UpdateDisplay(bool first, bool last) = 0;
  virtual void CreateDisplay() {}
  virtual void DestroyDisplay() {}
  virtual void Show() {}

  TSioCustomProtocol* Protocol() const { return protocol_; }
  // Also makes this the protocol's StatusDisplay (null unlinks both sides).
  void SetProtocol(TSioCustomProtocol* protocol);

  struct TPosition {
    int left = 0;
    int top = 0;
  };
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool on) { ctl3D_ = on; }
  bool Visible() const { return visible_; }
  void SetVisible(bool on) { visible_ = on; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }

 private:
  friend class TSioCustomProtocol;
  TSioCustomProtocol* protocol_ = nullptr;
  TPosition position_;
  bool ctl3D_ = true;
  bool visible_ = false;
  std::string caption_ = "Protocol Status";
};

// The history log: lines per transfer appended to HistoryName (nothing when it is empty).
class TSioProtocolLog : public TSioBaseComponent {
 public:
  // Links itself to the first protocol of the owner that has no protocol log yet.
  explicit TSioProtocolLog(TSioBaseComponent* owner = nullptr);
  ~TSioProtocolLog() override;

  // Appends the lines of a log code (0-7; others write nothing). An I/O failure raises
  // EInOutError. A failed reception's file is deleted as DeleteFailed says.
  virtual void UpdateLog(std::uint16_t log);

  TSioCustomProtocol* Protocol() const { return protocol_; }
  // Also makes this the protocol's ProtocolLog (null unlinks both sides).
  void SetProtocol(TSioCustomProtocol* protocol);
  TDeleteFailed DeleteFailed() const { return deleteFailed_; }
  void SetDeleteFailed(TDeleteFailed mode) { deleteFailed_ = mode; }
  const std::string& HistoryName() const { return historyName_; }
  void SetHistoryName(const std::string& name) { historyName_ = name; }

 private:
  friend class TSioCustomProtocol;
  TSioCustomProtocol* protocol_ = nullptr;
  TDeleteFailed deleteFailed_ = dfNonRecoverable;
  std::string historyName_ = "SIO.HIS";
};

class TSioCustomProtocol : public TSioBaseComponent {
 public:
  // Takes the first port, status display and protocol log the owner has (depth first),
  // and creates the message window on the calling thread (EInternal when it cannot).
  explicit TSioCustomProtocol(TSioBaseComponent* owner = nullptr);
  // A transfer still running is cancelled first.
  ~TSioCustomProtocol() override;

  // Settings and links of another protocol component (not a running transfer).
  void Assign(const TSioCustomProtocol& source);

  // ---- transfers ----
  // Nothing with ptNoProtocol; EPortNotAssigned without a port. A failure on the way
  // (a port that will not open, a file that is not there) arrives as OnProtocolError and
  // OnProtocolFinish.
  void StartTransmit();
  void StartReceive();
  // Cancels a running transfer; its finish event follows. Safe while an engine step runs:
  // messages are delivered meanwhile, so the step's own message does not have to time out.
  // From inside one of this component's events it waits for that event's sender to give
  // up (at most 1000 ms). Do not free the component from inside its events.
  void CancelProtocol();

  // Text of a status code (4700-4730); empty for others, negative codes included.
  std::string StatusMsg(std::int32_t code) const;
  std::int32_t EstimateTransferSecs(std::int32_t bytes) const;

  // ---- properties ----
  TSioCustomComPort* ComPort() const { return comPort_; }
  // Another port (or none) cancels a running transfer first. Detach the port before it is
  // freed: the component is not told when it goes.
  void SetComPort(TSioCustomComPort* port);
  TProtocolType ProtocolType() const { return protocolType_; }
  // Selects the engine; one that is not built, or refuses, raises and keeps the old type.
  void SetProtocolType(TProtocolType type);
  std::string DestinationDirectory() const;
  void SetDestinationDirectory(const std::string& dir);
  std::string FileMask() const;
  void SetFileMask(const std::string& mask);
  TBlockCheckMethod BlockCheckMethod() const;
  void SetBlockCheckMethod(TBlockCheckMethod method);
  std::uint32_t HandshakeRetry() const;
  void SetHandshakeRetry(std::uint32_t retry);
  std::int32_t HandshakeWait() const;  // ticks
  void SetHandshakeWait(std::int32_t ticks);
  std::int32_t TransmitTimeout() const;  // ticks
  void SetTransmitTimeout(std::int32_t ticks);
  std::int32_t FinishWait() const;  // ticks
  void SetFinishWait(std::int32_t ticks);
  std::uint32_t TurnDelay() const;  // milliseconds
  void SetTurnDelay(std::uint32_t ms);
  std::uint32_t Overhead() const;  // bytes
  void SetOverhead(std::uint32_t bytes);
  TWriteFailAction WriteFailAction() const;
  void SetWriteFailAction(TWriteFailAction action);
  bool HonorDirectory() const { return Flag(apHonorDirectory); }
  void SetHonorDirectory(bool on) { SetFlagBit(apHonorDirectory, on); }
  bool IncludeDirectory() const { return Flag(apIncludeDirectory); }
  void SetIncludeDirectory(bool on) { SetFlagBit(apIncludeDirectory, on); }
  bool RTSLowForWrite() const { return Flag(apRTSLowForWrite); }
  void SetRTSLowForWrite(bool on) { SetFlagBit(apRTSLowForWrite, on); }
  bool AbortNoCarrier() const { return Flag(apAbortNoCarrier); }
  void SetAbortNoCarrier(bool on) { SetFlagBit(apAbortNoCarrier, on); }
  bool BP2KTransmit() const { return Flag(apBP2KTransmit); }
  void SetBP2KTransmit(bool on) { SetFlagBit(apBP2KTransmit, on); }
  bool AsciiSuppressCtrlZ() const { return Flag(apAsciiSuppressCtrlZ); }
  void SetAsciiSuppressCtrlZ(bool on) { SetFlagBit(apAsciiSuppressCtrlZ, on); }
  TSioAbstractStatus* StatusDisplay() const { return statusDisplay_; }
  void SetStatusDisplay(TSioAbstractStatus* display);
  TSioProtocolLog* ProtocolLog() const { return protocolLog_; }
  void SetProtocolLog(TSioProtocolLog* log);
  std::int32_t StatusInterval() const;  // ticks
  void SetStatusInterval(std::int32_t ticks);
  // The file being transferred (a received file's name after a rename). Unchanged while
  // the work file is open.
  std::string FileName() const;
  void SetFileName(const std::string& name);
  bool UpcaseFileNames() const;
  void SetUpcaseFileNames(bool on);

  // Per-engine options: kept here across engine changes, handed to their engine when it
  // is selected.
  std::int32_t XYmodemBlockWait() const;  // ticks
  void SetXYmodemBlockWait(std::int32_t ticks);
  bool ZmodemOptionOverride() const { return zmodemOptionOverride_; }
  void SetZmodemOptionOverride(bool on);
  bool ZmodemSkipNoFile() const { return zmodemSkipNoFile_; }
  void SetZmodemSkipNoFile(bool on);
  TZmodemFileOptions ZmodemFileOption() const { return zmodemFileOption_; }
  void SetZmodemFileOption(TZmodemFileOptions option);
  bool ZmodemRecover() const { return zmodemRecover_; }
  void SetZmodemRecover(bool on);
  bool Zmodem8K() const { return zmodem8K_; }
  void SetZmodem8K(bool on);
  std::uint32_t ZmodemFinishRetry() const { return zmodemFinishRetry_; }
  void SetZmodemFinishRetry(std::uint32_t count);
  std::uint32_t KermitMaxLen() const { return kermitMaxLen_; }
  void SetKermitMaxLen(std::uint32_t bytes);
  std::uint32_t KermitMaxWindows() const { return kermitMaxWindows_; }
  void SetKermitMaxWindows(std::uint32_t count);
  std::uint32_t KermitSWCTurnDelay() const { return kermitSWCTurnDelay_; }
  void SetKermitSWCTurnDelay(std::uint32_t delay);
  std::uint32_t KermitTimeoutSecs() const { return kermitTimeoutSecs_; }
  void SetKermitTimeoutSecs(std::uint32_t secs);
  char KermitPadCharacter() const { return kermitPadCharacter_; }
  void SetKermitPadCharacter(char c);
  std::uint32_t KermitPadCount() const { return kermitPadCount_; }
  void SetKermitPadCount(std::uint32_t count);
  char KermitTerminator() const { return kermitTerminator_; }
  void SetKermitTerminator(char c);
  char KermitCtlPrefix() const { return kermitCtlPrefix_; }
  void SetKermitCtlPrefix(char c);
  char KermitHighbitPrefix() const { return kermitHighbitPrefix_; }
  void SetKermitHighbitPrefix(char c);
  char KermitRepeatPrefix() const { return kermitRepeatPrefix_; }
  void SetKermitRepeatPrefix(char c);
  std::uint32_t AsciiCharDelay() const { return asciiCharDelay_; }  // milliseconds
  void SetAsciiCharDelay(std::uint32_t ms);
  std::uint32_t AsciiLineDelay() const { return asciiLineDelay_; }  // milliseconds
  void SetAsciiLineDelay(std::uint32_t ms);
  char AsciiEOLChar() const { return asciiEOLChar_; }
  void SetAsciiEOLChar(char c);
  TAsciiEOLTranslation AsciiCRTranslation() const { return asciiCRTranslation_; }
  void SetAsciiCRTranslation(TAsciiEOLTranslation t);
  TAsciiEOLTranslation AsciiLFTranslation() const { return asciiLFTranslation_; }
  void SetAsciiLFTranslation(TAsciiEOLTranslation t);
  std::int32_t AsciiEOFTimeout() const { return asciiEOFTimeout_; }  // ticks
  void SetAsciiEOFTimeout(std::int32_t ticks);

  // ---- run-time properties ----
  bool Batch() const;
  std::int32_t ProtocolStatus() const;
  std::int32_t ProtocolError() const;
  std::int32_t FileLength() const;
  // The file's date and time (UTC), 0 when none is known.
  std::time_t FileDate() const;
  std::int32_t InitialPosition() const;
  // A transfer was started and has not ended yet.
  bool InProgress() const;
  std::uint32_t BlockErrors() const;
  std::uint32_t TotalErrors() const;
  std::int32_t BytesRemaining() const;
  std::int32_t BytesTransferred() const;
  std::int32_t ElapsedTicks() const;
  // The block being handled while a transfer runs, else the engine's nominal length
  // (128 for ptXmodem and ptXmodemCRC, 1024 for the 1K variants).
  std::uint32_t BlockLength() const;
  std::uint32_t BlockNumber() const;
  // Line speed in bits per second for the estimates; set, it is no longer taken from the
  // port at the next start.
  std::uint32_t ActualBPS() const;
  void SetActualBPS(std::uint32_t bps);
  bool YModem128ByteBlocks() const { return false; }
  std::uint32_t KermitWindowsTotal() const { return 0; }
  std::uint32_t KermitWindowsUsed() const { return 0; }
  bool KermitLongBlocks() const { return false; }

  // The message window the engines report to.
  HWND WindowHandle() const { return wnd_; }
  // A free number for the user (the transfer window keeps the last block number seen).
  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }

  // The transfer record; for the engines' tests and the companions.
  PProtocolData Data() const { return data_; }

  // ---- events ----
  const TProtocolAcceptEvent& OnProtocolAccept() const { return onProtocolAccept_; }
  void SetOnProtocolAccept(TProtocolAcceptEvent e) { onProtocolAccept_ = std::move(e); }
  const TProtocolErrorEvent& OnProtocolError() const { return onProtocolError_; }
  void SetOnProtocolError(TProtocolErrorEvent e) { onProtocolError_ = std::move(e); }
  const TProtocolFinishEvent& OnProtocolFinish() const { return onProtocolFinish_; }
  void SetOnProtocolFinish(TProtocolFinishEvent e) { onProtocolFinish_ = std::move(e); }
  const TProtocolLogEvent& OnProtocolLog() const { return onProtocolLog_; }
  void SetOnProtocolLog(TProtocolLogEvent e) { onProtocolLog_ = std::move(e); }
  const TProtocolNextFileEvent& OnProtocolNextFile() const { return onProtocolNextFile_; }
  void SetOnProtocolNextFile(TProtocolNextFileEvent e) { onProtocolNextFile_ = std::move(e); }
  const TProtocolResumeEvent& OnProtocolResume() const { return onProtocolResume_; }
  void SetOnProtocolResume(TProtocolResumeEvent e) { onProtocolResume_ = std::move(e); }
  const TProtocolStatusEvent& OnProtocolStatus() const { return onProtocolStatus_; }
  void SetOnProtocolStatus(TProtocolStatusEvent e) { onProtocolStatus_ = std::move(e); }

 protected:
  // What the window's messages turn into; each ends in its event.
  virtual void apwProtocolAccept(bool& accept, std::string& fileName);
  virtual void apwProtocolError(std::int32_t errorCode);
  virtual void apwProtocolFinish(std::int32_t errorCode);
  virtual void apwProtocolLog(std::uint16_t log);
  virtual void apwProtocolNextFile(std::string& fileName);
  virtual void apwProtocolResume(TWriteFailAction& resume);
  virtual void apwProtocolStatus(std::uint16_t options);
  // The port's extended user callback: a port closing under a transfer cancels it.
  void apwPortCallbackEx(TSioCustomComPort* sender, TSioCallbackType kind);

 private:
  struct TLink;  // shared with the window's procedure, cleared when the component goes
  friend class TSioAbstractStatus;
  friend class TSioProtocolLog;

  static std::intptr_t WindowProc(const std::shared_ptr<TLink>& link, std::uint32_t msg,
                                  std::uintptr_t wParam, std::intptr_t lParam);
  void Start(bool transmit);
  bool Flag(std::uint32_t bit) const;
  void SetFlagBit(std::uint32_t bit, bool on);
  bool IsXYmodem() const { return protocolType_ >= ptXmodem && protocolType_ <= ptYmodemG; }
  // The dispatcher of the port unless it is closed; never opens the port.
  TSioBaseDispatcher* PortDispatcher() const;
  // Waits up to one second for the port's output to go out.
  void DrainOutput() const;
  // Cancels a running transfer, waiting for the record without delivering messages; true
  // when there was one.
  bool CancelWaiting();
  void RegisterPortCallback();
  void DeregisterPortCallback();

  std::shared_ptr<TLink> link_;
  PProtocolData data_ = nullptr;
  TSioCustomComPort* comPort_ = nullptr;
  TSioCustomComPort* callbackPort_ = nullptr;  // where apwPortCallbackEx is registered
  TProtocolType protocolType_ = ptNoProtocol;
  TSioAbstractStatus* statusDisplay_ = nullptr;
  TSioProtocolLog* protocolLog_ = nullptr;
  HWND wnd_ = 0;
  TProtocolFunc stateRoutine_ = nullptr;
  bool baudFromPort_ = true;
  bool pushOptions_ = false;
  bool cancelling_ = false;
  std::intptr_t tag_ = 0;

  // Stored per-engine options.
  std::int32_t xyBlockWait_ = 91;
  bool zmodemOptionOverride_ = false;
  bool zmodemSkipNoFile_ = false;
  TZmodemFileOptions zmodemFileOption_ = zfoWriteNewer;
  bool zmodemRecover_ = false;
  bool zmodem8K_ = false;
  std::uint32_t zmodemFinishRetry_ = 0;
  std::uint32_t kermitMaxLen_ = 80;
  std::uint32_t kermitMaxWindows_ = 0;
  std::uint32_t kermitSWCTurnDelay_ = 0;
  std::uint32_t kermitTimeoutSecs_ = 5;
  char kermitPadCharacter_ = 0;
  std::uint32_t kermitPadCount_ = 0;
  char kermitTerminator_ = 13;
  char kermitCtlPrefix_ = '#';
  char kermitHighbitPrefix_ = 'Y';
  char kermitRepeatPrefix_ = '~';
  std::uint32_t asciiCharDelay_ = 0;
  std::uint32_t asciiLineDelay_ = 0;
  char asciiEOLChar_ = 13;
  TAsciiEOLTranslation asciiCRTranslation_ = aetNone;
  TAsciiEOLTranslation asciiLFTranslation_ = aetNone;
  std::int32_t asciiEOFTimeout_ = 364;

  TProtocolAcceptEvent onProtocolAccept_;
  TProtocolErrorEvent onProtocolError_;
  TProtocolFinishEvent onProtocolFinish_;
  TProtocolLogEvent onProtocolLog_;
  TProtocolNextFileEvent onProtocolNextFile_;
  TProtocolResumeEvent onProtocolResume_;
  TProtocolStatusEvent onProtocolStatus_;
};

// The published form of the protocol component; it adds nothing.
class TSioProtocol : public TSioCustomProtocol {
 public:
  using TSioCustomProtocol::TSioCustomProtocol;
};

// "None", "Xmodem", "XmodemCRC", "Xmodem1K", "Xmodem1KG", "Ymodem", "YmodemG", "Zmodem",
// "Kermit", "Ascii" by ordinal; "None" above.
std::string ProtocolName(int type);
// "Checksum", "Checksum2", "Crc16", "Crc32", "CrcKermit", else "No check".
std::string CheckNameString(int method);
// Minutes, ":", two-digit seconds, blank-padded on the left to 6 characters.
std::string FormatMinSec(std::int32_t seconds);
