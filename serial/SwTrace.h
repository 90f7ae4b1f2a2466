// The two diagnostic histories of a port dispatcher: the trace, a ring of every byte the
// application took from or gave to the port, and the dispatch log, a ring of dispatcher
// events with their data. Both live in memory, are allocated once, and are written out as
// text files ("\n" line ends) when the port closes.
//
// Neither class locks. The dispatcher owns one of each and calls every member, the dumps
// included, under its state lock, so recording waits while a file is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "serial/OoMisc.h"

constexpr std::uint32_t kMaxTraceEntries = 4000000;
constexpr std::uint32_t kMaxDispatchLogSize = 16000000;

// The file codes of SlConst.h for an errno of the file routines (ENOENT -2, ENOTDIR -3,
// EMFILE -4, EACCES -5, ENOSPC -101, EROFS -150, ...); -162 for anything else.
std::int32_t SioFileErrorCode(int err);

// ---- Trace ---------------------------------------------------------------------------
// An entry is a kind character and the byte: 'R' received (taken by the application),
// 'T' transmitted, any other kind added through AddTraceEntry.

class TSioTrace {
 public:
  // Clears an existing buffer, or allocates one of size entries; recording starts.
  // ecBadArgument (and no buffer) for 0 or more than kMaxTraceEntries entries.
  std::int32_t InitTracing(std::uint32_t size);
  // Stores the entry whenever a buffer exists, paused or not; the data paths ask
  // IsTracing() first. The oldest entry is overwritten once the ring is full.
  void AddTraceEntry(char kind, std::uint8_t byte);
  void ClearTracing();
  void StartTracing();  // only with a buffer
  void StopTracing();
  void AbortTracing();  // stops and frees the buffer
  bool IsTracing() const { return on_; }
  bool HasBuffer() const { return buffer_ != nullptr; }

  // Write the entries, oldest first, and free the buffer (tracing stays off). With no
  // entries no file is made. 0, or a negated file code (the buffer is freed anyway).
  //   inHex   control bytes and the space as [hh] instead of [decimal]
  //   allHex  every byte as [hh]
  std::int32_t DumpTrace(const std::string& fileName, bool inHex, bool allHex);
  std::int32_t AppendTrace(const std::string& fileName, bool inHex, bool allHex);
  std::int32_t DumpTracePrim(const std::string& fileName, bool append, bool inHex, bool allHex);

 private:
  std::unique_ptr<std::uint8_t[]> buffer_;  // two bytes per entry: kind, byte
  std::uint32_t size_ = 0;                  // entries
  std::uint32_t position_ = 0;              // next entry to write
  bool wrapped_ = false;
  bool on_ = false;
};

// ---- Dispatch log --------------------------------------------------------------------

// The header of a log entry; its data bytes follow it in the ring.
struct TDispatchRecord {
  TDispatchType drType = dtNone;
  TDispatchSubType drSubType = dstNone;
  std::uint32_t drTime = 0;      // ms since the time base
  std::uint32_t drData = 0;      // the data value
  std::uint32_t drMoreData = 0;  // data bytes that follow
};
// A header takes this many bytes of the ring (stored packed).
constexpr std::uint32_t kDispatchRecordSize = 14;

// What the dump writes above the entries.
struct TDispatchLogHeading {
  std::string Compiler;  // 13 characters
  std::string System;
  std::string Device;    // "COM3"
  std::string DateTime;  // "dd/mm/yy, hh:mm:ss"

  // The build's compiler, this system, the current local time.
  static TDispatchLogHeading Current(const std::string& device);
};

// The compiler that built the library and its version, padded or cut to 13 characters.
std::string SioCompilerName();
// The system from uname: name, release and machine ("Linux 6.1.0-18-amd64 x86_64").
std::string SioSystemDescription();

class TSioDispatchLog {
 public:
  // Clears an existing log, or allocates a ring of size bytes and a scratch buffer of
  // the same size (an entry's data always fits it); logging starts. ecBadArgument (and no
  // buffers) for 0 or more than kMaxDispatchLogSize bytes.
  std::int32_t InitDispatchLogging(std::uint32_t size);
  // While logging, stores the header and the data as one entry, dropping the oldest
  // entries for room. An entry of the log's size or more is refused whole.
  void AddDispatchEntry(TDispatchType type, TDispatchSubType subType, std::uint32_t dataValue,
                        const void* data, std::uint32_t dataLength);
  void AddStringToLog(std::string_view text) {
    AddDispatchEntry(dtUser, dstNone, 0, text.data(), static_cast<std::uint32_t>(text.size()));
  }
  void ClearDispatchLogging();
  void StartDispatchLogging();  // only with a buffer
  void StopDispatchLogging();
  void AbortDispatchLogging();  // stops and frees both buffers
  bool IsLogging() const { return on_; }
  bool HasBuffer() const { return ring_ != nullptr; }
  std::uint32_t Size() const { return size_; }
  std::uint32_t FreeBytes() const { return free_; }

  // The clock value (SlTimeGetTime64) the entry times count from, set at open.
  void SetTimeBase(std::uint64_t ms) { timeBase_ = ms; }
  // Milliseconds since the time base, kept to 32 bits.
  std::uint32_t GetDispatchTime() const;

  // Write the heading and the entries, oldest first, and free the buffers (logging off).
  // An empty log makes no file. 0, or a negated file code. inHex and allHex as for the
  // trace, except that user entries never go all hex.
  std::int32_t DumpDispatchLog(const std::string& fileName, bool inHex, bool allHex,
                               const TDispatchLogHeading& heading);
  std::int32_t AppendDispatchLog(const std::string& fileName, bool inHex, bool allHex,
                                 const TDispatchLogHeading& heading);
  std::int32_t DumpDispatchLogPrim(const std::string& fileName, bool append, bool inHex, bool allHex,
                                   const TDispatchLogHeading& heading);

 private:
  void PutBytes(const std::uint8_t* bytes, std::uint32_t count);
  void GetBytes(std::uint8_t* bytes, std::uint32_t count);  // from the tail, advancing it
  // Removes the oldest entry; its data goes to the scratch buffer when keepData is set.
  // False when the log is empty.
  bool PopLastEntry(TDispatchRecord& header, bool keepData);

  std::unique_ptr<std::uint8_t[]> ring_;
  std::unique_ptr<std::uint8_t[]> scratch_;
  std::uint32_t size_ = 0;
  std::uint32_t head_ = 0;  // next free byte
  std::uint32_t tail_ = 0;  // oldest entry
  std::uint32_t free_ = 0;
  // The dispatcher sets it at each open; until then times count from the log's creation.
  std::uint64_t timeBase_ = SlTimeGetTime64();
  bool on_ = false;
};
