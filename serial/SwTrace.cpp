#include "serial/SwTrace.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "serial/SlConst.h"
#include "serial/SlStrMap.h"

namespace {

// Codes of the log's texts in the code table.
constexpr std::int32_t kTypeTexts = 15001;
constexpr std::int32_t kSubTypeTexts = 15100;
constexpr std::int32_t kColumnLine = 15501;
constexpr std::int32_t kDashLine = 15502;
constexpr std::int32_t kModemBitNames = 15601;
constexpr std::int32_t kTelnetOptions = 15700;
constexpr std::uint32_t kLastTelnetOption = 42;

// A data item goes onto the current line while the column count stays within this.
constexpr std::uint32_t kLastColumn = 78;
// The log's data column: the entry prefix is 44 characters wide and the count is kept
// one ahead of the real column, as the trace's is not.
constexpr std::uint32_t kLogDataIndent = 44;
constexpr std::uint32_t kLogDataCount = 45;

// Buffered text output to one file that remembers the first error.
class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

  // "a" creates a missing file, so appending needs no existence check.
  std::int32_t Open(const std::string& name, bool append) {
    errno = 0;
    file_ = std::fopen(name.c_str(), append ? "a" : "w");
    if (file_ == nullptr) return SioFileErrorCode(errno);
    return 0;
  }

  void Put(std::string_view text) {
    pending_.append(text);
    if (pending_.size() >= kFlushAt) Flush();
  }
  void Put(char c) {
    pending_.push_back(c);
    if (pending_.size() >= kFlushAt) Flush();
  }

  std::int32_t Close() {
    Flush();
    errno = 0;
    if (std::fclose(file_) != 0 && error_ == 0) error_ = SioFileErrorCode(errno);
    file_ = nullptr;
    return error_;
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;

  void Flush() {
    if (!pending_.empty() && error_ == 0) {
      errno = 0;
      if (std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size())
        error_ = SioFileErrorCode(errno);
    }
    pending_.clear();
  }

  std::FILE* file_ = nullptr;
  std::string pending_;
  std::int32_t error_ = 0;
};

// One byte as the trace writes it; returns the item's width.
std::size_t FormatByte(char (&out)[8], std::uint8_t b, bool inHex, bool allHex) {
  // In hex the space is bracketed too, so that trailing blanks stay visible.
  const bool plain = !allHex && b >= (inHex ? 0x21 : 0x20) && b <= 0x7E;
  if (plain) {
    out[0] = static_cast<char>(b);
    out[1] = '\0';
    return 1;
  }
  const int n = (allHex || inHex) ? std::snprintf(out, sizeof out, "[%02X]", static_cast<unsigned>(b))
                                        : std::snprintf(out, sizeof out, "[%u]", static_cast<unsigned>(b));
  return static_cast<std::size_t>(n);
}

std::string_view TableText(std::int32_t code) { return MessageNumberToString(code); }

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

void PadRight(std::string& line, std::string_view text, std::size_t width) {
  line.append(text);
  if (text.size() < width) line.append(width - text.size(), ' ');
}

// The entry's time: milliseconds as at least seven digits with a point before the last
// three, right-aligned in eight columns (1234 ms: "0001.234").
std::string TimeText(std::uint32_t ms) {
  char digits[16];
  const int n = std::snprintf(digits, sizeof digits, "%07u", static_cast<unsigned>(ms));
  std::string text(digits, static_cast<std::size_t>(n) - 3);
  text.push_back('.');
  text.append(digits + n - 3, 3);
  if (text.size() < 8) text.insert(0, 8 - text.size(), ' ');
  return text;
}

const char* StatusKindText(std::uint8_t kind) {
  static const char* const kTexts[] = {"(Not active)",         "(Modem status)",        "(Line status)",
                                       "(Output buffer free)", "(Output buffer used)", "(Output sent)"};
  return kind < std::size(kTexts) ? kTexts[kind] : nullptr;
}

void WriteLogEntry(TextFile& file, const TDispatchRecord& header, const std::uint8_t* data, bool inHex,
                   bool allHex) {
  std::string line = TimeText(header.drTime);
  line.append("  ");
  PadRight(line, header.drType < DispatchTypeCount ? TableText(kTypeTexts + header.drType) : "", 8);
  line.append("  ");
  PadRight(line, TableText(kSubTypeTexts + header.drSubType), 12);
  char value[16];
  std::snprintf(value, sizeof value, "  %08x  ", static_cast<unsigned>(header.drData));
  line.append(value);

  const std::uint32_t length = header.drMoreData;
  const char* kindText = nullptr;
  if (length > 0 && header.drSubType == dstStatusTrigger &&
      (header.drType == dtTriggerAlloc || header.drType == dtTriggerDispose))
    kindText = StatusKindText(data[0]);
  if (kindText != nullptr) {
    line.append(kindText);
  } else if (length > 0) {
    const bool hexAll = allHex && header.drType != dtUser;  // user texts stay readable
    std::uint32_t column = kLogDataCount;
    char item[8];
    for (std::uint32_t i = 0; i < length; ++i) {
      const std::size_t width = FormatByte(item, data[i], inHex, hexAll);
      column += static_cast<std::uint32_t>(width);
      if (column > kLastColumn) {
        line.push_back('\n');
        line.append(kLogDataIndent, ' ');
        column = static_cast<std::uint32_t>(width) + kLogDataCount;
      }
      line.append(item, width);
    }
  }

  if (length > 0 && header.drSubType == dstModemStatus) {
    std::string names;
    for (int bit = 0; bit < 8; ++bit)
      if ((header.drData >> bit) & 1U) names.append(TableText(kModemBitNames + bit));
    line.append(" (");
    line.append(Trim(names));
    line.push_back(')');
  }
  if (length == 0 && header.drType == dtTelnet) {
    line.append(" [");
    if (header.drData <= kLastTelnetOption)
      line.append(Trim(TableText(kTelnetOptions + static_cast<std::int32_t>(header.drData))));
    line.push_back(']');
  }
  line.push_back('\n');
  file.Put(line);
}

}  // namespace

std::int32_t SioFileErrorCode(int err) {
  switch (err) {
    case ENOENT:
      return ecFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ecPathNotFound;
    case EMFILE:
    case ENFILE:
      return ecTooManyFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
      return ecAccessDenied;
    case EBADF:
      return ecInvalidHandle;
    case ENOMEM:
      return ecOutOfMemory;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return -101;  // disk is full
    case EROFS:
      return -150;  // write-protected
    case EIO:
      return -160;  // device write fault
    default:
      return -162;  // general failure
  }
}

// ---- Trace ---------------------------------------------------------------------------

std::int32_t TSioTrace::InitTracing(std::uint32_t size) {
  if (buffer_) {
    ClearTracing();
  } else {
    if (size == 0 || size > kMaxTraceEntries) return ecBadArgument;
    buffer_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(size) * 2);
    size_ = size;
    ClearTracing();
  }
  on_ = true;
  return 0;
}

void TSioTrace::AddTraceEntry(char kind, std::uint8_t byte) {
  if (!buffer_) return;
  buffer_[static_cast<std::size_t>(position_) * 2] = static_cast<std::uint8_t>(kind);
  buffer_[static_cast<std::size_t>(position_) * 2 + 1] = byte;
  if (++position_ == size_) {
    position_ = 0;
    wrapped_ = true;
  }
}

void TSioTrace::ClearTracing() {
  position_ = 0;
  wrapped_ = false;
}

void TSioTrace::StartTracing() {
  if (buffer_) on_ = true;
}

void TSioTrace::StopTracing() { on_ = false; }

void TSioTrace::AbortTracing() {
  on_ = false;
  buffer_.reset();
  size_ = 0;
  ClearTracing();
}

std::int32_t TSioTrace::DumpTrace(const std::string& fileName, bool inHex, bool allHex) {
  return DumpTracePrim(fileName, false, inHex, allHex);
}

std::int32_t TSioTrace::AppendTrace(const std::string& fileName, bool inHex, bool allHex) {
  return DumpTracePrim(fileName, true, inHex, allHex);
}

std::int32_t TSioTrace::DumpTracePrim(const std::string& fileName, bool append, bool inHex, bool allHex) {
  if (!buffer_) return 0;
  on_ = false;
  if (!wrapped_ && position_ == 0) {
    AbortTracing();
    return 0;
  }
  TextFile file;
  if (const std::int32_t code = file.Open(fileName, append); code != 0) {
    AbortTracing();
    return code;
  }

  const std::uint32_t count = wrapped_ ? size_ : position_;
  std::uint32_t at = wrapped_ ? position_ : 0;
  std::uint32_t column = 0;
  char lastKind = 0;
  char item[8];
  for (std::uint32_t i = 0; i < count; ++i) {
    const char kind = static_cast<char>(buffer_[static_cast<std::size_t>(at) * 2]);
    const std::uint8_t byte = buffer_[static_cast<std::size_t>(at) * 2 + 1];
    if (++at == size_) at = 0;

    if (i == 0 || kind != lastKind) {
      if (i != 0) file.Put("\n\n");
      column = 0;
      if (kind == 'R') {
        file.Put("Receive: ");
      } else if (kind == 'T') {
        file.Put("Transmit: ");
      } else {
        file.Put("Special-");
        file.Put(kind);
        file.Put(": ");
      }
      file.Put('\n');
      lastKind = kind;
    }
    const std::size_t width = FormatByte(item, byte, inHex, allHex);
    column += static_cast<std::uint32_t>(width);
    if (column > kLastColumn) {
      file.Put('\n');
      column = static_cast<std::uint32_t>(width);
    }
    file.Put(std::string_view(item, width));
  }
  file.Put('\n');

  const std::int32_t code = file.Close();
  AbortTracing();
  return code;
}

// ---- Dispatch log --------------------------------------------------------------------

std::string SioCompilerName() {
  char text[32];
#if defined(__clang__)
  std::snprintf(text, sizeof text, "Clang %d.%d.%d", __clang_major__, __clang_minor__, __clang_patchlevel__);
#elif defined(__GNUC__)
  std::snprintf(text, sizeof text, "GCC %d.%d.%d", __GNUC__, __GNUC_MINOR__, __GNUC_PATCHLEVEL__);
#else
  std::snprintf(text, sizeof text, "C++ %ld", static_cast<long>(__cplusplus));
#endif
  std::string name(text);
  name.resize(13, ' ');
  return name;
}

std::string SioSystemDescription() {
  utsname u {};
  if (uname(&u) != 0) return "Unknown";
  std::string text = u.sysname;
  text.append(" ").append(u.release).append(" ").append(u.machine);
  return text;
}

TDispatchLogHeading TDispatchLogHeading::Current(const std::string& device) {
  TDispatchLogHeading heading;
  heading.Compiler = SioCompilerName();
  heading.System = SioSystemDescription();
  heading.Device = device;
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  char text[64] = "";
  if (localtime_r(&now, &local) != nullptr)
    std::snprintf(text, sizeof text, "%02d/%02d/%02d, %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec);
  heading.DateTime = text;
  return heading;
}

std::int32_t TSioDispatchLog::InitDispatchLogging(std::uint32_t size) {
  if (ring_) {
    ClearDispatchLogging();
  } else {
    if (size == 0 || size > kMaxDispatchLogSize) return ecBadArgument;
    ring_ = std::make_unique<std::uint8_t[]>(size);
    scratch_ = std::make_unique<std::uint8_t[]>(size);
    size_ = size;
    ClearDispatchLogging();
  }
  on_ = true;
  return 0;
}

std::uint32_t TSioDispatchLog::GetDispatchTime() const {
  return static_cast<std::uint32_t>((SlTimeGetTime64() - timeBase_) & 0xFFFFFFFFU);
}

void TSioDispatchLog::PutBytes(const std::uint8_t* bytes, std::uint32_t count) {
  const std::uint32_t first = std::min(count, size_ - head_);
  std::memcpy(ring_.get() + head_, bytes, first);
  std::memcpy(ring_.get(), bytes + first, count - first);
  head_ = count - first > 0 ? count - first : head_ + first;
  if (head_ == size_) head_ = 0;
}

void TSioDispatchLog::GetBytes(std::uint8_t* bytes, std::uint32_t count) {
  const std::uint32_t first = std::min(count, size_ - tail_);
  if (bytes != nullptr) {
    std::memcpy(bytes, ring_.get() + tail_, first);
    std::memcpy(bytes + first, ring_.get(), count - first);
  }
  tail_ = count - first > 0 ? count - first : tail_ + first;
  if (tail_ == size_) tail_ = 0;
}

void TSioDispatchLog::AddDispatchEntry(TDispatchType type, TDispatchSubType subType, std::uint32_t dataValue,
                                       const void* data, std::uint32_t dataLength) {
  if (!on_ || !ring_) return;
  if (data == nullptr) dataLength = 0;
  // Header and data go in together or not at all, so the ring never holds a header
  // announcing data that is not there.
  const std::uint64_t length = std::uint64_t{kDispatchRecordSize} + dataLength;
  if (length >= size_) return;
  while (free_ < length) {
    TDispatchRecord dropped;
    PopLastEntry(dropped, false);
  }

  std::uint8_t header[kDispatchRecordSize];
  const std::uint32_t time = GetDispatchTime();
  header[0] = type;
  header[1] = subType;
  std::memcpy(header + 2, &time, 4);
  std::memcpy(header + 6, &dataValue, 4);
  std::memcpy(header + 10, &dataLength, 4);
  PutBytes(header, kDispatchRecordSize);
  if (dataLength > 0) PutBytes(static_cast<const std::uint8_t*>(data), dataLength);
  free_ -= static_cast<std::uint32_t>(length);
}

bool TSioDispatchLog::PopLastEntry(TDispatchRecord& header, bool keepData) {
  if (free_ == size_) return false;
  std::uint8_t bytes[kDispatchRecordSize];
  GetBytes(bytes, kDispatchRecordSize);
  header.drType = static_cast<TDispatchType>(bytes[0]);
  header.drSubType = static_cast<TDispatchSubType>(bytes[1]);
  std::memcpy(&header.drTime, bytes + 2, 4);
  std::memcpy(&header.drData, bytes + 6, 4);
  std::memcpy(&header.drMoreData, bytes + 10, 4);
  GetBytes(keepData ? scratch_.get() : nullptr, header.drMoreData);
  free_ += kDispatchRecordSize + header.drMoreData;
  return true;
}

void TSioDispatchLog::ClearDispatchLogging() {
  head_ = 0;
  tail_ = 0;
  free_ = size_;
}

void TSioDispatchLog::StartDispatchLogging() {
  if (ring_) on_ = true;
}

void TSioDispatchLog::StopDispatchLogging() { on_ = false; }

void TSioDispatchLog::AbortDispatchLogging() {
  on_ = false;
  ring_.reset();
  scratch_.reset();
  size_ = 0;
  ClearDispatchLogging();
}

std::int32_t TSioDispatchLog::DumpDispatchLog(const std::string& fileName, bool inHex, bool allHex,
                                              const TDispatchLogHeading& heading) {
  return DumpDispatchLogPrim(fileName, false, inHex, allHex, heading);
}

std::int32_t TSioDispatchLog::AppendDispatchLog(const std::string& fileName, bool inHex, bool allHex,
                                                const TDispatchLogHeading& heading) {
  return DumpDispatchLogPrim(fileName, true, inHex, allHex, heading);
}

std::int32_t TSioDispatchLog::DumpDispatchLogPrim(const std::string& fileName, bool append, bool inHex,
                                                  bool allHex, const TDispatchLogHeading& heading) {
  if (!ring_ || free_ == size_) {
    AbortDispatchLogging();
    return 0;
  }
  on_ = false;
  TextFile file;
  if (const std::int32_t code = file.Open(fileName, append); code != 0) {
    AbortDispatchLogging();
    return code;
  }

  std::string lines = "SIO v1.00\n";
  lines.append("Compiler : ").append(heading.Compiler).append("\n");
  lines.append("Operating System : ").append(heading.System).append("\n");
  lines.append("Device: ").append(heading.Device).append("\n");
  lines.append("Date/time: ").append(heading.DateTime).append("\n");
  lines.append(TableText(kColumnLine)).append("\n");
  lines.append(TableText(kDashLine)).append("\n");
  file.Put(lines);

  TDispatchRecord header;
  while (PopLastEntry(header, true)) WriteLogEntry(file, header, scratch_.get(), inHex, allHex);

  const std::int32_t code = file.Close();
  AbortDispatchLogging();
  return code;
}
