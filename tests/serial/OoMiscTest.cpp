#include "serial/OoMisc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/SerialTestSupport.h"
#include "serial/SwMsgWindow.h"

namespace {

using serialtest::BlockingSwitches;

using Clock = std::chrono::steady_clock;

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// ---- Ticks and timers ----------------------------------------------------------------

TEST(TickConversion, TruncatesLikeTheTickClock) {
  struct Case {
    std::int32_t in, secs2Ticks, ticks2Secs, msecs2Ticks;
  } cases[] = {
      {0, 0, 0, 0},
      {1, 18, 0, 0},
      {10, 182, 1, 0},
      {54, 983, 3, 0},  // 54 ms is still less than one tick
      {55, 1001, 3, 1},
      {120, 2184, 7, 2},
      {182, 3313, 10, 3},
      {1000, 18206, 55, 18},
      {2184, 39763, 120, 39},
      // The products overflow 32 bits; the results do not.
      {2000000, 36413043, 109851, 36413},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Secs2Ticks(c.in), c.secs2Ticks);
    EXPECT_EQ(Ticks2Secs(c.in), c.ticks2Secs);
    EXPECT_EQ(MSecs2Ticks(c.in), c.msecs2Ticks);
  }
}

TEST(EventTimerTest, ZeroTicksExpireWhenTheTickClockMoves) {
  EventTimer timer;
  bool sawUnexpired = false;
  // Retried: the clock may tick between NewTimer and the first check, the more often the
  // more loaded the machine.
  for (int attempt = 0; attempt < 1000 && !sawUnexpired; ++attempt) {
    NewTimer(timer, 0);
    const bool expired = TimerExpired(timer);
    if (TickClock() == timer.StartTicks) {
      EXPECT_FALSE(expired);
      sawUnexpired = true;
    }
  }
  EXPECT_TRUE(sawUnexpired);
  const auto t0 = Clock::now();
  while (TickClock() == timer.StartTicks && MsSince(t0) < 60000) std::this_thread::yield();
  EXPECT_TRUE(TimerExpired(timer));
  EXPECT_EQ(RemainingTime(timer), 0);
}

TEST(EventTimerTest, LengthIsCappedAtTheWrapConstant) {
  EventTimer timer;
  NewTimer(timer, 0x7FFFFFFF);
  EXPECT_EQ(timer.ExpireTicks - timer.StartTicks, MaxTicks);
  EXPECT_LE(RemainingTime(timer), MaxTicks);
  EXPECT_FALSE(TimerExpired(timer));

  NewTimerSecs(timer, 120);
  EXPECT_EQ(timer.ExpireTicks - timer.StartTicks, 2184);
  EXPECT_EQ(RemainingTimeInSecs(timer), 120);
}

// Timers that started longer ago than a 32-bit millisecond clock can count (24.8 days)
// behave like any other.
TEST(EventTimerTest, NoWrapArithmeticOnOldTimers) {
  const std::int64_t now = TickClock();
  EventTimer running{now - MaxTicks - 1000, now + 1000};
  EXPECT_FALSE(TimerExpired(running));
  EXPECT_NEAR(RemainingTime(running), 1000, 2);
  EXPECT_NEAR(ElapsedTime(running), MaxTicks + 1000, 2);

  EventTimer over{now - 2 * static_cast<std::int64_t>(MaxTicks), now - 5};
  EXPECT_TRUE(TimerExpired(over));
  EXPECT_EQ(RemainingTime(over), 0);
  EXPECT_GE(ElapsedTimeInSecs(over), Ticks2Secs(MaxTicks));
}

// ---- Waits ----------------------------------------------------------------------------

class WaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wnd_ = CreateMsgWindow("wait", [this](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
      handled_.push_back(msg);
      return 0;
    });
  }
  void TearDown() override {
    DestroyMsgWindow(wnd_);
    TakeQuitMessage(nullptr);
  }
  HWND wnd_ = 0;
  std::vector<std::uint32_t> handled_;
};

// At once: without blocking at all, which a sleep of even one tick would.
TEST_F(WaitTest, NoTicksReturnAtOnceWithoutPumping) {
  ASSERT_TRUE(PostMessage(wnd_, 0x7E01, 0, 0));
  for (std::int32_t ticks : {0, -1}) {
    const long before = BlockingSwitches();
    EXPECT_EQ(DelayTicks(ticks, true), 0);
    EXPECT_EQ(BlockingSwitches() - before, 0) << ticks << " ticks";
  }
  EXPECT_TRUE(handled_.empty());
  EXPECT_TRUE(HasPendingMessages());
  while (PumpOneMessage() != 0) {
  }
}

// Never shorter than asked; how much longer depends on the machine's load.
TEST_F(WaitTest, DelaysSleepRatherThanSpin) {
  struct Case {
    const char* name;
    int (*wait)();
    double minMs;
  } cases[] = {
      // Expiry means the tick clock moved past start + 4: at least 4 ticks.
      {"DelayTicks", [] { return DelayTicks(4, false); }, 4 * 55 - 1},
      {"DelayTicks yielding", [] { return DelayTicks(4, true); }, 4 * 55 - 1},
      {"DelayMS", [] { return static_cast<int>(DelayMS(120)); }, 120},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const double cpu0 = ThreadCpuMs();
    const auto t0 = Clock::now();
    c.wait();
    const double wall = MsSince(t0);
    const double cpu = ThreadCpuMs() - cpu0;
    EXPECT_GE(wall, c.minMs);
    EXPECT_LT(cpu, wall * 0.2) << "cpu " << cpu << " ms of " << wall << " ms";
  }
  EXPECT_EQ(DelayMS(0), 0U);
}

TEST_F(WaitTest, YieldingDelayDeliversMessagesAsTheyCome) {
  for (std::uint32_t m : {0x7E01U, 0x7E02U, 0x7E03U}) ASSERT_TRUE(PostMessage(wnd_, m, 0, 0));
  // The late message ends the delay with a quit message, so it is delivered during the delay
  // however late it comes; a delay that delivered nothing would run its full minute.
  const HWND last = CreateMsgWindow("last", [this](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
    handled_.push_back(msg);
    PostQuitMessage(5);
    return 0;
  });
  std::thread late([last] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    PostMessage(last, 0x7E04, 0, 0);
  });
  EXPECT_EQ(DelayTicks(Secs2Ticks(60), true), 18);
  late.join();
  DestroyMsgWindow(last);
  int code = 0;
  EXPECT_TRUE(TakeQuitMessage(&code));
  EXPECT_EQ(code, 5);
  EXPECT_EQ(handled_, (std::vector<std::uint32_t>{0x7E01, 0x7E02, 0x7E03, 0x7E04}));
  // Without yield nothing is delivered.
  ASSERT_TRUE(PostMessage(wnd_, 0x7E05, 0, 0));
  EXPECT_EQ(DelayTicks(1, false), 0);
  EXPECT_EQ(handled_.size(), 4U);
  EXPECT_EQ(SafeYield(), 0x7E05);
}

// Stopped at once: without blocking, which its 10 s of short waits for messages would.
TEST_F(WaitTest, QuitMessageStopsAYieldingDelayAndStaysQueued) {
  ASSERT_TRUE(PostMessage(wnd_, 0x7E01, 0, 0));
  PostQuitMessage(4);
  const long before = BlockingSwitches();
  EXPECT_EQ(DelayTicks(Secs2Ticks(10), true), 18);
  EXPECT_LT(BlockingSwitches() - before, 10);
  EXPECT_EQ(handled_, std::vector<std::uint32_t>{0x7E01});
  int code = 0;
  EXPECT_TRUE(TakeQuitMessage(&code));
  EXPECT_EQ(code, 4);
}

// ---- Flags, pointers, texts ------------------------------------------------------------

TEST(Flags, SetClearAndTest) {
  std::uint32_t f = 0x80000001U;
  SetFlag(f, 0x30);
  ClearFlag(f, 0x80000000U);
  EXPECT_EQ(f, 0x31U);
  EXPECT_TRUE(FlagIsSet(f, 0x10 | 0x400));
  EXPECT_FALSE(FlagIsSet(f, 0x400));
  std::uint8_t b = 0xFF;
  ClearByteFlag(b, 0x81);
  SetByteFlag(b, 0x01);
  EXPECT_EQ(b, 0x7F);
  EXPECT_FALSE(ByteFlagIsSet(b, 0x80));
  EXPECT_EQ(MinWord(70000, 5), 5U);

  unsigned char bytes[9] = {0x00, 0xFF, 0x0F, 0xA5, 0x01, 0x02, 0x03, 0x80, 0x42};
  NotBuffer(bytes, 7);  // one word of four and a remainder of three
  const unsigned char want[9] = {0xFF, 0x00, 0xF0, 0x5A, 0xFE, 0xFD, 0xFC, 0x80, 0x42};
  EXPECT_EQ(0, std::memcmp(bytes, want, sizeof bytes));
  EXPECT_EQ(GetPtr(bytes, 3), bytes + 3);
}

TEST(Str2LongZTest, AcceptsOnlyWholeNumbersInRange) {
  struct Case {
    const char* text;
    bool ok;
    std::int32_t value;
  } cases[] = {
      {"123", true, 123},           {"-5", true, -5},
      {"+7", true, 7},              {"0", true, 0},
      {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},     {"", false, 0},
      {"-", false, 0},              {"+", false, 0},
      {"+-5", false, 0},            {"12a", false, 0},
      {" 1", false, 0},             {"1 ", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::int32_t n = 99;
    EXPECT_EQ(Str2LongZ(c.text, n), c.ok);
    EXPECT_EQ(n, c.ok ? c.value : 99);  // untouched on failure
  }
  EXPECT_EQ(Long2StrZ(-2147483647 - 1), "-2147483648");
}

TEST(FileNames, SplitAtSlash) {
  struct Case {
    const char* path;
    const char* pathname;
    const char* filename;
    const char* extension;
    const char* name;
  } cases[] = {
      {"/dir/file.txt", "/dir", "file.txt", "txt", "file"},
      {"/file.txt", "/", "file.txt", "txt", "file"},
      {"file.txt", "", "file.txt", "txt", "file"},
      {"/a.b/file", "/a.b", "file", "", "file"},  // a dot in a folder is no extension
      {"d/page.html", "d", "page.html", "htm", "page"},
      {"arch.tar.gz", "", "arch.tar.gz", "gz", "arch"},
      {"/dir/", "/dir", "", "", ""},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(JustPathnameZ(c.path), c.pathname);
    EXPECT_EQ(JustFilenameZ(c.path), c.filename);
    EXPECT_EQ(JustExtensionZ(c.path), c.extension);
    EXPECT_EQ(JustName(c.path), c.name);
  }
  EXPECT_EQ(JustFilenameZ("/d/" + std::string(300, 'n')).size(), 255U);
}

TEST(FileNames, ExtensionsAndSlashes) {
  EXPECT_EQ(ForceExtensionZ("/a.b/file", "trc"), "/a.b/file.trc");
  EXPECT_EQ(ForceExtensionZ("/a/f.old", "new"), "/a/f.new");
  EXPECT_EQ(DefaultExtensionZ("/a.b/f", "log"), "/a.b/f.log");
  EXPECT_EQ(DefaultExtensionZ("f.txt", "log"), "f.txt");
  EXPECT_EQ(AddBackSlashZ(""), "");
  EXPECT_EQ(AddBackSlashZ("/tmp"), "/tmp/");
  EXPECT_EQ(AddBackSlashZ("/tmp/"), "/tmp/");
  EXPECT_EQ(AddBackSlash("\"/my dir\""), "\"/my dir/\"");
  EXPECT_EQ(AddBackSlash("\"/my dir/\""), "\"/my dir/\"");
  EXPECT_EQ(AddBackSlash("/plain"), "/plain/");
  EXPECT_EQ(StrStCopy("abcdef", 2, 3), "cde");
  EXPECT_EQ(StrStCopy("abcdef", 4, 10), "ef");
  EXPECT_EQ(StrStCopy("abcdef", 6, 1), "");
}

TEST(FileNames, ExistFileSeesFilesOnly) {
  const auto dir = std::filesystem::temp_directory_path() / ("oomisc-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "f.txt";
  std::ofstream(file) << "x";
  EXPECT_TRUE(ExistFileZ(file.string()));
  EXPECT_FALSE(ExistFileZ(dir.string()));
  EXPECT_FALSE(ExistFileZ((dir / "missing").string()));
  EXPECT_FALSE(ExistFileZ(""));
  std::filesystem::remove_all(dir);
}

TEST(ExecAndWait, ReturnsTheExitCodeAfterTheEnd) {
  struct Case {
    const char* program;
    const char* parameters;
    int code;
  } cases[] = {
      {"exit", " 7", 7},  // program and parameters are joined as given
      {"true", "", 0},
      {"/nonexistent/program", "", 127},
      {"kill -9 $$", "", 128 + 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(ApWinExecAndWait32(c.program, c.parameters, 1), c.code);
  }
  const auto t0 = Clock::now();
  EXPECT_EQ(ApWinExecAndWait32("sleep 0.2; exit 3", "", 0), 3);
  EXPECT_GE(MsSince(t0), 200.0);
  EXPECT_TRUE(IsWinNT());
  EXPECT_FALSE(IsWin2000());
}

// ---- TAdStr ----------------------------------------------------------------------------

TEST(TAdStrTest, EditsGrowTheCapacity) {
  TAdStr s(4);
  EXPECT_EQ(s.GetMaxLen(), 4U);
  EXPECT_EQ(s.GetBuffLen(), 5U);
  EXPECT_EQ(s.Append("hello"), 5U);
  EXPECT_EQ(s.GetMaxLen(), 5U);
  EXPECT_EQ(s.AppendBuff(" world"), 11U);
  EXPECT_EQ(s.Prepend(">"), 12U);
  EXPECT_EQ(s.Insert("!", 13), 13U);  // just after the end
  EXPECT_EQ(s.Insert("?", 15), 13U);  // beyond: refused
  EXPECT_EQ(s.Str(), ">hello world!");

  s.Delete(7, 100);  // reaches past the end: cut at 7
  EXPECT_EQ(s.Str(), ">hello");
  s.Delete(1, 1);
  s.Delete(0, 3);
  s.Delete(9, 1);
  EXPECT_EQ(s.Str(), "hello");

  EXPECT_EQ(s.Copy(2, 3), "ell");
  EXPECT_EQ(s.Copy(4, 99), "lo");
  EXPECT_EQ(s.Copy(0, 2), "");
  EXPECT_EQ(s.Copy(2, 0), "");
  EXPECT_EQ(s.Copy(6, 1), "");

  s.Resize(3);  // keeps n - 1 characters
  EXPECT_EQ(s.Str(), "he");
  EXPECT_EQ(s.GetMaxLen(), 3U);
  s.SetLen(1);
  EXPECT_EQ(s.Str(), "h");
  s.SetMaxLen(3);  // same capacity: still emptied
  EXPECT_EQ(s.GetLen(), 0U);

  TAdStr other(2);
  other.Append("xyz");
  other.GotoPos(2);
  s.Assign(other);
  EXPECT_EQ(s.Str(), "xyz");
  EXPECT_EQ(s.GetMaxLen(), 3U);
  EXPECT_EQ(s.GetCurChar(), 'y');
  EXPECT_EQ(s.AppendTAdStr(other), 6U);
}

TEST(TAdStrTest, SearchAndCursor) {
  TAdStr s(0);
  s.Append("abcabc");
  EXPECT_EQ(s.Pos("bc"), 2U);
  EXPECT_EQ(s.GetCurChar(), 'b');
  EXPECT_EQ(s.PosIdx("bc", 3), 5U);
  EXPECT_EQ(s.CurPos(), 5U);
  EXPECT_EQ(s.PosIdx("bc", 6), 0U);
  EXPECT_EQ(s.CurPos(), 5U);  // a miss leaves the cursor
  EXPECT_EQ(s.Pos("zz"), 0U);
  EXPECT_EQ(s.Pos(""), 0U);

  s.First();
  EXPECT_EQ(s.GetCurChar(), 'a');
  s.Prev();
  EXPECT_EQ(s.CurPos(), 1U);
  s.MoveBy(4);
  EXPECT_EQ(s.GetCurChar(), 'b');
  s.MoveBy(-100);
  EXPECT_EQ(s.CurPos(), 1U);
  s.Last();
  EXPECT_EQ(s.GetCurChar(), 'c');
  s.Next();
  EXPECT_EQ(s.GetCurChar(), '\0');
  s.Next();
  EXPECT_EQ(s.CurPos(), 7U);
  s.SetChar(0, 'X');
  s.SetChar(50, 'Y');
  EXPECT_EQ(s.GetChar(0), 'X');
  EXPECT_EQ(s.GetChar(50), '\0');
  s.Delete(2, 10);  // the cursor follows the shorter text
  EXPECT_EQ(s.CurPos(), 2U);
  s.Clear();
  EXPECT_EQ(s.CurPos(), 1U);
  EXPECT_EQ(s.GetCurChar(), '\0');
}

// ---- TLineReader -------------------------------------------------------------------------

std::vector<std::string> ReadLines(const std::string& data) {
  TLineReader reader(std::make_unique<std::istringstream>(data));
  EXPECT_EQ(reader.Size(), static_cast<std::int64_t>(data.size()));
  std::vector<std::string> lines;
  std::string line;
  while (reader.NextLine(line)) {
    lines.push_back(line);
    if (lines.size() > 100) break;
  }
  EXPECT_FALSE(reader.NextLine(line));
  return lines;
}

TEST(TLineReaderTest, SplitsAtCarriageReturns) {
  const std::string x4095(4095, 'x');
  const std::string z5000(5000, 'z');
  struct Case {
    const char* name;
    std::string data;
    std::vector<std::string> lines;
  } cases[] = {
      {"empty", "", {}},
      {"CR LF", "one\r\ntwo\r\n", {"one", "two"}},
      {"CR only, last line open", "one\rtwo", {"one", "two"}},
      {"empty lines", "a\r\n\r\n\rb", {"a", "", "", "b"}},
      {"LF alone is text", "a\nb\r", {"a\nb"}},
      {"end-of-file character", "a\r\nb\x1a\r\nc\r\n", {"a", "b"}},
      {"end-of-file character first", "\x1a" "a\r", {}},
      {"CR LF split between pages", x4095 + "\r\ny\r\n", {x4095, "y"}},
      {"line longer than a page", z5000 + "\r\nend", {z5000, "end"}},
      {"page of exactly 4096", std::string(4096, 'p'), {std::string(4096, 'p')}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadLines(c.data), c.lines);
  }
}

// ---- Components and enumerations ---------------------------------------------------------

TEST(SioBaseComponent, VersionIsFixed) {
  TSioBaseComponent c;
  c.SetVersion("v9");
  EXPECT_EQ(c.Version(), "v4.06");
}

TEST(Enumerations, ValuesAndNamesKeepTheirOrder) {
  EXPECT_EQ(ttStatus, 4);
  EXPECT_STREQ(TriggerTypeName(ttData), "ttData");
  EXPECT_EQ(DispatchTypeCount, 21);
  EXPECT_EQ(dtPacket, 18);
  EXPECT_STREQ(DispatchTypeName(dtScript), "dtScript");
  EXPECT_EQ(DispatchSubTypeCount, 252);

  // The first value of each group.
  struct Anchor {
    TDispatchSubType value;
    int number;
    const char* name;
  } anchors[] = {
      {dstNone, 0, "dstNone"},           {dstSWill, 20, "dstSWill"},
      {dsttfNone, 30, "dsttfNone"},      {dstrfNone, 79, "dstrfNone"},
      {dsttxInitial, 117, "dsttxInitial"}, {dstrxInitial, 130, "dstrxInitial"},
      {dsttyInitial, 138, "dsttyInitial"}, {dstryInitial, 149, "dstryInitial"},
      {dsttzInitial, 160, "dsttzInitial"}, {dstrzRqstFile, 177, "dstrzRqstFile"},
      {dsttkInit, 197, "dsttkInit"},     {dstrkInit, 218, "dstrkInit"},
      {dsttaInitial, 229, "dsttaInitial"}, {dstraInitial, 237, "dstraInitial"},
      {dstEnable, 242, "dstEnable"},     {dstCollecting, 251, "dstCollecting"},
  };
  for (const auto& a : anchors) {
    EXPECT_EQ(static_cast<int>(a.value), a.number) << a.name;
    EXPECT_STREQ(DispatchSubTypeName(a.value), a.name);
  }
  std::set<std::string> names;
  for (int i = 0; i < DispatchSubTypeCount; ++i) {
    const std::string name = DispatchSubTypeName(static_cast<TDispatchSubType>(i));
    EXPECT_EQ(name.rfind("dst", 0), 0U) << i;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 252U);
  EXPECT_STREQ(DispatchSubTypeName(static_cast<TDispatchSubType>(252)), "");
  EXPECT_STREQ(DispatchTypeName(static_cast<TDispatchType>(21)), "");
}

}  // namespace
