#include "serial/OoMisc.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <iterator>
#include <limits>
#include <thread>

#include "serial/SwMsgWindow.h"

extern char** environ;

namespace {

using Millis = std::chrono::milliseconds;
using SteadyMs = std::chrono::time_point<std::chrono::steady_clock, Millis>;

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The moment the tick clock first exceeds the timer's expiry.
SteadyMs ExpiryMoment(const EventTimer& timer) { return SteadyMs(Millis((timer.ExpireTicks + 1) * MsPerTick)); }

// Offset of the file name within a path.
std::size_t NameStart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Offset of the file name's last dot, npos when it has none.
std::size_t ExtensionDot(const std::string& path) {
  const auto start = NameStart(path);
  const auto dot = path.rfind('.');
  return dot == std::string::npos || dot < start ? std::string::npos : dot;
}

}  // namespace

// ---- Clock, ticks and timers -------------------------------------------------------

std::uint64_t SlTimeGetTime64() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

std::uint32_t SlTimeGetTime() { return static_cast<std::uint32_t>(SlTimeGetTime64()); }

std::int64_t TickClock() { return static_cast<std::int64_t>(SlTimeGetTime64() / MsPerTick); }

void NewTimer(EventTimer& timer, std::int32_t ticks) {
  timer.StartTicks = TickClock();
  timer.ExpireTicks = timer.StartTicks + std::min(ticks, MaxTicks);
}

void NewTimerSecs(EventTimer& timer, std::int32_t secs) { NewTimer(timer, Secs2Ticks(secs)); }

bool TimerExpired(const EventTimer& timer) { return TickClock() > timer.ExpireTicks; }

std::int32_t ElapsedTime(const EventTimer& timer) { return Clamp32(std::max<std::int64_t>(TickClock() - timer.StartTicks, 0)); }

std::int32_t ElapsedTimeInSecs(const EventTimer& timer) { return Ticks2Secs(ElapsedTime(timer)); }

std::int32_t RemainingTime(const EventTimer& timer) {
  return Clamp32(std::max<std::int64_t>(timer.ExpireTicks - TickClock(), 0));
}

std::int32_t RemainingTimeInSecs(const EventTimer& timer) { return Ticks2Secs(RemainingTime(timer)); }

int DelayTicks(std::int32_t ticks, bool yield) {
  if (ticks < 1) return 0;
  EventTimer timer;
  NewTimer(timer, ticks);
  const SteadyMs until = ExpiryMoment(timer);
  int last = 0;
  while (!TimerExpired(timer)) {
    if (!yield) {
      std::this_thread::sleep_until(until);
      continue;
    }
    last = SafeYield();
    if (last == static_cast<int>(WM_QUIT)) return last;
    if (last != 0) continue;
    // Short slices so that the idle hook of the main thread keeps its events moving; a
    // message cuts the slice short.
    const auto left = std::chrono::duration_cast<Millis>(until - std::chrono::steady_clock::now()).count();
    WaitForMessages(static_cast<int>(std::clamp<std::int64_t>(left, 0, 10)));
  }
  return last;
}

std::uint32_t DelayMS(std::uint32_t ms) {
  const auto until = std::chrono::steady_clock::now() + Millis(ms);
  while (std::chrono::steady_clock::now() < until) std::this_thread::sleep_until(until);
  return ms;
}

int SafeYield() { return PumpOneMessage(); }

// ---- Flags and pointers --------------------------------------------------------------

void NotBuffer(void* buffer, std::uint32_t size) {
  auto* p = static_cast<unsigned char*>(buffer);
  for (std::uint32_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(~p[i]);
}

// ---- Texts and file names -------------------------------------------------------------

std::string Long2StrZ(std::int32_t n) { return std::to_string(n); }

bool Str2LongZ(const std::string& text, std::int32_t& n) {
  const char* first = text.data();
  const char* last = first + text.size();
  const bool plus = first != last && *first == '+';  // from_chars takes only "-"
  if (plus) ++first;
  if (first == last || *first == '+' || (plus && *first == '-')) return false;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last) return false;
  n = value;
  return true;
}

std::string JustPathnameZ(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string JustFilenameZ(const std::string& path) { return path.substr(NameStart(path), 255); }

std::string JustExtensionZ(const std::string& path) {
  const auto dot = ExtensionDot(path);
  return dot == std::string::npos ? std::string() : path.substr(dot + 1, 3);
}

std::string StrStCopy(const std::string& src, std::size_t pos, std::size_t count) {
  return pos >= src.size() ? std::string() : src.substr(pos, count);
}

std::string AddBackSlashZ(const std::string& path) {
  return path.empty() || path.back() == '/' ? path : path + '/';
}

std::string AddBackSlash(const std::string& path) {
  if (!path.empty() && path.back() == '"') return AddBackSlashZ(path.substr(0, path.size() - 1)) + '"';
  return AddBackSlashZ(path);
}

bool ExistFileZ(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ForceExtensionZ(const std::string& path, const std::string& ext) {
  const auto dot = ExtensionDot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + '.' + ext;
}

std::string DefaultExtensionZ(const std::string& path, const std::string& ext) {
  return ExtensionDot(path) == std::string::npos ? path + '.' + ext : path;
}

std::string JustName(const std::string& path) {
  const std::string name = path.substr(NameStart(path));
  return name.substr(0, name.find('.'));
}

// ---- System ---------------------------------------------------------------------------

bool IsWinNT() { return true; }
bool IsWin2000() { return false; }

int ApWinExecAndWait32(const std::string& program, const std::string& parameters, int /*show*/) {
  const std::string command = program + parameters;
  char sh[] = "sh";
  char dashC[] = "-c";
  std::string line = command;  // posix_spawn wants writable argument strings
  char* argv[] = {sh, dashC, line.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// ---- TAdStr ---------------------------------------------------------------------------

TAdStr::TAdStr(std::uint32_t capacity) : capacity_(capacity) {}

void TAdStr::Grow(std::size_t len) {
  if (len > capacity_) capacity_ = static_cast<std::uint32_t>(len);
}

void TAdStr::ClampCursor() { cursor_ = std::min(cursor_, GetLen()); }

void TAdStr::SetMaxLen(std::uint32_t n) {
  capacity_ = n;
  Clear();
}

void TAdStr::Resize(std::uint32_t n) {
  capacity_ = n;
  if (text_.size() + 1 > n) text_.resize(n == 0 ? 0 : n - 1);
  ClampCursor();
}

std::uint32_t TAdStr::Append(const std::string& text) {
  text_ += text;
  Grow(text_.size());
  return GetLen();
}

std::uint32_t TAdStr::AppendBuff(const char* buffer) { return buffer ? Append(buffer) : GetLen(); }

std::uint32_t TAdStr::AppendTAdStr(const TAdStr& other) { return Append(other.text_); }

std::uint32_t TAdStr::Insert(const std::string& text, std::uint32_t pos) {
  if (pos < 1 || pos > GetLen() + 1) return GetLen();
  text_.insert(pos - 1, text);
  Grow(text_.size());
  return GetLen();
}

std::uint32_t TAdStr::Prepend(const std::string& text) { return Insert(text, 1); }

void TAdStr::Delete(std::uint32_t pos, std::uint32_t count) {
  if (pos < 1 || pos > GetLen()) return;
  text_.erase(pos - 1, count);
  ClampCursor();
}

std::string TAdStr::Copy(std::uint32_t pos, std::uint32_t count) const {
  if (pos == 0 || count == 0 || pos > GetLen()) return {};
  return text_.substr(pos - 1, count);
}

std::uint32_t TAdStr::Pos(const std::string& text) { return PosIdx(text, 1); }

std::uint32_t TAdStr::PosIdx(const std::string& text, std::uint32_t from) {
  if (text.empty() || from > GetLen()) return 0;
  const auto at = text_.find(text, from == 0 ? 0 : from - 1);
  if (at == std::string::npos) return 0;
  cursor_ = static_cast<std::uint32_t>(at);
  return cursor_ + 1;
}

void TAdStr::Assign(const TAdStr& other) {
  capacity_ = other.capacity_;
  text_ = other.text_;
  cursor_ = other.cursor_;
}

void TAdStr::Clear() {
  text_.clear();
  cursor_ = 0;
}

void TAdStr::First() { cursor_ = 0; }
void TAdStr::Last() { cursor_ = GetLen() == 0 ? 0 : GetLen() - 1; }
void TAdStr::Next() {
  if (cursor_ < GetLen()) ++cursor_;
}
void TAdStr::Prev() {
  if (cursor_ > 0) --cursor_;
}
void TAdStr::GotoPos(std::uint32_t pos) {
  cursor_ = pos == 0 ? 0 : pos - 1;
  ClampCursor();
}
void TAdStr::MoveBy(std::int32_t n) {
  const std::int64_t to = static_cast<std::int64_t>(cursor_) + n;
  cursor_ = static_cast<std::uint32_t>(std::clamp<std::int64_t>(to, 0, GetLen()));
}

char TAdStr::GetChar(std::uint32_t index) const { return index < GetLen() ? text_[index] : '\0'; }

void TAdStr::SetChar(std::uint32_t index, char c) {
  if (index < GetLen()) text_[index] = c;
}

char TAdStr::GetCurChar() const { return GetChar(cursor_); }

void TAdStr::SetLen(std::uint32_t n) {
  text_.resize(n, '\0');
  Grow(n);
  ClampCursor();
}

// ---- TLineReader ------------------------------------------------------------------------

TLineReader::TLineReader(std::unique_ptr<std::istream> stream) : stream_(std::move(stream)) {
  if (stream_) {
    stream_->seekg(0, std::ios::end);
    const auto end = stream_->tellg();
    size_ = end < 0 ? 0 : static_cast<std::int64_t>(end);
    stream_->clear();
    stream_->seekg(0, std::ios::beg);
  }
  ReadPage();
}

bool TLineReader::ReadPage() {
  page_.clear();
  at_ = 0;
  if (ended_ || !stream_) {
    ended_ = true;
    return false;
  }
  page_.resize(PageSize);
  stream_->read(page_.data(), static_cast<std::streamsize>(PageSize));
  page_.resize(static_cast<std::size_t>(stream_->gcount()));
  if (page_.empty()) ended_ = true;
  return !ended_;
}

bool TLineReader::NextLine(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (at_ == page_.size() && !ReadPage()) return any;
    const char c = page_[at_++];
    if (skipLf_) {
      skipLf_ = false;
      if (c == '\n') continue;
    }
    if (c == 26) {
      ended_ = true;
      page_.clear();
      at_ = 0;
      return any;
    }
    if (c == '\r') {
      skipLf_ = true;
      return true;
    }
    line += c;
    any = true;
  }
}

// ---- Enumerations -----------------------------------------------------------------------

namespace {
#define KVX_ENUM_NAME(name) #name,
constexpr const char* kTriggerTypeNames[] = {"ttNone", "ttAvail", "ttTimer", "ttData", "ttStatus"};
constexpr const char* kDispatchTypeNames[] = {KVX_DISPATCH_TYPES(KVX_ENUM_NAME)};
constexpr const char* kDispatchSubTypeNames[] = {KVX_DISPATCH_SUB_TYPES(KVX_ENUM_NAME)};
#undef KVX_ENUM_NAME
static_assert(std::size(kDispatchTypeNames) == 21);
static_assert(std::size(kDispatchSubTypeNames) == 252);

template <std::size_t N>
const char* NameAt(const char* const (&names)[N], int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N ? names[value] : "";
}
}  // namespace

const char* TriggerTypeName(TTriggerType t) { return NameAt(kTriggerTypeNames, t); }
const char* DispatchTypeName(TDispatchType t) { return NameAt(kDispatchTypeNames, t); }
const char* DispatchSubTypeName(TDispatchSubType t) { return NameAt(kDispatchSubTypeNames, t); }
