// The triggers of TSioBaseDispatcher, their notification, and its trace and dispatch log.
#include <algorithm>
#include <cstring>

#include "serial/SlConst.h"
#include "serial/SwDispatcher.h"

namespace {

constexpr std::uint32_t kRing = TSioBaseDispatcher::kInRingSize;
constexpr std::int32_t kMaxSeed = 4096;         // seeds 1..4095 give 8..32760
constexpr std::int32_t kMaxReusedHandle = 4096;

std::uint8_t Upper(std::uint8_t c) {
  return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - ('a' - 'A')) : c;
}

template <class List>
auto FindHandle(List& list, std::int32_t handle) {
  return std::find_if(list.begin(), list.end(), [handle](const auto& t) { return t.handle == handle; });
}

}  // namespace

// ---- data-trigger matcher ----

void TDataTrigger::Reset() {
  std::fill(std::begin(positions), std::end(positions), 0u);
  matched = false;
}

bool TDataTrigger::Step(std::uint8_t c) {
  if (length == 0) return false;
  if (ignoreCase) c = Upper(c);
  bool started = false;  // a new partial match was begun with this byte
  bool visit = true;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (visit) {
      std::uint32_t& p = positions[i];
      if (data[p] == c) {
        if (++p == length) {
          std::fill(std::begin(positions), std::end(positions), 0u);
          return true;
        }
      } else {
        p = c == data[0] ? 1 : 0;
      }
      if (p == 1) started = true;
    }
    if (i + 1 < length) visit = positions[i + 1] != 0 || (!started && c == data[0]);
  }
  return false;
}

// ---- handles and lists ----

std::int32_t TSioBaseDispatcher::GetTriggerHandle() {
  if (triggerSeed_ < static_cast<std::uint32_t>(kMaxSeed)) return static_cast<std::int32_t>(triggerSeed_++ * 8);
  for (std::int32_t h = 8; h <= kMaxReusedHandle; h += 8) {
    const bool used =
        std::any_of(timerTriggers_.begin(), timerTriggers_.end(), [h](const auto& t) { return t.handle == h; }) ||
        std::any_of(statusTriggers_.begin(), statusTriggers_.end(), [h](const auto& t) { return (t.handle & ~7) == h; }) ||
        std::any_of(dataTriggers_.begin(), dataTriggers_.end(), [h](const auto& t) { return t.handle == h; });
    if (!used) return h;
  }
  return 0;
}

void TSioBaseDispatcher::LogTriggerEntry(TDispatchType type, TDispatchSubType subType,
                                         std::uint32_t value, const void* data,
                                         std::uint32_t length) {
  if (log_.IsLogging()) AddDispatchEntry(type, subType, value, data, length);
}

std::int32_t TSioBaseDispatcher::AddTimerTrigger() {
  std::lock_guard state(stateLock_);
  const std::int32_t handle = GetTriggerHandle();
  if (handle == 0) return ecNoMoreTriggers;
  TTimerTrigger t;
  t.handle = handle;
  timerTriggers_.push_back(t);
  LogTriggerEntry(dtTriggerAlloc, dstTimerTrigger, static_cast<std::uint32_t>(handle));
  return handle;
}

std::int32_t TSioBaseDispatcher::AddDataTrigger(std::string_view text, bool ignoreCase) {
  return AddDataTriggerLen(text.data(), ignoreCase, static_cast<std::uint32_t>(text.size()));
}

std::int32_t TSioBaseDispatcher::AddDataTriggerLen(const void* data, bool ignoreCase,
                                                   std::uint32_t length) {
  if (length > MaxTriggerDataLen) return ecTriggerTooLong;
  std::lock_guard state(stateLock_);
  const std::int32_t handle = GetTriggerHandle();
  if (handle == 0) return ecNoMoreTriggers;
  TDataTrigger t;
  t.handle = handle;
  t.length = length;
  t.ignoreCase = ignoreCase;
  if (length > 0) std::memcpy(t.data, data, length);
  if (ignoreCase)
    for (std::uint32_t i = 0; i < length; ++i) t.data[i] = Upper(t.data[i]);
  dataTriggers_.push_back(t);
  LogTriggerEntry(dtTriggerAlloc, dstDataTrigger, static_cast<std::uint32_t>(handle), data, length);
  return handle;
}

std::int32_t TSioBaseDispatcher::AddStatusTrigger(std::uint32_t kind) {
  if (kind > skOutSent) return ecBadArgument;
  std::lock_guard state(stateLock_);
  const std::int32_t base = GetTriggerHandle();
  if (base == 0) return ecNoMoreTriggers;
  TStatusTrigger t;
  t.handle = base | static_cast<std::int32_t>(kind);
  t.kind = kind;
  statusTriggers_.push_back(t);
  const auto kindByte = static_cast<std::uint8_t>(kind);
  LogTriggerEntry(dtTriggerAlloc, dstStatusTrigger, static_cast<std::uint32_t>(t.handle), &kindByte, 1);
  return t.handle;
}

std::int32_t TSioBaseDispatcher::SetTimerTrigger(std::int32_t handle, std::int32_t ticks, bool activate) {
  {
    std::lock_guard state(stateLock_);
    const auto t = FindHandle(timerTriggers_, handle);
    if (t == timerTriggers_.end()) return ecBadTriggerHandle;
    if (activate) {
      if (ticks != 0) t->ticks = ticks;
      NewTimer(t->timer, t->ticks);
      t->active = true;
      LogTriggerEntry(dtTriggerDataChange, dstTimerTrigger, static_cast<std::uint32_t>(handle), &t->ticks,
                      sizeof t->ticks);
    } else {
      t->active = false;
      static constexpr char kOff[] = "Deactivated";
      LogTriggerEntry(dtTriggerDataChange, dstTimerTrigger, static_cast<std::uint32_t>(handle), kOff,
                      sizeof kOff - 1);
    }
  }
  WakeDispatcher();  // its wait may now be too long
  return ecOK;
}

std::int32_t TSioBaseDispatcher::ExtendTimer(std::int32_t handle, std::int32_t ticks) {
  {
    std::lock_guard state(stateLock_);
    const auto t = FindHandle(timerTriggers_, handle);
    if (t == timerTriggers_.end()) return ecBadTriggerHandle;
    t->timer.ExpireTicks += ticks;
  }
  WakeDispatcher();
  return ecOK;
}

std::int32_t TSioBaseDispatcher::TimerTicksRemaining(std::int32_t handle, std::int32_t& ticks) {
  std::lock_guard state(stateLock_);
  ticks = 0;
  const auto t = FindHandle(timerTriggers_, handle);
  if (t == timerTriggers_.end()) return ecBadTriggerHandle;
  ticks = RemainingTime(t->timer);
  return ecOK;
}

std::int32_t TSioBaseDispatcher::SetStatusTrigger(std::int32_t handle, std::uint32_t value, bool activate) {
  {
    std::lock_guard state(stateLock_);
    const auto t = FindHandle(statusTriggers_, handle);
    if (t == statusTriggers_.end()) return ecBadTriggerHandle;
    if (activate) {
      switch (t->kind) {
        case skModemStatus: {
          const std::uint32_t mask = value & 0xFF;
          t->condition = mask << 8 | (mask & GetModemStatusPrim(0xFF));
          break;
        }
        case skLineError:
          // Options 1, 2, 4, 8 watch the error bits overrun 2, parity 4, framing 8, break 16.
          t->condition = (value & 0x0F) << 1;
          break;
        case skOutBuffFree:
        case skOutBuffUsed:
          t->condition = value;
          break;
        default:
          break;
      }
    }
    t->armed = activate;
    LogTriggerEntry(dtTriggerDataChange, dstStatusTrigger, static_cast<std::uint32_t>(handle), &t->condition,
                    sizeof t->condition);
  }
  WakeDispatcher();
  return ecOK;
}

std::int32_t TSioBaseDispatcher::ChangeLengthTrigger(std::uint32_t threshold) {
  {
    std::lock_guard state(stateLock_);
    lengthTrigger_ = threshold;
    LogTriggerEntry(dtTriggerDataChange, dstAvailTrigger, threshold);
  }
  WakeDispatcher();  // bytes already waiting may be enough now
  return ecOK;
}

std::uint32_t TSioBaseDispatcher::LengthTrigger() {
  std::lock_guard state(stateLock_);
  return lengthTrigger_;
}

std::int32_t TSioBaseDispatcher::FindTriggerFromHandle(std::int32_t handle, bool remove,
                                                       TTriggerRecord& record, TTriggerType& type) {
  std::lock_guard state(stateLock_);
  record = std::monostate{};
  type = ttNone;
  if (handle < 2) return ecBadTriggerHandle;
  if (const auto t = FindHandle(timerTriggers_, handle); t != timerTriggers_.end()) {
    record = *t;
    type = ttTimer;
    if (remove) timerTriggers_.erase(t);
    return ecOK;
  }
  if (const auto t = FindHandle(statusTriggers_, handle); t != statusTriggers_.end()) {
    record = *t;
    type = ttStatus;
    if (remove) statusTriggers_.erase(t);
    return ecOK;
  }
  if (const auto t = FindHandle(dataTriggers_, handle & ~7); t != dataTriggers_.end()) {
    record = *t;
    type = ttData;
    if (remove) dataTriggers_.erase(t);
    return ecOK;
  }
  return ecBadTriggerHandle;
}

std::int32_t TSioBaseDispatcher::RemoveTrigger(std::int32_t handle) {
  std::lock_guard state(stateLock_);
  if (handle == LengthTriggerHandle) {
    lengthTrigger_ = 0;
    LogTriggerEntry(dtTriggerDataChange, dstAvailTrigger, 0);
    return ecOK;
  }
  TTriggerRecord record;
  TTriggerType type;
  const std::int32_t result = FindTriggerFromHandle(handle, true, record, type);
  if (result != ecOK) return result;
  if (const auto* timer = std::get_if<TTimerTrigger>(&record)) {
    LogTriggerEntry(dtTriggerDispose, dstTimer, static_cast<std::uint32_t>(timer->handle));
  } else if (const auto* status = std::get_if<TStatusTrigger>(&record)) {
    const auto kind = static_cast<std::uint8_t>(status->kind);
    LogTriggerEntry(dtTriggerDispose, dstStatusTrigger, static_cast<std::uint32_t>(status->handle), &kind, 1);
  } else if (const auto* data = std::get_if<TDataTrigger>(&record)) {
    LogTriggerEntry(dtTriggerDispose, dstData, static_cast<std::uint32_t>(data->handle));
  }
  return ecOK;
}

void TSioBaseDispatcher::RemoveAllTriggers() {
  std::lock_guard state(stateLock_);
  timerTriggers_.clear();
  dataTriggers_.clear();
  statusTriggers_.clear();
  lengthTrigger_ = 0;
  triggerSeed_ = 1;
}

void TSioBaseDispatcher::SaveTriggers(TTriggerSave& save) {
  std::lock_guard state(stateLock_);
  save.lengthTrigger = lengthTrigger_;
  save.timers = timerTriggers_;
  save.data = dataTriggers_;
  save.status = statusTriggers_;
}

void TSioBaseDispatcher::RestoreTriggers(const TTriggerSave& save) {
  {
    std::lock_guard input(inLock_);
    std::lock_guard state(stateLock_);
    // The port is restored after its threads started: bytes that arrived meanwhile and
    // nobody read yet are scanned again, so the restored data triggers see them.
    if (inBuf_ && !inAvailMessage_) {
      lastTailData_ = inGet_;
      scanPending_ = InAvailLocked();
    }
    lengthTrigger_ = save.lengthTrigger;
    timerTriggers_ = save.timers;
    dataTriggers_ = save.data;
    statusTriggers_ = save.status;
    // The match states and hit marks belonged to the old ring and the old pass.
    for (TDataTrigger& t : dataTriggers_) t.Reset();
    for (TStatusTrigger& t : statusTriggers_) t.hit = false;
    // New handles continue above every restored one, so none is handed out twice.
    std::int32_t largest = 0;
    for (const auto& t : timerTriggers_) largest = std::max(largest, t.handle);
    for (const auto& t : dataTriggers_) largest = std::max(largest, t.handle);
    for (const auto& t : statusTriggers_) largest = std::max(largest, t.handle & ~7);
    triggerSeed_ = std::max(triggerSeed_, static_cast<std::uint32_t>(largest / 8 + 1));
  }
  WakeDispatcher();
}

void TSioBaseDispatcher::ClearSaveBuffers(TTriggerSave& save) {
  save.lengthTrigger = 0;
  save.timers.clear();
  save.data.clear();
  save.status.clear();
}

// ---- handlers ----

std::int32_t TSioBaseDispatcher::AddHandler(HandlerKind kind, HWND wnd, TTriggerProc call, bool sync) {
  if (kind != kWnd && !call) return ecBadArgument;
  std::lock_guard state(stateLock_);
  auto handler = std::make_shared<Handler>();
  handler->wnd = wnd;
  handler->call = std::move(call);
  handler->sync = sync;
  std::uint32_t logValue = 0;
  TDispatchSubType subType = dstWndHandler;
  switch (kind) {
    case kWnd:
      wndHandlers_.push_back(handler);
      logValue = wnd;
      break;
    case kProc:
      handler->id = nextHandlerId_++;
      procHandlers_.push_back(handler);
      subType = dstProcHandler;
      break;
    case kEvent:
      handler->id = nextHandlerId_++;
      eventHandlers_.push_back(handler);
      subType = dstEventHandler;
      logValue = sync ? 1 : 0;
      break;
  }
  handlerServiceNeeded_ = true;
  LogTriggerEntry(dtTriggerHandlerAlloc, subType, logValue);
  return handler->id;
}

std::int32_t TSioBaseDispatcher::RemoveHandler(HandlerKind kind, HWND wnd, std::int32_t id) {
  std::lock_guard state(stateLock_);
  HandlerList& list = kind == kWnd ? wndHandlers_ : kind == kProc ? procHandlers_ : eventHandlers_;
  const auto found = std::find_if(list.begin(), list.end(), [&](const std::shared_ptr<Handler>& h) {
    return !h->deleted.load() && (kind == kWnd ? h->wnd == wnd : h->id == id);
  });
  if (found == list.end()) return ecBadHandle;
  const std::uint32_t logValue = kind == kWnd ? (*found)->wnd : kind == kEvent && (*found)->sync ? 1 : 0;
  const TDispatchSubType subType = kind == kWnd ? dstWndHandler : kind == kProc ? dstProcHandler : dstEventHandler;
  if (eventBusy_.load() || notifying_.load()) {
    // A notification may be walking a snapshot that holds it: skipped now, purged later.
    (*found)->deleted = true;
    deregistrationPending_ = true;
  } else {
    list.erase(found);
  }
  LogTriggerEntry(dtTriggerHandlerDispose, subType, logValue);
  UpdateHandlerFlags(0);
  return ecOK;
}

std::int32_t TSioBaseDispatcher::RegisterWndTriggerHandler(HWND wnd) { return AddHandler(kWnd, wnd, {}, false); }
std::int32_t TSioBaseDispatcher::RegisterProcTriggerHandler(TTriggerProc proc) {
  return AddHandler(kProc, 0, std::move(proc), false);
}
std::int32_t TSioBaseDispatcher::RegisterEventTriggerHandler(TTriggerProc method) {
  return AddHandler(kEvent, 0, std::move(method), false);
}
std::int32_t TSioBaseDispatcher::RegisterSyncEventTriggerHandler(TTriggerProc method) {
  return AddHandler(kEvent, 0, std::move(method), true);
}
std::int32_t TSioBaseDispatcher::DeregisterWndTriggerHandler(HWND wnd) { return RemoveHandler(kWnd, wnd, 0); }
std::int32_t TSioBaseDispatcher::DeregisterProcTriggerHandler(std::int32_t id) { return RemoveHandler(kProc, 0, id); }
std::int32_t TSioBaseDispatcher::DeregisterEventTriggerHandler(std::int32_t id) { return RemoveHandler(kEvent, 0, id); }

void TSioBaseDispatcher::PurgeDeletedHandlers() {
  auto deleted = [](const std::shared_ptr<Handler>& h) { return h->deleted.load(); };
  for (HandlerList* list : {&wndHandlers_, &procHandlers_, &eventHandlers_})
    list->erase(std::remove_if(list->begin(), list->end(), deleted), list->end());
  deregistrationPending_ = false;
  UpdateHandlerFlags(0);
}

void TSioBaseDispatcher::UpdateHandlerFlags(std::int32_t kind) {
  std::lock_guard state(stateLock_);
  auto live = [](const HandlerList& list) {
    return std::count_if(list.begin(), list.end(), [](const auto& h) { return !h->deleted.load(); });
  };
  if (kind == 1)
    portHandlerInstalled_ = true;
  else if (kind == 2)
    portHandlerInstalled_ = false;
  // The first window handler is the component's own; it needs serving only with the
  // port handler installed.
  handlerServiceNeeded_ =
      live(wndHandlers_) > 1 || live(procHandlers_) > 0 || live(eventHandlers_) > 0 || portHandlerInstalled_;
}

void TSioBaseDispatcher::SetEventBusy(bool& oldBusy, bool busy) {
  {
    std::lock_guard state(stateLock_);
    oldBusy = eventBusy_.exchange(busy);
    if (busy || notifying_.load()) return;
    if (deregistrationPending_) PurgeDeletedHandlers();
  }
  WakeDispatcher();  // the checks it skipped meanwhile run now
}

// ---- notification ----

bool TSioBaseDispatcher::NotifyHandlers(const HandlerList& list, bool window, std::uint32_t msg,
                                        std::uint32_t wParam, std::int32_t lParam) {
  for (const std::shared_ptr<Handler>& h : list) {
    {
      std::lock_guard input(inLock_);
      getCount_ = 0;
    }
    if (!h->deleted.load()) {
      try {
        if (window)
          SendMessageTimeout(h->wnd, msg, wParam, lParam, TriggerSendTimeoutMs, nullptr);
        else if (h->sync)
          SyncCall([&] { h->call(msg, wParam, lParam); });
        else
          h->call(msg, wParam, lParam);
      } catch (...) {
        // A failing handler must not end the dispatch thread; the others still hear.
      }
    }
    {
      std::lock_guard input(inLock_);
      maxGetCount_ = std::max(maxGetCount_, getCount_);
    }
    if (closePending_.load()) return false;
  }
  return true;
}

bool TSioBaseDispatcher::SendNotify(std::uint32_t msg, std::uint32_t wParam, std::uint32_t data) {
  HandlerList events, procs, windows;
  bool sendWindows;
  bool oldBusy;
  {
    std::lock_guard state(stateLock_);
    if (!handlerServiceNeeded_) return true;
    oldBusy = eventBusy_.exchange(true);
    notifying_ = true;
    events = eventHandlers_;
    procs = procHandlers_;
    windows = wndHandlers_;
    sendWindows = std::count_if(windows.begin(), windows.end(), [](const auto& h) { return !h->deleted.load(); }) > 1 ||
                  portHandlerInstalled_;
  }
  const bool shared = msg == MsgTriggerAvail || msg == MsgTriggerData;
  {
    std::lock_guard input(inLock_);
    maxGetCount_ = 0;
    getCount_ = 0;
    inAvailMessage_ = shared;
  }
  const auto lParam = static_cast<std::int32_t>(data + static_cast<std::uint32_t>(handle_) * 65536u);

  const bool completed = NotifyHandlers(events, false, msg, wParam, lParam) &&
                         NotifyHandlers(procs, false, msg, wParam, lParam) &&
                         (!sendWindows || NotifyHandlers(windows, true, msg, wParam, lParam));

  bool result = true;
  {
    std::lock_guard input(inLock_);
    if (shared) {
      // The ring gives up what the most eager handler read, once.
      inAvailMessage_ = false;
      const std::uint32_t take = std::min(maxGetCount_, InAvailLocked());
      if (take != 0 && inBuf_) {
        inGet_ = (inGet_ + take) % kRing;
        inFull_ = false;
      }
      if (msg == MsgTriggerAvail && maxGetCount_ != wParam) result = false;
    }
    getCount_ = 0;
  }
  {
    std::lock_guard state(stateLock_);
    eventBusy_ = oldBusy;
    notifying_ = false;
    if (deregistrationPending_ && !eventBusy_.load()) PurgeDeletedHandlers();
  }
  return completed && result;
}

bool TSioBaseDispatcher::SendAll(const std::vector<Notification>& fired) {
  bool result = false;
  for (const Notification& n : fired) {
    if (closePending_.load()) return false;
    result = SendNotify(n.msg, n.wParam, n.data);
  }
  return result;
}

// ---- checks (dispatch thread) ----

bool TSioBaseDispatcher::CheckTimerTriggers() {
  std::vector<Notification> fired;
  {
    std::lock_guard state(stateLock_);
    for (TTimerTrigger& t : timerTriggers_) {
      if (!t.active || !TimerExpired(t.timer)) continue;
      t.active = false;
      LogTriggerEntry(dtTrigger, dstTimer, static_cast<std::uint32_t>(t.handle));
      fired.push_back({MsgTriggerTimer, static_cast<std::uint32_t>(t.handle), 0});
      break;
    }
  }
  return !fired.empty() && SendAll(fired);
}

bool TSioBaseDispatcher::StatusConditionHolds(const TStatusTrigger& t, std::uint32_t& value) {
  value = 0;
  switch (t.kind) {
    case skModemStatus: {
      lastModemStatus_ = modemStatus_;
      const std::uint32_t mask = t.condition >> 8;
      return (modemStatus_ & mask) != (t.condition & 0xFF);
    }
    case skLineError:
      lastLineError_ = lineErrors_;
      return (lineErrors_ & t.condition) != 0;
    case skOutBuffFree:
    case skOutBuffUsed: {
      std::lock_guard output(outLock_);
      if (!outBuf_) return false;
      const std::uint32_t used = OutCountLocked();
      if (t.kind == skOutBuffFree) {
        value = outSize_ - used;
        return value >= t.condition;
      }
      value = used;
      return used <= t.condition;
    }
    case skOutSent:
      if (!dataWritten_) return false;
      dataWritten_ = false;
      return true;
    default:
      return false;
  }
}

bool TSioBaseDispatcher::CheckStatusTriggers() {
  std::vector<Notification> fired;
  {
    std::lock_guard state(stateLock_);
    for (TStatusTrigger& t : statusTriggers_) {
      if (!t.armed || t.hit) continue;
      std::uint32_t value;
      if (!StatusConditionHolds(t, value)) continue;
      t.armed = false;
      t.hit = true;
      globalStatusHit_ = true;
      LogTriggerEntry(dtTrigger, dstStatus, static_cast<std::uint32_t>(t.handle));
      fired.push_back({MsgTriggerStatus, static_cast<std::uint32_t>(t.handle), value});
      break;
    }
  }
  return !fired.empty() && SendAll(fired);
}

bool TSioBaseDispatcher::CheckReceiveTriggers() {
  std::vector<Notification> fired;
  {
    std::lock_guard input(inLock_);
    std::lock_guard state(stateLock_);
    if (!inBuf_) return false;
    bool found = false;
    std::uint32_t at = 0;       // ring index of the byte that completed a match
    std::uint32_t longest = 0;  // the longest sequence matched there
    while (scanPending_ > 0 && !found) {
      at = lastTailData_;
      const std::uint8_t c = inBuf_[at];
      lastTailData_ = (at + 1) % kRing;
      --scanPending_;
      for (TDataTrigger& t : dataTriggers_) {
        if (t.length != 0 && t.Step(c)) t.matched = true;
        if (t.matched) {
          found = true;
          longest = std::max(longest, t.length);
        }
      }
    }
    const std::uint32_t avail = InAvailLocked();
    const std::uint32_t shared = inAvailMessage_ ? std::min(getCount_, avail) : 0;
    if (found) {
      const std::uint64_t mark = received_ - scanPending_;  // bytes received through at
      if (lengthTrigger_ != 0 && notifyTail_ != mark) {
        // The bytes waiting ahead of the sequence are offered first.
        const std::uint32_t through = (at + kRing - inGet_) % kRing + 1;
        std::uint32_t before = through <= avail && through >= longest ? through - longest : 0;
        before -= std::min(before, shared);
        if (before >= lengthTrigger_) {
          LogTriggerEntry(dtTrigger, dstAvail, before);
          fired.push_back({MsgTriggerAvail, before, 0});
          notifyTail_ = mark;
        }
      }
      for (auto t = dataTriggers_.rbegin(); t != dataTriggers_.rend(); ++t) {
        if (!t->matched) continue;
        t->matched = false;
        LogTriggerEntry(dtTrigger, dstData, static_cast<std::uint32_t>(t->handle));
        fired.push_back({MsgTriggerData, static_cast<std::uint32_t>(t->handle), t->length});
      }
    } else if (lengthTrigger_ != 0 && notifyTail_ != received_) {
      const std::uint32_t used = avail - shared;
      if (used >= lengthTrigger_) {
        LogTriggerEntry(dtTrigger, dstAvail, used);
        fired.push_back({MsgTriggerAvail, used, 0});
        notifyTail_ = received_;
      }
    }
  }
  return !fired.empty() && SendAll(fired);
}

bool TSioBaseDispatcher::CheckTriggers() {
  const bool timer = CheckTimerTriggers();
  const bool status = CheckStatusTriggers();
  const bool receive = CheckReceiveTriggers();
  return timer || status || receive;
}

void TSioBaseDispatcher::ResetStatusHits() {
  std::lock_guard state(stateLock_);
  for (TStatusTrigger& t : statusTriggers_) t.hit = false;
}

void TSioBaseDispatcher::ResetDataTriggers() {
  std::lock_guard input(inLock_);
  std::lock_guard state(stateLock_);
  for (TDataTrigger& t : dataTriggers_) t.Reset();
  // Flushed bytes are not scanned any more.
  lastTailData_ = inPut_;
  scanPending_ = 0;
}

std::int32_t TSioBaseDispatcher::NextTimerDue() {
  std::lock_guard state(stateLock_);
  std::int64_t due = 50;
  const auto now = static_cast<std::int64_t>(SlTimeGetTime64());
  for (const TTimerTrigger& t : timerTriggers_) {
    // Expired once the tick clock has passed the expiry tick.
    if (t.active) due = std::min(due, (t.timer.ExpireTicks + 1) * MsPerTick - now);
  }
  return static_cast<std::int32_t>(std::max<std::int64_t>(due, 0));
}

// ---- trace and dispatch log ----

std::int32_t TSioBaseDispatcher::InitTracing(std::uint32_t size) {
  std::lock_guard state(stateLock_);
  return trace_.InitTracing(size);
}

std::int32_t TSioBaseDispatcher::DumpTrace(const std::string& fileName, bool inHex, bool allHex) {
  std::lock_guard state(stateLock_);
  return trace_.DumpTrace(fileName, inHex, allHex);
}

std::int32_t TSioBaseDispatcher::AppendTrace(const std::string& fileName, bool inHex, bool allHex) {
  std::lock_guard state(stateLock_);
  return trace_.AppendTrace(fileName, inHex, allHex);
}

void TSioBaseDispatcher::ClearTracing() {
  std::lock_guard state(stateLock_);
  trace_.ClearTracing();
}

void TSioBaseDispatcher::StartTracing() {
  std::lock_guard state(stateLock_);
  trace_.StartTracing();
}

void TSioBaseDispatcher::StopTracing() {
  std::lock_guard state(stateLock_);
  trace_.StopTracing();
}

void TSioBaseDispatcher::AbortTracing() {
  std::lock_guard state(stateLock_);
  trace_.AbortTracing();
}

bool TSioBaseDispatcher::IsTracing() {
  std::lock_guard state(stateLock_);
  return trace_.IsTracing();
}

void TSioBaseDispatcher::AddTraceEntry(char kind, std::uint8_t byte) {
  std::lock_guard state(stateLock_);
  // The ring itself records whenever it exists; a paused trace must not.
  if (trace_.IsTracing()) trace_.AddTraceEntry(kind, byte);
}

std::int32_t TSioBaseDispatcher::InitDispatchLogging(std::uint32_t size) {
  std::lock_guard state(stateLock_);
  log_.SetTimeBase(timeBase_);
  return log_.InitDispatchLogging(size);
}

std::int32_t TSioBaseDispatcher::DumpDispatchLog(const std::string& fileName, bool inHex, bool allHex) {
  std::lock_guard state(stateLock_);
  return log_.DumpDispatchLog(fileName, inHex, allHex, TDispatchLogHeading::Current(deviceName_));
}

std::int32_t TSioBaseDispatcher::AppendDispatchLog(const std::string& fileName, bool inHex, bool allHex) {
  std::lock_guard state(stateLock_);
  return log_.AppendDispatchLog(fileName, inHex, allHex, TDispatchLogHeading::Current(deviceName_));
}

void TSioBaseDispatcher::ClearDispatchLogging() {
  std::lock_guard state(stateLock_);
  log_.ClearDispatchLogging();
}

void TSioBaseDispatcher::StartDispatchLogging() {
  std::lock_guard state(stateLock_);
  log_.StartDispatchLogging();
}

void TSioBaseDispatcher::StopDispatchLogging() {
  std::lock_guard state(stateLock_);
  log_.StopDispatchLogging();
}

void TSioBaseDispatcher::AbortDispatchLogging() {
  std::lock_guard state(stateLock_);
  log_.AbortDispatchLogging();
}

bool TSioBaseDispatcher::IsDispatchLogging() {
  std::lock_guard state(stateLock_);
  return log_.IsLogging();
}

void TSioBaseDispatcher::AddDispatchEntry(TDispatchType type, TDispatchSubType subType, std::uint32_t value,
                                          const void* data, std::uint32_t length) {
  std::lock_guard state(stateLock_);
  log_.AddDispatchEntry(type, subType, value, data, length);
}

void TSioBaseDispatcher::SetDeviceName(const std::string& name) {
  std::lock_guard state(stateLock_);
  deviceName_ = name;
}

std::string TSioBaseDispatcher::DeviceName() {
  std::lock_guard state(stateLock_);
  return deviceName_;
}
