// What every unit of the serial library shares: the millisecond clock and the timers
// counted in 55 ms ticks, waits that keep the message queue moving, flag, pointer, text and
// file-name helpers, a growable text buffer, a paged line reader, the components' base
// class and the enumerations of trigger kinds and dispatch-log entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

// ---- Clock, ticks and timers -------------------------------------------------------

// Milliseconds of the monotonic clock; the 32-bit form wraps after 49.7 days, the 64-bit
// one never does. Timers use the 64-bit clock.
std::uint64_t SlTimeGetTime64();
std::uint32_t SlTimeGetTime();

constexpr std::int32_t MsPerTick = 55;
// The longest timer, in ticks (2^31 ms / 55): a 32-bit tick clock's wrap, kept as the cap.
constexpr std::int32_t MaxTicks = 39045157;

// The tick clock: SlTimeGetTime64() / 55.
std::int64_t TickClock();

// One second is 1675/92 ticks; all three truncate.
constexpr std::int32_t Secs2Ticks(std::int32_t secs) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(secs) * 1675 / 92);
}
constexpr std::int32_t Ticks2Secs(std::int32_t ticks) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(ticks) + 9) * 92 / 1675);
}
constexpr std::int32_t MSecs2Ticks(std::int32_t ms) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(ms) * 1675 / 92000);
}

struct EventTimer {
  std::int64_t StartTicks = 0;
  std::int64_t ExpireTicks = 0;
};

// The timer expires when the tick clock has moved past start + ticks (ticks capped at
// MaxTicks), so a timer of 0 ticks expires at the next tick.
void NewTimer(EventTimer& timer, std::int32_t ticks);
void NewTimerSecs(EventTimer& timer, std::int32_t secs);
bool TimerExpired(const EventTimer& timer);
// Ticks since the start and ticks left (never below 0), capped at the 32-bit range.
std::int32_t ElapsedTime(const EventTimer& timer);
std::int32_t ElapsedTimeInSecs(const EventTimer& timer);
std::int32_t RemainingTime(const EventTimer& timer);
std::int32_t RemainingTimeInSecs(const EventTimer& timer);

// Sleeps for the ticks. With yield, the calling thread's messages are delivered meanwhile,
// one per turn; a quit message stops the wait at once and 18 is returned (the message stays
// queued). Otherwise the result is the last SafeYield result (0 without yield). 0 at once
// for ticks < 1.
int DelayTicks(std::int32_t ticks, bool yield);
// Sleeps for ms milliseconds; returns ms.
std::uint32_t DelayMS(std::uint32_t ms);
// Delivers one pending message of the calling thread (PumpOneMessage).
int SafeYield();

// ---- Flags and pointers --------------------------------------------------------------

constexpr bool FlagIsSet(std::uint32_t flags, std::uint32_t mask) { return (flags & mask) != 0; }
constexpr bool ByteFlagIsSet(std::uint8_t flags, std::uint8_t mask) { return (flags & mask) != 0; }
constexpr void SetFlag(std::uint32_t& flags, std::uint32_t mask) { flags |= mask; }
constexpr void ClearFlag(std::uint32_t& flags, std::uint32_t mask) { flags &= ~mask; }
constexpr void SetByteFlag(std::uint8_t& flags, std::uint8_t mask) { flags = static_cast<std::uint8_t>(flags | mask); }
constexpr void ClearByteFlag(std::uint8_t& flags, std::uint8_t mask) {
  flags = static_cast<std::uint8_t>(flags & ~mask);
}
constexpr std::uint32_t MinWord(std::uint32_t a, std::uint32_t b) { return a < b ? a : b; }
inline void* AddWordToPtr(void* p, std::uint32_t n) { return static_cast<char*>(p) + n; }
inline void* GetPtr(void* p, std::uint32_t n) { return static_cast<char*>(p) + n; }
inline const void* GetPtr(const void* p, std::uint32_t n) { return static_cast<const char*>(p) + n; }
// Inverts every bit of size bytes in place.
void NotBuffer(void* buffer, std::uint32_t size);

// ---- Texts and file names -------------------------------------------------------------
// Folders are separated by "/"; the "BackSlash" names are kept from the other platform.

std::string Long2StrZ(std::int32_t n);
// True when the whole text is a decimal number (optional sign) within 32 bits.
bool Str2LongZ(const std::string& text, std::int32_t& n);
// The folder part: everything before the last "/", which is dropped unless it is the
// root's ("/file" gives "/"); empty when there is none.
std::string JustPathnameZ(const std::string& path);
// Everything after the last "/", at most 255 characters.
std::string JustFilenameZ(const std::string& path);
// The file name's extension without its dot, at most three characters.
std::string JustExtensionZ(const std::string& path);
// At most count characters from 0-based pos; empty when pos is at or beyond the end.
std::string StrStCopy(const std::string& src, std::size_t pos, std::size_t count);
// The path with "/" appended unless it is empty or already ends in "/".
std::string AddBackSlashZ(const std::string& path);
// A path ending in a double quote gets the "/" inside the quotes.
std::string AddBackSlash(const std::string& path);
// Whether path names an existing file (not a folder).
bool ExistFileZ(const std::string& path);
std::string ForceExtensionZ(const std::string& path, const std::string& ext);
std::string DefaultExtensionZ(const std::string& path, const std::string& ext);
// The file name without folder, cut before its first ".".
std::string JustName(const std::string& path);

// ---- System ---------------------------------------------------------------------------

bool IsWinNT();     // true: the NT branch of every platform test is the one that applies
bool IsWin2000();   // false
// Runs program + parameters (joined as they are) through /bin/sh -c in the current folder
// and waits for it: its exit code, 128 + the signal when a signal ended it, -1 when it
// could not be started. show is accepted for the callers and has no effect.
int ApWinExecAndWait32(const std::string& program, const std::string& parameters, int show);

// ---- TAdStr: a growable text with a cursor (positions are 1-based, indexes 0-based) ----

class TAdStr {
 public:
  explicit TAdStr(std::uint32_t capacity = 0);

  void SetMaxLen(std::uint32_t n);  // new capacity; the text is emptied in every case
  void Resize(std::uint32_t n);     // new capacity, keeping at most n - 1 characters
  std::uint32_t Append(const std::string& text);
  std::uint32_t AppendBuff(const char* buffer);
  std::uint32_t AppendTAdStr(const TAdStr& other);
  // Inserts before pos (1 to length + 1); any other pos changes nothing. Returns the length.
  std::uint32_t Insert(const std::string& text, std::uint32_t pos);
  std::uint32_t Prepend(const std::string& text);
  void Delete(std::uint32_t pos, std::uint32_t count);
  std::string Copy(std::uint32_t pos, std::uint32_t count) const;
  // 1-based position of the first occurrence, 0 when absent; the cursor moves there.
  std::uint32_t Pos(const std::string& text);
  std::uint32_t PosIdx(const std::string& text, std::uint32_t from);
  void Assign(const TAdStr& other);
  void Clear();

  void First();
  void Last();
  void Next();
  void Prev();
  void GotoPos(std::uint32_t pos);
  void MoveBy(std::int32_t n);

  char GetChar(std::uint32_t index) const;  // '\0' beyond the text
  void SetChar(std::uint32_t index, char c);
  char GetCurChar() const;
  std::uint32_t CurPos() const { return cursor_ + 1; }

  std::uint32_t GetLen() const { return static_cast<std::uint32_t>(text_.size()); }
  std::uint32_t GetMaxLen() const { return capacity_; }
  std::uint32_t GetBuffLen() const { return capacity_ + 1; }
  // Cuts the text at n; beyond the text the length becomes n, padded with zero bytes.
  void SetLen(std::uint32_t n);
  const std::string& Str() const { return text_; }

 private:
  void Grow(std::size_t len);
  void ClampCursor();

  std::uint32_t capacity_ = 0;
  std::string text_;
  std::uint32_t cursor_ = 0;  // index
};

// ---- TLineReader: text lines of a stream it owns, read in pages of 4096 bytes ----------
// A line ends at CR; an LF right after it is skipped, also across a page boundary. An
// end-of-file character (26) ends the data. A last line without CR still counts.

class TLineReader {
 public:
  static constexpr std::size_t PageSize = 4096;

  explicit TLineReader(std::unique_ptr<std::istream> stream);

  // The next line into line; false when the data has ended.
  bool NextLine(std::string& line);
  std::int64_t Size() const { return size_; }

 private:
  bool ReadPage();

  std::unique_ptr<std::istream> stream_;
  std::int64_t size_ = 0;
  std::vector<char> page_;
  std::size_t at_ = 0;
  bool ended_ = false;
  bool skipLf_ = false;
};

// ---- Components -------------------------------------------------------------------------

// Base of every component of the library; Version always reads "v4.06".
//
// A component may have an owner, which lists the components it owns in creation order, so
// that one component can find another beside it (SearchComPort). Ownership is a lookup
// relation only: an owner does not free what it owns; either side leaving detaches.
class TSioBaseComponent {
 public:
  explicit TSioBaseComponent(TSioBaseComponent* owner = nullptr) : owner_(owner) {
    if (owner_ != nullptr) owner_->owned_.push_back(this);
  }
  TSioBaseComponent(const TSioBaseComponent&) = delete;
  TSioBaseComponent& operator=(const TSioBaseComponent&) = delete;
  virtual ~TSioBaseComponent() {
    for (TSioBaseComponent* c : owned_) c->owner_ = nullptr;
    if (owner_ != nullptr) std::erase(owner_->owned_, this);
  }
  std::string Version() const { return "v4.06"; }
  void SetVersion(const std::string&) {}  // the version is not writable

  TSioBaseComponent* Owner() const { return owner_; }
  std::size_t ComponentCount() const { return owned_.size(); }
  TSioBaseComponent* Components(std::size_t index) const { return owned_[index]; }

 private:
  TSioBaseComponent* owner_;
  std::vector<TSioBaseComponent*> owned_;
};

// ---- Enumerations -----------------------------------------------------------------------

enum TTriggerType : std::uint8_t { ttNone, ttAvail, ttTimer, ttData, ttStatus };

#define KVX_DISPATCH_TYPES(X)                                                                 \
  X(dtNone) X(dtDispatch) X(dtTrigger) X(dtError) X(dtThread) X(dtTriggerAlloc)              \
  X(dtTriggerDispose) X(dtTriggerHandlerAlloc) X(dtTriggerHandlerDispose) X(dtTriggerDataChange) \
  X(dtTelnet) X(dtFax) X(dtXModem) X(dtYModem) X(dtZModem) X(dtKermit) X(dtAscii) X(dtBPlus)  \
  X(dtPacket) X(dtUser) X(dtScript)

// One list for the enumeration and its names, so they cannot drift apart.
#define KVX_DISPATCH_SUB_TYPES(X) \
  X(dstNone) X(dstReadCom) X(dstWriteCom) X(dstLineStatus) X(dstModemStatus) X(dstAvail) \
  X(dstTimer) X(dstData) X(dstStatus) X(dstThreadStart) X(dstThreadExit) X(dstThreadSleep) \
  X(dstThreadWake) X(dstDataTrigger) X(dstTimerTrigger) X(dstStatusTrigger) X(dstAvailTrigger) \
  X(dstWndHandler) X(dstProcHandler) X(dstEventHandler) X(dstSWill) X(dstSWont) X(dstSDo) \
  X(dstSDont) X(dstRWill) X(dstRWont) X(dstRDo) X(dstRDont) X(dstCommand) X(dstSTerm) \
  X(dsttfNone) X(dsttfGetEntry) X(dsttfInit) X(dsttf1Init1) X(dsttf2Init1) X(dsttf2Init1A) \
  X(dsttf2Init1B) X(dsttf2Init2) X(dsttf2Init3) X(dsttfDial) X(dsttfRetryWait) X(dsttf1Connect) \
  X(dsttf1SendTSI) X(dsttf1TSIResponse) X(dsttf1DCSResponse) X(dsttf1TrainStart) \
  X(dsttf1TrainFinish) X(dsttf1WaitCFR) X(dsttf1WaitPageConnect) X(dsttf2Connect) \
  X(dsttf2GetParams) X(dsttfWaitXon) X(dsttfWaitFreeHeader) X(dsttfSendPageHeader) \
  X(dsttfOpenCover) X(dsttfSendCover) X(dsttfPrepPage) X(dsttfSendPage) X(dsttfDrainPage) \
  X(dsttf1PageEnd) X(dsttf1PrepareEOP) X(dsttf1SendEOP) X(dsttf1WaitMPS) X(dsttf1WaitEOP) \
  X(dsttf1WaitMCF) X(dsttf1SendDCN) X(dsttf1Hangup) X(dsttf1WaitHangup) X(dsttf2SendEOP) \
  X(dsttf2WaitFPTS) X(dsttf2WaitFET) X(dsttf2WaitPageOK) X(dsttf2SendNewParams) \
  X(dsttf2NextPage) X(dsttf20CheckPage) X(dsttfClose) X(dsttfCompleteOK) X(dsttfAbort) \
  X(dsttfDone) X(dstrfNone) X(dstrfInit) X(dstrf1Init1) X(dstrf2Init1) X(dstrf2Init1A) \
  X(dstrf2Init1B) X(dstrf2Init2) X(dstrf2Init3) X(dstrfWaiting) X(dstrfAnswer) X(dstrf1SendCSI) \
  X(dstrf1SendDIS) X(dstrf1CollectFrames) X(dstrf1CollectRetry1) X(dstrf1CollectRetry2) \
  X(dstrf1StartTrain) X(dstrf1CollectTrain) X(dstrf1Timeout) X(dstrf1Retrain) \
  X(dstrf1FinishTrain) X(dstrf1SendCFR) X(dstrf1WaitPageConnect) X(dstrf2ValidConnect) \
  X(dstrf2GetSenderID) X(dstrf2GetConnect) X(dstrfStartPage) X(dstrfGetPageData) \
  X(dstrf1FinishPage) X(dstrf1WaitEOP) X(dstrf1WritePage) X(dstrf1SendMCF) X(dstrf1WaitDCN) \
  X(dstrf1WaitHangup) X(dstrf2GetPageResult) X(dstrf2GetFHNG) X(dstrfComplete) X(dstrfAbort) \
  X(dstrfDone) X(dsttxInitial) X(dsttxHandshake) X(dsttxGetBlock) X(dsttxWaitFreeSpace) \
  X(dsttxSendBlock) X(dsttxDraining) X(dsttxReplyPending) X(dsttxEndDrain) \
  X(dsttxFirstEndOfTransmit) X(dsttxRestEndOfTransmit) X(dsttxEotReply) X(dsttxFinished) \
  X(dsttxDone) X(dstrxInitial) X(dstrxWaitForHSReply) X(dstrxWaitForBlockStart) \
  X(dstrxCollectBlock) X(dstrxProcessBlock) X(dstrxFinishedSkip) X(dstrxFinished) X(dstrxDone) \
  X(dsttyInitial) X(dsttyHandshake) X(dsttyGetFileName) X(dsttySendFileName) X(dsttyDraining) \
  X(dsttyReplyPending) X(dsttyPrepXmodem) X(dsttySendXmodem) X(dsttyFinished) \
  X(dsttyFinishDrain) X(dsttyDone) X(dstryInitial) X(dstryDelay) X(dstryWaitForHSReply) \
  X(dstryWaitForBlockStart) X(dstryCollectBlock) X(dstryProcessBlock) X(dstryOpenFile) \
  X(dstryPrepXmodem) X(dstryReceiveXmodem) X(dstryFinished) X(dstryDone) X(dsttzInitial) \
  X(dsttzHandshake) X(dsttzGetFile) X(dsttzSendFile) X(dsttzCheckFile) X(dsttzStartData) \
  X(dsttzEscapeData) X(dsttzSendData) X(dsttzWaitAck) X(dsttzSendEof) X(dsttzDrainEof) \
  X(dsttzCheckEof) X(dsttzSendFinish) X(dsttzCheckFinish) X(dsttzError) X(dsttzCleanup) \
  X(dsttzDone) X(dstrzRqstFile) X(dstrzDelay) X(dstrzWaitFile) X(dstrzCollectFile) \
  X(dstrzSendInit) X(dstrzSendBlockPrep) X(dstrzSendBlock) X(dstrzSync) X(dstrzStartFile) \
  X(dstrzStartData) X(dstrzCollectData) X(dstrzGotData) X(dstrzWaitEof) X(dstrzEndOfFile) \
  X(dstrzSendFinish) X(dstrzCollectFinish) X(dstrzError) X(dstrzWaitCancel) X(dstrzCleanup) \
  X(dstrzDone) X(dsttkInit) X(dsttkInitReply) X(dsttkCollectInit) X(dsttkOpenFile) \
  X(dsttkSendFile) X(dsttkFileReply) X(dsttkCollectFile) X(dsttkCheckTable) X(dsttkSendData) \
  X(dsttkBlockReply) X(dsttkCollectBlock) X(dsttkSendEof) X(dsttkEofReply) X(dsttkCollectEof) \
  X(dsttkSendBreak) X(dsttkBreakReply) X(dsttkCollectBreak) X(dsttkComplete) X(dsttkWaitCancel) \
  X(dsttkError) X(dsttkDone) X(dstrkInit) X(dstrkGetInit) X(dstrkCollectInit) X(dstrkGetFile) \
  X(dstrkCollectFile) X(dstrkGetData) X(dstrkCollectData) X(dstrkComplete) X(dstrkWaitCancel) \
  X(dstrkError) X(dstrkDone) X(dsttaInitial) X(dsttaGetBlock) X(dsttaWaitFreeSpace) \
  X(dsttaSendBlock) X(dsttaSendDelay) X(dsttaFinishDrain) X(dsttaFinished) X(dsttaDone) \
  X(dstraInitial) X(dstraCollectBlock) X(dstraProcessBlock) X(dstraFinished) X(dstraDone) \
  X(dstEnable) X(dstDisable) X(dstStringPacket) X(dstSizePacket) X(dstPacketTimeout) \
  X(dstStartStr) X(dstEndStr) X(dstIdle) X(dstWaiting) X(dstCollecting)

#define KVX_ENUM_VALUE(name) name,
enum TDispatchType : std::uint8_t { KVX_DISPATCH_TYPES(KVX_ENUM_VALUE) };
enum TDispatchSubType : std::uint8_t { KVX_DISPATCH_SUB_TYPES(KVX_ENUM_VALUE) };
#undef KVX_ENUM_VALUE

constexpr int DispatchTypeCount = dtScript + 1;
constexpr int DispatchSubTypeCount = dstCollecting + 1;

// The value's name ("dsttxInitial"); "" out of range.
const char* TriggerTypeName(TTriggerType t);
const char* DispatchTypeName(TDispatchType t);
const char* DispatchSubTypeName(TDispatchSubType t);
