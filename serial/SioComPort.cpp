#include "serial/SioComPort.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "serial/PortMap.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"

namespace {

// A send to a user window that waits for the answer, however long it takes.
constexpr unsigned kBlockingSendMs = UINT_MAX;
// How long a port being destroyed waits for a running notification to end: longer than
// a window handler's time-out.
constexpr int kCloseWaitMs = 3500;
constexpr std::size_t kMaxMultiStrings = 127;

std::mutex& HooksLock() {
  static std::mutex lock;
  return lock;
}
TPortPrompt& Prompt() {
  static TPortPrompt prompt;
  return prompt;
}
TSioExceptionHandler& ExceptionHandler() {
  static TSioExceptionHandler handler;
  return handler;
}

struct PortListGuard {
  PortListGuard() { LockPortList(); }
  ~PortListGuard() { UnlockPortList(); }
  PortListGuard(const PortListGuard&) = delete;
  PortListGuard& operator=(const PortListGuard&) = delete;
};

std::int32_t Check(std::int32_t result) { return CheckException(result); }

std::int32_t PortHandleOf(std::intptr_t lParam) {
  return static_cast<std::int32_t>((static_cast<std::uintptr_t>(lParam) >> 16) & 0xFFFFu);
}

std::intptr_t ClosingParam(const TSioBaseDispatcher& d) {
  return static_cast<std::intptr_t>(d.Handle()) * 65536;
}

// While the dispatch thread finishes a pending close, the window's re-posted message
// comes round again at once; a short pause keeps that from spinning the thread.
void RepostClosing(HWND wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  PostMessage(wnd, msg, wParam, lParam);
}

// A quit message stops a wait that does not pump; it stays queued for the outer loop.
bool QuitPending() {
  int code = 0;
  if (!TakeQuitMessage(&code)) return false;
  PostQuitMessage(code);
  return true;
}

std::uint16_t Word(std::int32_t value) { return static_cast<std::uint16_t>(value); }

}  // namespace

void SetPortPrompt(TPortPrompt prompt) {
  std::lock_guard guard(HooksLock());
  Prompt() = std::move(prompt);
}

void ReportSioException(const std::exception& e) {
  TSioExceptionHandler handler;
  {
    std::lock_guard guard(HooksLock());
    handler = ExceptionHandler();
  }
  // Only the user-interface thread may show it; elsewhere it goes to standard error.
  if (handler && IsMainThread())
    handler(e);
  else
    std::fprintf(stderr, "%s\n", e.what());
}

void SetSioExceptionHandler(TSioExceptionHandler handler) {
  std::lock_guard guard(HooksLock());
  ExceptionHandler() = std::move(handler);
}

// ---- life cycle ------------------------------------------------------------------------

TSioCustomComPort::TSioCustomComPort(TSioBaseComponent* owner)
    : TSioBaseComponent(owner), link_(std::make_shared<TPortLink>()) {
  link_->port = this;
}

TSioCustomComPort::~TSioCustomComPort() {
  destroying_ = true;
  try {
    DonePort();
  } catch (...) {
    // A failed dump must not stop the close.
  }
  // A close left pending by a running notification: outside our own events that
  // notification ends by itself (it may be sending to this thread, so messages keep
  // being delivered meanwhile). Bounded, for a notification that waits on our caller.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
  while (windowDepth_ == 0 && dispatcher_ && dispatcher_->Active() && std::chrono::steady_clock::now() < deadline) {
    const int got = SafeYield();
    if (got == static_cast<int>(WM_QUIT))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    else if (got == 0)
      WaitForMessages(1);
  }
  if (dispatcher_ && dispatcher_->Active() && wnd_ != 0) {
    // Still running, most likely one of our own events that cannot end before we
    // return: the window frees the dispatcher once it has stopped.
    const std::intptr_t param = ClosingParam(*dispatcher_);
    link_->orphan = std::move(dispatcher_);
    link_->wnd = wnd_;
    PostMessage(wnd_, MsgPortClosing, 0, param);
    wnd_ = 0;
  } else {
    RegisterComPort(false);
    dispatcher_.reset();
  }
  link_->port = nullptr;
}

void TSioCustomComPort::Assign(const TSioCustomComPort& source) {
  if (&source == this) return;
  SetOpen(false);
  deviceLayer_ = source.deviceLayer_;
  comNumber_ = source.comNumber_;
  baud_ = source.baud_;
  promptForPort_ = source.promptForPort_;
  parity_ = source.parity_;
  dataBits_ = source.dataBits_;
  stopBits_ = source.stopBits_;
  inSize_ = source.inSize_;
  outSize_ = source.outSize_;
  autoOpen_ = source.autoOpen_;
  dtr_ = source.dtr_;
  rts_ = source.rts_;
  hwFlowOptions_ = source.hwFlowOptions_;
  swFlowOptions_ = source.swFlowOptions_;
  xonChar_ = source.xonChar_;
  xoffChar_ = source.xoffChar_;
  bufferFull_ = source.bufferFull_;
  bufferResume_ = source.bufferResume_;
  // A closed port keeps only "on" or "off".
  tracing_ = source.tracing_ == tlOn || source.tracing_ == tlPause ? tlOn : tlOff;
  traceSize_ = source.traceSize_;
  traceName_ = source.traceName_;
  traceHex_ = source.traceHex_;
  traceAllHex_ = source.traceAllHex_;
  logging_ = source.logging_ == tlOn || source.logging_ == tlPause ? tlOn : tlOff;
  logSize_ = source.logSize_;
  logName_ = source.logName_;
  logHex_ = source.logHex_;
  logAllHex_ = source.logAllHex_;
  useMSRShadow_ = source.useMSRShadow_;
  useEventWord_ = source.useEventWord_;
  commNotificationLevel_ = source.commNotificationLevel_;
  tapiMode_ = source.tapiMode_;
  rs485Mode_ = source.rs485Mode_;
  triggerLength_ = source.triggerLength_;
  threadBoost_ = source.threadBoost_;
  baseAddress_ = source.baseAddress_;
  users_ = source.users_;
  if (source.IsOpenState()) {
    source.dispatcher_->SaveTriggers(savedTriggers_);
    triggersSaved_ = true;
  }
  open_ = false;
}

void TSioCustomComPort::Loaded() {
  loading_ = false;
  if (!openRequested_) return;
  openRequested_ = false;
  try {
    InitPort();
  } catch (const std::exception& e) {
    open_ = false;
    ReportSioException(e);
  }
}

void TSioCustomComPort::ForcePortOpen() {
  if (autoOpen_) openRequested_ = true;
}

void TSioCustomComPort::SetOpen(bool open) {
  if (loading_) {
    openRequested_ = open;
    return;
  }
  if (Shutting()) {
    // Carried out (or not) when the pending close has finished.
    reopenRequested_ = open;
    return;
  }
  if (open == open_) return;
  if (open)
    InitPort();
  else
    DonePort();
}

void TSioCustomComPort::ValidateComport() {
  if (comNumber_ != 0) return;
  if (!promptForPort_) CheckException(ecNoPortSelected);
  TPortPrompt prompt;
  {
    std::lock_guard guard(HooksLock());
    prompt = Prompt();
  }
  int chosen = 0;
  if (!prompt || !prompt(chosen) || chosen <= 0 || chosen > 0xFFFF) CheckException(ecNoPortSelected);
  comNumber_ = static_cast<std::uint16_t>(chosen);
}

TSioBaseDispatcher* TSioCustomComPort::ActivateDeviceLayer() {
  if (deviceLayer_ != dlWin32) CheckException(ecNullApi);
  // The telephony layer that would supply the device handle does not exist here.
  if (tapiMode_ == tmOn) CheckException(ecNotOpenedByTapi);
  return CreateDispatcher(static_cast<void*>(this));
}

void TSioCustomComPort::InitializePort() {
  std::uint32_t options = 0;
  if (dtr_) options |= ipDtrOn;
  if (rts_) options |= ipRtsOn;
  if (hwFlowOptions_ & hwfUseDTR) options |= ipDtrHwFlow;
  if (hwFlowOptions_ & hwfUseRTS) options |= ipRtsHwFlow;
  std::int32_t result = dispatcher_->InitPort(ComPortDevice(comNumber_), baud_, parity_, dataBits_,
                                              stopBits_, inSize_, outSize_, options);
  if (result == ecAccessDenied)
    result = ecAlreadyOpen;
  else if (result == ecFileNotFound || result == ecPathNotFound)
    result = ecBadId;
  Check(result);
  dispatcher_->SetDeviceName(ComName(comNumber_));
}

void TSioCustomComPort::InitPort() {
  if (portState_ != psClosed) return;
  if (tapiMode_ != tmOn) ValidateComport();
  dispatcher_.reset(ActivateDeviceLayer());
  try {
    InitializePort();
    portState_ = psOpen;
    ++openCount_;
    UpdateHandlerFlag();
    forceApply_ = true;
    SetTracing(tracing_);
    SetLogging(logging_);
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
    SetXOnChar(xonChar_);
    SetXOffChar(xoffChar_);
    SetTriggerLength(triggerLength_);
    SetDTR(dtr_);
    SetRTS(rts_);
    SetUseEventWord(useEventWord_);
    SetRS485Mode(rs485Mode_);
    SetThreadBoost(threadBoost_);
    forceApply_ = false;
    open_ = true;
    RegisterComPort(true);
    if (triggersSaved_) dispatcher_->RestoreTriggers(savedTriggers_);
    PortOpen();
  } catch (...) {
    forceApply_ = false;
    RegisterComPort(false);
    open_ = false;
    portState_ = psClosed;
    dispatcher_.reset();
    throw;
  }
}

void TSioCustomComPort::DonePort() {
  if (portState_ != psOpen || !dispatcher_) return;
  // The close goes through whatever fails on the way; the first failure is raised after.
  std::exception_ptr failure;
  const auto step = [&failure](auto&& action) {
    try {
      action();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  step([this] { SetTracing(tlDump); });
  step([this] { SetLogging(tlDump); });
  portState_ = psShuttingDown;
  step([this] { PortClosing(); });
  TSioBaseDispatcher* d = dispatcher_.get();
  d->SaveTriggers(savedTriggers_);
  triggersSaved_ = true;
  d->DonePort();
  if (d->ClosePending() && d->Active()) {
    // A notification is still running (we may be inside it): the window finishes.
    PostMessage(wnd_, MsgPortClosing, 0, ClosingParam(*d));
    const std::shared_ptr<TPortLink> link = link_;
    SafeYield();
    if (link->port != this) return;
  } else {
    FinishClose();
  }
  step([this] { PortClose(); });
  if (!destroying_) step([this] { ReopenIfRequested(); });
  if (failure) std::rethrow_exception(failure);
}

void TSioCustomComPort::FinishClose() {
  RegisterComPort(false);
  // Out of reach first: freeing it may deliver messages.
  std::unique_ptr<TSioBaseDispatcher> d = std::move(dispatcher_);
  d.reset();
  portState_ = psClosed;
  open_ = false;
}

void TSioCustomComPort::ReopenIfRequested() {
  if (!reopenRequested_ || portState_ != psClosed || destroying_) return;
  reopenRequested_ = false;
  InitPort();
}

void TSioCustomComPort::RegisterComPort(bool enable) {
  if (enable) {
    if (wnd_ != 0 || !dispatcher_) return;
    const std::shared_ptr<TPortLink> link = link_;
    wnd_ = CreateMsgWindow("swComWindow", [link](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
      return WindowProc(link, msg, wParam, lParam);
    });
    link_->wnd = wnd_;
    Check(dispatcher_->RegisterWndTriggerHandler(wnd_));
    return;
  }
  if (wnd_ == 0) return;
  if (dispatcher_) dispatcher_->DeregisterWndTriggerHandler(wnd_);
  DestroyMsgWindow(wnd_);
  wnd_ = 0;
  link_->wnd = 0;
}

// ---- the hidden window ---------------------------------------------------------------------

std::intptr_t TSioCustomComPort::WindowProc(const std::shared_ptr<TPortLink>& link, std::uint32_t msg,
                                            std::uintptr_t wParam, std::intptr_t lParam) {
  if ((msg < MsgTriggerAvail || msg > MsgTriggerStatus) && msg != MsgPortClosing) return 0;
  // Held for the whole message: a handler may destroy the port, the window or both.
  const std::shared_ptr<TPortLink> hold = link;
  try {
    if (hold->port == nullptr) {
      if (msg == MsgPortClosing) ReapOrphan(hold, msg, wParam, lParam);
    } else {
      DispatchTrigger(hold, msg, wParam, lParam);
    }
  } catch (const std::exception& e) {
    ReportSioException(e);
  } catch (...) {
    ReportSioException(ESioException("Unknown exception in a port event"));
  }
  return 0;
}

void TSioCustomComPort::ReapOrphan(const std::shared_ptr<TPortLink>& link, std::uint32_t msg,
                                   std::uintptr_t wParam, std::intptr_t lParam) {
  if (!link->orphan) return;
  if (link->orphan->Active()) {
    RepostClosing(link->wnd, msg, wParam, lParam);
    return;
  }
  std::unique_ptr<TSioBaseDispatcher> orphan = std::move(link->orphan);
  DestroyMsgWindow(link->wnd);
  link->wnd = 0;
  orphan.reset();
}

void TSioCustomComPort::DispatchTrigger(const std::shared_ptr<TPortLink>& link, std::uint32_t msg,
                                        std::uintptr_t wParam, std::intptr_t lParam) {
  TSioCustomComPort* port = nullptr;
  {
    // Only to find the port; the handlers run without it (they may show a modal box, or
    // close the port, which takes the lock to leave the list).
    PortListGuard guard;
    TSioBaseDispatcher* d = GetTComRecPtr(PortHandleOf(lParam));
    if (d == nullptr || d->Owner() != static_cast<void*>(link->port) || link->port->dispatcher_.get() != d)
      return;
    port = link->port;
  }

  if (msg == MsgPortClosing) {
    if (port->portState_ != psShuttingDown) return;
    if (port->dispatcher_->Active()) {
      RepostClosing(link->wnd, msg, wParam, lParam);
      return;
    }
    port->FinishClose();
    if (link->port == port) port->ReopenIfRequested();
    return;
  }

  // Re-checked after every handler: one may have closed or destroyed the port.
  const auto live = [&] { return link->port == port && port->portState_ == psOpen; };
  if (!live()) return;
  struct Depth {
    const std::shared_ptr<TPortLink>& link;
    TSioCustomComPort* port;
    explicit Depth(const std::shared_ptr<TPortLink>& l, TSioCustomComPort* p) : link(l), port(p) {
      ++port->windowDepth_;
    }
    ~Depth() {
      if (link->port == port) --port->windowDepth_;
    }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;
  } depth(link, port);
  const auto handle = static_cast<std::uint16_t>(wParam);
  const auto data = msg == MsgTriggerAvail ? handle : static_cast<std::uint16_t>(lParam & 0xFFFF);
  port->Trigger(static_cast<std::uint16_t>(msg), handle, data);
  if (!live()) return;
  switch (msg) {
    case MsgTriggerAvail:
      port->TriggerAvail(handle);
      break;
    case MsgTriggerData:
      port->TriggerData(handle);
      break;
    case MsgTriggerTimer:
      port->TriggerTimer(handle);
      break;
    case MsgTriggerStatus:
      port->TriggerStatus(handle);
      if (!live()) return;
      switch (handle & 7u) {
        case skModemStatus:
          port->TriggerModemStatus();
          break;
        case skLineError: {
          const bool lineBreak = port->LineBreak();  // read (and cleared) before the error
          const std::uint16_t error = port->LineError();
          port->TriggerLineError(error, lineBreak);
          break;
        }
        case skOutBuffFree:
          port->TriggerOutbuffFree();
          break;
        case skOutBuffUsed:
          port->TriggerOutbuffUsed();
          break;
        case skOutSent:
          port->TriggerOutSent();
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
}

// ---- users -------------------------------------------------------------------------------

void TSioCustomComPort::RegisterUser(HWND wnd) { users_.push_back(TUserRecord{wnd, nullptr, {}, {}, false}); }

void TSioCustomComPort::RegisterUserEx(HWND wnd) { users_.push_back(TUserRecord{wnd, nullptr, {}, {}, true}); }

void TSioCustomComPort::RegisterUserCallback(const void* key, TPortCallback callback) {
  users_.push_back(TUserRecord{0, key, std::move(callback), {}, false});
}

void TSioCustomComPort::RegisterUserCallbackEx(const void* key, TPortCallbackEx callback) {
  users_.push_back(TUserRecord{0, key, {}, std::move(callback), true});
}

void TSioCustomComPort::DeregisterUser(HWND wnd) {
  if (destroying_) return;
  std::erase_if(users_, [wnd](const TUserRecord& r) { return r.wnd != 0 && r.wnd == wnd; });
}

void TSioCustomComPort::DeregisterUserCallback(const void* key) {
  if (destroying_) return;
  std::erase_if(users_, [key](const TUserRecord& r) { return r.wnd == 0 && !r.extended && r.key == key; });
}

void TSioCustomComPort::DeregisterUserCallbackEx(const void* key) {
  if (destroying_) return;
  std::erase_if(users_, [key](const TUserRecord& r) { return r.wnd == 0 && r.extended && r.key == key; });
}

void TSioCustomComPort::NotifyUsers(std::uint32_t msg, TSioCallbackType type, bool extendedOnly, bool opening) {
  // Last registered first; a user may deregister (itself or others) meanwhile.
  for (std::size_t i = users_.size(); i-- > 0;) {
    if (i >= users_.size()) continue;
    const TUserRecord user = users_[i];
    if (extendedOnly && !user.extended) continue;
    if (user.wnd != 0) {
      SendMessageTimeout(user.wnd, msg, 0, 0, kBlockingSendMs, nullptr);
    } else if (user.extended) {
      if (user.callbackEx) user.callbackEx(this, type);
    } else if (user.callback) {
      user.callback(this, opening);
    }
  }
}

void TSioCustomComPort::PortOpen() {
  NotifyUsers(MsgPortOpen, ctOpen, false, true);
  const TPortNotifyEvent event = onPortOpen_;
  if (event) event(this);
}

void TSioCustomComPort::PortClose() {
  NotifyUsers(MsgPortClose, ctClosed, false, false);
  const TPortNotifyEvent event = onPortClose_;
  if (event) event(this);
}

void TSioCustomComPort::PortClosing() { NotifyUsers(MsgPortClosing, ctClosing, true, false); }

// ---- properties ----------------------------------------------------------------------------

void TSioCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
  if (portState_ != psClosed || (deviceLayers_ & DeviceLayerBit(layer)) == 0) return;
  deviceLayer_ = layer;
  DeviceLayerChanged();
}

void TSioCustomComPort::SetComNumber(std::uint16_t number) {
  if (number == comNumber_) return;
  if (loading_ || portState_ != psOpen) {
    comNumber_ = number;
    return;
  }
  // Close and re-open on the new port, keeping the triggers (saved by the close) and
  // the trace and log states (which the close's dumps switch off).
  const TTraceLogState tracing = tracing_;
  const TTraceLogState logging = logging_;
  DonePort();
  comNumber_ = number;
  tracing_ = tracing == tlOff ? tlOff : tlOn;
  logging_ = logging == tlOff ? tlOff : tlOn;
  if (Shutting()) {
    reopenRequested_ = true;
    return;
  }
  InitPort();
  if (tracing == tlPause) SetTracing(tlPause);
  if (logging == tlPause) SetLogging(tlPause);
}

void TSioCustomComPort::ApplyLine(std::uint32_t baud, TParity parity, std::uint16_t dataBits,
                                  std::uint16_t stopBits) {
  if (IsOpenState()) Check(dispatcher_->SetLine(baud, parity, dataBits, stopBits));
}

void TSioCustomComPort::SetBaud(std::uint32_t baud) {
  if (baud == baud_ && !forceApply_) return;
  ApplyLine(baud, parity_, dataBits_, stopBits_);
  baud_ = baud;
}

void TSioCustomComPort::SetParity(TParity parity) {
  if (parity == parity_ && !forceApply_) return;
  ApplyLine(baud_, parity, dataBits_, stopBits_);
  parity_ = parity;
}

void TSioCustomComPort::SetDataBits(std::uint16_t bits) {
  if (bits == dataBits_ && !forceApply_) return;
  ApplyLine(baud_, parity_, bits, stopBits_);
  dataBits_ = bits;
}

void TSioCustomComPort::SetStopBits(std::uint16_t bits) {
  if (bits == stopBits_ && !forceApply_) return;
  ApplyLine(baud_, parity_, dataBits_, bits);
  stopBits_ = bits;
}

void TSioCustomComPort::SetInSize(std::uint16_t size) {
  if (size == inSize_ && !forceApply_) return;
  inSize_ = size;
  if (IsOpenState() && !dispatcher_->SetupCom(inSize_, outSize_)) Check(ecGeneralFailure);
}

void TSioCustomComPort::SetOutSize(std::uint16_t size) {
  if (size == outSize_ && !forceApply_) return;
  outSize_ = size;
  if (IsOpenState() && !dispatcher_->SetupCom(inSize_, outSize_)) Check(ecGeneralFailure);
}

void TSioCustomComPort::SetDTR(bool on) {
  if (on == dtr_ && !forceApply_) return;
  if (IsOpenState()) {
    // Under hardware flow control the dispatcher keeps the line itself and answers 1.
    if (Check(dispatcher_->SetDtr(on)) != ecOK) return;
  }
  dtr_ = on;
}

void TSioCustomComPort::SetRTS(bool on) {
  if (on == rts_ && !forceApply_) return;
  if (IsOpenState()) {
    if (Check(dispatcher_->SetRts(on)) != ecOK) return;
  }
  rts_ = on;
}

void TSioCustomComPort::ApplyFlow(bool hardware) {
  // The dispatcher refuses thresholds beyond the input size or the wrong way round.
  const std::uint16_t full = std::min(bufferFull_, inSize_);
  const std::uint16_t resume = std::min(bufferResume_, full);
  if (hardware) {
    Check(dispatcher_->HWFlowOptions(full, resume, hwFlowOptions_));
  } else if (swFlowOptions_ == swfNone) {
    Check(dispatcher_->SWFlowDisable());
  } else {
    // The dispatcher's bits: 1 obey XON/XOFF received (transmit), 2 send them (receive).
    static constexpr std::uint32_t kOptions[] = {0, 2, 1, 3};
    Check(dispatcher_->SWFlowEnable(full, resume, kOptions[swFlowOptions_]));
    // Enabling puts the standard characters back.
    if (xonChar_ != 17 || xoffChar_ != 19)
      Check(dispatcher_->SWFlowChars(static_cast<std::uint8_t>(xonChar_), static_cast<std::uint8_t>(xoffChar_)));
  }
}

void TSioCustomComPort::SetHWFlowOptions(THWFlowOptions options) {
  options &= hwfUseDTR | hwfUseRTS | hwfRequireDSR | hwfRequireCTS;
  if (options == hwFlowOptions_ && !forceApply_) return;
  if (options != 0) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = static_cast<std::uint16_t>(inSize_ * 9 / 10);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_) bufferResume_ = static_cast<std::uint16_t>(inSize_ / 10);
    if (bufferResume_ > bufferFull_) bufferResume_ = static_cast<std::uint16_t>(bufferFull_ / 10);
  }
  // An RTS/CTS handshake and RS485's own use of RTS exclude each other; RS485 goes first,
  // so that the handshake is what the device keeps.
  if (options & (hwfUseRTS | hwfRequireCTS)) SetRS485Mode(false);
  const THWFlowOptions old = hwFlowOptions_;
  hwFlowOptions_ = options;
  if (IsOpenState()) {
    try {
      ApplyFlow(true);
    } catch (...) {
      hwFlowOptions_ = old;
      throw;
    }
  }
}

void TSioCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
  if (options == swFlowOptions_ && !forceApply_) return;
  if (options != swfNone) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = static_cast<std::uint16_t>(inSize_ * 3 / 4);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_) bufferResume_ = static_cast<std::uint16_t>(inSize_ / 4);
    if (bufferResume_ > bufferFull_) bufferResume_ = static_cast<std::uint16_t>(bufferFull_ / 4);
  }
  const TSWFlowOptions old = swFlowOptions_;
  swFlowOptions_ = options;
  if (IsOpenState()) {
    try {
      ApplyFlow(false);
    } catch (...) {
      swFlowOptions_ = old;
      throw;
    }
  }
}

void TSioCustomComPort::SetXOnChar(char c) {
  if (c == xonChar_ && !forceApply_) return;
  if (IsOpenState())
    Check(dispatcher_->SWFlowChars(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(xoffChar_)));
  xonChar_ = c;
}

void TSioCustomComPort::SetXOffChar(char c) {
  if (c == xoffChar_ && !forceApply_) return;
  if (IsOpenState())
    Check(dispatcher_->SWFlowChars(static_cast<std::uint8_t>(xonChar_), static_cast<std::uint8_t>(c)));
  xoffChar_ = c;
}

void TSioCustomComPort::SetBufferFull(std::uint16_t full) {
  if (full == bufferFull_ && !forceApply_) return;
  // Clamped to 90 % of the input size, so that it can still be applied.
  if (full > inSize_) full = static_cast<std::uint16_t>(inSize_ * 9 / 10);
  bufferFull_ = full;
  if (bufferResume_ > bufferFull_) bufferResume_ = static_cast<std::uint16_t>(bufferFull_ / 10);
  const bool forced = forceApply_;
  forceApply_ = true;
  try {
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
  } catch (...) {
    forceApply_ = forced;
    throw;
  }
  forceApply_ = forced;
}

void TSioCustomComPort::SetBufferResume(std::uint16_t resume) {
  if (resume == bufferResume_ && !forceApply_) return;
  if (resume > bufferFull_) resume = static_cast<std::uint16_t>(bufferFull_ / 10);
  bufferResume_ = resume;
  const bool forced = forceApply_;
  forceApply_ = true;
  try {
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
  } catch (...) {
    forceApply_ = forced;
    throw;
  }
  forceApply_ = forced;
}

void TSioCustomComPort::SetRS485Mode(bool on) {
  if (on == rs485Mode_ && !forceApply_) return;
  if (on) {
    // RTS belongs to the transmitter from now on: no RTS/CTS handshake, line low.
    SetHWFlowOptions(hwFlowOptions_ & ~(hwfUseRTS | hwfRequireCTS));
    SetRTS(false);
  }
  if (IsOpenState()) Check(dispatcher_->SetRS485Mode(on));
  rs485Mode_ = on;
}

void TSioCustomComPort::SetUseMSRShadow(bool) {}

void TSioCustomComPort::SetUseEventWord(bool use) {
  if (use == useEventWord_ && !forceApply_) return;
  if (IsOpenState()) {
    if (use)
      dispatcher_->OptionsOn(kUseEventWordOption);
    else
      dispatcher_->OptionsOff(kUseEventWordOption);
  }
  useEventWord_ = use;
}

void TSioCustomComPort::SetTriggerLength(std::uint16_t length) {
  if (length == triggerLength_ && !forceApply_) return;
  if (IsOpenState()) Check(dispatcher_->ChangeLengthTrigger(length));
  triggerLength_ = length;
}

void TSioCustomComPort::SetThreadBoost(TApThreadBoost boost) {
  if (boost == threadBoost_ && !forceApply_) return;
  if (IsOpenState()) dispatcher_->SetThreadBoost(boost);
  threadBoost_ = boost;
}

std::uint16_t TSioCustomComPort::BaseAddress() {
  return IsOpenState() ? dispatcher_->GetBaseAddress() : baseAddress_;
}

void TSioCustomComPort::SetBaseAddress(std::uint16_t address) {
  if (IsOpenState()) Check(dispatcher_->SetBaseAddress(address));
  baseAddress_ = address;
}

// ---- trace and log states ------------------------------------------------------------------

void TSioCustomComPort::SetTracing(TTraceLogState state) {
  if (state == tracing_ && !forceApply_) return;
  if (!IsOpenState()) {
    tracing_ = state == tlOn ? tlOn : tlOff;
    return;
  }
  ApplyTraceState(state);
}

void TSioCustomComPort::ApplyTraceState(TTraceLogState state) {
  TSioBaseDispatcher& d = *dispatcher_;
  const TTraceLogState current = tracing_;
  const bool active = current == tlOn || current == tlPause;
  switch (state) {
    case tlOff:
      if (active) d.AbortTracing();
      tracing_ = tlOff;
      break;
    case tlOn:
      if (current == tlPause)
        d.StartTracing();
      else
        Check(d.InitTracing(traceSize_));
      tracing_ = tlOn;
      break;
    case tlDump:
    case tlAppend:
      if (!active) break;
      d.StartTracing();
      tracing_ = tlOff;  // the dump frees the trace, written or not
      Check(state == tlDump ? d.DumpTrace(traceName_, traceHex_, traceAllHex_)
                            : d.AppendTrace(traceName_, traceHex_, traceAllHex_));
      break;
    case tlClear:
      if (active) d.ClearTracing();
      break;
    case tlPause:
      if (current == tlOn) {
        d.StopTracing();
        tracing_ = tlPause;
      }
      break;
  }
}

void TSioCustomComPort::SetTraceSize(std::uint32_t size) {
  size = std::min(size, kMaxTraceSize);
  if (size == traceSize_ && !forceApply_) return;
  traceSize_ = size;
  if (IsOpenState() && (tracing_ == tlOn || tracing_ == tlPause)) {
    dispatcher_->AbortTracing();
    tracing_ = tlOff;
    Check(dispatcher_->InitTracing(traceSize_));
    tracing_ = tlOn;
  }
}

void TSioCustomComPort::SetLogging(TTraceLogState state) {
  if (state == logging_ && !forceApply_) return;
  if (!IsOpenState()) {
    logging_ = state == tlOn ? tlOn : tlOff;
    return;
  }
  ApplyLogState(state);
}

void TSioCustomComPort::ApplyLogState(TTraceLogState state) {
  TSioBaseDispatcher& d = *dispatcher_;
  const TTraceLogState current = logging_;
  const bool active = current == tlOn || current == tlPause;
  switch (state) {
    case tlOff:
      if (active) d.AbortDispatchLogging();
      logging_ = tlOff;
      break;
    case tlOn:
      if (current == tlPause)
        d.StartDispatchLogging();
      else
        Check(d.InitDispatchLogging(logSize_));
      logging_ = tlOn;
      break;
    case tlDump:
    case tlAppend:
      if (!active) break;
      d.StartDispatchLogging();
      logging_ = tlOff;
      Check(state == tlDump ? d.DumpDispatchLog(logName_, logHex_, logAllHex_)
                            : d.AppendDispatchLog(logName_, logHex_, logAllHex_));
      break;
    case tlClear:
      if (active) d.ClearDispatchLogging();
      break;
    case tlPause:
      if (current == tlOn) {
        d.StopDispatchLogging();
        logging_ = tlPause;
      }
      break;
  }
}

void TSioCustomComPort::SetLogSize(std::uint32_t size) {
  size = std::min(size, kMaxLogSize);
  if (size == logSize_ && !forceApply_) return;
  logSize_ = size;
  if (IsOpenState() && (logging_ == tlOn || logging_ == tlPause)) {
    dispatcher_->AbortDispatchLogging();
    logging_ = tlOff;
    Check(dispatcher_->InitDispatchLogging(logSize_));
    logging_ = tlOn;
  }
}

// ---- events ----------------------------------------------------------------------------------

bool TSioCustomComPort::AnyTriggerEvent() const {
  return onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ ||
         onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ ||
         onTriggerOutbuffUsed_ || onTriggerOutSent_;
}

void TSioCustomComPort::UpdateHandlerFlag() {
  if (IsOpenState()) dispatcher_->UpdateHandlerFlags(AnyTriggerEvent() ? 1 : 2);
}

void TSioCustomComPort::SetOnTrigger(TTriggerEvent e) {
  onTrigger_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent e) {
  onTriggerAvail_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerData(TTriggerDataEvent e) {
  onTriggerData_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent e) {
  onTriggerStatus_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent e) {
  onTriggerTimer_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent e) {
  onTriggerLineError_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerModemStatus(TPortNotifyEvent e) {
  onTriggerModemStatus_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerOutbuffFree(TPortNotifyEvent e) {
  onTriggerOutbuffFree_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerOutbuffUsed(TPortNotifyEvent e) {
  onTriggerOutbuffUsed_ = std::move(e);
  UpdateHandlerFlag();
}
void TSioCustomComPort::SetOnTriggerOutSent(TPortNotifyEvent e) {
  onTriggerOutSent_ = std::move(e);
  UpdateHandlerFlag();
}

// Each copies its event first: a handler may assign another one meanwhile.
void TSioCustomComPort::Trigger(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data) {
  const TTriggerEvent e = onTrigger_;
  if (e) e(this, msg, triggerHandle, data);
}
void TSioCustomComPort::TriggerAvail(std::uint16_t count) {
  const TTriggerAvailEvent e = onTriggerAvail_;
  if (e) e(this, count);
}
void TSioCustomComPort::TriggerData(std::uint16_t triggerHandle) {
  const TTriggerDataEvent e = onTriggerData_;
  if (e) e(this, triggerHandle);
}
void TSioCustomComPort::TriggerStatus(std::uint16_t triggerHandle) {
  const TTriggerStatusEvent e = onTriggerStatus_;
  if (e) e(this, triggerHandle);
}
void TSioCustomComPort::TriggerTimer(std::uint16_t triggerHandle) {
  const TTriggerTimerEvent e = onTriggerTimer_;
  if (e) e(this, triggerHandle);
}
void TSioCustomComPort::TriggerLineError(std::uint16_t error, bool lineBreak) {
  const TTriggerLineErrorEvent e = onTriggerLineError_;
  if (e) e(this, error, lineBreak);
}
void TSioCustomComPort::TriggerModemStatus() {
  const TPortNotifyEvent e = onTriggerModemStatus_;
  if (e) e(this);
}
void TSioCustomComPort::TriggerOutbuffFree() {
  const TPortNotifyEvent e = onTriggerOutbuffFree_;
  if (e) e(this);
}
void TSioCustomComPort::TriggerOutbuffUsed() {
  const TPortNotifyEvent e = onTriggerOutbuffUsed_;
  if (e) e(this);
}
void TSioCustomComPort::TriggerOutSent() {
  const TPortNotifyEvent e = onTriggerOutSent_;
  if (e) e(this);
}
void TSioCustomComPort::WaitChar(char c) {
  const TWaitCharEvent e = onWaitChar_;
  if (e) e(this, c);
}

// ---- dispatcher and status ---------------------------------------------------------------------

TSioBaseDispatcher* TSioCustomComPort::Dispatcher() {
  if (!dispatcher_ && !loading_ && portState_ == psClosed && !open_ && autoOpen_) InitPort();
  return dispatcher_.get();
}

TSioBaseDispatcher* TSioCustomComPort::ValidDispatcher() {
  TSioBaseDispatcher* d = Dispatcher();
  if (d == nullptr) CheckException(ecCommNotOpen);
  return d;
}

std::uint8_t TSioCustomComPort::ModemStatus() { return IsOpenState() ? dispatcher_->GetModemStatus() : 0; }
bool TSioCustomComPort::DSR() { return IsOpenState() && dispatcher_->CheckDSR(); }
bool TSioCustomComPort::CTS() { return IsOpenState() && dispatcher_->CheckCTS(); }
bool TSioCustomComPort::RI() { return IsOpenState() && dispatcher_->CheckRI(); }
bool TSioCustomComPort::DCD() { return IsOpenState() && dispatcher_->CheckDCD(); }
bool TSioCustomComPort::DeltaDSR() { return IsOpenState() && dispatcher_->CheckDeltaDSR(); }
bool TSioCustomComPort::DeltaCTS() { return IsOpenState() && dispatcher_->CheckDeltaCTS(); }
bool TSioCustomComPort::DeltaRI() { return IsOpenState() && dispatcher_->CheckDeltaRI(); }
bool TSioCustomComPort::DeltaDCD() { return IsOpenState() && dispatcher_->CheckDeltaDCD(); }
std::uint16_t TSioCustomComPort::LineError() {
  return IsOpenState() ? Word(Check(dispatcher_->GetLineError())) : 0;
}
bool TSioCustomComPort::LineBreak() { return IsOpenState() && dispatcher_->CheckLineBreak(); }

std::uint32_t TSioCustomComPort::InBuffUsed() {
  return IsOpenState() ? static_cast<std::uint32_t>(Check(dispatcher_->InBuffUsed())) : 0;
}
std::uint32_t TSioCustomComPort::InBuffFree() {
  return IsOpenState() ? static_cast<std::uint32_t>(Check(dispatcher_->InBuffFree()))
                       : TSioBaseDispatcher::kInRingSize;
}
std::uint32_t TSioCustomComPort::OutBuffUsed() {
  return IsOpenState() ? static_cast<std::uint32_t>(Check(dispatcher_->OutBuffUsed())) : 0;
}
std::uint32_t TSioCustomComPort::OutBuffFree() {
  return IsOpenState() ? static_cast<std::uint32_t>(Check(dispatcher_->OutBuffFree())) : outSize_;
}

TFlowControlState TSioCustomComPort::FlowState() {
  if (!IsOpenState()) return fcOff;
  const auto clamp = [](std::int32_t state) {
    return static_cast<TFlowControlState>(std::clamp<std::int32_t>(state - 1, fcOff, fcXBothHold));
  };
  const TFlowControlState hardware = clamp(Check(dispatcher_->HWFlowState()));
  if (hardware != fcOff) return hardware;
  return clamp(Check(dispatcher_->SWFlowState()));
}

// ---- data, line, triggers, trace and log ------------------------------------------------------

bool TSioCustomComPort::CharReady() { return !Shutting() && ValidDispatcher()->CharReady(); }

char TSioCustomComPort::PeekChar(std::uint16_t n) {
  if (Shutting()) return '\0';
  return static_cast<char>(Check(ValidDispatcher()->PeekChar(n)));
}

char TSioCustomComPort::GetChar() {
  if (Shutting()) return '\0';
  return static_cast<char>(Check(ValidDispatcher()->GetChar()));
}

std::uint16_t TSioCustomComPort::PeekBlock(void* buffer, std::uint16_t length) {
  if (Shutting()) return 0;
  return Word(Check(ValidDispatcher()->PeekBlock(buffer, length)));
}

std::uint16_t TSioCustomComPort::GetBlock(void* buffer, std::uint16_t length) {
  if (Shutting()) return 0;
  return Word(Check(ValidDispatcher()->GetBlock(buffer, length)));
}

void TSioCustomComPort::PutChar(char c) {
  if (Shutting()) return;
  Check(ValidDispatcher()->PutChar(static_cast<std::uint8_t>(c)));
}

void TSioCustomComPort::PutString(std::string_view text) {
  if (Shutting()) return;
  Check(ValidDispatcher()->PutString(text));
}

std::int32_t TSioCustomComPort::PutBlock(const void* buffer, std::uint16_t length) {
  if (Shutting()) return 0;
  Check(ValidDispatcher()->PutBlock(buffer, length));
  return 0;
}

void TSioCustomComPort::FlushInBuffer() {
  if (Shutting()) return;
  Check(ValidDispatcher()->FlushInBuffer());
}

void TSioCustomComPort::FlushOutBuffer() {
  if (Shutting()) return;
  Check(ValidDispatcher()->FlushOutBuffer());
}

void TSioCustomComPort::ProcessCommunications() {
  if (Shutting()) return;
  Check(ValidDispatcher()->ProcessCommunications());
}

std::int32_t TSioCustomComPort::SendBreak(std::uint16_t ticks, bool yield) {
  if (Shutting()) return 0;
  return ValidDispatcher()->SendBreak(ticks, yield);
}

std::int32_t TSioCustomComPort::SetBreak(bool on) {
  if (Shutting()) return 0;
  return ValidDispatcher()->SetBreak(on);
}

std::uint16_t TSioCustomComPort::AddDataTrigger(std::string_view text, bool ignoreCase) {
  if (Shutting()) return 0;
  return Word(Check(ValidDispatcher()->AddDataTrigger(text, ignoreCase)));
}

std::uint16_t TSioCustomComPort::AddTimerTrigger() {
  if (Shutting()) return 0;
  return Word(Check(ValidDispatcher()->AddTimerTrigger()));
}

std::uint16_t TSioCustomComPort::AddStatusTrigger(std::uint16_t kind) {
  if (Shutting()) return 0;
  return Word(Check(ValidDispatcher()->AddStatusTrigger(kind)));
}

void TSioCustomComPort::RemoveTrigger(std::uint16_t handle) {
  if (IsOpenState()) Check(dispatcher_->RemoveTrigger(handle));
}

void TSioCustomComPort::RemoveAllTriggers() {
  triggerLength_ = 0;
  if (IsOpenState()) {
    dispatcher_->RemoveAllTriggers();
  } else if (portState_ == psClosed) {
    // Or the next open would bring them back.
    savedTriggers_ = TTriggerSave{};
    triggersSaved_ = false;
  }
}

void TSioCustomComPort::SetTimerTrigger(std::uint16_t handle, std::int32_t ticks, bool activate) {
  if (Shutting()) return;
  Check(ValidDispatcher()->SetTimerTrigger(handle, ticks, activate));
}

void TSioCustomComPort::SetStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate) {
  if (Shutting()) return;
  Check(ValidDispatcher()->SetStatusTrigger(handle, value, activate));
}

void TSioCustomComPort::InitTracing(std::uint32_t size) {
  if (Shutting()) return;
  if (size != 0) traceSize_ = std::min(size, kMaxTraceSize);
  Check(ValidDispatcher()->InitTracing(traceSize_));
  tracing_ = tlOn;
}

void TSioCustomComPort::DumpTrace(const std::string& fileName, bool inHex) {
  if (Shutting()) return;
  const std::int32_t result = ValidDispatcher()->DumpTrace(fileName, inHex, traceAllHex_);
  tracing_ = tlOff;
  Check(result);
}

void TSioCustomComPort::AppendTrace(const std::string& fileName, bool inHex) {
  if (Shutting()) return;
  const std::int32_t result = ValidDispatcher()->AppendTrace(fileName, inHex, traceAllHex_);
  tracing_ = tlOff;
  Check(result);
}

void TSioCustomComPort::ClearTracing() {
  if (Shutting()) return;
  ValidDispatcher()->ClearTracing();
}

void TSioCustomComPort::AbortTracing() {
  if (Shutting()) return;
  ValidDispatcher()->AbortTracing();
  tracing_ = tlOff;
}

void TSioCustomComPort::StartTracing() {
  if (Shutting()) return;
  ValidDispatcher()->StartTracing();
  tracing_ = tlOn;
}

void TSioCustomComPort::StopTracing() {
  if (Shutting()) return;
  ValidDispatcher()->StopTracing();
  tracing_ = tlPause;
}

void TSioCustomComPort::AddTraceEntry(char kind, char c) {
  if (Shutting()) return;
  ValidDispatcher()->AddTraceEntry(kind, static_cast<std::uint8_t>(c));
}

void TSioCustomComPort::InitLogging(std::uint32_t size) {
  if (Shutting()) return;
  if (size != 0) logSize_ = std::min(size, kMaxLogSize);
  Check(ValidDispatcher()->InitDispatchLogging(logSize_));
  logging_ = tlOn;
}

void TSioCustomComPort::DumpLog(const std::string& fileName, bool inHex) {
  if (Shutting()) return;
  const std::int32_t result = ValidDispatcher()->DumpDispatchLog(fileName, inHex, logAllHex_);
  logging_ = tlOff;
  Check(result);
}

void TSioCustomComPort::AppendLog(const std::string& fileName, bool inHex) {
  if (Shutting()) return;
  const std::int32_t result = ValidDispatcher()->AppendDispatchLog(fileName, inHex, logAllHex_);
  logging_ = tlOff;
  Check(result);
}

void TSioCustomComPort::ClearLogging() {
  if (Shutting()) return;
  ValidDispatcher()->ClearDispatchLogging();
}

void TSioCustomComPort::AbortLogging() {
  if (Shutting()) return;
  ValidDispatcher()->AbortDispatchLogging();
  logging_ = tlOff;
}

void TSioCustomComPort::StartLogging() {
  if (Shutting()) return;
  ValidDispatcher()->StartDispatchLogging();
  logging_ = tlOn;
}

void TSioCustomComPort::StopLogging() {
  if (Shutting()) return;
  ValidDispatcher()->StopDispatchLogging();
  logging_ = tlPause;
}

void TSioCustomComPort::AddStringToLog(std::string_view text) {
  if (Shutting()) return;
  Check(ValidDispatcher()->AddStringToLog(text));
}

// ---- waiting for text --------------------------------------------------------------------------

void TSioCustomComPort::PrepareWait() {
  if (Shutting()) return;
  bool wasBusy = false;
  ValidDispatcher()->SetEventBusy(wasBusy, true);
  waitPrepared_ = true;
  waitWasBusy_ = wasBusy;
}

bool TSioCustomComPort::BeginWait() {
  if (waitPrepared_) return waitWasBusy_;
  bool wasBusy = false;
  dispatcher_->SetEventBusy(wasBusy, true);
  return wasBusy;
}

void TSioCustomComPort::EndWait(std::uint32_t openCount, bool wasBusy) {
  // Only the dispatcher the wait marked; the port may have been closed meanwhile.
  if (!wasBusy && IsOpenState() && openCount_ == openCount) {
    bool busy = false;
    dispatcher_->SetEventBusy(busy, false);
  }
  waitPrepared_ = false;
  waitWasBusy_ = false;
}

bool TSioCustomComPort::CheckForString(std::uint16_t& matchIndex, char c, std::string_view text,
                                       bool ignoreCase) {
  if (text.empty()) return false;
  const auto fold = [ignoreCase](char x) {
    const auto u = static_cast<unsigned char>(x);
    return ignoreCase ? std::toupper(u) : static_cast<int>(u);
  };
  if (matchIndex >= text.size()) matchIndex = 0;
  const int got = fold(c);
  if (got == fold(text[matchIndex])) {
    if (++matchIndex < text.size()) return false;
    matchIndex = 0;
    return true;
  }
  matchIndex = got == fold(text[0]) ? 1 : 0;
  return false;
}

int TSioCustomComPort::WaitFor(const std::vector<std::string_view>& texts, std::int32_t ticks,
                               bool yield, bool ignoreCase) {
  ValidDispatcher();
  const std::uint32_t openCount = openCount_;
  const bool wasBusy = BeginWait();
  const std::shared_ptr<TPortLink> link = link_;
  const auto mine = [&] { return link->port == this && IsOpenState() && openCount_ == openCount; };
  std::vector<std::uint16_t> positions(texts.size(), 0);
  EventTimer timer;
  NewTimer(timer, ticks);
  int found = 0;
  while (found == 0 && mine()) {
    while (found == 0 && mine() && dispatcher_->CharReady()) {
      const char c = GetChar();
      WaitChar(c);
      if (link->port != this) return 0;
      for (std::size_t i = 0; i < texts.size(); ++i) {
        if (CheckForString(positions[i], c, texts[i], ignoreCase)) {
          found = static_cast<int>(i) + 1;
          break;
        }
      }
    }
    if (found != 0 || TimerExpired(timer) || !mine()) break;
    if (yield) {
      const int got = SafeYield();
      if (link->port != this) return 0;
      if (got == static_cast<int>(WM_QUIT)) break;
      if (got == 0) WaitForMessages(1);
    } else {
      if (QuitPending()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  EndWait(openCount, wasBusy);
  return found;
}

bool TSioCustomComPort::WaitForString(std::string_view text, std::int32_t ticks, bool yield,
                                      bool ignoreCase) {
  if (text.empty() || Shutting()) {
    waitPrepared_ = false;
    return true;
  }
  return WaitFor({text}, ticks, yield, ignoreCase) != 0;
}

int TSioCustomComPort::WaitForMultiString(std::string_view texts, std::int32_t ticks, bool yield,
                                          bool ignoreCase, char separator) {
  if (Shutting()) {
    waitPrepared_ = false;
    return 0;
  }
  std::vector<std::string_view> list;
  std::size_t start = 0;
  while (list.size() < kMaxMultiStrings) {
    const std::size_t end = texts.find(separator, start);
    list.push_back(texts.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return WaitFor(list, ticks, yield, ignoreCase);
}

// ---- unit functions ----------------------------------------------------------------------------

TSioCustomComPort* SearchComPort(const TSioBaseComponent* owner) {
  if (owner == nullptr) return nullptr;
  for (std::size_t i = 0; i < owner->ComponentCount(); ++i) {
    TSioBaseComponent* c = owner->Components(i);
    if (auto* port = dynamic_cast<TSioCustomComPort*>(c)) return port;
    if (TSioCustomComPort* port = SearchComPort(c)) return port;
  }
  return nullptr;
}

std::string ComName(int number) { return "COM" + std::to_string(number); }
