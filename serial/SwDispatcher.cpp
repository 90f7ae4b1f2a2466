#include "serial/SwDispatcher.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "serial/PortMap.h"
#include "serial/SlConst.h"

namespace {

constexpr std::uint32_t kRing = TSioBaseDispatcher::kInRingSize;

struct PortList {
  std::recursive_mutex lock;
  std::vector<TSioBaseDispatcher*> slots;
  std::int32_t cacheHandle = -1;
  TSioBaseDispatcher* cache = nullptr;
};

// Never destroyed: a dispatcher may still leave the list during static destruction.
PortList& Ports() {
  static PortList* const list = new PortList;
  return *list;
}

void ForceBinary(TDeviceControlBlock& dcb) {
  dcb.binary = true;
  dcb.parityCheck = false;
  dcb.dsrSensitivity = false;
  dcb.txContinueOnXoff = true;
  dcb.nullStrip = false;
}

}  // namespace

std::uint32_t BaudFromRateCode(std::uint32_t baud) {
  if (baud == 0xFEFF) return 115200;
  if (baud < 0xFF10 || baud > 0xFF27) return baud;
  static constexpr std::uint32_t kRates[] = {110,   300,   600, 1200, 2400,   4800, 9600, 14400,
                                             19200, 0,     0,   38400, 0,     0,    0,    56000,
                                             0,     0,     0,   128000, 0,    0,    0,    256000};
  const std::uint32_t rate = kRates[baud - 0xFF10];
  return rate != 0 ? rate : baud;
}

void LockPortList() { Ports().lock.lock(); }
void UnlockPortList() { Ports().lock.unlock(); }

TSioBaseDispatcher* GetTComRecPtr(std::int32_t handle) {
  PortList& ports = Ports();
  std::lock_guard guard(ports.lock);
  if (ports.cache != nullptr && ports.cacheHandle == handle) return ports.cache;
  if (handle < 0 || static_cast<std::size_t>(handle) >= ports.slots.size()) return nullptr;
  TSioBaseDispatcher* found = ports.slots[static_cast<std::size_t>(handle)];
  if (found != nullptr) {
    ports.cacheHandle = handle;
    ports.cache = found;
  }
  return found;
}

std::size_t PortListSize() {
  PortList& ports = Ports();
  std::lock_guard guard(ports.lock);
  return ports.slots.size();
}

TSioBaseDispatcher::TSioBaseDispatcher(void* owner) : owner_(owner) {
  PortList& ports = Ports();
  std::lock_guard guard(ports.lock);
  auto slot = std::find(ports.slots.begin(), ports.slots.end(), nullptr);
  if (slot == ports.slots.end()) slot = ports.slots.insert(ports.slots.end(), nullptr);
  *slot = this;
  handle_ = static_cast<std::int32_t>(slot - ports.slots.begin());
}

TSioBaseDispatcher::~TSioBaseDispatcher() {
  // A concrete dispatcher shuts down in its own destructor, while its device operations
  // still exist; here only the bookkeeping is left.
  assert(shutdownDone_.load() || (fd_.load() < 0 && liveThreads_.load() == 0));
  PortList& ports = Ports();
  std::lock_guard guard(ports.lock);
  if (handle_ >= 0 && static_cast<std::size_t>(handle_) < ports.slots.size())
    ports.slots[static_cast<std::size_t>(handle_)] = nullptr;
  while (!ports.slots.empty() && ports.slots.back() == nullptr) ports.slots.pop_back();
  if (ports.cache == this) {
    ports.cache = nullptr;
    ports.cacheHandle = -1;
  }
}

// ---- life cycle ----

std::int32_t TSioBaseDispatcher::InitPort(const std::string& deviceName, std::uint32_t baud,
                                          std::uint32_t parity, std::uint32_t dataBits,
                                          std::uint32_t stopBits, std::uint32_t inSize,
                                          std::uint32_t outSize, std::uint32_t options) {
  if (fd_.load() >= 0 || active_.load()) return ecAlreadyOpen;
  if (outSize == 0) return ecBadArgument;
  ringSeen_ = false;
  eventBusy_ = false;
  closePending_ = false;
  {
    std::lock_guard state(stateLock_);
    deregistrationPending_ = false;
  }

  const std::int32_t opened = OpenCom(deviceName, inSize, outSize);
  if (opened < 0) return opened;
  if (!SetupCom(inSize, outSize)) {
    DonePort();
    return ecGeneralFailure;
  }

  {
    std::lock_guard input(inLock_);
    inBuf_ = std::make_unique<std::uint8_t[]>(kRing);
    inPut_ = inGet_ = 0;
    inFull_ = false;
    getCount_ = maxGetCount_ = 0;
    inAvailMessage_ = false;
    lastTailData_ = 0;
    scanPending_ = 0;
    received_ = 0;
    notifyTail_ = 0;
  }
  {
    std::lock_guard output(outLock_);
    outBuf_ = std::make_unique<std::uint8_t[]>(outSize);
    outHead_ = outTail_ = 0;
    outFull_ = false;
  }
  inSize_ = inSize;
  outSize_ = outSize;

  {
    std::lock_guard state(stateLock_);
    lineErrors_ = 0;
    dataWritten_ = false;
    lastLineError_ = 0;
    lastModemStatus_ = 0;
    rs485Mode_ = false;
    baseAddress_ = 0;

    dtrAuto_ = (options & ipDtrHwFlow) != 0;
    if (dtrAuto_)
      dtrState_ = (options & ipDtrOn) != 0;
    else
      SetDtr((options & ipDtrOn) != 0);
    rtsAuto_ = (options & ipRtsHwFlow) != 0;
    if (rtsAuto_)
      rtsState_ = (options & ipRtsOn) != 0;
    else
      SetRts((options & ipRtsOn) != 0);

    lastTailLength_ = 1;
    RemoveAllTriggers();
    ResetStatusHits();
    modemStatus_ = 0;
    GetModemStatusPrim(0xF0);
    lastBaud_ = 115200;
  }
  {
    std::lock_guard input(inLock_);
    inAvailMessage_ = false;
  }

  const std::int32_t line = SetLine(baud, parity, dataBits, stopBits);
  if (line != 0) {
    DonePort();
    return line;
  }

  RefreshStatus();
  {
    std::lock_guard state(stateLock_);
    trace_.AbortTracing();
    log_.AbortDispatchLogging();
    timeBase_ = SlTimeGetTime64();
    log_.SetTimeBase(timeBase_);
    deviceName_ = deviceName;
  }
  const std::int32_t started = StartDispatcher();
  if (started < 0) {
    DonePort();
    return started;
  }
  return ecOK;
}

void TSioBaseDispatcher::DonePort() {
  if (fd_.load() >= 0) {
    FlushOutBuffer();
    FlushInBuffer();
  }
  bool defer;
  {
    std::lock_guard state(stateLock_);
    defer = (eventBusy_.load() || notifying_.load()) && active_.load();
    if (defer) closePending_ = true;
  }
  if (defer) {
    // The running notification ends first; the dispatch thread then finishes the close
    // on its way out.
    WakeDispatcher();
    return;
  }
  CloseCom();
  DonePortPrim();
}

void TSioBaseDispatcher::DonePortPrim() {
  closeOnExit_ = false;
  StopDispatcher();
  if (fd_.load() >= 0) CloseCom();
  {
    std::lock_guard output(outLock_);
    outBuf_.reset();
    outHead_ = outTail_ = 0;
    outFull_ = false;
  }
  {
    std::lock_guard input(inLock_);
    inBuf_.reset();
    inPut_ = inGet_ = 0;
    inFull_ = false;
  }
}

void TSioBaseDispatcher::Shutdown() {
  if (shutdownDone_.exchange(true)) return;
  if (!closePending_.load()) DonePort();
  // A pending close is finished by the dispatch thread; a notification it is sending to
  // this thread must be able to run meanwhile.
  while (liveThreads_.load() > 0) {
    SafeYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  DonePortPrim();  // joins the thread that closed the port itself
}

void TSioBaseDispatcher::ThreadGone(bool dispatchThread) {
  if (dispatchThread && closeOnExit_.load()) {
    DonePortPrim();
    closeOnExit_ = false;
  }
  if (liveThreads_.fetch_sub(1) == 1) active_ = false;
}

// ---- line settings ----

std::int32_t TSioBaseDispatcher::SetLine(std::uint32_t baud, std::uint32_t parity,
                                         std::uint32_t dataBits, std::uint32_t stopBits) {
  if (stopBits != 3) {
    if (stopBits == 0)
      stopBits = 1;
    else if (stopBits > 2)
      stopBits = 2;
  }
  TDeviceControlBlock dcb;
  std::uint32_t newBaud, newParity, newSize, newStop;
  {
    std::lock_guard state(stateLock_);
    const std::int32_t got = GetComState(dcb);
    if (got < 0) return got;
    ForceBinary(dcb);
    newBaud = baud == 0 ? dcb.baud : baud;
    newParity = parity == 5 ? dcb.parity : parity;
    newSize = dataBits == 9 ? dcb.byteSize : dataBits;
    newStop = dcb.stopBits;
    if (newSize == 5) newStop = 1;
    if (stopBits != 3) newStop = (newSize == 5) ? 1 : (stopBits == 1 ? 0 : 2);
    if (newBaud == dcb.baud && newParity == dcb.parity && newSize == dcb.byteSize &&
        newStop == dcb.stopBits)
      return ecOK;
  }
  if (newParity > 4 || newSize < 5 || newSize > 8) return newParity > 4 ? ecBadArgument : ecByteSize;

  WaitTxSent();

  std::lock_guard state(stateLock_);
  const std::int32_t got = GetComState(dcb);
  if (got < 0) return got;
  ForceBinary(dcb);
  dcb.baud = newBaud;
  dcb.parity = static_cast<std::uint8_t>(newParity);
  dcb.byteSize = static_cast<std::uint8_t>(newSize);
  dcb.stopBits = static_cast<std::uint8_t>(newStop);
  return SetCommStateFix(dcb);
}

std::int32_t TSioBaseDispatcher::ChangeBaud(std::uint32_t baud) {
  return SetLine(baud, 5, 9, 3);  // every setting but the rate kept
}

void TSioBaseDispatcher::GetLine(std::uint32_t& baud, std::uint32_t& parity,
                                 std::uint32_t& dataBits, std::uint32_t& stopBits) {
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  GetComState(dcb);
  baud = BaudFromRateCode(dcb.baud);
  parity = dcb.parity;
  dataBits = dcb.byteSize;
  stopBits = dcb.stopBits == 0 ? 1 : 2;
}

void TSioBaseDispatcher::WaitTxSent() {
  // Bounded: 5000 polls of 2 ms, then 18 character times for the device's own queue.
  for (int i = 0; i < 5000 && OutBuffUsed() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  TDeviceControlBlock dcb;
  std::uint32_t baud;
  {
    std::lock_guard state(stateLock_);
    GetComState(dcb);
    baud = BaudFromRateCode(lastBaud_);
  }
  if (baud == 0) return;
  std::uint64_t bits = dcb.byteSize + 2u;
  if (dcb.parity != 0) ++bits;
  if (dcb.stopBits != 0) ++bits;
  std::uint64_t time = (10'000'000u / baud) * bits * 18u;  // units of 100 ns
  if (time < 10'000u) time *= 2;
  DelayMS(static_cast<std::uint32_t>((time + 9'999u) / 10'000u));
}

std::int32_t TSioBaseDispatcher::SetCommStateFix(TDeviceControlBlock& dcb) {
  std::lock_guard state(stateLock_);
  if (!dtrAuto_) dcb.dtrControl = dtrState_ ? dtrEnable : dtrDisable;
  if (!rtsAuto_) dcb.rtsControl = rtsState_ ? rtsEnable : rtsDisable;
  const std::int32_t result = SetComState(dcb);
  if (result < 0) return result;
  lastBaud_ = dcb.baud;
  SetDtr(dtrState_);
  if (!rs485Mode_.load()) SetRts(rtsState_);
  return result;
}

std::int32_t TSioBaseDispatcher::SetModem(bool dtr, bool rts) {
  const std::int32_t result = SetDtr(dtr);
  return result == 0 ? SetRts(rts) : result;
}

std::int32_t TSioBaseDispatcher::SetDtr(bool on) {
  std::lock_guard state(stateLock_);
  if (dtrAuto_) return 1;
  const std::int32_t result = EscapeComFunction(on ? escSetDtr : escClrDtr);
  dtrState_ = on;
  return result < 0 ? ecBadArgument : result;
}

std::int32_t TSioBaseDispatcher::SetRts(bool on) {
  std::lock_guard state(stateLock_);
  if (rtsAuto_) return 1;
  const std::int32_t result = EscapeComFunction(on ? escSetRts : escClrRts);
  rtsState_ = on;
  return result < 0 ? ecBadArgument : result;
}

std::int32_t TSioBaseDispatcher::HWFlowOptions(std::uint32_t bufferFull,
                                               std::uint32_t bufferResume,
                                               std::uint32_t options) {
  if (bufferFull < bufferResume || bufferFull > inSize_) return ecBadArgument;
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  const std::int32_t got = GetComState(dcb);
  if (got < 0) return got;
  dcb.outxCtsFlow = false;
  dcb.outxDsrFlow = false;
  dtrAuto_ = false;
  rtsAuto_ = false;
  if (options & 1) {
    dcb.dtrControl = dtrHandshake;
    dtrAuto_ = true;
  } else {
    dcb.dtrControl = dtrState_ ? dtrEnable : dtrDisable;
  }
  if (options & 2) {
    dcb.rtsControl = rtsHandshake;
    rtsAuto_ = true;
  } else {
    dcb.rtsControl = rtsState_ ? rtsEnable : rtsDisable;
  }
  if (rs485Mode_.load()) {
    dcb.rtsControl = rtsToggle;
    rtsAuto_ = true;
  }
  dcb.xoffLim = static_cast<std::uint16_t>(inSize_ - bufferFull);
  dcb.xonLim = static_cast<std::uint16_t>(bufferResume);
  if (options & 4) dcb.outxDsrFlow = true;
  if (options & 8) dcb.outxCtsFlow = true;
  return SetCommStateFix(dcb);
}

std::int32_t TSioBaseDispatcher::HWFlowState() {
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  GetComState(dcb);
  const bool dtrShake = dcb.dtrControl == dtrHandshake;
  const bool rtsShake = dcb.rtsControl == rtsHandshake;
  if (!dcb.outxCtsFlow && !dcb.outxDsrFlow && !dtrShake && !rtsShake) return 1;
  std::int32_t result = 2;
  if (dtrShake || rtsShake) {
    TComStatus status;
    RefreshStatusPrim(&status);
    if (dcb.outxDsrFlow && (status.holdFlags & hfDsrHold)) result = 3;
    if (dcb.outxCtsFlow && (status.holdFlags & hfCtsHold)) result = 4;
  }
  return result;
}

std::int32_t TSioBaseDispatcher::SWFlowEnable(std::uint32_t bufferFull,
                                              std::uint32_t bufferResume,
                                              std::uint32_t options) {
  if (bufferFull < bufferResume || bufferFull > inSize_) return ecBadArgument;
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  const std::int32_t got = GetComState(dcb);
  if (got < 0) return got;
  if (options & 2) {
    dcb.inX = true;
    dcb.xoffLim = static_cast<std::uint16_t>(inSize_ - bufferFull);
    dcb.xonLim = static_cast<std::uint16_t>(bufferResume);
    dcb.xonChar = 17;
    dcb.xoffChar = 19;
  }
  if (options & 1) {
    dcb.outX = true;
    dcb.xonChar = 17;
    dcb.xoffChar = 19;
  }
  return SetCommStateFix(dcb);
}

std::int32_t TSioBaseDispatcher::SWFlowDisable() {
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  const std::int32_t got = GetComState(dcb);
  if (got < 0) return got;
  dcb.inX = false;
  dcb.outX = false;
  return SetCommStateFix(dcb);
}

std::int32_t TSioBaseDispatcher::SWFlowState() {
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  GetComState(dcb);
  if (!dcb.inX && !dcb.outX) return 1;
  TComStatus status;
  RefreshStatusPrim(&status);
  const bool sent = (status.holdFlags & hfXoffSent) != 0;
  const bool held = (status.holdFlags & hfXoffHold) != 0;
  if (sent && held) return 8;
  if (sent) return 7;
  if (held) return 6;
  return 2;
}

std::int32_t TSioBaseDispatcher::SWFlowChars(std::uint8_t xon, std::uint8_t xoff) {
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  const std::int32_t got = GetComState(dcb);
  if (got < 0) return got;
  dcb.xonChar = xon;
  dcb.xoffChar = xoff;
  return SetCommStateFix(dcb);
}

void TSioBaseDispatcher::GetFlowOptions(std::uint32_t& hwOptions, std::uint32_t& swOptions,
                                        std::uint8_t& xon, std::uint8_t& xoff) {
  std::lock_guard state(stateLock_);
  TDeviceControlBlock dcb;
  GetComState(dcb);
  hwOptions = 0;
  if (dcb.dtrControl == dtrHandshake) hwOptions |= 1;
  if (dcb.rtsControl == rtsHandshake) hwOptions |= 2;
  if (dcb.outxDsrFlow) hwOptions |= 4;
  if (dcb.outxCtsFlow) hwOptions |= 8;
  swOptions = 0;
  if (dcb.inX) swOptions |= 2;
  if (dcb.outX) swOptions |= 1;
  xon = dcb.xonChar;
  xoff = dcb.xoffChar;
}

std::int32_t TSioBaseDispatcher::SetRS485Mode(bool on) {
  std::int32_t result = ecOK;
  {
    std::lock_guard state(stateLock_);
    if (rs485Mode_.load() == on) return ecOK;
    rs485Mode_ = on;
    // The kernel toggles RTS around each transmission (or the output thread does where
    // the driver cannot), so no base address is ever needed.
    TDeviceControlBlock dcb;
    if (GetComState(dcb) >= 0) {
      if (on) {
        dcb.rtsControl = rtsToggle;
        rtsAuto_ = true;
      } else if (dcb.rtsControl == rtsToggle) {
        rtsAuto_ = false;
      }
      result = SetCommStateFix(dcb);
    }
  }
  SetThreadBoost(threadBoost_.load());
  return result;
}

std::int32_t TSioBaseDispatcher::SetBaseAddress(std::uint16_t address) {
  std::lock_guard state(stateLock_);
  baseAddress_ = address;
  return ecOK;
}

std::uint16_t TSioBaseDispatcher::GetBaseAddress() {
  std::lock_guard state(stateLock_);
  return baseAddress_;
}

void TSioBaseDispatcher::SetThreadBoost(std::uint8_t boost) { threadBoost_ = boost; }

std::int32_t TSioBaseDispatcher::SendBreak(std::uint32_t ticks, bool yield) {
  if (rs485Mode_.load()) EscapeComFunction(escSetRts);
  EscapeComFunction(escSetBreak);
  DelayTicks(static_cast<std::int32_t>(ticks), yield);
  return SetBreak(false);
}

std::int32_t TSioBaseDispatcher::SetBreak(bool on) {
  EscapeComFunction(on ? escSetBreak : escClrBreak);
  if (!on && rs485Mode_.load()) {
    const std::int32_t used = OutBuffUsed();
    if (used != 0) return used;
    EscapeComFunction(escClrRts);
  }
  return ecOK;
}

// ---- status ----

std::uint8_t TSioBaseDispatcher::GetModemStatusPrim(std::uint8_t clearMask) {
  std::lock_guard state(stateLock_);
  const std::uint8_t levels = GetComModemStatus() & 0xF0;
  // Every read latches what changed since the last one, so that a read between two
  // dispatch passes cannot swallow a change of a polled line.
  const std::uint8_t old = modemStatus_;
  std::uint8_t changed = static_cast<std::uint8_t>(((old ^ levels) >> 4) & (msDeltaCts | msDeltaDsr | msDeltaDcd));
  if ((old & msRi) != 0 && (levels & msRi) == 0) changed |= msTrailingRi;
  modemStatus_ = static_cast<std::uint8_t>((old & 0x0F) | changed | levels);
  if (ringSeen_.exchange(false)) modemStatus_ |= msTrailingRi;
  const std::uint8_t result = modemStatus_;
  modemStatus_ &= clearMask;
  return result;
}

std::uint8_t TSioBaseDispatcher::GetModemStatus() { return GetModemStatusPrim(0xF0); }
bool TSioBaseDispatcher::CheckCTS() { return (GetModemStatusPrim(254) & msCts) != 0; }
bool TSioBaseDispatcher::CheckDSR() { return (GetModemStatusPrim(253) & msDsr) != 0; }
bool TSioBaseDispatcher::CheckRI() { return (GetModemStatusPrim(251) & msRi) != 0; }
bool TSioBaseDispatcher::CheckDCD() { return (GetModemStatusPrim(247) & msDcd) != 0; }
bool TSioBaseDispatcher::CheckDeltaCTS() { return (GetModemStatusPrim(254) & msDeltaCts) != 0; }
bool TSioBaseDispatcher::CheckDeltaDSR() { return (GetModemStatusPrim(253) & msDeltaDsr) != 0; }
bool TSioBaseDispatcher::CheckDeltaRI() { return (GetModemStatusPrim(251) & msTrailingRi) != 0; }
bool TSioBaseDispatcher::CheckDeltaDCD() { return (GetModemStatusPrim(247) & msDeltaDcd) != 0; }

void TSioBaseDispatcher::MapEventsToMS() {
  std::lock_guard state(stateLock_);
  const std::uint8_t before = modemStatus_;
  const std::uint8_t now = GetModemStatusPrim(0xFF);
  modemStatus_ |= static_cast<std::uint8_t>(((before ^ now) >> 4) & 0x0F);
}

std::uint32_t TSioBaseDispatcher::RefreshStatusPrim(TComStatus* copy) {
  std::lock_guard state(stateLock_);
  const std::uint32_t errors = GetComError(comStatus_);
  lineErrors_ |= errors & 0x1F;
  if (copy != nullptr) *copy = comStatus_;
  return lineErrors_;
}

std::int32_t TSioBaseDispatcher::RefreshStatus() {
  return static_cast<std::int32_t>(RefreshStatusPrim(nullptr));
}

std::int32_t TSioBaseDispatcher::GetLineError() {
  std::lock_guard state(stateLock_);
  std::int32_t result = 0;
  if (lineErrors_ & ceRxOver)
    result = 1;
  else if (lineErrors_ & ceOverrun)
    result = 2;
  else if (lineErrors_ & ceParity)
    result = 3;
  else if (lineErrors_ & ceFrame)
    result = 4;
  else if (lineErrors_ & ceBreak)
    result = 9;
  if (result != 0) lineErrors_ &= ~0x0Fu;  // a break stays for CheckLineBreak
  return result;
}

bool TSioBaseDispatcher::CheckLineBreak() {
  std::lock_guard state(stateLock_);
  const bool brk = (lineErrors_ & ceBreak) != 0;
  lineErrors_ &= ~ceBreak;
  return brk;
}

// ---- input ring ----

std::uint32_t TSioBaseDispatcher::InAvailLocked() const {
  if (inPut_ == inGet_) return inFull_ ? kRing : 0;
  return inPut_ > inGet_ ? inPut_ - inGet_ : inPut_ + kRing - inGet_;
}

bool TSioBaseDispatcher::InRingFull() {
  std::lock_guard input(inLock_);
  return inFull_;
}

void TSioBaseDispatcher::NoteRingRead(bool wasFull) {
  // The dispatch thread stops watching the device while the ring is full.
  if (wasFull) WakeDispatcher();
}

void TSioBaseDispatcher::TraceBytes(char kind, const std::uint8_t* bytes, std::uint32_t count) {
  std::lock_guard state(stateLock_);
  if (!trace_.IsTracing()) return;  // a paused trace keeps its buffer but records nothing
  for (std::uint32_t i = 0; i < count; ++i) AddTraceEntry(kind, bytes[i]);
}

bool TSioBaseDispatcher::CharReady() {
  std::lock_guard input(inLock_);
  if (!inBuf_) return false;
  if (inAvailMessage_) {
    const std::uint32_t pos = (inGet_ + getCount_) % kRing;
    return pos != inPut_ || (inFull_ && getCount_ < kRing);
  }
  return inPut_ != inGet_ || inFull_;
}

std::int32_t TSioBaseDispatcher::PeekCharPrim(std::uint32_t n) {
  std::lock_guard input(inLock_);
  if (!inBuf_ || n == 0 || InAvailLocked() < n) return ecBufferIsEmpty;
  return inBuf_[(inGet_ + n - 1) % kRing];
}

std::int32_t TSioBaseDispatcher::PeekChar(std::uint32_t n) {
  std::lock_guard input(inLock_);
  return PeekCharPrim(inAvailMessage_ ? n + getCount_ : n);
}

std::int32_t TSioBaseDispatcher::GetChar() {
  std::int32_t result;
  bool wasFull = false;
  {
    std::lock_guard input(inLock_);
    if (inAvailMessage_) {
      ++getCount_;
      result = PeekCharPrim(getCount_);
      if (result < 0) --getCount_;
    } else {
      result = PeekCharPrim(1);
      if (result >= 0) {
        inGet_ = (inGet_ + 1) % kRing;
        wasFull = inFull_;
        inFull_ = false;
      }
    }
    if (result >= 0) {
      const auto byte = static_cast<std::uint8_t>(result);
      TraceBytes('R', &byte, 1);
    }
  }
  NoteRingRead(wasFull);
  return result;
}

std::int32_t TSioBaseDispatcher::PeekBlockPrim(void* buffer, std::uint32_t offset,
                                               std::uint32_t length) {
  std::lock_guard input(inLock_);
  if (!inBuf_ || InAvailLocked() < offset + length) return ecBufferIsEmpty;
  auto* out = static_cast<std::uint8_t*>(buffer);
  const std::uint32_t start = (inGet_ + offset) % kRing;
  const std::uint32_t first = std::min(length, kRing - start);
  std::memcpy(out, &inBuf_[start], first);
  if (first < length) std::memcpy(out + first, &inBuf_[0], length - first);
  return static_cast<std::int32_t>(length);
}

std::int32_t TSioBaseDispatcher::PeekBlock(void* buffer, std::uint32_t length) {
  if (length == 0) return 0;
  std::lock_guard input(inLock_);
  return PeekBlockPrim(buffer, inAvailMessage_ ? getCount_ : 0, length);
}

std::int32_t TSioBaseDispatcher::GetBlock(void* buffer, std::uint32_t length) {
  if (length == 0) return 0;
  std::int32_t result;
  bool wasFull = false;
  {
    std::lock_guard input(inLock_);
    if (inAvailMessage_) {
      result = PeekBlockPrim(buffer, getCount_, length);
      if (result > 0) getCount_ += length;
    } else {
      result = PeekBlockPrim(buffer, 0, length);
      if (result > 0) {
        inGet_ = (inGet_ + length) % kRing;
        wasFull = inFull_;
        inFull_ = false;
      }
    }
  }
  if (result > 0) TraceBytes('R', static_cast<const std::uint8_t*>(buffer), length);
  NoteRingRead(wasFull);
  return result;
}

std::int32_t TSioBaseDispatcher::InBuffUsed() {
  std::lock_guard input(inLock_);
  const std::uint32_t avail = InAvailLocked();
  return static_cast<std::int32_t>(inAvailMessage_ ? avail - std::min(avail, getCount_) : avail);
}

std::int32_t TSioBaseDispatcher::InBuffFree() {
  std::lock_guard input(inLock_);
  const std::uint32_t free = kRing - InAvailLocked();
  return static_cast<std::int32_t>(inAvailMessage_ ? free + getCount_ : free);
}

std::int32_t TSioBaseDispatcher::FlushInBuffer() {
  const std::int32_t result = fd_.load() >= 0 ? FlushCom(1) : ecOK;
  bool wasFull;
  {
    std::lock_guard input(inLock_);
    if (inAvailMessage_) {
      maxGetCount_ = InAvailLocked();  // the running notification consumes everything
    } else {
      inGet_ = inPut_;
      getCount_ = 0;
    }
    wasFull = inFull_;
    inFull_ = false;
  }
  ResetDataTriggers();
  NoteRingRead(wasFull);
  return result;
}

bool TSioBaseDispatcher::ExtractData() {
  std::lock_guard input(inLock_);
  if (!inBuf_) return false;
  if (inFull_) return true;
  TComStatus status;
  RefreshStatusPrim(&status);
  if (status.inQueue == 0) return false;

  std::uint32_t free, first;
  if (inPut_ == inGet_) {
    free = kRing;
    first = kRing - inPut_;
  } else if (inGet_ < inPut_) {
    free = inGet_ + kRing - inPut_;
    first = kRing - inPut_;
  } else {
    free = first = inGet_ - inPut_;
  }
  const std::uint32_t wanted = std::min(free, status.inQueue);
  std::uint32_t second = first < wanted ? wanted - first : 0;

  auto readSpan = [&](std::uint32_t size) {
    std::int32_t count = ReadCom(&inBuf_[inPut_], size);
    if (count < 0) {  // nothing read; the device layer retries EINTR and EAGAIN itself
      count = 0;
      GetComEventMask(-1);
    }
    const auto got = static_cast<std::uint32_t>(count);
    if (got > 0) {
      std::lock_guard state(stateLock_);
      if (log_.IsLogging()) AddDispatchEntry(dtDispatch, dstReadCom, got, &inBuf_[inPut_], got);
    }
    inPut_ += got;
    if (inPut_ == kRing) inPut_ = 0;
    received_ += got;
    scanPending_ += got;
    if (scanPending_ > kRing) {  // bytes read and taken before the trigger scan saw them
      scanPending_ = kRing;
      lastTailData_ = inPut_;
    }
    if (got > 0) inFull_ = inPut_ == inGet_;
    return got;
  };

  if (first != 0 && readSpan(first) < first) second = 0;
  if (second != 0) readSpan(second);
  return true;
}

// ---- output ring ----

std::uint32_t TSioBaseDispatcher::OutCountLocked() const {
  if (outFull_) return outSize_;
  if (outTail_ < outHead_) return outHead_ - outTail_;
  if (outHead_ < outTail_) return outSize_ + outHead_ - outTail_;
  return 0;
}

void TSioBaseDispatcher::CopyToOutRing(const void* buffer, std::uint32_t size) {
  if (size == 0 || !outBuf_) return;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  const std::uint32_t room = outSize_ - outHead_;
  if (size > room) {
    std::memcpy(&outBuf_[outHead_], in, room);
    std::memcpy(&outBuf_[0], in + room, size - room);
    outHead_ = size - room;
  } else {
    std::memcpy(&outBuf_[outHead_], in, size);
    outHead_ = size == room ? 0 : outHead_ + size;
  }
  if (outHead_ == outTail_) outFull_ = true;
}

std::uint32_t TSioBaseDispatcher::PeekOutRingLocked(std::uint8_t* out, std::uint32_t max) const {
  const std::uint32_t count = std::min(OutCountLocked(), max);
  if (count == 0) return 0;
  const std::uint32_t first = std::min(count, outSize_ - outTail_);
  std::memcpy(out, &outBuf_[outTail_], first);
  if (first < count) std::memcpy(out + first, &outBuf_[0], count - first);
  return count;
}

void TSioBaseDispatcher::AdvanceOutTailLocked(std::uint32_t count) {
  if (count == 0) return;
  outTail_ += count;
  if (outTail_ >= outSize_) outTail_ -= outSize_;
  if (outTail_ == outHead_) outTail_ = outHead_ = 0;
  outFull_ = false;
}

void TSioBaseDispatcher::ClearOutRingLocked() {
  outHead_ = outTail_ = 0;
  outFull_ = false;
  ++outGeneration_;
}

std::int32_t TSioBaseDispatcher::PutChar(std::uint8_t c) { return PutBlock(&c, 1); }

std::int32_t TSioBaseDispatcher::PutString(std::string_view text) {
  return PutBlock(text.data(), static_cast<std::uint32_t>(text.size()));
}

std::int32_t TSioBaseDispatcher::PutBlock(const void* buffer, std::uint32_t length) {
  if (length == 0) return 0;
  std::int32_t result = ecOK;
  std::uint32_t errors;
  std::int32_t written;
  {
    std::lock_guard output(outLock_);
    if (!outBuf_) return ecCommNotOpen;
    TComStatus status;
    errors = GetComError(status);
    const std::uint32_t free = outSize_ - std::min(outSize_, status.outQueue);
    if (free < length) {
      result = ecOutputBufferTooSmall;  // all or nothing
      written = 0;
    } else {
      if (rs485Mode_.load()) EscapeComFunction(escSetRts);
      written = WriteCom(buffer, length);
      if (written <= 0) {
        errors |= GetComError(status);
        result = ecPutBlockFail;
      }
    }
  }
  std::lock_guard state(stateLock_);
  // Errors are ORed in, never replaced, so a latched error survives until it is read.
  lineErrors_ |= errors & 0x1F;
  if (result == ecOutputBufferTooSmall) return result;
  if (result == ecOK) dataWritten_ = true;
  if (log_.IsLogging()) {
    const auto count = static_cast<std::uint32_t>(written < 0 ? -written : written);
    AddDispatchEntry(dtDispatch, dstWriteCom, count, result == ecOK ? buffer : nullptr,
                     result == ecOK ? length : 0);
  }
  if (result == ecOK) TraceBytes('T', static_cast<const std::uint8_t*>(buffer), length);
  return result;
}

std::int32_t TSioBaseDispatcher::OutBuffUsed() {
  RefreshStatus();
  std::lock_guard output(outLock_);
  return static_cast<std::int32_t>(OutCountLocked());
}

std::int32_t TSioBaseDispatcher::OutBuffFree() {
  const std::int32_t used = OutBuffUsed();
  return static_cast<std::int32_t>(outSize_) - used;
}

std::int32_t TSioBaseDispatcher::FlushOutBuffer() { return FlushCom(0); }

void TSioBaseDispatcher::BufferSizes(std::uint32_t& inSize, std::uint32_t& outSize) {
  inSize = inSize_;
  outSize = outSize_;
}

// ---- the rest ----

std::int32_t TSioBaseDispatcher::AddStringToLog(std::string_view text) {
  std::lock_guard state(stateLock_);
  if (log_.IsLogging())
    AddDispatchEntry(dtUser, dstNone, 0, text.data(), static_cast<std::uint32_t>(text.size()));
  return ecOK;
}

std::int32_t TSioBaseDispatcher::SetDataPointer(void* pointer, std::uint32_t slot) {
  if (slot < 1 || slot > 3) return ecBadArgument;
  std::lock_guard state(stateLock_);
  dataPointers_[slot - 1] = pointer;
  return ecOK;
}

std::int32_t TSioBaseDispatcher::GetDataPointer(void*& pointer, std::uint32_t slot) {
  if (slot < 1 || slot > 3) return ecBadArgument;
  std::lock_guard state(stateLock_);
  pointer = dataPointers_[slot - 1];
  return ecOK;
}

void TSioBaseDispatcher::OptionsOn(std::uint32_t bits) {
  std::lock_guard state(stateLock_);
  options_ |= bits;
}

void TSioBaseDispatcher::OptionsOff(std::uint32_t bits) {
  std::lock_guard state(stateLock_);
  options_ &= ~bits;
}

bool TSioBaseDispatcher::OptionsAreOn(std::uint32_t bits) {
  std::lock_guard state(stateLock_);
  return (options_ & bits) == bits;
}
