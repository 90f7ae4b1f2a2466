#include "serial/SlPacket.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SwDispatcher.h"
#include "serial/SwMsgWindow.h"

namespace {

// Posted by a manager to its own window: free it once no event runs.
constexpr std::uint32_t kMsgRelease = 0x7E30;
constexpr std::size_t kBufferStep = 8192;

class TPacketGuard {
 public:
  explicit TPacketGuard(std::shared_ptr<TPacketCore> core) : core_(std::move(core)) {
    if (core_) core_->lock.lock();
  }
  ~TPacketGuard() {
    if (core_) core_->lock.unlock();
  }
  TPacketGuard(const TPacketGuard&) = delete;
  TPacketGuard& operator=(const TPacketGuard&) = delete;

 private:
  std::shared_ptr<TPacketCore> core_;
};

std::uint8_t Upper(std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 32) : c; }

// The pattern as positions to match: "?" is any byte, a backslash makes the next
// character literal, a lone trailing backslash is dropped.
void Compile(const std::string& text, bool ignoreCase, std::string& match, std::string& mask) {
  match.clear();
  mask.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<std::uint8_t>(text[i]);
    bool wild = false;
    if (c == '\\') {
      if (++i == text.size()) break;
      c = static_cast<std::uint8_t>(text[i]);
    } else if (c == '?') {
      wild = true;
    }
    match += static_cast<char>(ignoreCase ? Upper(c) : c);
    mask += wild ? '1' : '0';
  }
}

// Handlers and re-arming run where nobody above can catch: the dispatch thread, or the
// user-interface thread inside a synchronised call.
}  // namespace

// ---- TPacketLock ----------------------------------------------------------------------------

void TPacketLock::lock() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock l(m_);
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return;
  }
  cv_.wait(l, [this] { return depth_ == 0; });
  owner_ = me;
  depth_ = 1;
}

void TPacketLock::unlock() {
  std::lock_guard l(m_);
  if (--depth_ == 0) {
    owner_ = {};
    cv_.notify_all();
  }
}

int TPacketLock::ReleaseAll() {
  std::lock_guard l(m_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return 0;
  const int depth = depth_;
  depth_ = 0;
  owner_ = {};
  cv_.notify_all();
  return depth;
}

void TPacketLock::Reacquire(int depth) {
  if (depth == 0) return;
  std::unique_lock l(m_);
  cv_.wait(l, [this] { return depth_ == 0; });
  owner_ = std::this_thread::get_id();
  depth_ = depth;
}

// ---- TSioDataPacket: properties -------------------------------------------------------------

TSioDataPacket::TSioDataPacket(TSioBaseComponent* owner) : TSioBaseComponent(owner) {}

TSioDataPacket::~TSioDataPacket() {
  try {
    SetComPort(nullptr);
  } catch (const std::exception& e) {
    ReportSioException(e);
  }
}

void TSioDataPacket::Loaded() {
  TPacketGuard guard(core_);
  loading_ = false;
  if (manager_ != nullptr && manager_->enablePending_ && manager_->port_ != nullptr &&
      manager_->port_->PortState() == psOpen) {
    manager_->enablePending_ = false;
    manager_->EnabledLocked(true);
  }
  if (enablePending_) {
    enablePending_ = false;
    Enable();
  }
}

void TSioDataPacket::Notification(TSioBaseComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr && component == comPort_) {
    SetComPort(nullptr);
  } else if (operation == opInsert && comPort_ == nullptr) {
    if (auto* port = dynamic_cast<TSioCustomComPort*>(component)) SetComPort(port);
  }
}

bool TSioDataPacket::Enabled() const {
  TPacketGuard guard(core_);
  return enabled_;
}

void TSioDataPacket::SetEnabled(bool enabled) {
  TPacketGuard guard(core_);
  if (enabled == enabled_) return;
  if (enabled)
    Enable();  // a failure leaves Enabled false
  else
    Disable();
  enabled_ = enabled;
}

bool TSioDataPacket::AutoEnable() const {
  TPacketGuard guard(core_);
  return autoEnable_;
}
void TSioDataPacket::SetAutoEnable(bool autoEnable) {
  TPacketGuard guard(core_);
  autoEnable_ = autoEnable;
}
TPacketStartCond TSioDataPacket::StartCond() const {
  TPacketGuard guard(core_);
  return startCond_;
}
void TSioDataPacket::SetStartCond(TPacketStartCond cond) {
  TPacketGuard guard(core_);
  startCond_ = cond;
}
TPacketEndSet TSioDataPacket::EndCond() const {
  TPacketGuard guard(core_);
  return endCond_;
}
void TSioDataPacket::SetEndCond(TPacketEndSet cond) {
  TPacketGuard guard(core_);
  const bool was = enabled_;
  SetEnabled(false);
  endCond_ = cond;
  SetEnabled(was);
}
std::string TSioDataPacket::StartString() const {
  TPacketGuard guard(core_);
  return startString_;
}
void TSioDataPacket::SetStartString(const std::string& text) {
  TPacketGuard guard(core_);
  startString_ = text;
}
std::string TSioDataPacket::EndString() const {
  TPacketGuard guard(core_);
  return endString_;
}
void TSioDataPacket::SetEndString(const std::string& text) {
  TPacketGuard guard(core_);
  const bool was = enabled_;
  SetEnabled(false);
  endString_ = text;
  SetEnabled(was);
}
bool TSioDataPacket::IgnoreCase() const {
  TPacketGuard guard(core_);
  return ignoreCase_;
}
void TSioDataPacket::SetIgnoreCase(bool ignore) {
  TPacketGuard guard(core_);
  ignoreCase_ = ignore;
}
std::int32_t TSioDataPacket::PacketSize() const {
  TPacketGuard guard(core_);
  return packetSize_;
}
void TSioDataPacket::SetPacketSize(std::int32_t size) {
  TPacketGuard guard(core_);
  packetSize_ = size;
}
bool TSioDataPacket::IncludeStrings() const {
  TPacketGuard guard(core_);
  return includeStrings_;
}
void TSioDataPacket::SetIncludeStrings(bool include) {
  TPacketGuard guard(core_);
  includeStrings_ = include;
}
std::int32_t TSioDataPacket::TimeOut() const {
  TPacketGuard guard(core_);
  return timeOut_;
}
void TSioDataPacket::SetTimeOut(std::int32_t ticks) {
  TPacketGuard guard(core_);
  timeOut_ = ticks;
}
bool TSioDataPacket::FlushOnTimeout() const {
  TPacketGuard guard(core_);
  return flushOnTimeout_;
}
void TSioDataPacket::SetFlushOnTimeout(bool flush) {
  TPacketGuard guard(core_);
  flushOnTimeout_ = flush;
}
void TSioDataPacket::SetOnPacket(TPacketNotifyEvent e) {
  TPacketGuard guard(core_);
  onPacket_ = std::move(e);
}
void TSioDataPacket::SetOnStringPacket(TStringPacketNotifyEvent e) {
  TPacketGuard guard(core_);
  onStringPacket_ = std::move(e);
}
void TSioDataPacket::SetOnTimeout(TPacketTimeoutEvent e) {
  TPacketGuard guard(core_);
  onTimeout_ = std::move(e);
}

TPacketMode TSioDataPacket::Mode() const {
  TPacketGuard guard(core_);
  return mode_;
}

void TSioDataPacket::SetComPort(TSioCustomComPort* port) {
  if (port == comPort_) return;
  if (manager_ != nullptr) manager_->Remove(this);
  comPort_ = port;
  if (port == nullptr) return;
  TSioDataPacketManager* manager = PacketManagerList().GetPortManager(port);
  if (manager == nullptr) manager = new TSioDataPacketManager(port);  // frees itself
  manager->Insert(this);
}

void TSioDataPacket::GetCollectedString(std::string& text) const {
  TPacketGuard guard(core_);
  text.assign(collected_.begin(), collected_.end());
}

void TSioDataPacket::GetCollectedData(const void*& data, int& size) const {
  TPacketGuard guard(core_);
  data = collected_.data();
  size = static_cast<int>(collected_.size());
}

bool TSioDataPacket::WaitForPacket(const void*& data, int& size) {
  {
    TPacketGuard guard(core_);
    // Each wait starts afresh: an earlier packet or time-out does not end it.
    received_ = false;
    timedOut_ = false;
  }
  SetAutoEnable(false);
  SetEnabled(true);
  for (;;) {
    {
      TPacketGuard guard(core_);
      if (received_ || timedOut_) break;
    }
    const int got = SafeYield();
    if (got == static_cast<int>(WM_QUIT & 0xFFFF)) break;
    if (got == 0) WaitForMessages(10);
  }
  TPacketGuard guard(core_);
  if (!received_) return false;
  data = collected_.data();
  size = static_cast<int>(collected_.size());
  return true;
}

bool TSioDataPacket::WaitForString(std::string& text) {
  const void* data = nullptr;
  int size = 0;
  if (!WaitForPacket(data, size)) return false;
  GetCollectedString(text);
  return true;
}

// ---- TSioDataPacket: arming and matching (manager's lock held) -------------------------------

void TSioDataPacket::Validate() const {
  // The packet's own exception class: CheckException has no row for these codes.
  auto refuse = [](std::int32_t code) { throw EInvalidProperty(code); };
  const bool sized = (endCond_ & PacketEndBit(ecPacketSize)) != 0;
  if (startCond_ == scAnyData) {
    if (endCond_ == 0) refuse(ecNoEndCharCount);
  } else {
    if (startString_.empty()) refuse(ecStartStringEmpty);
    if (sized && static_cast<std::size_t>(std::max(packetSize_, 0)) < startString_.size()) refuse(ecPacketTooSmall);
  }
  if ((endCond_ & PacketEndBit(ecString)) != 0 && endString_.empty()) refuse(ecEmptyEndString);
  if (sized && packetSize_ == 0) refuse(ecZeroSizePacket);
}

void TSioDataPacket::Enable() {
  if (loading_) {
    enablePending_ = true;
    return;
  }
  TSioDataPacketManager* m = manager_;
  const bool live = m != nullptr && m->enabled_;
  if (live && m->inEvent_) {
    enablePending_ = true;
  } else if (live) {
    // Every setting is checked before anything changes, so a refused arming leaves the
    // packet idle instead of holding the stream.
    Validate();
    enablePending_ = false;
    Compile(startString_, ignoreCase_, startMatch_, startMask_);
    Compile(endString_, ignoreCase_, endMatch_, endMask_);
    sizeLimit_ = packetSize_;
    startPos_ = 1;
    matchStart_ = -1;
    endPos_ = 1;
    Log(dstEnable);
    if (startCond_ == scAnyData) {
      if (m->capture_ != nullptr && m->capture_ != this)
        capturePending_ = true;
      else
        SetMode(dpCollecting);
    } else {
      LogData(dstStartStr, startString_);
      SetMode(dpWaitStart);
    }
    if ((endCond_ & PacketEndBit(ecString)) != 0) LogData(dstEndStr, endString_);
    return;
  }
  sizeLimit_ = packetSize_;
  startPos_ = 1;
  matchStart_ = -1;
  endPos_ = 1;
}

void TSioDataPacket::Disable() {
  if (!enablePending_ && !capturePending_ && mode_ == dpIdle) return;
  enablePending_ = false;
  capturePending_ = false;
  if (manager_ != nullptr) {
    SetMode(dpIdle);
    Log(dstDisable);
  }
}

void TSioDataPacket::Rearm() {
  try {
    Enable();
  } catch (const std::exception& e) {
    enabled_ = false;
    Disable();
    ReportSioException(e);
  }
}

void TSioDataPacket::SetMode(TPacketMode mode) {
  if (mode == mode_) return;
  const TPacketMode old = mode_;
  mode_ = mode;
  if (mode == dpCollecting)
    manager_->Capture(this, timeOut_);
  else if (old == dpCollecting && holdsCapture_)
    manager_->Release(this);
  Log(mode == dpIdle ? dstIdle : mode == dpWaitStart ? dstWaiting : dstCollecting);
}

bool TSioDataPacket::StartMatches(std::uint8_t c, std::size_t pos) const {
  if (pos == 0 || pos > startMatch_.size()) return false;
  if (startMask_[pos - 1] == '1') return true;
  return (ignoreCase_ ? Upper(c) : c) == static_cast<std::uint8_t>(startMatch_[pos - 1]);
}

bool TSioDataPacket::EndMatches(std::uint8_t c, std::size_t pos) const {
  if (pos == 0 || pos > endMatch_.size()) return false;
  if (endMask_[pos - 1] == '1') return true;
  return (ignoreCase_ ? Upper(c) : c) == static_cast<std::uint8_t>(endMatch_[pos - 1]);
}

std::size_t TSioDataPacket::RealignEnd(std::size_t index) const {
  const std::vector<std::uint8_t>& buf = manager_->buffer_;
  // The end string may only begin in the body, after the start string.
  std::size_t bodyStart = matchStart_ < 0 ? index : static_cast<std::size_t>(matchStart_);
  if (startCond_ == scString) bodyStart += startMatch_.size();
  const std::size_t partial = endPos_ - 1;  // bytes matched before the mismatch at index
  for (std::size_t s = std::min(partial, endMatch_.size() - 1); s > 0; --s) {
    if (index + 1 < s || index + 1 - s < bodyStart) continue;
    bool ok = true;
    for (std::size_t k = 0; k < s && ok; ++k) ok = EndMatches(buf[index + 1 - s + k], k + 1);
    if (ok) return s + 1;
  }
  return 1;
}

void TSioDataPacket::ProcessData(std::size_t from) {
  if (!enabled_) return;
  TSioDataPacketManager* m = manager_;
  std::size_t i = from;
  while (i < m->buffer_.size()) {
    const std::uint8_t c = m->buffer_[i];
    if (mode_ == dpIdle) {
      if (!capturePending_) return;
      capturePending_ = false;
      SetMode(dpCollecting);  // this byte is the packet's first
      continue;
    }
    if (mode_ == dpWaitStart) {
      if (StartMatches(c, startPos_)) {
        if (matchStart_ < 0) matchStart_ = static_cast<std::int64_t>(i);
        if (startPos_ == startMatch_.size()) {
          const std::size_t got = i - static_cast<std::size_t>(matchStart_) + 1;
          if (endCond_ == 0) {
            Packet(got, kSizePacket);
            return;  // the packet may be gone; the manager offers the rest again
          }
          SetMode(dpCollecting);
          endPos_ = 1;
          if ((endCond_ & PacketEndBit(ecPacketSize)) != 0 && got >= static_cast<std::size_t>(std::max(sizeLimit_, 1))) {
            Packet(got, kSizePacket);
            return;
          }
        } else {
          ++startPos_;
        }
      } else if (matchStart_ >= 0) {
        // Plain backtracking: the next try begins one byte after the last one began.
        i = static_cast<std::size_t>(matchStart_) + 1;
        matchStart_ = -1;
        startPos_ = 1;
        continue;
      }
    } else {  // dpCollecting
      if (matchStart_ < 0) matchStart_ = static_cast<std::int64_t>(i);
      const std::size_t got = i - static_cast<std::size_t>(matchStart_) + 1;
      if ((endCond_ & PacketEndBit(ecPacketSize)) != 0 && got >= static_cast<std::size_t>(std::max(sizeLimit_, 1))) {
        Packet(got, kSizePacket);
        return;
      }
      if ((endCond_ & PacketEndBit(ecString)) != 0) {
        if (EndMatches(c, endPos_)) {
          if (endPos_ == endMatch_.size()) {
            Packet(got, kStringPacket);
            return;
          }
          ++endPos_;
        } else if (endPos_ > 1) {
          endPos_ = RealignEnd(i);
        }
      }
    }
    if (m->buffer_.empty()) return;
    ++i;
  }
}

void TSioDataPacket::Packet(std::size_t count, TDelivery kind) {
  TSioDataPacketManager* m = manager_;
  m->EnterEvent();
  enabled_ = false;
  const std::size_t start = matchStart_ < 0 ? 0 : static_cast<std::size_t>(matchStart_);
  std::size_t dataStart = start;
  std::size_t size = count;
  if (startCond_ == scString && !includeStrings_) {
    const std::size_t cut = std::min(size, startMatch_.size());
    dataStart += cut;
    size -= cut;
  }
  if (!includeStrings_ && kind == kStringPacket) size -= std::min(size, endMatch_.size());
  const std::vector<std::uint8_t>& buf = m->buffer_;
  dataStart = std::min(dataStart, buf.size());
  size = std::min(size, buf.size() - dataStart);
  collected_.assign(buf.begin() + static_cast<std::ptrdiff_t>(dataStart),
                    buf.begin() + static_cast<std::ptrdiff_t>(dataStart + size));
  Log(dstStringPacket);
  LogData(kind == kSizePacket ? dstSizePacket : dstStringPacket, std::string(collected_.begin(), collected_.end()));
  received_ = true;
  m->eventPacket_ = this;
  m->RunEvents(this, TSioDataPacketManager::kPacketEvent);
  const bool still = m->eventPacket_ == this;  // false when the packet left meanwhile
  m->RemoveData(start, count);
  if (still && autoEnable_ && !enabled_) {
    Enable();  // inside the event: carried out as it ends
    enabled_ = true;
  }
  m->LeaveEvent();
}

void TSioDataPacket::Log(TDispatchSubType subType) const { LogData(subType, "Packet:" + name_); }

void TSioDataPacket::LogData(TDispatchSubType subType, const std::string& data) const {
  TSioBaseDispatcher* d = manager_ != nullptr ? manager_->dispatcher_ : nullptr;
  if (d == nullptr || !d->IsDispatchLogging()) return;
  d->AddDispatchEntry(dtPacket, subType, 0, data.data(), static_cast<std::uint32_t>(data.size()));
}

// ---- TSioDataPacketManager ------------------------------------------------------------------

TSioDataPacketManager::TSioDataPacketManager(TSioCustomComPort* port)
    : core_(std::make_shared<TPacketCore>()), port_(port) {
  core_->manager = this;
  port_->RegisterUserCallbackEx(this, [this](TSioCustomComPort*, TSioCallbackType type) { PortEvent(type); });
  registered_ = true;
  PacketManagerList().Insert(this);
  wnd_ = CreateMsgWindow("swPacketManager", [this](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
    return WindowProc(msg);
  });
  const bool open = port_->PortState() == psOpen;
  if (open && !port_->Loading()) {
    TPacketGuard guard(core_);
    EnabledLocked(true);
  }
  if (open && !enabled_) enablePending_ = true;
}

TSioDataPacketManager::~TSioDataPacketManager() {
  destroying_ = true;
  PacketManagerList().Remove(this);
  {
    TPacketGuard guard(core_);
    if (port_ != nullptr) EnabledLocked(false);
    core_->manager = nullptr;
    for (TSioDataPacket* p : packets_) {
      p->manager_ = nullptr;
      p->core_.reset();
      p->holdsCapture_ = false;
      p->mode_ = dpIdle;
    }
    packets_.clear();
  }
  if (registered_ && port_ != nullptr) port_->DeregisterUserCallbackEx(this);
  if (wnd_ != 0) DestroyMsgWindow(wnd_);
}

void TSioDataPacketManager::Insert(TSioDataPacket* packet) {
  TPacketGuard guard(core_);
  packets_.push_back(packet);
  packet->manager_ = this;
  packet->core_ = core_;
}

void TSioDataPacketManager::Remove(TSioDataPacket* packet) {
  const std::shared_ptr<TPacketCore> core = core_;
  TPacketGuard guard(core);
  const auto found = std::find(packets_.begin(), packets_.end(), packet);
  if (found == packets_.end()) return;
  // Idle first, so that a packet holding the stream gives it back before it goes.
  packet->Disable();
  if (capture_ == packet) capture_ = nullptr;
  packet->holdsCapture_ = false;
  // Disable may have run a handler that removed it already.
  const auto still = std::find(packets_.begin(), packets_.end(), packet);
  if (still == packets_.end()) return;
  packets_.erase(still);
  if (eventPacket_ == packet) eventPacket_ = nullptr;
  packet->manager_ = nullptr;
  packet->core_.reset();
  // The last packet gone: the manager leaves the port now, so that the port may be
  // destroyed before the posted release frees the manager.
  if (packets_.empty() && !destroying_) Detach();
}

void TSioDataPacketManager::Detach() {
  EnabledLocked(false);
  if (registered_ && port_ != nullptr) port_->DeregisterUserCallbackEx(this);
  registered_ = false;
  PacketManagerList().Remove(this);
  port_ = nullptr;
  PostMessage(wnd_, kMsgRelease, 0, 0);
}

std::intptr_t TSioDataPacketManager::WindowProc(std::uint32_t msg) {
  if (msg != kMsgRelease) return 0;
  {
    TPacketGuard guard(core_);
    if (inEvent_) {
      PostMessage(wnd_, kMsgRelease, 0, 0);
      return 0;
    }
    if (!packets_.empty() || port_ != nullptr) return 0;
  }
  delete this;
  return 0;
}

void TSioDataPacketManager::EnablePackets() {
  TPacketGuard guard(core_);
  const std::vector<TSioDataPacket*> packets = packets_;
  for (TSioDataPacket* p : packets)
    if (p->manager_ == this && p->enabled_) p->Rearm();
}

void TSioDataPacketManager::DisablePackets() {
  TPacketGuard guard(core_);
  const std::vector<TSioDataPacket*> packets = packets_;
  for (TSioDataPacket* p : packets)
    if (p->manager_ == this) p->Disable();
}

bool TSioDataPacketManager::Enabled() const {
  TPacketGuard guard(core_);
  return enabled_;
}

void TSioDataPacketManager::SetEnabled(bool enabled) {
  TPacketGuard guard(core_);
  EnabledLocked(enabled);
}

std::size_t TSioDataPacketManager::BufferUsed() const {
  TPacketGuard guard(core_);
  return buffer_.size();
}

std::size_t TSioDataPacketManager::PacketCount() const {
  TPacketGuard guard(core_);
  return packets_.size();
}

void TSioDataPacketManager::EnabledLocked(bool enabled) {
  if (enabled == enabled_) return;
  if (enabled) {
    if (port_ == nullptr || port_->PortState() != psOpen) return;
    TSioBaseDispatcher* d = port_->Dispatcher();
    const std::shared_ptr<TPacketCore> core = core_;
    const std::int32_t id = d->RegisterEventTriggerHandler(
        [core](std::uint32_t msg, std::uint32_t wParam, std::int32_t) { Trigger(core, msg, wParam); });
    CheckException(id);
    const std::int32_t timer = d->AddTimerTrigger();
    if (timer < 0) {
      d->DeregisterEventTriggerHandler(id);
      CheckException(timer);
    }
    dispatcher_ = d;
    handlerId_ = id;
    timer_ = timer;
    enabled_ = true;
    return;
  }
  if (dispatcher_ != nullptr) {
    if (timer_ > 0) dispatcher_->RemoveTrigger(timer_);
    if (handlerId_ > 0) dispatcher_->DeregisterEventTriggerHandler(handlerId_);
  }
  dispatcher_ = nullptr;
  handlerId_ = 0;
  timer_ = 0;
  if (capture_ != nullptr) capture_->holdsCapture_ = false;
  capture_ = nullptr;
  DiscardBuffer();
  enabled_ = false;
}

void TSioDataPacketManager::PortEvent(TSioCallbackType type) {
  TPacketGuard guard(core_);
  if (type == ctOpen) {
    EnabledLocked(true);
    EnablePackets();
  } else {
    DisablePackets();
    EnabledLocked(false);
  }
}

// ---- receiving (dispatch thread) --------------------------------------------------------------

void TSioDataPacketManager::Trigger(const std::shared_ptr<TPacketCore>& core, std::uint32_t msg,
                                    std::uint32_t wParam) {
  TPacketGuard guard(core);
  TSioDataPacketManager* m = core->manager;
  if (m == nullptr || !m->enabled_) return;
  try {
    if (msg == MsgTriggerAvail) {
      m->ReceiveData(wParam);
    } else if (msg == MsgTriggerTimer && static_cast<std::int32_t>(wParam) == m->timer_ &&
               m->capture_ != nullptr && !m->inEvent_) {
      m->Timeout();
    }
  } catch (const std::exception& e) {
    ReportSioException(e);
  }
}

void TSioDataPacketManager::ReceiveData(std::uint32_t count) {
  if (dispatcher_ == nullptr || count == 0) return;
  // With no packet armed the bytes would only be discarded; left unread, they stay for
  // the other readers of the port (a protocol engine that takes them one step at a time
  // would otherwise lose whatever it left for its next step: the ring gives up the most
  // that any handler read).
  const bool wanted = inEvent_ || !buffer_.empty() ||
                      std::any_of(packets_.begin(), packets_.end(), [](const TSioDataPacket* p) {
                        return p->enabled_ || p->enablePending_ || p->capturePending_ || p->mode_ != dpIdle;
                      });
  if (!wanted) return;
  const std::size_t used = buffer_.size();
  if (used + count >= buffer_.capacity())
    buffer_.reserve(buffer_.capacity() + ((used + count - buffer_.capacity()) / kBufferStep + 1) * kBufferStep);
  buffer_.resize(used + count);
  if (dispatcher_->GetBlock(buffer_.data() + used, count) <= 0) {
    buffer_.resize(used);
    return;
  }
  NotifyData(used);
}

void TSioDataPacketManager::NotifyData(std::size_t from) {
  if (inEvent_) {
    pendingNotify_ = true;
    return;
  }
  if (offering_) {
    reoffer_ = true;
    return;
  }
  offering_ = true;
  for (;;) {
    reoffer_ = false;
    if (buffer_.empty()) break;
    if (capture_ != nullptr) {
      capture_->ProcessData(from);
    } else {
      for (std::size_t k = 0; k < packets_.size(); ++k) {
        packets_[k]->ProcessData(from);
        if (capture_ != nullptr || buffer_.empty() || reoffer_) break;
      }
    }
    if (reoffer_) {
      // A packet was delivered: the bytes after it have not been looked at yet.
      from = 0;
      continue;
    }
    const bool partial = std::any_of(packets_.begin(), packets_.end(), [](const TSioDataPacket* p) {
      return p->enabled_ && p->mode_ != dpIdle && p->matchStart_ != -1;
    });
    if (capture_ == nullptr && !partial) DiscardBuffer();
    break;
  }
  offering_ = false;
}

void TSioDataPacketManager::Capture(TSioDataPacket* packet, std::int32_t ticks) {
  capture_ = packet;
  if (ticks != 0 && dispatcher_ != nullptr && timer_ > 0) dispatcher_->SetTimerTrigger(timer_, ticks, true);
  packet->holdsCapture_ = true;
  const std::vector<TSioDataPacket*> packets = packets_;
  for (TSioDataPacket* p : packets) {
    if (p == packet || !p->enabled_ || p->comPort_ == nullptr) continue;
    p->Disable();
    p->Rearm();
  }
}

void TSioDataPacketManager::Release(TSioDataPacket* packet) {
  // A timer that cannot be stopped only fires for nobody: the handler checks the capture.
  if (dispatcher_ != nullptr && timer_ > 0) dispatcher_->SetTimerTrigger(timer_, 0, false);
  if (capture_ == packet) capture_ = nullptr;
  packet->holdsCapture_ = false;
  NotifyData(0);
}

void TSioDataPacketManager::RemoveData(std::size_t start, std::size_t count) {
  const std::size_t end = std::min(start + count, buffer_.size());
  if (end == buffer_.size())
    DiscardBuffer();
  else
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(end));
  const std::vector<TSioDataPacket*> packets = packets_;
  for (TSioDataPacket* p : packets) {
    if (!p->enabled_ || p->mode_ == dpIdle || p->matchStart_ < 0) continue;
    if (static_cast<std::size_t>(p->matchStart_) < end)
      p->Rearm();
    else
      p->matchStart_ -= static_cast<std::int64_t>(end);
  }
}

void TSioDataPacketManager::DiscardBuffer() {
  std::vector<std::uint8_t>().swap(buffer_);
  for (TSioDataPacket* p : packets_) {
    p->matchStart_ = -1;
    p->startPos_ = 1;
    p->endPos_ = 1;
  }
}

void TSioDataPacketManager::EnterEvent() {
  inEvent_ = true;
  const std::vector<TSioDataPacket*> packets = packets_;
  for (TSioDataPacket* p : packets)
    if (p->enabled_) p->Disable();
}

void TSioDataPacketManager::LeaveEvent() {
  inEvent_ = false;
  eventPacket_ = nullptr;
  const std::vector<TSioDataPacket*> packets = packets_;
  for (TSioDataPacket* p : packets)
    if (p->manager_ == this && p->enabled_) p->Rearm();
  pendingNotify_ = false;
  NotifyData(0);
}

void TSioDataPacketManager::Timeout() {
  TSioDataPacket* p = capture_;
  EnterEvent();
  p->Log(dstPacketTimeout);
  p->enabled_ = false;
  p->timedOut_ = true;
  p->collected_.clear();
  if (p->matchStart_ >= 0) {
    std::size_t start = static_cast<std::size_t>(p->matchStart_);
    if (p->startCond_ == scString) start += p->startMatch_.size();
    if (start < buffer_.size())
      p->collected_.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(start), buffer_.end());
  }
  const bool flush = p->flushOnTimeout_;
  eventPacket_ = p;
  RunEvents(p, kTimeoutEvent);
  if (flush) RemoveData(0, buffer_.size());
  LeaveEvent();
}

// ---- events (user-interface thread) -----------------------------------------------------------

void TSioDataPacketManager::RunEvents(TSioDataPacket* packet, TEventKind kind) {
  const std::shared_ptr<TPacketCore> core = core_;
  // The handler may arm or disarm packets: the lock is given up while it runs, and the
  // in-event flag keeps this thread's matching and arming at bay meanwhile.
  const int depth = core->lock.ReleaseAll();
  try {
    SyncCall([core, packet, kind] { DeliverOnMain(core, packet, kind); });
  } catch (const std::exception& e) {
    ReportSioException(e);
  } catch (...) {
  }
  core->lock.Reacquire(depth);
}

void TSioDataPacketManager::DeliverOnMain(const std::shared_ptr<TPacketCore>& core, TSioDataPacket* packet,
                                          TEventKind kind) {
  TPacketNotifyEvent onPacket;
  TStringPacketNotifyEvent onString;
  TPacketTimeoutEvent onTimeout;
  std::vector<std::uint8_t> data;
  auto present = [&core, packet] {
    TPacketGuard guard(core);
    return core->manager != nullptr && core->manager->eventPacket_ == packet;
  };
  {
    TPacketGuard guard(core);
    if (core->manager == nullptr || core->manager->eventPacket_ != packet) return;
    onPacket = packet->onPacket_;
    onString = packet->onStringPacket_;
    onTimeout = packet->onTimeout_;
    data = packet->collected_;
  }
  try {
    if (kind == kTimeoutEvent) {
      if (onTimeout) onTimeout(packet);
      return;
    }
    if (onPacket) onPacket(packet, data.data(), static_cast<int>(data.size()));
    if (onString && present()) onString(packet, std::string(data.begin(), data.end()));
  } catch (const std::exception& e) {
    ReportSioException(e);
  } catch (...) {
  }
}

// ---- TSioDataPacketManagerList ------------------------------------------------------------------

TSioDataPacketManagerList::~TSioDataPacketManagerList() {
  while (!managers_.empty()) {
    TSioDataPacketManager* m = managers_.back();
    m->Abandon();
    delete m;  // leaves the list
  }
}

void TSioDataPacketManagerList::Insert(TSioDataPacketManager* manager) { managers_.push_back(manager); }

void TSioDataPacketManagerList::Remove(TSioDataPacketManager* manager) { std::erase(managers_, manager); }

TSioDataPacketManager* TSioDataPacketManagerList::GetPortManager(const TSioCustomComPort* port) const {
  if (port == nullptr) return nullptr;
  for (TSioDataPacketManager* m : managers_)
    if (m->Port() == port) return m;
  return nullptr;
}

TSioDataPacketManagerList& PacketManagerList() {
  static TSioDataPacketManagerList list;  // NOLINT: freed at the program's end by design
  return list;
}
