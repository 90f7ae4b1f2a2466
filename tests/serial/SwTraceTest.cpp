#include "serial/SwTrace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "serial/SlConst.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Golden(const std::string& name) {
  const fs::path path = fs::path(__FILE__).parent_path() / "golden" / name;
  EXPECT_TRUE(fs::exists(path)) << path;
  return ReadFile(path);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kvx-trace-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made ? made : "/tmp";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct TraceEntry {
  char kind;
  std::uint8_t byte;
};
using TraceEntries = std::vector<TraceEntry>;

TraceEntries Bytes(char kind, std::string_view bytes) {
  TraceEntries entries;
  for (char c : bytes) entries.push_back({kind, static_cast<std::uint8_t>(c)});
  return entries;
}

TraceEntries operator+(TraceEntries a, const TraceEntries& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class TraceFiles : public ::testing::Test {
 protected:
  // Records the entries in a ring of size entries and returns the dump's text.
  std::string Dump(const TraceEntries& entries, bool inHex, bool allHex, std::uint32_t size = 1000) {
    TSioTrace trace;
    EXPECT_EQ(trace.InitTracing(size), 0);
    for (const TraceEntry& e : entries) trace.AddTraceEntry(e.kind, e.byte);
    const std::string file = dir_.Sub("dump.trc");
    EXPECT_EQ(trace.DumpTrace(file, inHex, allHex), 0);
    EXPECT_FALSE(trace.HasBuffer());
    EXPECT_FALSE(trace.IsTracing());
    return ReadFile(file);
  }

  TempDir dir_;
};

// The received bytes 01 12 34 03 and the answer 01 99 FD 03 of a panel.
const TraceEntries kPanelExchange = Bytes('R', "\x01\x12\x34\x03") + Bytes('T', "\x01\x99\xFD\x03");

TEST_F(TraceFiles, DumpsMatchTheGoldenFiles) {
  struct Case {
    const char* golden;
    TraceEntries entries;
    bool inHex;
    bool allHex;
  };
  const Case cases[] = {
      {"trace_receive_transmit.txt", Bytes('R', "abc") + Bytes('T', "\r\n"), false, false},
      {"trace_panel_decimal.txt", kPanelExchange, false, false},
      {"trace_panel_hex.txt", kPanelExchange, true, false},
      {"trace_panel_allhex.txt", kPanelExchange, false, true},
      {"trace_panel_allhex.txt", kPanelExchange, true, true},
  };
  for (const Case& c : cases) EXPECT_EQ(Dump(c.entries, c.inHex, c.allHex), Golden(c.golden)) << c.golden;
}

TEST_F(TraceFiles, BytesHeadingsAndLineBreaks) {
  const std::string x78(78, 'x');
  std::string hex19;
  for (int i = 0; i < 19; ++i) hex19 += "[01]";
  std::string dec26;
  for (int i = 0; i < 26; ++i) dec26 += "[1]";
  struct Case {
    const char* name;
    TraceEntries entries;
    bool inHex;
    bool allHex;
    std::string expected;
  };
  const std::string edges = "\x09\x1F !~\x7F\xFF";
  const Case cases[] = {
      {"decimal", Bytes('R', edges), false, false, "Receive: \n[9][31] !~[127][255]\n"},
      {"hex brackets the space", Bytes('R', edges), true, false, "Receive: \n[09][1F][20]!~[7F][FF]\n"},
      {"all hex", Bytes('R', edges), false, true, "Receive: \n[09][1F][20][21][7E][7F][FF]\n"},
      {"78 columns fit", Bytes('R', x78 + "y"), false, false, "Receive: \n" + x78 + "\ny\n"},
      {"19 hex items fit", Bytes('R', std::string(20, '\x01')), true, false, "Receive: \n" + hex19 + "\n[01]\n"},
      {"26 short decimals fit", Bytes('R', std::string(27, '\x01')), false, false,
       "Receive: \n" + dec26 + "\n[1]\n"},
      {"a new kind restarts the count", Bytes('R', std::string(70, 'x')) + Bytes('T', std::string(10, 'y')),
       false, false, "Receive: \n" + std::string(70, 'x') + "\n\nTransmit: \n" + std::string(10, 'y') + "\n"},
      {"special kinds", Bytes('E', "A") + Bytes('R', "b") + Bytes('E', "c"), false, false,
       "Special-E: \nA\n\nReceive: \nb\n\nSpecial-E: \nc\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Dump(c.entries, c.inHex, c.allHex), c.expected) << c.name;
}

TEST_F(TraceFiles, WrappedRingDumpsFromTheOldestSurvivingEntry) {
  struct Case {
    const char* name;
    std::uint32_t size;
    TraceEntries entries;
    std::string expected;
  };
  const Case cases[] = {
      {"overwritten twice", 4, Bytes('R', "abcdef"), "Receive: \ncdef\n"},
      {"oldest kind survives", 4, Bytes('T', "\x01\x02") + Bytes('R', "abc"), "Transmit: \n[2]\n\nReceive: \nabc\n"},
      {"exactly full", 3, Bytes('R', "abc"), "Receive: \nabc\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Dump(c.entries, false, false, c.size), c.expected) << c.name;
}

TEST_F(TraceFiles, NothingRecordedWritesNoFile) {
  const std::string file = dir_.Sub("empty.trc");
  TSioTrace trace;
  EXPECT_EQ(trace.DumpTrace(file, false, false), 0);  // never initialised

  ASSERT_EQ(trace.InitTracing(10), 0);
  trace.AddTraceEntry('R', 'a');
  ASSERT_EQ(trace.InitTracing(10), 0);  // clears what was there
  EXPECT_EQ(trace.DumpTrace(file, false, false), 0);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(trace.HasBuffer());
}

TEST_F(TraceFiles, AppendAddsToTheFileAndDumpReplacesIt) {
  const std::string file = dir_.Sub("append.trc");
  TSioTrace trace;
  auto record = [&](char kind, char byte) {
    ASSERT_EQ(trace.InitTracing(10), 0);
    trace.AddTraceEntry(kind, static_cast<std::uint8_t>(byte));
  };
  record('R', 'a');
  ASSERT_EQ(trace.AppendTrace(file, false, false), 0);  // a missing file is created
  record('T', 'b');
  ASSERT_EQ(trace.AppendTrace(file, false, false), 0);
  EXPECT_EQ(ReadFile(file), "Receive: \na\nTransmit: \nb\n");
  record('R', 'c');
  ASSERT_EQ(trace.DumpTrace(file, false, false), 0);
  EXPECT_EQ(ReadFile(file), "Receive: \nc\n");
}

TEST(Trace, SizeLimitsAndSwitches) {
  TSioTrace trace;
  EXPECT_EQ(trace.InitTracing(0), ecBadArgument);
  EXPECT_EQ(trace.InitTracing(kMaxTraceEntries + 1), ecBadArgument);
  EXPECT_FALSE(trace.HasBuffer());
  EXPECT_FALSE(trace.IsTracing());
  trace.StartTracing();
  EXPECT_FALSE(trace.IsTracing()) << "no buffer to record into";

  ASSERT_EQ(trace.InitTracing(kMaxTraceEntries), 0);
  EXPECT_TRUE(trace.IsTracing());
  trace.StopTracing();
  EXPECT_FALSE(trace.IsTracing());
  trace.StartTracing();
  EXPECT_TRUE(trace.IsTracing());
  trace.AbortTracing();
  EXPECT_FALSE(trace.HasBuffer());
  trace.StartTracing();
  EXPECT_FALSE(trace.IsTracing());
}

TEST_F(TraceFiles, ReInitKeepsTheRingSize) {
  TSioTrace trace;
  ASSERT_EQ(trace.InitTracing(2), 0);
  ASSERT_EQ(trace.InitTracing(100), 0);
  for (char c : std::string("abc")) trace.AddTraceEntry('R', static_cast<std::uint8_t>(c));
  const std::string file = dir_.Sub("reinit.trc");
  ASSERT_EQ(trace.DumpTrace(file, false, false), 0);
  EXPECT_EQ(ReadFile(file), "Receive: \nbc\n");
}

// ---- Dispatch log --------------------------------------------------------------------

struct LogEntry {
  TDispatchType type;
  TDispatchSubType subType;
  std::uint32_t value;
  std::string data;
};

void Add(TSioDispatchLog& log, const LogEntry& e) {
  log.AddDispatchEntry(e.type, e.subType, e.value, e.data.empty() ? nullptr : e.data.data(),
                       static_cast<std::uint32_t>(e.data.size()));
}

std::string Le32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

// Whether text has the shape of pattern, where '9' stands for any digit.
bool HasShape(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

// The time column: blanks, then at least four digits, a point and three digits.
bool IsTimeColumn(const std::string& column) {
  const std::size_t start = column.find_first_not_of(' ');
  if (start == std::string::npos || column.size() - start < 8) return false;
  const std::string t = column.substr(start);
  return HasShape(t, std::string(t.size() - 4, '9') + ".999");
}

// Masks what changes from run to run: the compiler, system and date lines of the heading
// (unless the heading was given) and the time column of the entries, after checking
// their shape.
std::string MaskLog(const std::string& text, bool maskHeading = true) {
  std::string out;
  bool inEntries = false;
  for (std::string line : Lines(text)) {
    auto masked = [&](const std::string& label) {
      if (line.rfind(label, 0) != 0) return false;
      const std::string value = line.substr(label.size());
      if (label == "Compiler : ") {
        EXPECT_EQ(value.size(), 13u) << line;
      } else if (label == "Date/time: ") {
        EXPECT_TRUE(HasShape(value, "99/99/99, 99:99:99")) << line;
      } else {
        EXPECT_FALSE(value.empty()) << line;
      }
      line = label + "<masked>";
      return true;
    };
    if (line == "SIO v1.00") inEntries = false;  // an appended dump starts again
    if (!inEntries) {
      if (maskHeading) masked("Compiler : ") || masked("Operating System : ") || masked("Date/time: ");
      inEntries = line.rfind("--------", 0) == 0;
    } else if (line.rfind(std::string(44, ' '), 0) != 0) {
      EXPECT_TRUE(line.size() >= 8 && IsTimeColumn(line.substr(0, 8))) << line;
      line.replace(0, 8, "####.###");
    }
    out += line + "\n";
  }
  return out;
}

class DispatchLogFiles : public ::testing::Test {
 protected:
  std::string Dump(TSioDispatchLog& log, bool inHex = false, bool allHex = false) {
    const std::string file = dir_.Sub("dump.log");
    EXPECT_EQ(log.DumpDispatchLog(file, inHex, allHex, TDispatchLogHeading::Current("COM3")), 0);
    EXPECT_FALSE(log.HasBuffer());
    EXPECT_FALSE(log.IsLogging());
    return ReadFile(file);
  }

  // The entry lines of a dump, continuation lines included, time column masked.
  std::vector<std::string> EntryLines(TSioDispatchLog& log, bool inHex = false, bool allHex = false) {
    const std::vector<std::string> lines = Lines(MaskLog(Dump(log, inHex, allHex)));
    EXPECT_GE(lines.size(), 7u);
    return std::vector<std::string>(lines.begin() + 7, lines.end());
  }

  TempDir dir_;
};

TEST_F(DispatchLogFiles, DumpMatchesTheGoldenFile) {
  const LogEntry entries[] = {
      {dtDispatch, dstReadCom, 3, "AB\r"},
      {dtDispatch, dstWriteCom, 2, "\r\n"},
      {dtTrigger, dstAvail, 16, ""},
      {dtTriggerAlloc, dstDataTrigger, 1, "OK"},
      {dtTriggerAlloc, dstStatusTrigger, 3, "\x03"},
      {dtTriggerDispose, dstStatusTrigger, 3, std::string(1, '\0')},
      {dtTriggerDataChange, dstTimerTrigger, 2, Le32(18)},
      {dtTriggerDataChange, dstTimerTrigger, 2, "Deactivated"},
      {dtDispatch, dstModemStatus, 0x31, "1"},
      {dtTelnet, dstSWill, 24, ""},
      {dtTelnet, dstRDo, 43, ""},
      {dtUser, dstNone, 0, "Port opened"},
      {dtDispatch, dstReadCom, 40, "0123456789012345678901234567890123456789"},
      {dtTriggerHandlerAlloc, dstWndHandler, 0xDEADBEEF, ""},
  };
  TSioDispatchLog log;
  ASSERT_EQ(log.InitDispatchLogging(10000), 0);
  log.SetTimeBase(SlTimeGetTime64());
  for (const LogEntry& e : entries) Add(log, e);
  EXPECT_EQ(MaskLog(Dump(log)), Golden("dispatch_log.txt"));
}

TEST(DispatchLogHeading, NamesThisBuildAndSystem) {
  const TDispatchLogHeading heading = TDispatchLogHeading::Current("COM7");
  EXPECT_EQ(heading.Device, "COM7");
  EXPECT_EQ(heading.Compiler.size(), 13u);
  EXPECT_NE(heading.Compiler.find_first_not_of(' '), std::string::npos);
  utsname u {};
  ASSERT_EQ(uname(&u), 0);
  EXPECT_EQ(heading.System.rfind(std::string(u.sysname) + " " + u.release, 0), 0u) << heading.System;
}

TEST_F(DispatchLogFiles, HexModesUserTextsAndBoundaries) {
  std::string hexRun;
  for (int i = 0; i < 8; ++i) hexRun += "[01]";
  const std::string indent(44, ' ');
  struct Case {
    const char* name;
    LogEntry entry;
    bool inHex;
    bool allHex;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"hex", {dtDispatch, dstReadCom, 3, "A \r"}, true, false,
       {"####.###  Dispatch  ReadCom       00000003  A[20][0D]"}},
      {"all hex", {dtDispatch, dstReadCom, 3, "A \r"}, false, true,
       {"####.###  Dispatch  ReadCom       00000003  [41][20][0D]"}},
      {"user text ignores all hex", {dtUser, dstNone, 0, "A \r"}, false, true,
       {"####.###  User                    00000000  A [13]"}},
      {"user text in hex", {dtUser, dstNone, 0, "A \r"}, true, true,
       {"####.###  User                    00000000  A[20][0D]"}},
      {"eight hex items a line", {dtDispatch, dstWriteCom, 20, std::string(20, '\x01')}, true, false,
       {"####.###  Dispatch  WriteCom      00000014  " + hexRun, indent + hexRun, indent + "[01][01][01][01]"}},
      {"modem status without bits", {dtDispatch, dstModemStatus, 0, "\x80"}, false, false,
       {"####.###  Dispatch  Modem status  00000000  [128] ()"}},
      {"modem status, all bits", {dtDispatch, dstModemStatus, 0xFF, "x"}, false, false,
       {"####.###  Dispatch  Modem status  000000ff  x (DCTS DDSR TERI DDCD CTS DSR RI DCD)"}},
      {"unknown status kind as bytes", {dtTriggerAlloc, dstStatusTrigger, 1, "\x09"}, false, false,
       {"####.###  TrigAllc  Status        00000001  [9]"}},
      {"status kind only for types 5 and 6", {dtTriggerDataChange, dstStatusTrigger, 1, Le32(1)}, false, false,
       {"####.###  TrDatChg  Status        00000001  [1][0][0][0]"}},
      {"last telnet option", {dtTelnet, dstSDo, 42, ""}, false, false,
       {"####.###  Telnet    Sent DO       0000002a   [Character Set]"}},
      {"telnet option with data", {dtTelnet, dstRWill, 1, "x"}, false, false,
       {"####.###  Telnet    Recv WILL     00000001  x"}},
  };
  for (const Case& c : cases) {
    TSioDispatchLog log;
    ASSERT_EQ(log.InitDispatchLogging(1000), 0);
    Add(log, c.entry);
    EXPECT_EQ(EntryLines(log, c.inHex, c.allHex), c.expected) << c.name;
  }
}

TEST_F(DispatchLogFiles, TimeIsMillisecondsSinceTheBaseIn32Bits) {
  struct Case {
    std::uint64_t sinceBase;
    const char* expected;
  };
  const Case cases[] = {
      {0, "0000.000  "},
      {1234, "0001.234  "},
      {12345, "0012.345  "},
      {(std::uint64_t{1} << 32) + 1234, "0001.234  "},
      {~std::uint64_t{0}, "4294967.295  "},  // a base 1 ms ahead of the clock
  };
  for (const Case& c : cases) {
    TSioDispatchLog log;
    ASSERT_EQ(log.InitDispatchLogging(1000), 0);
    // Retried until the clock did not move during the entry, so the time is exact.
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::uint64_t now = SlTimeGetTime64();
      log.SetTimeBase(now - c.sinceBase);
      log.AddStringToLog("x");
      if (SlTimeGetTime64() == now) break;
      log.ClearDispatchLogging();
    }
    const std::vector<std::string> lines = Lines(Dump(log));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[7].rfind(c.expected, 0), 0u) << lines[7];
  }
}

TEST_F(DispatchLogFiles, SmallRingKeepsTheNewestWholeEntries) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> dataLengths;  // entry i has value i + 1 and data of 'a' + i
    std::vector<std::uint32_t> kept;
    std::uint32_t freeBytes;
  };
  // Headers take 14 bytes of the 100-byte ring.
  const Case cases[] = {
      {"oldest dropped for room", {20, 20, 20, 20, 20}, {4, 5}, 32},
      {"data across the ring end", {20, 20, 20}, {2, 3}, 32},
      {"header across the ring end", {5, 5, 5, 5, 5, 5}, {2, 3, 4, 5, 6}, 5},
      {"one byte under the size", {20, 20, 85}, {3}, 1},
      {"the log's size refused whole", {20, 86}, {1}, 66},
      {"far too large refused whole", {20, 5000}, {1}, 66},
  };
  for (const Case& c : cases) {
    TSioDispatchLog log;
    ASSERT_EQ(log.InitDispatchLogging(100), 0);
    for (std::size_t i = 0; i < c.dataLengths.size(); ++i) {
      const std::string data(c.dataLengths[i], static_cast<char>('a' + i));
      Add(log, {dtDispatch, dstReadCom, static_cast<std::uint32_t>(i + 1), data});
    }
    EXPECT_EQ(log.FreeBytes(), c.freeBytes) << c.name;

    // Reassemble each entry's value and data from its lines.
    std::vector<std::uint32_t> values;
    std::vector<std::string> data;
    for (const std::string& line : EntryLines(log)) {
      ASSERT_GE(line.size(), 44u) << c.name;
      if (line.rfind(std::string(44, ' '), 0) != 0) {
        values.push_back(static_cast<std::uint32_t>(std::stoul(line.substr(34, 8), nullptr, 16)));
        data.emplace_back();
      }
      data.back() += line.substr(44);
    }
    EXPECT_EQ(values, c.kept) << c.name;
    for (std::size_t i = 0; i < values.size() && i < data.size(); ++i)
      EXPECT_EQ(data[i], std::string(c.dataLengths[values[i] - 1], static_cast<char>('a' + values[i] - 1)))
          << c.name << ", entry " << values[i];
  }
}

TEST_F(DispatchLogFiles, AppendAddsAWholeDumpAndEmptyLogsWriteNothing) {
  const std::string file = dir_.Sub("append.log");
  const TDispatchLogHeading heading{"GCC 12.2.0   ", "Linux", "COM1", "01/02/03, 04:05:06"};
  TSioDispatchLog log;
  EXPECT_EQ(log.DumpDispatchLog(file, false, false, heading), 0);  // never initialised
  ASSERT_EQ(log.InitDispatchLogging(1000), 0);
  EXPECT_EQ(log.DumpDispatchLog(file, false, false, heading), 0);  // no entries
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(log.HasBuffer());

  for (const char* text : {"first", "second"}) {
    ASSERT_EQ(log.InitDispatchLogging(1000), 0);
    log.AddStringToLog(text);
    ASSERT_EQ(log.AppendDispatchLog(file, false, false, heading), 0);
  }
  const std::string dump =
      "SIO v1.00\nCompiler : GCC 12.2.0   \nOperating System : Linux\nDevice: COM1\n"
      "Date/time: 01/02/03, 04:05:06\n"
      "Time      Type      SubType       Data      OtherData\n"
      "--------  --------  ------------  --------  ---------\n"
      "####.###  User                    00000000  ";
  EXPECT_EQ(MaskLog(ReadFile(file), false), dump + "first\n" + dump + "second\n");
}

TEST(DispatchLog, SizeLimitsAndSwitches) {
  TSioDispatchLog log;
  EXPECT_EQ(log.InitDispatchLogging(0), ecBadArgument);
  EXPECT_EQ(log.InitDispatchLogging(kMaxDispatchLogSize + 1), ecBadArgument);
  EXPECT_FALSE(log.HasBuffer());
  log.StartDispatchLogging();
  EXPECT_FALSE(log.IsLogging());

  ASSERT_EQ(log.InitDispatchLogging(100), 0);
  EXPECT_TRUE(log.IsLogging());
  log.StopDispatchLogging();
  log.AddStringToLog("paused");
  EXPECT_EQ(log.FreeBytes(), 100u) << "nothing is stored while paused";
  log.StartDispatchLogging();
  log.AddStringToLog("on");
  EXPECT_EQ(log.FreeBytes(), 100u - 14u - 2u);
  ASSERT_EQ(log.InitDispatchLogging(5000), 0);  // clears, keeps the size
  EXPECT_EQ(log.Size(), 100u);
  EXPECT_EQ(log.FreeBytes(), 100u);
  log.AbortDispatchLogging();
  EXPECT_FALSE(log.HasBuffer());
  EXPECT_FALSE(log.IsLogging());
  log.StartDispatchLogging();
  EXPECT_FALSE(log.IsLogging());
}

// ---- File errors -----------------------------------------------------------------------

TEST(TraceAndLogFiles, FileErrorsAreNegatedFileCodesAndFreeTheBuffers) {
  TempDir dir;
  const std::string plainFile = dir.Sub("plain");
  std::ofstream(plainFile) << "x";
  const std::string readOnly = dir.Sub("ro");
  ASSERT_TRUE(fs::create_directory(readOnly));
  ASSERT_EQ(::chmod(readOnly.c_str(), 0500), 0);
  struct Case {
    const char* name;
    std::string file;
    std::int32_t expected;
    bool needsNonRoot;
  };
  const Case cases[] = {
      {"missing folder", dir.Sub("missing/out.txt"), ecFileNotFound, false},
      {"through a file", plainFile + "/out.txt", ecPathNotFound, false},
      {"a folder", dir.Sub(""), ecAccessDenied, false},
      {"read-only folder", readOnly + "/out.txt", ecAccessDenied, true},
      {"full disk", "/dev/full", -101, false},
  };
  for (const Case& c : cases) {
    if (c.needsNonRoot && ::geteuid() == 0) continue;  // root writes anywhere
    for (bool append : {false, true}) {
      TSioTrace trace;
      ASSERT_EQ(trace.InitTracing(10), 0);
      trace.AddTraceEntry('R', 'a');
      EXPECT_EQ(trace.DumpTracePrim(c.file, append, false, false), c.expected) << c.name;
      EXPECT_FALSE(trace.HasBuffer()) << c.name;

      TSioDispatchLog log;
      ASSERT_EQ(log.InitDispatchLogging(100), 0);
      log.AddStringToLog("a");
      EXPECT_EQ(log.DumpDispatchLogPrim(c.file, append, false, false, TDispatchLogHeading::Current("COM1")),
                c.expected)
          << c.name;
      EXPECT_FALSE(log.HasBuffer()) << c.name;
    }
  }
  EXPECT_FALSE(fs::exists(dir.Sub("missing")));
}

}  // namespace
