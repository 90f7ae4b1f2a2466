#include "serial/SlProtcl.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SwDispatcher.h"
#include "serial/SwTPcl.h"
#include "serial/SwXModem.h"

struct TSioCustomProtocol::TLink {
  TSioCustomProtocol* protocol = nullptr;
};

namespace {

constexpr int kDrainMs = 1000;
constexpr int kPtyGraceMs = 50;

std::int32_t Check(std::int32_t result) { return CheckException(result); }

std::int32_t PortParam(const TSioBaseDispatcher& d) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(d.Handle()) << 16);
}

// The codes travel in the low 16 bits of wParam.
std::int32_t SignedCode(std::uintptr_t wParam) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(wParam & 0xFFFFu));
}

std::string CurrentDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

// ---- text routines ----------------------------------------------------------------------

std::string ProtocolName(int type) {
  static const char* const names[] = {"None",    "Xmodem",  "XmodemCRC", "Xmodem1K", "Xmodem1KG",
                                      "Ymodem",  "YmodemG", "Zmodem",    "Kermit",   "Ascii"};
  if (type < 0 || type > ptAscii) return names[0];
  return names[type];
}

std::string CheckNameString(int method) {
  switch (method) {
    case bcmChecksum: return "Checksum";
    case bcmChecksum2: return "Checksum2";
    case bcmCrc16: return "Crc16";
    case bcmCrc32: return "Crc32";
    case bcmCrcK: return "CrcKermit";
    default: return "No check";
  }
}

std::string FormatMinSec(std::int32_t seconds) {
  if (seconds < 0) seconds = 0;
  char secs[8];
  std::snprintf(secs, sizeof secs, "%02d", static_cast<int>(seconds % 60));
  std::string text = std::to_string(seconds / 60) + ":" + secs;
  if (text.size() < 6) text.insert(0, 6 - text.size(), ' ');
  return text;
}

// ---- status display ----------------------------------------------------------------------

TSioAbstractStatus::TSioAbstractStatus(TSioBaseComponent* owner) : TSioBaseComponent(owner) {
  if (owner == nullptr) return;
  for (std::size_t i = 0; i < owner->ComponentCount(); ++i) {
    auto* p = dynamic_cast<TSioCustomProtocol*>(owner->Components(i));
    if (p != nullptr && p->StatusDisplay() == nullptr) {
      SetProtocol(p);
      break;
    }
  }
}

TSioAbstractStatus::~TSioAbstractStatus() {
  if (protocol_ != nullptr) protocol_->SetStatusDisplay(nullptr);
}

void TSioAbstractStatus::SetProtocol(TSioCustomProtocol* protocol) {
  if (protocol != nullptr)
    protocol->SetStatusDisplay(this);
  else if (protocol_ != nullptr)
    protocol_->SetStatusDisplay(nullptr);
}

// ---- history log --------------------------------------------------------------------------

TSioProtocolLog::TSioProtocolLog(TSioBaseComponent* owner) : TSioBaseComponent(owner) {
  if (owner == nullptr) return;
  for (std::size_t i = 0; i < owner->ComponentCount(); ++i) {
    auto* p = dynamic_cast<TSioCustomProtocol*>(owner->Components(i));
    if (p != nullptr && p->ProtocolLog() == nullptr) {
      SetProtocol(p);
      break;
    }
  }
}

TSioProtocolLog::~TSioProtocolLog() {
  if (protocol_ != nullptr) protocol_->SetProtocolLog(nullptr);
}

void TSioProtocolLog::SetProtocol(TSioCustomProtocol* protocol) {
  if (protocol != nullptr)
    protocol->SetProtocolLog(this);
  else if (protocol_ != nullptr)
    protocol_->SetProtocolLog(nullptr);
}

void TSioProtocolLog::UpdateLog(std::uint16_t log) {
  if (historyName_.empty() || protocol_ == nullptr || log > lfTransmitSkip) return;
  const TSioCustomProtocol& p = *protocol_;
  const std::string name = ProtocolName(p.ProtocolType());
  const char* const direction = log <= lfReceiveSkip ? " receive " : " transmit ";
  std::string text;
  switch (log) {
    case lfReceiveOk:
    case lfTransmitOk: {
      const std::int32_t ticks = p.ElapsedTicks();
      const std::int32_t secs = Ticks2Secs(ticks);
      const std::int32_t cps = ticks <= 17 || secs <= 0 ? p.FileLength() : p.FileLength() / secs;
      text = name + direction + "finished OK " + CurrentDateTime() + " : " + p.FileName() + "\r\n" +
             "   Elapsed time: " + FormatMinSec(secs) + "   CPS: " + std::to_string(cps) +
             "   Size: " + std::to_string(p.FileLength()) + "\r\n";
      break;
    }
    case lfReceiveFail:
    case lfReceiveSkip:
    case lfTransmitFail:
    case lfTransmitSkip: {
      const char* what = log == lfReceiveFail    ? " receive failed "
                         : log == lfReceiveSkip  ? " receive skipped "
                         : log == lfTransmitFail ? " transmit failed "
                                                 : " transmit skipped ";
      text = name + what + p.FileName() + " " + p.StatusMsg(p.ProtocolStatus()) + "\r\n";
      break;
    }
    default:
      text = name + direction + "started on  " + CurrentDateTime() + " : " + p.FileName() + "\r\n";
      break;
  }

  std::FILE* f = std::fopen(historyName_.c_str(), "ab");
  if (f == nullptr) {
    const int err = errno;
    throw EInOutError(err, std::strerror(err));
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int writeErr = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    const int err = written ? errno : writeErr;
    throw EInOutError(err, std::strerror(err));
  }

  // A failed reception leaves a partial file; -6012 means the file was someone else's.
  if (log == lfReceiveFail && p.ProtocolError() != ecCantWriteFile &&
      (deleteFailed_ == dfAlways || (deleteFailed_ == dfNonRecoverable && p.ProtocolType() != ptZmodem)))
    std::remove(p.FileName().c_str());
}

// ---- protocol component -------------------------------------------------------------------

TSioCustomProtocol::TSioCustomProtocol(TSioBaseComponent* owner)
    : TSioBaseComponent(owner), link_(std::make_shared<TLink>()) {
  Check(apInitProtocolData(data_, nullptr, 0));
  data_->HandshakeWait = DefHandshakeWait;
  data_->HandshakeRetry = DefHandshakeRetry;
  data_->TransmitTimeout = DefTransmitTimeout;
  data_->FinishWait = 364;
  data_->TurnDelay = 0;
  data_->Overhead = 0;
  apOptionsOff(data_, apIncludeDirectory | apHonorDirectory | apRTSLowForWrite | apAbortNoCarrier |
                          apBP2KTransmit | apAsciiSuppressCtrlZ);
  data_->UpcaseFileNames = true;

  SetComPort(SearchComPort(owner));
  if (owner != nullptr) {
    for (std::size_t i = 0; i < owner->ComponentCount(); ++i) {
      TSioBaseComponent* c = owner->Components(i);
      if (auto* s = dynamic_cast<TSioAbstractStatus*>(c); s && !statusDisplay_ && !s->Protocol())
        SetStatusDisplay(s);
      if (auto* l = dynamic_cast<TSioProtocolLog*>(c); l && !protocolLog_ && !l->Protocol())
        SetProtocolLog(l);
    }
  }

  link_->protocol = this;
  const std::shared_ptr<TLink> link = link_;
  wnd_ = CreateMsgWindow("swMsgHandler", [link](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    return WindowProc(link, msg, wParam, lParam);
  });
  if (wnd_ == 0) {
    link_->protocol = nullptr;
    SetStatusDisplay(nullptr);
    SetProtocolLog(nullptr);
    apDoneProtocol(data_);
    Check(ecInternal);
  }
  apSetProtocolWindow(data_, wnd_);
}

TSioCustomProtocol::~TSioCustomProtocol() {
  // From here on the window delivers nothing: a dying component raises no events.
  link_->protocol = nullptr;
  if (CancelWaiting()) DrainOutput();
  if (TSioBaseDispatcher* d = PortDispatcher()) {
    // The engine must not find this record again once it is freed.
    std::lock_guard guard(data_->DataLock);
    void* slot = nullptr;
    if (d->GetDataPointer(slot, 1) == 0 && slot == data_) d->SetDataPointer(nullptr, 1);
  }
  DestroyMsgWindow(wnd_);
  DeregisterPortCallback();
  SetStatusDisplay(nullptr);
  SetProtocolLog(nullptr);
  apDoneProtocol(data_);
}

std::intptr_t TSioCustomProtocol::WindowProc(const std::shared_ptr<TLink>& link, std::uint32_t msg,
                                             std::uintptr_t wParam, std::intptr_t lParam) {
  TSioCustomProtocol* self = link->protocol;
  if (self == nullptr) return 0;
  try {
    switch (msg) {
      case MsgProtocolStatus:
        self->apwProtocolStatus(static_cast<std::uint16_t>(wParam));
        return 0;
      case MsgProtocolLog:
        self->apwProtocolLog(static_cast<std::uint16_t>(wParam));
        return 0;
      case MsgProtocolNextFile: {
        std::string name;
        self->apwProtocolNextFile(name);
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (name.empty() || buffer == nullptr) return 0;
        apCopyName(buffer, name);
        return 1;
      }
      case MsgProtocolAcceptFile: {
        auto* buffer = reinterpret_cast<char*>(lParam);
        std::string name = buffer != nullptr ? std::string(buffer, strnlen(buffer, NameBufferSize)) : std::string();
        bool accept = true;
        self->apwProtocolAccept(accept, name);
        if (!accept) return 0;
        if (buffer != nullptr) apCopyName(buffer, name);
        return 1;
      }
      case MsgProtocolFinish:
        self->apwProtocolFinish(SignedCode(wParam));
        return 0;
      case MsgProtocolResume: {
        auto action = static_cast<TWriteFailAction>(wParam);
        self->apwProtocolResume(action);
        return action;
      }
      case MsgProtocolError:
        self->apwProtocolError(SignedCode(wParam));
        return 0;
      default:
        return 0;
    }
  } catch (const std::exception& e) {
    ReportSioException(e);
  }
  return 0;
}

// ---- events ----------------------------------------------------------------------------------

void TSioCustomProtocol::apwProtocolAccept(bool& accept, std::string& fileName) {
  accept = true;
  const TProtocolAcceptEvent event = onProtocolAccept_;
  if (event) event(this, accept, fileName);
}

void TSioCustomProtocol::apwProtocolError(std::int32_t errorCode) {
  const TProtocolErrorEvent event = onProtocolError_;
  if (event) event(this, errorCode);
}

void TSioCustomProtocol::apwProtocolFinish(std::int32_t errorCode) {
  // Whoever closes the port in the event still gets the last bytes to the peer.
  DrainOutput();
  DeregisterPortCallback();
  const TProtocolFinishEvent event = onProtocolFinish_;
  if (event) event(this, errorCode);
}

void TSioCustomProtocol::apwProtocolLog(std::uint16_t log) {
  if (protocolLog_ != nullptr) protocolLog_->UpdateLog(log);
  const TProtocolLogEvent event = onProtocolLog_;
  if (event) event(this, log);
}

void TSioCustomProtocol::apwProtocolNextFile(std::string& fileName) {
  const TProtocolNextFileEvent event = onProtocolNextFile_;
  if (event) {
    event(this, fileName);
    return;
  }
  char buffer[NameBufferSize] = {};
  fileName = apNextFileMask(data_, buffer) ? std::string(buffer) : std::string();
}

void TSioCustomProtocol::apwProtocolResume(TWriteFailAction& resume) {
  const TProtocolResumeEvent event = onProtocolResume_;
  if (event) event(this, resume);
}

void TSioCustomProtocol::apwProtocolStatus(std::uint16_t options) {
  if (statusDisplay_ != nullptr)
    statusDisplay_->UpdateDisplay((options & StatusFirst) != 0, (options & StatusLast) != 0);
  const TProtocolStatusEvent event = onProtocolStatus_;
  if (event) event(this, options);
}

void TSioCustomProtocol::apwPortCallbackEx(TSioCustomComPort* /*sender*/, TSioCallbackType kind) {
  if (kind != ctClosing && kind != ctClosed) return;
  if (cancelling_) return;
  // Inside the port's close: wait for the lock without delivering other messages.
  if (CancelWaiting()) DrainOutput();
}

bool TSioCustomProtocol::CancelWaiting() {
  if (stateRoutine_ == nullptr) return false;
  // Bounded: a step that waits for the window gives up after 1000 ms.
  std::lock_guard guard(data_->DataLock);
  TSioBaseDispatcher* d = PortDispatcher();
  if (d == nullptr || data_->InProgress <= 0) return false;
  stateRoutine_(MsgProtocolCancel, 0, PortParam(*d));
  return true;
}

// ---- transfers -------------------------------------------------------------------------------

void TSioCustomProtocol::StartTransmit() { Start(true); }
void TSioCustomProtocol::StartReceive() { Start(false); }

void TSioCustomProtocol::Start(bool transmit) {
  if (protocolType_ == ptNoProtocol) return;
  if (comPort_ == nullptr) Check(ecPortNotAssigned);
  const TProtocolRoutines& routines = ProtocolRoutines(protocolType_);
  const TProtocolFunc routine = transmit ? routines.Transmit : routines.Receive;
  const TPrepareProc prepare = transmit ? routines.PrepareTransmit : routines.PrepareReceive;
  if (routine == nullptr) Check(ecBadProtocolFunction);
  apSetProtocolPort(data_, comPort_);
  RegisterPortCallback();
  if (baudFromPort_) {
    apSetActualBPS(data_, comPort_->Baud());
    baudFromPort_ = false;
  }
  stateRoutine_ = routine;
  apStartProtocol(data_, protocolType_, routine, prepare);
}

void TSioCustomProtocol::CancelProtocol() {
  if (stateRoutine_ == nullptr || cancelling_) return;
  TSioBaseDispatcher* d = PortDispatcher();
  if (d == nullptr) return;
  cancelling_ = true;
  // A running step may be waiting for this thread to take its message: keep delivering
  // messages until the step lets go of the record, rather than leaving it to time out.
  const std::shared_ptr<TLink> link = link_;
  while (!data_->DataLock.try_lock()) {
    const int got = PumpOneMessage();
    if (link->protocol != this) return;  // destroyed by an event meanwhile
    if (got == 0)
      WaitForMessages(1);
    else if (got == 18)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a quit waits behind us
  }
  bool cancelled = false;
  {
    std::lock_guard guard(data_->DataLock, std::adopt_lock);
    d = PortDispatcher();
    if (d != nullptr && data_->InProgress > 0) {
      stateRoutine_(MsgProtocolCancel, 0, PortParam(*d));
      cancelled = true;
    }
  }
  cancelling_ = false;
  if (cancelled) DrainOutput();
}

TSioBaseDispatcher* TSioCustomProtocol::PortDispatcher() const {
  if (comPort_ == nullptr || comPort_->PortState() == psClosed) return nullptr;
  return comPort_->Dispatcher();
}

void TSioCustomProtocol::DrainOutput() const {
  TSioBaseDispatcher* d = PortDispatcher();
  if (d == nullptr) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainMs);
  const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  const auto due = [&deadline] { return std::chrono::steady_clock::now() >= deadline; };
  while (d->OutBuffUsed() > 0 && !due()) pause();
  // Then the device's own queue and transmitter, which closing would discard.
  const int fd = d->DeviceHandle();
  if (fd < 0) return;
  int queued = 0;
  while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && !due()) pause();
  unsigned int lsr = 0;
  if (ioctl(fd, TIOCSERGETLSR, &lsr) == 0) {
    while ((lsr & TIOCSER_TEMT) == 0 && !due()) {
      pause();
      if (ioctl(fd, TIOCSERGETLSR, &lsr) != 0) break;
    }
    return;
  }
  // A pty cannot tell: its last bytes may still wait for the kernel to hand them to the
  // other side, and a flush at close discards them. Give that a moment.
  const auto grace = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPtyGraceMs);
  std::this_thread::sleep_until(grace < deadline ? grace : deadline);
}

void TSioCustomProtocol::RegisterPortCallback() {
  DeregisterPortCallback();
  if (comPort_ == nullptr) return;
  comPort_->RegisterUserCallbackEx(this, [this](TSioCustomComPort* sender, TSioCallbackType kind) {
    apwPortCallbackEx(sender, kind);
  });
  callbackPort_ = comPort_;
}

void TSioCustomProtocol::DeregisterPortCallback() {
  if (callbackPort_ != nullptr) callbackPort_->DeregisterUserCallbackEx(this);
  callbackPort_ = nullptr;
}

std::string TSioCustomProtocol::StatusMsg(std::int32_t code) const { return apStatusMsg(code); }

std::int32_t TSioCustomProtocol::EstimateTransferSecs(std::int32_t bytes) const {
  return apEstimateTransferSecs(data_, bytes);
}

void TSioCustomProtocol::Assign(const TSioCustomProtocol& source) {
  if (&source == this) return;
  const TProtocolType type = source.protocolType_;
  SetProtocolType(ptNoProtocol);
  apAssignProtocolData(data_, *source.data_);
  apSetProtocolWindow(data_, wnd_);
  SetComPort(source.comPort_);
  baudFromPort_ = source.baudFromPort_;
  xyBlockWait_ = source.XYmodemBlockWait();
  zmodemOptionOverride_ = source.zmodemOptionOverride_;
  zmodemSkipNoFile_ = source.zmodemSkipNoFile_;
  zmodemFileOption_ = source.zmodemFileOption_;
  zmodemRecover_ = source.zmodemRecover_;
  zmodem8K_ = source.zmodem8K_;
  zmodemFinishRetry_ = source.zmodemFinishRetry_;
  kermitMaxLen_ = source.kermitMaxLen_;
  kermitMaxWindows_ = source.kermitMaxWindows_;
  kermitSWCTurnDelay_ = source.kermitSWCTurnDelay_;
  kermitTimeoutSecs_ = source.kermitTimeoutSecs_;
  kermitPadCharacter_ = source.kermitPadCharacter_;
  kermitPadCount_ = source.kermitPadCount_;
  kermitTerminator_ = source.kermitTerminator_;
  kermitCtlPrefix_ = source.kermitCtlPrefix_;
  kermitHighbitPrefix_ = source.kermitHighbitPrefix_;
  kermitRepeatPrefix_ = source.kermitRepeatPrefix_;
  asciiCharDelay_ = source.asciiCharDelay_;
  asciiLineDelay_ = source.asciiLineDelay_;
  asciiEOLChar_ = source.asciiEOLChar_;
  asciiCRTranslation_ = source.asciiCRTranslation_;
  asciiLFTranslation_ = source.asciiLFTranslation_;
  asciiEOFTimeout_ = source.asciiEOFTimeout_;
  SetProtocolType(type);
}

// ---- engine selection --------------------------------------------------------------------------

void TSioCustomProtocol::SetProtocolType(TProtocolType type) {
  if (type == protocolType_) return;
  if (IsXYmodem()) xyBlockWait_ = data_->BlockWait;
  pushOptions_ = true;
  std::int32_t result = ecOK;
  switch (type) {
    case ptNoProtocol:
      break;
    case ptXmodem:
    case ptXmodemCRC:
    case ptXmodem1K:
    case ptXmodem1KG:
      result = xpReinit(data_, type != ptXmodem, type == ptXmodem1K, type == ptXmodem1KG);
      if (result == ecOK) result = xpSetBlockWait(data_, xyBlockWait_);
      break;
    default:
      // YMODEM, ZMODEM, Kermit and ASCII have no engine in this build.
      result = ecBadProtocolFunction;
      break;
  }
  Check(result);
  protocolType_ = type;
}

void TSioCustomProtocol::SetComPort(TSioCustomComPort* port) {
  // A transfer cannot go on without its port: once detached, nothing would stop it.
  if (port != comPort_ && !cancelling_ && CancelWaiting()) DrainOutput();
  if (port != callbackPort_) DeregisterPortCallback();
  comPort_ = port;
  apSetProtocolPort(data_, port);
}

void TSioCustomProtocol::SetStatusDisplay(TSioAbstractStatus* display) {
  if (display == statusDisplay_) return;
  TSioAbstractStatus* old = statusDisplay_;
  statusDisplay_ = display;
  if (old != nullptr && old->protocol_ == this) old->protocol_ = nullptr;
  if (display != nullptr) {
    if (display->protocol_ != nullptr && display->protocol_ != this) display->protocol_->statusDisplay_ = nullptr;
    display->protocol_ = this;
  }
}

void TSioCustomProtocol::SetProtocolLog(TSioProtocolLog* log) {
  if (log == protocolLog_) return;
  TSioProtocolLog* old = protocolLog_;
  protocolLog_ = log;
  if (old != nullptr && old->protocol_ == this) old->protocol_ = nullptr;
  if (log != nullptr) {
    if (log->protocol_ != nullptr && log->protocol_ != this) log->protocol_->protocolLog_ = nullptr;
    log->protocol_ = this;
  }
}

// ---- record settings ---------------------------------------------------------------------------

std::string TSioCustomProtocol::DestinationDirectory() const { return data_->DestDirectory; }
void TSioCustomProtocol::SetDestinationDirectory(const std::string& dir) { apSetDestinationDirectory(data_, dir); }
std::string TSioCustomProtocol::FileMask() const { return data_->SearchMask; }
void TSioCustomProtocol::SetFileMask(const std::string& mask) { apSetFileMask(data_, mask); }

TBlockCheckMethod TSioCustomProtocol::BlockCheckMethod() const {
  return static_cast<TBlockCheckMethod>(data_->BlockCheckMethod);
}

void TSioCustomProtocol::SetBlockCheckMethod(TBlockCheckMethod method) {
  if (InProgress()) return;
  switch (protocolType_) {
    case ptXmodem:
      if (method == bcmCrc16) SetProtocolType(ptXmodemCRC);
      break;
    case ptXmodemCRC:
      if (method == bcmChecksum) SetProtocolType(ptXmodem);
      break;
    case ptZmodem:
      if (method == bcmCrc16 || method == bcmCrc32) data_->BlockCheckMethod = method;
      break;
    case ptKermit:
      if (method == bcmChecksum || method == bcmChecksum2 || method == bcmCrcK) data_->BlockCheckMethod = method;
      break;
    default:
      break;
  }
}

std::uint32_t TSioCustomProtocol::HandshakeRetry() const { return data_->HandshakeRetry; }
void TSioCustomProtocol::SetHandshakeRetry(std::uint32_t retry) { data_->HandshakeRetry = retry; }
std::int32_t TSioCustomProtocol::HandshakeWait() const { return data_->HandshakeWait; }
void TSioCustomProtocol::SetHandshakeWait(std::int32_t ticks) { data_->HandshakeWait = ticks; }
std::int32_t TSioCustomProtocol::TransmitTimeout() const { return data_->TransmitTimeout; }
void TSioCustomProtocol::SetTransmitTimeout(std::int32_t ticks) { data_->TransmitTimeout = ticks; }
std::int32_t TSioCustomProtocol::FinishWait() const { return data_->FinishWait; }
void TSioCustomProtocol::SetFinishWait(std::int32_t ticks) { data_->FinishWait = ticks; }
std::uint32_t TSioCustomProtocol::TurnDelay() const { return data_->TurnDelay; }
void TSioCustomProtocol::SetTurnDelay(std::uint32_t ms) { data_->TurnDelay = ms; }
std::uint32_t TSioCustomProtocol::Overhead() const { return data_->Overhead; }
void TSioCustomProtocol::SetOverhead(std::uint32_t bytes) { data_->Overhead = bytes; }

TWriteFailAction TSioCustomProtocol::WriteFailAction() const {
  return static_cast<TWriteFailAction>(data_->WriteFailAction);
}
void TSioCustomProtocol::SetWriteFailAction(TWriteFailAction action) { apSetOverwriteOption(data_, action); }

bool TSioCustomProtocol::Flag(std::uint32_t bit) const { return apOptionsAreOn(data_, bit); }
void TSioCustomProtocol::SetFlagBit(std::uint32_t bit, bool on) {
  if (on)
    apOptionsOn(data_, bit);
  else
    apOptionsOff(data_, bit);
}

std::int32_t TSioCustomProtocol::StatusInterval() const { return data_->StatusInterval; }
void TSioCustomProtocol::SetStatusInterval(std::int32_t ticks) { apSetStatusInterval(data_, ticks); }

std::string TSioCustomProtocol::FileName() const { return data_->PathName; }

void TSioCustomProtocol::SetFileName(const std::string& name) {
  // A step holding the record means a transfer runs; its work file may be open.
  std::unique_lock guard(data_->DataLock, std::try_to_lock);
  if (!guard.owns_lock() || data_->FileOpen) return;
  apSetReceiveFilename(data_, name);
}

bool TSioCustomProtocol::UpcaseFileNames() const { return data_->UpcaseFileNames; }
void TSioCustomProtocol::SetUpcaseFileNames(bool on) { data_->UpcaseFileNames = on; }

// ---- per-engine options -------------------------------------------------------------------------

std::int32_t TSioCustomProtocol::XYmodemBlockWait() const {
  return IsXYmodem() ? data_->BlockWait : xyBlockWait_;
}

void TSioCustomProtocol::SetXYmodemBlockWait(std::int32_t ticks) {
  if (IsXYmodem()) xyBlockWait_ = data_->BlockWait;
  if (ticks == xyBlockWait_ && !pushOptions_) return;
  xyBlockWait_ = ticks;
  if (IsXYmodem()) Check(xpSetBlockWait(data_, ticks));
}

// The other engines are not built: their options are kept for when they are.
void TSioCustomProtocol::SetZmodemOptionOverride(bool on) { zmodemOptionOverride_ = on; }
void TSioCustomProtocol::SetZmodemSkipNoFile(bool on) { zmodemSkipNoFile_ = on; }
void TSioCustomProtocol::SetZmodemFileOption(TZmodemFileOptions option) {
  if (option == zfoWriteCrc || option > zfoWriteProtect) return;
  zmodemFileOption_ = option;
}
void TSioCustomProtocol::SetZmodemRecover(bool on) { zmodemRecover_ = on; }
void TSioCustomProtocol::SetZmodem8K(bool on) { zmodem8K_ = on; }
void TSioCustomProtocol::SetZmodemFinishRetry(std::uint32_t count) { zmodemFinishRetry_ = count; }
void TSioCustomProtocol::SetKermitMaxLen(std::uint32_t bytes) {
  kermitMaxLen_ = bytes > 1024 ? 1024 : bytes;  // above 94 it is the long-packet length
}
void TSioCustomProtocol::SetKermitMaxWindows(std::uint32_t count) {
  if (count > 27) count = 27;
  kermitMaxWindows_ = count == 1 ? 0 : count;
}
void TSioCustomProtocol::SetKermitSWCTurnDelay(std::uint32_t delay) { kermitSWCTurnDelay_ = delay; }
void TSioCustomProtocol::SetKermitTimeoutSecs(std::uint32_t secs) { kermitTimeoutSecs_ = secs; }
void TSioCustomProtocol::SetKermitPadCharacter(char c) { kermitPadCharacter_ = c; }
void TSioCustomProtocol::SetKermitPadCount(std::uint32_t count) { kermitPadCount_ = count; }
void TSioCustomProtocol::SetKermitTerminator(char c) { kermitTerminator_ = c; }
void TSioCustomProtocol::SetKermitCtlPrefix(char c) { kermitCtlPrefix_ = c; }
void TSioCustomProtocol::SetKermitHighbitPrefix(char c) { kermitHighbitPrefix_ = c; }
void TSioCustomProtocol::SetKermitRepeatPrefix(char c) { kermitRepeatPrefix_ = c; }
void TSioCustomProtocol::SetAsciiCharDelay(std::uint32_t ms) { asciiCharDelay_ = ms; }
void TSioCustomProtocol::SetAsciiLineDelay(std::uint32_t ms) { asciiLineDelay_ = ms; }
void TSioCustomProtocol::SetAsciiEOLChar(char c) { asciiEOLChar_ = c; }
void TSioCustomProtocol::SetAsciiCRTranslation(TAsciiEOLTranslation t) { asciiCRTranslation_ = t; }
void TSioCustomProtocol::SetAsciiLFTranslation(TAsciiEOLTranslation t) { asciiLFTranslation_ = t; }
void TSioCustomProtocol::SetAsciiEOFTimeout(std::int32_t ticks) { asciiEOFTimeout_ = ticks; }

// ---- run-time properties --------------------------------------------------------------------------

bool TSioCustomProtocol::Batch() const { return apSupportsBatch(data_); }
std::int32_t TSioCustomProtocol::ProtocolStatus() const { return data_->ProtocolStatus; }
std::int32_t TSioCustomProtocol::ProtocolError() const { return data_->ProtocolError; }
std::int32_t TSioCustomProtocol::FileLength() const { return data_->FileLength; }

std::time_t TSioCustomProtocol::FileDate() const {
  return data_->FileDate == 0 ? 0 : static_cast<std::time_t>(apUnpackDosDate(data_->FileDate));
}

std::int32_t TSioCustomProtocol::InitialPosition() const { return apGetInitialFilePos(data_); }

bool TSioCustomProtocol::InProgress() const {
  // A step that holds the record is part of a running transfer.
  std::unique_lock guard(data_->DataLock, std::try_to_lock);
  return !guard.owns_lock() || data_->InProgress > 0;
}

std::uint32_t TSioCustomProtocol::BlockErrors() const { return data_->BlockErrors; }
std::uint32_t TSioCustomProtocol::TotalErrors() const { return data_->TotalErrors; }
std::int32_t TSioCustomProtocol::BytesRemaining() const { return apGetBytesRemaining(data_); }
std::int32_t TSioCustomProtocol::BytesTransferred() const { return apGetBytesTransferred(data_); }
std::int32_t TSioCustomProtocol::ElapsedTicks() const { return data_->ElapsedTicks; }

std::uint32_t TSioCustomProtocol::BlockLength() const {
  return data_->InProgress > 0 && data_->CurBlockLen != 0 ? data_->CurBlockLen : data_->BlockLen;
}

std::uint32_t TSioCustomProtocol::BlockNumber() const { return data_->BlockNum; }
std::uint32_t TSioCustomProtocol::ActualBPS() const { return data_->ActCPS * 10; }

void TSioCustomProtocol::SetActualBPS(std::uint32_t bps) {
  apSetActualBPS(data_, bps);
  baudFromPort_ = false;
}
