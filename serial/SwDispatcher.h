// The port dispatcher: the per-port engine under the serial port component. It owns the
// open device, the 8192-byte input ring that the dispatch thread fills, the output ring
// that the output thread drains, the line settings and the modem and line status. The
// device operations are abstract here; TSioPosixDispatcher (SwPosixDispatcher.h) supplies
// them for a Linux tty and runs the worker threads.
//
// Every dispatcher of the process sits in one port list; a dispatcher's port handle is
// its index there. Results are signed 32-bit: 0 or a count for success, a negative code
// of SlConst.h otherwise.
//
// Locks, always taken in this order: the port list, (the transfer record's lock of the
// protocol engines), the input lock, the state lock, the output lock. All three per-port
// locks are recursive: the settings and flow paths re-enter the state lock through
// SetDtr/SetRts and the log hooks, PutBlock re-enters the output lock through
// GetComError, and the trigger scans hold the input lock and then the state lock.
// No code waits for another thread (join, send, synchronised call, flush acknowledge,
// drain) while it holds any of them. The dispatch thread never takes the port-list lock.
//
// Triggers: the checks evaluate the trigger lists under the input and state locks and
// collect what fired; the notifications go out afterwards with no lock held, each over a
// snapshot of the handler lists. A handler deregistered meanwhile is only marked deleted
// (skipped by the running notification) and purged when it ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "serial/OoMisc.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwTrace.h"

// Escape functions of EscapeComFunction.
enum : std::int32_t {
  escSetXoff = 1,  // transmit as if XOFF had been received
  escSetXon = 2,
  escSetRts = 3,
  escClrRts = 4,
  escSetDtr = 5,
  escClrDtr = 6,
  escResetDev = 7,
  escSetBreak = 8,
  escClrBreak = 9,
  escGetBaseAddress = 10,
};

// Device event word (the com thread's last event).
enum : std::uint32_t {
  evRxChar = 0x0001,
  evCts = 0x0008,
  evDsr = 0x0010,
  evRlsd = 0x0020,
  evBreak = 0x0040,
  evErr = 0x0080,
  evRing = 0x0100,
  evRingTe = 0x2000,
  evModemMask = 0x2138,  // CTS, DSR, DCD, ring, ring trailing edge
};

// Modem status byte: latched changes in the low nibble, levels in the high nibble.
enum : std::uint8_t {
  msDeltaCts = 0x01,
  msDeltaDsr = 0x02,
  msTrailingRi = 0x04,
  msDeltaDcd = 0x08,
  msCts = 0x10,
  msDsr = 0x20,
  msRi = 0x40,
  msDcd = 0x80,
};

// Device error bits (accumulated line errors keep the low five).
enum : std::uint32_t {
  ceRxOver = 1,
  ceOverrun = 2,
  ceParity = 4,
  ceFrame = 8,
  ceBreak = 16,
};

// Hold flags of the status record.
enum : std::uint32_t {
  hfCtsHold = 1,
  hfDsrHold = 2,
  hfDcdHold = 4,
  hfXoffHold = 8,
  hfXoffSent = 16,
};

// InitPort options.
enum : std::uint32_t {
  ipDtrOn = 0x01,
  ipRtsOn = 0x02,
  ipDtrHwFlow = 0x10,
  ipRtsHwFlow = 0x20,
};

// DTR and RTS control of the settings record.
enum : std::uint8_t { dtrDisable = 0, dtrEnable = 1, dtrHandshake = 2 };
enum : std::uint8_t { rtsDisable = 0, rtsEnable = 1, rtsHandshake = 2, rtsToggle = 3 };

// The serial settings record a device layer applies as a whole.
struct TDeviceControlBlock {
  std::uint32_t baud = 9600;
  bool binary = true;
  bool parityCheck = false;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  std::uint8_t dtrControl = dtrEnable;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = true;
  bool outX = false;  // obey XON/XOFF received (transmit flow)
  bool inX = false;   // send XON/XOFF as the input fills (receive flow)
  bool nullStrip = false;
  std::uint8_t rtsControl = rtsEnable;
  std::uint16_t xonLim = 0;
  std::uint16_t xoffLim = 0;
  std::uint8_t byteSize = 8;
  std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
  std::uint8_t xonChar = 17;
  std::uint8_t xoffChar = 19;
};

// The communications status record.
struct TComStatus {
  std::uint32_t holdFlags = 0;
  std::uint32_t inQueue = 0;   // bytes waiting in the device's input queue
  std::uint32_t outQueue = 0;  // bytes in the output ring
};

// ---- Triggers ---------------------------------------------------------------------------

// The messages of a notification. lParam = data + port handle * 65536, where data is 0,
// the matched length (data), or the free or used count (status kinds 3 and 4).
constexpr std::uint32_t MsgTriggerAvail = 0x7E01;   // wParam: bytes available
constexpr std::uint32_t MsgTriggerData = 0x7E02;    // wParam: trigger handle
constexpr std::uint32_t MsgTriggerTimer = 0x7E03;   // wParam: trigger handle
constexpr std::uint32_t MsgTriggerStatus = 0x7E04;  // wParam: trigger handle (kind in bits 0-2)

// The length trigger's fixed handle; every other handle is a multiple of 8.
constexpr std::int32_t LengthTriggerHandle = 1;
constexpr std::uint32_t MaxTriggerDataLen = 21;
// How long a window handler may take before a notification goes on without it.
constexpr unsigned TriggerSendTimeoutMs = 3000;

// Status trigger kinds, also the low three bits of a status trigger's handle.
enum : std::uint32_t {
  skModemStatus = 1,  // value: mask of modem-status bits; fires when one leaves its armed level
  skLineError = 2,    // value: 1 overrun, 2 parity, 4 framing, 8 break
  skOutBuffFree = 3,  // value: fires when at least this many bytes of the output ring are free
  skOutBuffUsed = 4,  // value: fires when at most this many bytes are in the output ring
  skOutSent = 5,      // fires when data was written since the last check
};

struct TTimerTrigger {
  std::int32_t handle = 0;
  EventTimer timer;
  std::int32_t ticks = 0;  // the last period set
  std::int32_t reserved = -1;
  bool active = false;
};

struct TDataTrigger {
  std::int32_t handle = 0;
  std::uint32_t length = 0;  // 0 to 21
  // Bytes matched so far by each of the parallel partial matches (0 = idle).
  std::uint32_t positions[MaxTriggerDataLen + 1] = {};
  bool matched = false;
  bool ignoreCase = false;
  std::uint8_t data[MaxTriggerDataLen] = {};  // upper-cased when ignoreCase

  // Feeds one received byte; true when the sequence completed with it (every partial
  // match is then dropped). Overlapping occurrences are followed in parallel.
  bool Step(std::uint8_t c);
  void Reset();
};

struct TStatusTrigger {
  std::int32_t handle = 0;
  std::uint32_t kind = 0;
  std::uint32_t condition = 0;  // kind 1: mask << 8 | levels when armed; 2: error bits; 3, 4: threshold
  bool armed = false;
  bool hit = false;  // fired in the current pass
};

// The triggers of a port kept over a close and re-open.
struct TTriggerSave {
  std::uint32_t lengthTrigger = 0;
  std::vector<TTimerTrigger> timers;
  std::vector<TDataTrigger> data;
  std::vector<TStatusTrigger> status;
};

// A copy of the record FindTriggerFromHandle found.
using TTriggerRecord = std::variant<std::monostate, TTimerTrigger, TDataTrigger, TStatusTrigger>;

// A procedure or method handler: (message, wParam, lParam). std::function has no identity,
// so registering one returns an id (> 0, unique per dispatcher) that deregisters it.
using TTriggerProc = std::function<void(std::uint32_t msg, std::uint32_t wParam, std::int32_t lParam)>;

class TSioBaseDispatcher {
 public:
  static constexpr std::uint32_t kInRingSize = 8192;

  explicit TSioBaseDispatcher(void* owner);
  TSioBaseDispatcher(const TSioBaseDispatcher&) = delete;
  TSioBaseDispatcher& operator=(const TSioBaseDispatcher&) = delete;
  // Removes the dispatcher from the port list. The concrete class's destructor must have
  // called Shutdown(): the device operations are gone by the time this runs.
  virtual ~TSioBaseDispatcher();

  void* Owner() const { return owner_; }
  std::int32_t Handle() const { return handle_; }
  int DeviceHandle() const { return fd_.load(); }
  bool Active() const { return active_.load(); }
  int LiveThreads() const { return liveThreads_.load(); }
  bool ClosePending() const { return closePending_.load(); }

  // Life cycle (user-interface thread).
  std::int32_t InitPort(const std::string& deviceName, std::uint32_t baud, std::uint32_t parity,
                        std::uint32_t dataBits, std::uint32_t stopBits, std::uint32_t inSize,
                        std::uint32_t outSize, std::uint32_t options);
  void DonePort();
  // Closes the port (finishing a close left pending by a notification), waits, pumping
  // messages, until every worker thread has ended and joins them. Idempotent.
  void Shutdown();

  // Line settings.
  std::int32_t SetLine(std::uint32_t baud, std::uint32_t parity, std::uint32_t dataBits,
                       std::uint32_t stopBits);
  std::int32_t ChangeBaud(std::uint32_t baud);
  void GetLine(std::uint32_t& baud, std::uint32_t& parity, std::uint32_t& dataBits,
               std::uint32_t& stopBits);
  std::int32_t SetModem(bool dtr, bool rts);
  std::int32_t SetDtr(bool on);
  std::int32_t SetRts(bool on);
  std::int32_t HWFlowOptions(std::uint32_t bufferFull, std::uint32_t bufferResume,
                             std::uint32_t options);
  std::int32_t HWFlowState();
  std::int32_t SWFlowEnable(std::uint32_t bufferFull, std::uint32_t bufferResume,
                            std::uint32_t options);
  std::int32_t SWFlowDisable();
  std::int32_t SWFlowState();
  std::int32_t SWFlowChars(std::uint8_t xon, std::uint8_t xoff);
  void GetFlowOptions(std::uint32_t& hwOptions, std::uint32_t& swOptions, std::uint8_t& xon,
                      std::uint8_t& xoff);
  std::int32_t SetRS485Mode(bool on);
  std::int32_t SetBaseAddress(std::uint16_t address);
  std::uint16_t GetBaseAddress();
  virtual void SetThreadBoost(std::uint8_t boost);
  std::int32_t SendBreak(std::uint32_t ticks, bool yield);
  std::int32_t SetBreak(bool on);

  // Status.
  std::uint8_t GetModemStatus();
  std::uint8_t GetModemStatusPrim(std::uint8_t clearMask);
  bool CheckCTS();
  bool CheckDSR();
  bool CheckRI();
  bool CheckDCD();
  bool CheckDeltaCTS();
  bool CheckDeltaDSR();
  bool CheckDeltaRI();
  bool CheckDeltaDCD();
  std::int32_t GetLineError();
  bool CheckLineBreak();
  std::int32_t RefreshStatus();
  void MapEventsToMS();

  // Input ring.
  bool CharReady();
  std::int32_t PeekChar(std::uint32_t n);
  std::int32_t GetChar();
  std::int32_t PeekBlock(void* buffer, std::uint32_t length);
  std::int32_t GetBlock(void* buffer, std::uint32_t length);
  std::int32_t InBuffUsed();
  std::int32_t InBuffFree();
  std::int32_t FlushInBuffer();

  // Output ring.
  std::int32_t PutChar(std::uint8_t c);
  std::int32_t PutString(std::string_view text);
  std::int32_t PutBlock(const void* buffer, std::uint32_t length);
  std::int32_t OutBuffUsed();
  std::int32_t OutBuffFree();
  std::int32_t FlushOutBuffer();
  void BufferSizes(std::uint32_t& inSize, std::uint32_t& outSize);

  std::int32_t AddStringToLog(std::string_view text);
  std::int32_t SetDataPointer(void* pointer, std::uint32_t slot);
  std::int32_t GetDataPointer(void*& pointer, std::uint32_t slot);
  void OptionsOn(std::uint32_t bits);
  void OptionsOff(std::uint32_t bits);
  bool OptionsAreOn(std::uint32_t bits);

  // Marks a notification (or a wait of the component) as running; a DonePort meanwhile
  // only marks the close pending. Returns the old value in oldBusy.
  void SetEventBusy(bool& oldBusy, bool busy);

  // Wakes the dispatch thread for a pass now (for example after a timer changed).
  virtual void WakeDispatcher() {}

  // ---- triggers (any thread; the lists change under the state lock) ----
  // Handles or codes: ecNoMoreTriggers when no handle is left, ecTriggerTooLong above 21
  // bytes, ecBadArgument for a status kind above 5, ecBadTriggerHandle when no trigger
  // of the expected type has the handle.
  std::int32_t AddTimerTrigger();  // inactive until SetTimerTrigger
  std::int32_t AddDataTrigger(std::string_view text, bool ignoreCase);
  std::int32_t AddDataTriggerLen(const void* data, bool ignoreCase, std::uint32_t length);
  std::int32_t AddStatusTrigger(std::uint32_t kind);  // disarmed until SetStatusTrigger
  // Activating restarts the timer with ticks (0 keeps the last period).
  std::int32_t SetTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate);
  std::int32_t ExtendTimer(std::int32_t handle, std::int32_t ticks);
  std::int32_t TimerTicksRemaining(std::int32_t handle, std::int32_t& ticks);
  // Activating sets the condition from value (see the kinds above), then arms or disarms.
  std::int32_t SetStatusTrigger(std::int32_t handle, std::uint32_t value, bool activate);
  // Avail notifications for threshold bytes or more; 0 switches them off.
  std::int32_t ChangeLengthTrigger(std::uint32_t threshold);
  std::uint32_t LengthTrigger();
  // Handle 1 switches the length trigger off; a data trigger's handle matches whatever
  // its low three bits.
  std::int32_t RemoveTrigger(std::int32_t handle);
  // Every trigger goes, the threshold becomes 0 and handles start again at 8.
  virtual void RemoveAllTriggers();
  // Looks in the timer, the status and the data list; copies the record out and removes
  // it when asked.
  std::int32_t FindTriggerFromHandle(std::int32_t handle, bool remove, TTriggerRecord& record,
                                     TTriggerType& type);

  // Handlers. A window handler gets a send that waits at most 3000 ms, and only while
  // there is more than one window handler or the port handler is installed (the first
  // window is the component's own). Procedure and event handlers run on the dispatch
  // thread, synchronised event handlers on the user-interface thread (SyncCall) while
  // the dispatch thread waits. Register* of a procedure or method returns its id, or
  // ecBadArgument for an empty one; the others return 0. Deregister* return 0, or
  // ecBadHandle when nothing matched.
  std::int32_t RegisterWndTriggerHandler(HWND wnd);
  std::int32_t RegisterProcTriggerHandler(TTriggerProc proc);
  std::int32_t RegisterEventTriggerHandler(TTriggerProc method);
  std::int32_t RegisterSyncEventTriggerHandler(TTriggerProc method);
  std::int32_t DeregisterWndTriggerHandler(HWND wnd);
  std::int32_t DeregisterProcTriggerHandler(std::int32_t id);
  std::int32_t DeregisterEventTriggerHandler(std::int32_t id);  // plain or synchronised
  // 0 recomputes whether notifications have anyone to reach; 1 and 2 mark the port
  // handler installed or not.
  virtual void UpdateHandlerFlags(std::int32_t kind);

  // Over a close: the component saves before it closes and restores after the next open.
  // Restored handles stay; new ones continue above the largest of them.
  void SaveTriggers(TTriggerSave& save);
  void RestoreTriggers(const TTriggerSave& save);
  void ClearSaveBuffers(TTriggerSave& save);

  // The checks of the dispatch thread; each returns true when a trigger fired and its
  // notification went through (false when it was stopped by a close or, for avail,
  // when the handlers did not take every byte offered).
  virtual bool CheckTimerTriggers();
  virtual bool CheckStatusTriggers();
  virtual bool CheckReceiveTriggers();
  bool CheckTriggers();  // timer, then status, then receive
  // Notifies every handler; to be called with no lock held. During an avail or data
  // notification reads do not consume: each handler reads from the same place and the
  // ring gives up the most any of them read.
  bool SendNotify(std::uint32_t msg, std::uint32_t wParam, std::uint32_t data);
  virtual void ResetStatusHits();
  virtual void ResetDataTriggers();  // FlushInBuffer: every data trigger's match restarts
  // Milliseconds until the next timer trigger is due; the dispatch thread waits at most
  // this long, and never more than 50 ms.
  virtual std::int32_t NextTimerDue();

  // ---- trace and dispatch log (state lock; InitPort discards both) ----
  std::int32_t InitTracing(std::uint32_t size);
  std::int32_t DumpTrace(const std::string& fileName, bool inHex, bool allHex);
  std::int32_t AppendTrace(const std::string& fileName, bool inHex, bool allHex);
  void ClearTracing();
  void StartTracing();
  void StopTracing();
  void AbortTracing();
  bool IsTracing();
  // An entry of any kind; stored only while tracing is on.
  virtual void AddTraceEntry(char kind, std::uint8_t byte);

  std::int32_t InitDispatchLogging(std::uint32_t size);
  std::int32_t DumpDispatchLog(const std::string& fileName, bool inHex, bool allHex);
  std::int32_t AppendDispatchLog(const std::string& fileName, bool inHex, bool allHex);
  void ClearDispatchLogging();
  void StartDispatchLogging();
  void StopDispatchLogging();
  void AbortDispatchLogging();
  bool IsDispatchLogging();
  // Stored only while logging is on.
  virtual void AddDispatchEntry(TDispatchType type, TDispatchSubType subType,
                                std::uint32_t value, const void* data, std::uint32_t length);
  // The name the log's heading shows ("COM3"); InitPort sets the name it was given.
  void SetDeviceName(const std::string& name);
  std::string DeviceName();

  // Device operations, in the slot order of the device layers.
  virtual std::int32_t EscapeComFunction(std::int32_t function) = 0;
  virtual std::int32_t FlushCom(std::int32_t queue) = 0;  // 0 output, 1 input
  // Reads and clears the device's error bits (returned) and fills the status record; its
  // output count is the output ring's count. May run under the output lock.
  virtual std::uint32_t GetComError(TComStatus& status) = 0;
  virtual std::int32_t GetComEventMask(std::int32_t mask) = 0;
  virtual std::int32_t GetComState(TDeviceControlBlock& dcb) = 0;
  virtual std::int32_t ReadCom(void* buffer, std::uint32_t size) = 0;  // never blocks
  virtual std::int32_t SetComState(const TDeviceControlBlock& dcb) = 0;
  // Queues the bytes for the device (the output ring has room, PutBlock made sure) and
  // wakes the output thread; a device layer may write them at once when nothing is queued
  // ahead. Runs under the output lock. Returns the count, or 0 or less when the device
  // failed.
  virtual std::int32_t WriteCom(const void* buffer, std::uint32_t size) = 0;
  // The com thread's wait for a modem-line event: 1 with the event word, 0 when the device
  // has nothing to watch, negative when the wait failed.
  virtual std::int32_t WaitComEvent(std::uint32_t& eventWord) = 0;
  virtual bool SetupCom(std::uint32_t inSize, std::uint32_t outSize) = 0;
  virtual void DonePortPrim();
  virtual std::int32_t StartDispatcher() = 0;
  virtual void StopDispatcher() = 0;
  // Returns the device handle, or a negative code (never a raw errno).
  virtual std::int32_t OpenCom(const std::string& deviceName, std::uint32_t inSize,
                               std::uint32_t outSize) = 0;
  virtual std::int32_t CloseCom() = 0;
  virtual std::int32_t ProcessCommunications() = 0;
  // The modem-line levels (msCts, msDsr, msRi, msDcd) as the device reports them.
  virtual std::uint8_t GetComModemStatus() = 0;

 protected:
  // Called by each worker thread as it leaves; finishes a pending close for the
  // dispatch thread.
  void ThreadGone(bool dispatchThread);
  void ThreadStarted() { liveThreads_.fetch_add(1); }

  // Fills the input ring from the device (dispatch thread). True when the ring is full
  // or bytes were read.
  bool ExtractData();
  // Copies into the output ring at its head; caller holds the output lock and has made
  // room. Sets the full flag when the ring fills.
  void CopyToOutRing(const void* buffer, std::uint32_t size);
  // Bytes in the output ring; caller holds the output lock.
  std::uint32_t OutCountLocked() const;
  // Bytes in the input ring; caller holds the input lock.
  std::uint32_t InAvailLocked() const;
  // Stages up to max bytes from the output tail into out (output lock held); returns
  // the count. AdvanceOutTail drops count sent bytes.
  std::uint32_t PeekOutRingLocked(std::uint8_t* out, std::uint32_t max) const;
  void AdvanceOutTailLocked(std::uint32_t count);
  void ClearOutRingLocked();
  bool InRingFull();

  std::recursive_mutex& InputLock() { return inLock_; }
  std::recursive_mutex& StateLock() { return stateLock_; }
  std::recursive_mutex& OutputLock() { return outLock_; }

  std::atomic<int> fd_{-1};
  std::atomic<bool> killThreads_{false};
  std::atomic<bool> active_{false};
  std::atomic<bool> closeOnExit_{false};
  std::atomic<bool> closePending_{false};
  std::atomic<bool> eventBusy_{false};
  std::atomic<bool> ringSeen_{false};
  std::atomic<std::uint32_t> lastEvent_{0};
  std::atomic<std::uint8_t> threadBoost_{0};
  std::atomic<bool> rs485Mode_{false};

  // State lock.
  std::uint32_t lineErrors_ = 0;
  TComStatus comStatus_;
  std::uint8_t modemStatus_ = 0;
  std::uint32_t lastBaud_ = 115200;
  std::uint32_t options_ = 0;
  bool dtrState_ = false;
  bool dtrAuto_ = false;
  bool rtsState_ = false;
  bool rtsAuto_ = false;
  std::uint16_t baseAddress_ = 0;
  bool portHandlerInstalled_ = false;
  bool handlerServiceNeeded_ = false;
  bool globalStatusHit_ = false;
  bool deregistrationPending_ = false;
  bool dataWritten_ = false;
  std::uint32_t lastModemStatus_ = 0;
  std::uint32_t lastLineError_ = 0;
  std::uint32_t lastTailLength_ = 1;
  std::uint32_t lengthTrigger_ = 0;
  std::uint32_t triggerSeed_ = 1;
  std::uint64_t timeBase_ = 0;
  TSioTrace trace_;
  TSioDispatchLog log_;
  std::string deviceName_;
  std::vector<TTimerTrigger> timerTriggers_;
  std::vector<TDataTrigger> dataTriggers_;
  std::vector<TStatusTrigger> statusTriggers_;

  // Input lock.
  std::unique_ptr<std::uint8_t[]> inBuf_;
  std::uint32_t inPut_ = 0;
  std::uint32_t inGet_ = 0;
  bool inFull_ = false;
  bool inAvailMessage_ = false;
  std::uint32_t getCount_ = 0;
  std::uint32_t maxGetCount_ = 0;
  std::uint32_t lastTailData_ = 0;  // received bytes up to here have been scanned
  std::uint32_t scanPending_ = 0;   // bytes from there on not scanned yet
  // Bytes received since open, and that count at the last avail notification: a count,
  // not a ring index, so that exactly one ring's worth of new bytes still notifies.
  std::uint64_t received_ = 0;
  std::uint64_t notifyTail_ = 0;

  // Output lock.
  std::unique_ptr<std::uint8_t[]> outBuf_;
  std::uint32_t outHead_ = 0;
  std::uint32_t outTail_ = 0;
  bool outFull_ = false;
  std::uint64_t outGeneration_ = 0;  // bumped by every flush of the output ring

  std::uint32_t inSize_ = 0;
  std::uint32_t outSize_ = 0;

 private:
  std::int32_t PeekCharPrim(std::uint32_t n);
  std::int32_t PeekBlockPrim(void* buffer, std::uint32_t offset, std::uint32_t length);
  std::uint32_t RefreshStatusPrim(TComStatus* copy);
  std::int32_t SetCommStateFix(TDeviceControlBlock& dcb);
  void WaitTxSent();
  void NoteRingRead(bool wasFull);
  void TraceBytes(char kind, const std::uint8_t* bytes, std::uint32_t count);

  struct Handler {
    HWND wnd = 0;
    std::int32_t id = 0;
    TTriggerProc call;
    bool sync = false;
    std::atomic<bool> deleted{false};
  };
  using HandlerList = std::vector<std::shared_ptr<Handler>>;
  enum HandlerKind { kWnd, kProc, kEvent };
  struct Notification {
    std::uint32_t msg;
    std::uint32_t wParam;
    std::uint32_t data;
  };

  std::int32_t GetTriggerHandle();
  std::int32_t AddHandler(HandlerKind kind, HWND wnd, TTriggerProc call, bool sync);
  std::int32_t RemoveHandler(HandlerKind kind, HWND wnd, std::int32_t id);
  void PurgeDeletedHandlers();
  bool NotifyHandlers(const HandlerList& list, bool window, std::uint32_t msg,
                      std::uint32_t wParam, std::int32_t lParam);
  // Sends the collected notifications in order; stops at a pending close.
  bool SendAll(const std::vector<Notification>& fired);
  // The status trigger's condition against the current state (state lock held).
  bool StatusConditionHolds(const TStatusTrigger& trigger, std::uint32_t& value);
  void LogTriggerEntry(TDispatchType type, TDispatchSubType subType, std::uint32_t value,
                       const void* data = nullptr, std::uint32_t length = 0);

  // State lock.
  HandlerList wndHandlers_, procHandlers_, eventHandlers_;
  std::int32_t nextHandlerId_ = 1;
  // The dispatch thread is in SendNotify; with the event-busy flag (which the component's
  // waits also set) it defers a close and a handler removal.
  std::atomic<bool> notifying_{false};

  void* owner_;
  std::int32_t handle_ = -1;
  std::recursive_mutex stateLock_;
  std::recursive_mutex outLock_;
  std::recursive_mutex inLock_;
  std::atomic<int> liveThreads_{0};
  std::atomic<bool> shutdownDone_{false};
  void* dataPointers_[3] = {nullptr, nullptr, nullptr};
};

// Old rate codes of the platform (0xFEFF, 0xFF10-0xFF27) as bits per second; other values
// come back unchanged.
std::uint32_t BaudFromRateCode(std::uint32_t baud);

// The process-wide port list.
void LockPortList();
void UnlockPortList();
// The dispatcher with this handle, or null.
TSioBaseDispatcher* GetTComRecPtr(std::int32_t handle);
template <class T>
T* GetTComRecPtr(std::int32_t handle) {
  return dynamic_cast<T*>(GetTComRecPtr(handle));
}
// Number of slots in the list (live dispatchers and inner empty slots).
std::size_t PortListSize();

// Who creates dispatchers: the port component calls CreateDispatcher; a test installs a
// factory to hand out a dispatcher over a fake device. An empty factory restores the
// default (TSioPosixDispatcher).
using DispatcherFactory = std::function<TSioBaseDispatcher*(void* owner)>;
void SetDispatcherFactory(DispatcherFactory factory);
TSioBaseDispatcher* CreateDispatcher(void* owner);
