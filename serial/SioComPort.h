// The serial port as a component: its settings as properties, open and close by creating
// and freeing a dispatcher (SwDispatcher.h), byte I/O, triggers, trace and dispatch log
// forwarded to it, and the dispatcher's trigger notifications turned into the
// component's events on the user-interface thread through a hidden message window of the
// class "swComWindow".
//
// Every member is for the user-interface thread (the one that called SetMainThread);
// the events run there too. Properties are getter/setter pairs: Baud() and SetBaud(v).
// A failing operation raises the exception of its code through CheckException
// (SlExcept.h).
//
// Closing while a notification is running (from inside a trigger event, say) cannot
// finish at once: the dispatch thread is still in the notification. The port then stays
// "shutting down" until its window sees the dispatcher stop, and finishes the close
// there (MsgPortClosing posted to itself); Open := true meanwhile re-opens it after.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "serial/OoMisc.h"
#include "serial/SwDispatcher.h"
#include "serial/SwMsgWindow.h"

// Messages to registered user windows. MsgPortClosing is also what the port posts to its
// own window to finish a deferred close (lParam = port handle * 65536).
constexpr std::uint32_t MsgPortOpen = 0x7E08;
constexpr std::uint32_t MsgPortClose = 0x7E09;
constexpr std::uint32_t MsgPortClosing = 0x7E0A;

// The device layers by their historic names: dlWin32 is the serial device layer of the
// running system (TSioPosixDispatcher on Linux); dlWinsock, a network socket layer, does
// not exist here and is refused.
enum TDeviceLayer : std::uint8_t { dlWin32, dlWinsock };
using TDeviceLayers = std::uint8_t;  // set of TDeviceLayer: bit 1 << layer
constexpr TDeviceLayers DeviceLayerBit(TDeviceLayer layer) {
  return static_cast<TDeviceLayers>(1u << layer);
}

enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };

// A set of hardware flow options; the bits are the dispatcher's HWFlowOptions bits.
enum : std::uint32_t { hwfUseDTR = 1, hwfUseRTS = 2, hwfRequireDSR = 4, hwfRequireCTS = 8 };
using THWFlowOptions = std::uint32_t;

enum TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode : std::uint8_t { tmNone, tmAuto, tmOn, tmOff };
enum TApThreadBoost : std::uint8_t { tbNone, tbPlusOne, tbPlusTwo };
enum TPortState : std::uint8_t { psClosed, psShuttingDown, psOpen };
enum TFlowControlState : std::uint8_t {
  fcOff, fcOn, fcDsrHold, fcCtsHold, fcDcdHold, fcXOutHold, fcXInHold, fcXBothHold
};
enum TSioCallbackType : std::uint8_t { ctOpen, ctClosing, ctClosed };

class TSioCustomComPort;

using TPortNotifyEvent = std::function<void(TSioCustomComPort* sender)>;
using TTriggerEvent = std::function<void(TSioCustomComPort* sender, std::uint16_t msg,
                                         std::uint16_t triggerHandle, std::uint16_t data)>;
using TTriggerAvailEvent = std::function<void(TSioCustomComPort* sender, std::uint16_t count)>;
using TTriggerHandleEvent = std::function<void(TSioCustomComPort* sender, std::uint16_t triggerHandle)>;
using TTriggerDataEvent = TTriggerHandleEvent;
using TTriggerStatusEvent = TTriggerHandleEvent;
using TTriggerTimerEvent = TTriggerHandleEvent;
using TTriggerLineErrorEvent =
    std::function<void(TSioCustomComPort* sender, std::uint16_t error, bool lineBreak)>;
using TWaitCharEvent = std::function<void(TSioCustomComPort* sender, char c)>;

// User callbacks: told when the port opens and closes. std::function has no identity, so
// each registration names a key (usually the registering object) that deregisters it.
using TPortCallback = std::function<void(TSioCustomComPort* sender, bool opening)>;
using TPortCallbackEx = std::function<void(TSioCustomComPort* sender, TSioCallbackType type)>;

// The port selection prompt: asked at open when ComNumber is 0 and PromptForPort is set.
// True with the chosen number in comNumber; false when the user cancelled. The dialog of
// the program installs it; an empty hook removes it.
using TPortPrompt = std::function<bool(int& comNumber)>;
void SetPortPrompt(TPortPrompt prompt);

// Where exceptions go that a trigger event or a deferred open raised on the
// user-interface thread (nobody above could catch them). The default writes the message
// to the standard error.
using TSioExceptionHandler = std::function<void(const std::exception& e)>;
void SetSioExceptionHandler(TSioExceptionHandler handler);
// Hands an exception escaping from a handler to that handler on the user-interface
// thread, else to standard error.
void ReportSioException(const std::exception& e);

class TSioCustomComPort : public TSioBaseComponent {
 public:
  static constexpr std::uint32_t kMaxTraceSize = 4000000;
  static constexpr std::uint32_t kMaxLogSize = 16000000;
  static constexpr std::uint32_t kUseEventWordOption = 4;  // dispatcher option of UseEventWord

  explicit TSioCustomComPort(TSioBaseComponent* owner = nullptr);
  // Closes an open port. Destroyed while its close is still pending (from inside one of
  // its own events), it leaves the last step, freeing the dispatcher, to its window.
  ~TSioCustomComPort() override;

  // Copies the settings and the user registrations; an open source's triggers are saved
  // for this port's next open. This port is closed first.
  void Assign(const TSioCustomComPort& source);

  // ---- loading: settings applied as a whole (the open waits for Loaded) ----
  void BeginLoad() { loading_ = true; }
  bool Loading() const { return loading_; }
  virtual void Loaded();
  // With AutoOpen, the port opens at Loaded.
  void ForcePortOpen();

  // ---- properties ----
  TDeviceLayer DeviceLayer() const { return deviceLayer_; }
  void SetDeviceLayer(TDeviceLayer layer);
  TDeviceLayers DeviceLayers() const { return deviceLayers_; }
  std::uint16_t ComNumber() const { return comNumber_; }
  void SetComNumber(std::uint16_t number);
  std::uint32_t Baud() const { return baud_; }
  void SetBaud(std::uint32_t baud);
  bool PromptForPort() const { return promptForPort_; }
  void SetPromptForPort(bool prompt) { promptForPort_ = prompt; }
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  std::uint16_t DataBits() const { return dataBits_; }
  void SetDataBits(std::uint16_t bits);
  std::uint16_t StopBits() const { return stopBits_; }
  void SetStopBits(std::uint16_t bits);
  std::uint16_t InSize() const { return inSize_; }
  void SetInSize(std::uint16_t size);
  std::uint16_t OutSize() const { return outSize_; }
  void SetOutSize(std::uint16_t size);
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool autoOpen) { autoOpen_ = autoOpen; }
  bool Open() const { return open_; }
  void SetOpen(bool open);
  bool DTR() const { return dtr_; }
  void SetDTR(bool on);
  bool RTS() const { return rts_; }
  void SetRTS(bool on);
  THWFlowOptions HWFlowOptions() const { return hwFlowOptions_; }
  void SetHWFlowOptions(THWFlowOptions options);
  TSWFlowOptions SWFlowOptions() const { return swFlowOptions_; }
  void SetSWFlowOptions(TSWFlowOptions options);
  char XOnChar() const { return xonChar_; }
  void SetXOnChar(char c);
  char XOffChar() const { return xoffChar_; }
  void SetXOffChar(char c);
  std::uint16_t BufferFull() const { return bufferFull_; }
  void SetBufferFull(std::uint16_t full);
  std::uint16_t BufferResume() const { return bufferResume_; }
  void SetBufferResume(std::uint16_t resume);

  TTraceLogState Tracing() const { return tracing_; }
  void SetTracing(TTraceLogState state);
  std::uint32_t TraceSize() const { return traceSize_; }
  void SetTraceSize(std::uint32_t size);
  const std::string& TraceName() const { return traceName_; }
  void SetTraceName(const std::string& name) { traceName_ = name; }
  bool TraceHex() const { return traceHex_; }
  void SetTraceHex(bool hex) { traceHex_ = hex; }
  bool TraceAllHex() const { return traceAllHex_; }
  void SetTraceAllHex(bool hex) { traceAllHex_ = hex; }
  TTraceLogState Logging() const { return logging_; }
  void SetLogging(TTraceLogState state);
  std::uint32_t LogSize() const { return logSize_; }
  void SetLogSize(std::uint32_t size);
  const std::string& LogName() const { return logName_; }
  void SetLogName(const std::string& name) { logName_ = name; }
  bool LogHex() const { return logHex_; }
  void SetLogHex(bool hex) { logHex_ = hex; }
  bool LogAllHex() const { return logAllHex_; }
  void SetLogAllHex(bool hex) { logAllHex_ = hex; }

  bool UseMSRShadow() const { return useMSRShadow_; }
  virtual void SetUseMSRShadow(bool use);  // has no effect
  bool UseEventWord() const { return useEventWord_; }
  void SetUseEventWord(bool use);
  std::uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
  void SetCommNotificationLevel(std::uint16_t level) { commNotificationLevel_ = level; }
  TTapiMode TapiMode() const { return tapiMode_; }
  void SetTapiMode(TTapiMode mode) { tapiMode_ = mode; }
  bool RS485Mode() const { return rs485Mode_; }
  void SetRS485Mode(bool on);

  // Public, not published.
  std::uint16_t TriggerLength() const { return triggerLength_; }
  void SetTriggerLength(std::uint16_t length);
  TApThreadBoost ThreadBoost() const { return threadBoost_; }
  void SetThreadBoost(TApThreadBoost boost);
  std::uint16_t BaseAddress();
  void SetBaseAddress(std::uint16_t address);
  TPortState PortState() const { return portState_; }

  // Line and buffer status; 0 (and InBuffFree 8192, OutBuffFree OutSize) unless open.
  std::uint8_t ModemStatus();
  bool DSR();
  bool CTS();
  bool RI();
  bool DCD();
  bool DeltaDSR();
  bool DeltaCTS();
  bool DeltaRI();
  bool DeltaDCD();
  std::uint16_t LineError();
  bool LineBreak();
  std::uint32_t InBuffUsed();
  std::uint32_t InBuffFree();
  std::uint32_t OutBuffUsed();
  std::uint32_t OutBuffFree();
  TFlowControlState FlowState();

  // The current dispatcher; a closed port with AutoOpen opens first. ValidDispatcher
  // raises ECommNotOpen (-2007) when there is still none.
  TSioBaseDispatcher* Dispatcher();
  TSioBaseDispatcher* ValidDispatcher();

  // ---- events ----
  const TPortNotifyEvent& OnPortOpen() const { return onPortOpen_; }
  void SetOnPortOpen(TPortNotifyEvent e) { onPortOpen_ = std::move(e); }
  const TPortNotifyEvent& OnPortClose() const { return onPortClose_; }
  void SetOnPortClose(TPortNotifyEvent e) { onPortClose_ = std::move(e); }
  const TTriggerEvent& OnTrigger() const { return onTrigger_; }
  void SetOnTrigger(TTriggerEvent e);
  const TTriggerAvailEvent& OnTriggerAvail() const { return onTriggerAvail_; }
  void SetOnTriggerAvail(TTriggerAvailEvent e);
  const TTriggerDataEvent& OnTriggerData() const { return onTriggerData_; }
  void SetOnTriggerData(TTriggerDataEvent e);
  const TTriggerStatusEvent& OnTriggerStatus() const { return onTriggerStatus_; }
  void SetOnTriggerStatus(TTriggerStatusEvent e);
  const TTriggerTimerEvent& OnTriggerTimer() const { return onTriggerTimer_; }
  void SetOnTriggerTimer(TTriggerTimerEvent e);
  const TTriggerLineErrorEvent& OnTriggerLineError() const { return onTriggerLineError_; }
  void SetOnTriggerLineError(TTriggerLineErrorEvent e);
  const TPortNotifyEvent& OnTriggerModemStatus() const { return onTriggerModemStatus_; }
  void SetOnTriggerModemStatus(TPortNotifyEvent e);
  const TPortNotifyEvent& OnTriggerOutbuffFree() const { return onTriggerOutbuffFree_; }
  void SetOnTriggerOutbuffFree(TPortNotifyEvent e);
  const TPortNotifyEvent& OnTriggerOutbuffUsed() const { return onTriggerOutbuffUsed_; }
  void SetOnTriggerOutbuffUsed(TPortNotifyEvent e);
  const TPortNotifyEvent& OnTriggerOutSent() const { return onTriggerOutSent_; }
  void SetOnTriggerOutSent(TPortNotifyEvent e);
  const TWaitCharEvent& OnWaitChar() const { return onWaitChar_; }
  void SetOnWaitChar(TWaitCharEvent e) { onWaitChar_ = std::move(e); }

  // ---- users told of open and close ----
  void RegisterUser(HWND wnd);
  void RegisterUserEx(HWND wnd);  // also told of the closing (MsgPortClosing)
  void RegisterUserCallback(const void* key, TPortCallback callback);
  void RegisterUserCallbackEx(const void* key, TPortCallbackEx callback);
  // Each removes every matching registration.
  void DeregisterUser(HWND wnd);
  void DeregisterUserCallback(const void* key);
  void DeregisterUserCallbackEx(const void* key);

  // ---- data ----
  bool CharReady();
  char PeekChar(std::uint16_t n);
  char GetChar();
  std::uint16_t PeekBlock(void* buffer, std::uint16_t length);
  std::uint16_t GetBlock(void* buffer, std::uint16_t length);
  void PutChar(char c);
  void PutString(std::string_view text);
  std::int32_t PutBlock(const void* buffer, std::uint16_t length);
  void FlushInBuffer();
  void FlushOutBuffer();
  virtual void ProcessCommunications();

  // ---- line (results not raised) ----
  std::int32_t SendBreak(std::uint16_t ticks, bool yield);
  std::int32_t SetBreak(bool on);

  // ---- triggers ----
  std::uint16_t AddDataTrigger(std::string_view text, bool ignoreCase);
  std::uint16_t AddTimerTrigger();
  std::uint16_t AddStatusTrigger(std::uint16_t kind);
  void RemoveTrigger(std::uint16_t handle);
  void RemoveAllTriggers();
  void SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate);
  void SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate);

  // ---- trace and dispatch log ----
  void InitTracing(std::uint32_t size);
  void DumpTrace(const std::string& fileName, bool inHex);
  void AppendTrace(const std::string& fileName, bool inHex);
  void ClearTracing();
  void AbortTracing();
  void StartTracing();
  void StopTracing();
  void AddTraceEntry(char kind, char c);
  void InitLogging(std::uint32_t size);
  void DumpLog(const std::string& fileName, bool inHex);
  void AppendLog(const std::string& fileName, bool inHex);
  void ClearLogging();
  void AbortLogging();
  void StartLogging();
  void StopLogging();
  void AddStringToLog(std::string_view text);

  // ---- waiting for text (the wait runs the message loop only when yield is set) ----
  // Stops notifications for a wait that follows (the caller sends a command first).
  void PrepareWait();
  // True when text arrived within ticks; an empty text, or a port shutting down, gives
  // true at once.
  bool WaitForString(std::string_view text, std::int32_t ticks, bool yield, bool ignoreCase);
  // texts: up to 127 texts split at separator. The 1-based index of the first completed,
  // 0 on time-out.
  int WaitForMultiString(std::string_view texts, std::int32_t ticks, bool yield, bool ignoreCase,
                         char separator);
  // One matching step for a caller that reads the bytes itself; true when text is
  // complete with c (matchIndex is then 0 again).
  bool CheckForString(std::uint16_t& matchIndex, char c, std::string_view text, bool ignoreCase);

  // ---- open and close (Open := true and false end here) ----
  virtual void InitPort();
  virtual void DonePort();

 protected:
  virtual void PortOpen();
  virtual void PortClose();
  virtual void PortClosing();

  // The dispatcher for this open (its owner is the port).
  virtual TSioBaseDispatcher* ActivateDeviceLayer();
  virtual void DeviceLayerChanged() {}
  virtual void InitializePort();
  virtual void RegisterComPort(bool enable);
  virtual void ValidateComport();
  // The layers SetDeviceLayer accepts.
  void SetDeviceLayers(TDeviceLayers layers) { deviceLayers_ = layers; }

  // ---- notifications, called by the window with the events' arguments ----
  virtual void Trigger(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data);
  virtual void TriggerAvail(std::uint16_t count);
  virtual void TriggerData(std::uint16_t triggerHandle);
  virtual void TriggerStatus(std::uint16_t triggerHandle);
  virtual void TriggerTimer(std::uint16_t triggerHandle);
  virtual void UpdateHandlerFlag();
  virtual void TriggerLineError(std::uint16_t error, bool lineBreak);
  virtual void TriggerModemStatus();
  virtual void TriggerOutbuffFree();
  virtual void TriggerOutbuffUsed();
  virtual void TriggerOutSent();
  virtual void WaitChar(char c);

 private:
  // Shared by the port and its window's procedure: the window reaches the port only
  // through it, and sees it cleared once the port is gone.
  struct TPortLink {
    TSioCustomComPort* port = nullptr;
    HWND wnd = 0;
    // A dispatcher whose close was still pending when its port was destroyed.
    std::unique_ptr<TSioBaseDispatcher> orphan;
  };
  struct TUserRecord {
    HWND wnd = 0;
    const void* key = nullptr;
    TPortCallback callback;
    TPortCallbackEx callbackEx;
    bool extended = false;
  };

  static std::intptr_t WindowProc(const std::shared_ptr<TPortLink>& link, std::uint32_t msg,
                                  std::uintptr_t wParam, std::intptr_t lParam);
  static void DispatchTrigger(const std::shared_ptr<TPortLink>& link, std::uint32_t msg,
                              std::uintptr_t wParam, std::intptr_t lParam);
  static void ReapOrphan(const std::shared_ptr<TPortLink>& link, std::uint32_t msg,
                         std::uintptr_t wParam, std::intptr_t lParam);

  // The last steps of a close: window gone, dispatcher freed, closed.
  void FinishClose();
  void ReopenIfRequested();
  bool Shutting() const { return portState_ == psShuttingDown; }
  bool IsOpenState() const { return portState_ == psOpen && dispatcher_ != nullptr; }
  void ApplyFlow(bool hardware);
  void ApplyLine(std::uint32_t baud, TParity parity, std::uint16_t dataBits,
                 std::uint16_t stopBits);
  void ApplyTraceState(TTraceLogState state);
  void ApplyLogState(TTraceLogState state);
  bool AnyTriggerEvent() const;
  void NotifyUsers(std::uint32_t msg, TSioCallbackType type, bool plain, bool opening);
  // Marks the dispatcher busy for a wait; returns whether it already was.
  bool BeginWait();
  void EndWait(std::uint32_t openCount, bool wasBusy);
  // The 1-based index of the first text completed, 0 when none was in time.
  int WaitFor(const std::vector<std::string_view>& texts, std::int32_t ticks, bool yield,
              bool ignoreCase);

  std::shared_ptr<TPortLink> link_;
  std::unique_ptr<TSioBaseDispatcher> dispatcher_;
  HWND wnd_ = 0;
  std::vector<TUserRecord> users_;
  TTriggerSave savedTriggers_;
  bool triggersSaved_ = false;

  TDeviceLayer deviceLayer_ = dlWin32;
  TDeviceLayers deviceLayers_ = DeviceLayerBit(dlWin32);
  std::uint16_t comNumber_ = 0;
  std::uint32_t baud_ = 19200;
  bool promptForPort_ = true;
  TParity parity_ = pNone;
  std::uint16_t dataBits_ = 8;
  std::uint16_t stopBits_ = 1;
  std::uint16_t inSize_ = 4096;
  std::uint16_t outSize_ = 4096;
  bool autoOpen_ = true;
  bool open_ = false;
  bool dtr_ = true;
  bool rts_ = true;
  THWFlowOptions hwFlowOptions_ = 0;
  TSWFlowOptions swFlowOptions_ = swfNone;
  char xonChar_ = 17;
  char xoffChar_ = 19;
  std::uint16_t bufferFull_ = 0;
  std::uint16_t bufferResume_ = 0;
  TTraceLogState tracing_ = tlOff;
  std::uint32_t traceSize_ = 10000;
  std::string traceName_ = "SIO.TRC";
  bool traceHex_ = true;
  bool traceAllHex_ = false;
  TTraceLogState logging_ = tlOff;
  std::uint32_t logSize_ = 10000;
  std::string logName_ = "SIO.LOG";
  bool logHex_ = true;
  bool logAllHex_ = false;
  bool useMSRShadow_ = true;
  bool useEventWord_ = true;
  std::uint16_t commNotificationLevel_ = 10;
  TTapiMode tapiMode_ = tmAuto;
  bool rs485Mode_ = false;
  std::uint16_t triggerLength_ = 1;
  TApThreadBoost threadBoost_ = tbNone;
  std::uint16_t baseAddress_ = 0;

  TPortState portState_ = psClosed;
  std::uint32_t openCount_ = 0;  // tells one open from the next
  bool forceApply_ = false;
  bool loading_ = false;
  bool openRequested_ = false;  // while loading
  bool reopenRequested_ = false;
  bool destroying_ = false;
  int windowDepth_ = 0;  // trigger events of the window running
  bool waitPrepared_ = false;
  bool waitWasBusy_ = false;

  TPortNotifyEvent onPortOpen_, onPortClose_;
  TTriggerEvent onTrigger_;
  TTriggerAvailEvent onTriggerAvail_;
  TTriggerDataEvent onTriggerData_;
  TTriggerStatusEvent onTriggerStatus_;
  TTriggerTimerEvent onTriggerTimer_;
  TTriggerLineErrorEvent onTriggerLineError_;
  TPortNotifyEvent onTriggerModemStatus_, onTriggerOutbuffFree_, onTriggerOutbuffUsed_,
      onTriggerOutSent_;
  TWaitCharEvent onWaitChar_;
};

// The published form of the port; it adds nothing.
class TSioComPort : public TSioCustomComPort {
 public:
  using TSioCustomComPort::TSioCustomComPort;
};

// The first port among the components the given one owns, depth first (each owned
// component before the components it owns); null when there is none or for null.
TSioCustomComPort* SearchComPort(const TSioBaseComponent* owner);

// "COM" followed by the number.
std::string ComName(int number);
