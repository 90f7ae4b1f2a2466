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
// GetComError, and the trigger scans re-enter the input lock through the ring counts.
// No code waits for another thread (join, send, synchronised call, flush acknowledge,
// drain) while it holds any of them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "serial/OoMisc.h"

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

  // Trigger and log hooks, called by the dispatch thread and the data paths; the trigger
  // and trace/log layers fill them. Each Check returns true when a trigger fired.
  virtual bool CheckStatusTriggers() { return false; }
  virtual bool CheckReceiveTriggers() { return false; }
  virtual bool CheckTimerTriggers() { return false; }
  virtual void RemoveAllTriggers() {}
  virtual void ResetStatusHits() {}
  virtual void ResetDataTriggers() {}  // FlushInBuffer: every data trigger's match restarts
  // Milliseconds until the next timer trigger is due; the dispatch thread waits at most
  // this long, and never more than 50 ms.
  virtual std::int32_t NextTimerDue() { return 50; }
  // Called under the state lock when tracing is on.
  virtual void AddTraceEntry(char kind, std::uint8_t byte);
  // Called under the state lock when dispatch logging is on.
  virtual void AddDispatchEntry(TDispatchType type, TDispatchSubType subType,
                                std::uint32_t value, const void* data, std::uint32_t length);
  virtual void UpdateHandlerFlags(std::int32_t kind);

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
  // Copies into the output ring (room guaranteed by PutBlock) and wakes the output thread;
  // runs under the output lock. Returns the count, or 0 or less when the device failed.
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
  bool tracingOn_ = false;
  bool dispatchLoggingOn_ = false;
  std::uint32_t lastModemStatus_ = 0;
  std::uint32_t lastLineError_ = 0;
  std::uint32_t lastTailData_ = 0;
  std::uint32_t lastTailLength_ = 1;
  std::uint32_t lengthTrigger_ = 0;
  std::uint32_t notifyTail_ = 0;
  std::uint32_t triggerSeed_ = 1;
  std::uint64_t timeBase_ = 0;

  // Input lock.
  std::unique_ptr<std::uint8_t[]> inBuf_;
  std::uint32_t inPut_ = 0;
  std::uint32_t inGet_ = 0;
  bool inFull_ = false;
  bool inAvailMessage_ = false;
  std::uint32_t getCount_ = 0;
  std::uint32_t maxGetCount_ = 0;

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
