// The port dispatcher over a pseudo-terminal: opening and its failures, line settings,
// both rings, throughput, flushing, closing (also from the dispatch thread itself), the
// port list, and the device-operation hooks a fake device uses.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "serial/PtyPair.h"
#include "serial/SerialTestSupport.h"
#include "serial/SlConst.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwPosixDispatcher.h"
#include "serial/SwTermios2.h"
#include "serial/FakeLinesDispatcher.h"

namespace {

using serialtest::CreateFakeLinesDispatcher;
using serialtest::FakeLinesDispatcher;

using serialtest::BlockingSwitches;
using serialtest::kPatienceMs;
using serialtest::Pattern;
using serialtest::PtyPair;
using serialtest::WaitFor;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int CountEntries(const char* dir) {
  DIR* d = opendir(dir);
  if (d == nullptr) return -1;
  int n = 0;
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

int OpenFds() { return CountEntries("/proc/self/fd"); }
int Threads() { return CountEntries("/proc/self/task"); }

double CpuMs() {
  rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

constexpr std::uint32_t kOut = 4096;

std::int32_t Open(TSioBaseDispatcher& d, const char* name = "COM7", std::uint32_t outSize = kOut,
                  std::uint32_t options = ipDtrOn | ipRtsOn) {
  return d.InitPort(name, 9600, 0, 8, 1, 4096, outSize, options);
}

// Output held in the ring until Release(): the ring arithmetic without a drain racing it.
class HeldOutputDispatcher : public TSioPosixDispatcher {
 public:
  HeldOutputDispatcher() : TSioPosixDispatcher(nullptr) {}
  ~HeldOutputDispatcher() override { Shutdown(); }
  std::int32_t WriteCom(const void* buffer, std::uint32_t size) override {
    if (released_) return TSioPosixDispatcher::WriteCom(buffer, size);
    CopyToOutRing(buffer, size);
    return static_cast<std::int32_t>(size);
  }
  void Release() {
    released_ = true;
    KickOutput();
  }
  // As if the device had taken count bytes: moves the tail, so later blocks wrap.
  void Consume(std::uint32_t count) {
    std::lock_guard output(OutputLock());
    AdvanceOutTailLocked(count);
  }

 private:
  std::atomic<bool> released_{false};
};

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PortListSize(), 0u) << "a dispatcher of an earlier test is left";
    // A sanitizer starts its own helper thread with the first thread of the process; let
    // that happen before any thread count is taken.
    std::thread([] {}).join();
  }
  PtyPair pty_;
};

TEST_F(DispatcherTest, OpensCom7At9600EightNoneOneInRawMode) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  const termios t = pty_.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);

  std::uint32_t baud, parity, data, stop;
  d.GetLine(baud, parity, data, stop);
  EXPECT_EQ(baud, 9600u);
  EXPECT_EQ(parity, 0u);
  EXPECT_EQ(data, 8u);
  EXPECT_EQ(stop, 1u);
  EXPECT_TRUE(d.Active());
  EXPECT_EQ(d.LiveThreads(), 3);
  // A pty has no modem lines: they read as asserted, with no change latched.
  EXPECT_EQ(d.GetModemStatus(), msCts | msDsr | msDcd);
  EXPECT_EQ(d.InitPort("COM7", 9600, 0, 8, 1, 4096, kOut, 0), ecAlreadyOpen);
}

struct LineCase {
  std::uint32_t baud, parity, dataBits, stopBits;
  std::uint8_t stopCode;  // 0 one, 1 one and a half, 2 two
  std::uint32_t reportedStop;
};

TEST_F(DispatcherTest, LineSettingsReachTheDevice) {
  const LineCase cases[] = {
      {19200, 2, 7, 2, 2, 2},
      {1200, 1, 8, 1, 0, 1},
      {4800, 3, 8, 1, 0, 1},
      {4800, 4, 6, 0, 0, 1},  // 0 stop bits means 1
      {9600, 0, 5, 2, 1, 2},  // 5 data bits: one and a half stop bits
      {9600, 0, 5, 1, 1, 2},
      {9600, 0, 8, 7, 2, 2},  // above 2 means 2
      {250000, 0, 8, 1, 0, 1},  // outside the termios table
  };
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  for (const LineCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.baud << " " << c.parity << " " << c.dataBits << " " << c.stopBits);
    ASSERT_EQ(d.SetLine(c.baud, c.parity, c.dataBits, c.stopBits), ecOK);
    // A pty keeps only the rate and the stop bits (it forces 8 bits, no parity).
    const termios t = pty_.SlaveTermios();
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stopCode != 0);
    std::uint32_t actual = 0;
    ASSERT_EQ(SwGetBaud(pty_.Slave(), &actual), 0);
    EXPECT_EQ(actual, c.baud);
    TDeviceControlBlock dcb;
    ASSERT_EQ(d.GetComState(dcb), ecOK);
    EXPECT_EQ(dcb.stopBits, c.stopCode);
    std::uint32_t baud, parity, data, stop;
    d.GetLine(baud, parity, data, stop);
    EXPECT_EQ(baud, c.baud);
    EXPECT_EQ(parity, c.parity);
    EXPECT_EQ(data, c.dataBits);
    EXPECT_EQ(stop, c.reportedStop);
  }
  EXPECT_EQ(d.SetLine(9600, 0, 9 + 1, 1), ecByteSize);
  EXPECT_EQ(d.SetLine(9600, 7, 8, 1), ecBadArgument);
  // An old rate code is applied and reported as bits per second.
  ASSERT_EQ(d.SetLine(0xFF16, 0, 8, 1), ecOK);
  const termios t = pty_.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&t), B9600);
  // A new rate keeps every other setting.
  ASSERT_EQ(d.SetLine(2400, 2, 7, 2), ecOK);
  ASSERT_EQ(d.ChangeBaud(38400), ecOK);
  std::uint32_t baud, parity, data, stop;
  d.GetLine(baud, parity, data, stop);
  EXPECT_EQ(baud, 38400u);
  EXPECT_EQ(parity, 2u);
  EXPECT_EQ(data, 7u);
  EXPECT_EQ(stop, 2u);
}

TEST_F(DispatcherTest, SetLineWaitsForTheOutputRingOnlyWhenSomethingChanges) {
  HeldOutputDispatcher d;
  ASSERT_EQ(Open(d), ecOK);
  ASSERT_EQ(d.PutString("held"), ecOK);
  const termios before = pty_.SlaveTermios();
  // Nothing to change: back without waiting on the held ring, whose wait would sleep in
  // steps of 2 ms for seconds.
  const long blocked = BlockingSwitches();
  EXPECT_EQ(d.SetLine(0, 5, 9, 3), ecOK);
  EXPECT_LT(BlockingSwitches() - blocked, 50) << "SetLine waited for the ring";
  const termios after = pty_.SlaveTermios();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

  // A real change waits until the ring has been sent.
  std::atomic<bool> released{false};
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    released = true;
    d.Release();
  });
  const auto t0 = Clock::now();
  EXPECT_EQ(d.ChangeBaud(19200), ecOK);
  EXPECT_TRUE(released.load()) << "changed before the ring was sent";
  EXPECT_GE(MsSince(t0), 190.0);
  releaser.join();
  EXPECT_EQ(d.OutBuffUsed(), 0);
  const termios changed = pty_.SlaveTermios();
  EXPECT_EQ(cfgetospeed(&changed), B19200);
}

struct OpenFailure {
  const char* name;
  std::int32_t code;
};

TEST_F(DispatcherTest, OpenFailuresStartNoThread) {
  {
    std::FILE* f = std::fopen((pty_.Dir() + "/COM8").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  const OpenFailure cases[] = {
      {"COM9", ecFileNotFound},   // no entry
      {"COM8", ecFileNotFound},   // a plain file, not a serial device
      {"COM0", ecFileNotFound},   // no such port number
      {"/nonexistent/tty", ecFileNotFound},
  };
  const int threads = Threads();
  const int fds = OpenFds();
  for (const OpenFailure& c : cases) {
    SCOPED_TRACE(c.name);
    TSioPosixDispatcher d(nullptr);
    EXPECT_EQ(Open(d, c.name), c.code);
    EXPECT_FALSE(d.Active());
    EXPECT_EQ(d.LiveThreads(), 0);
    EXPECT_EQ(d.DeviceHandle(), -1);
    EXPECT_EQ(Threads(), threads);
  }
  EXPECT_EQ(OpenFds(), fds);
}

TEST_F(DispatcherTest, APortHeldElsewhereIsAccessDenied) {
  // Another process holds the port.
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(release[1]);
    ::close(ready[0]);
    const int fd = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) _exit(1);
    char c;
    if (::read(release[0], &c, 1) < 0) _exit(1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  {
    const int threads = Threads();
    TSioPosixDispatcher d(nullptr);
    EXPECT_EQ(Open(d), ecAccessDenied);
    EXPECT_EQ(Threads(), threads);
  }
  ::close(release[1]);
  int status = 0;
  waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  ::close(release[0]);

  // And a second port object of this process while the first has it; free again after.
  auto first = std::make_unique<TSioPosixDispatcher>(nullptr);
  ASSERT_EQ(Open(*first), ecOK);
  TSioPosixDispatcher second(nullptr);
  EXPECT_EQ(Open(second), ecAccessDenied);
  first.reset();
  EXPECT_EQ(Open(second), ecOK);
}

struct OutCase {
  const char* what;
  std::uint32_t prefill;   // bytes already in the ring
  std::uint32_t consumed;  // of those, taken by the device (moves the tail, so blocks wrap)
  std::uint32_t block;
  std::int32_t result;
  std::int32_t usedAfter;
};

TEST_F(DispatcherTest, PutBlockIsAllOrNothing) {
  constexpr std::uint32_t kSize = 64;
  const OutCase cases[] = {
      {"exactly the free space", 0, 0, 64, ecOK, 64},
      {"one byte more", 0, 0, 65, ecOutputBufferTooSmall, 0},
      {"the rest of a partly used ring", 10, 0, 54, ecOK, 64},
      {"one more than the rest", 10, 0, 55, ecOutputBufferTooSmall, 10},
      {"wrapping past the end", 40, 30, 54, ecOK, 64},
      {"wrapping, one too many", 40, 30, 55, ecOutputBufferTooSmall, 10},
      {"empty block", 5, 0, 0, 0, 5},
  };
  for (const OutCase& c : cases) {
    SCOPED_TRACE(c.what);
    HeldOutputDispatcher d;
    ASSERT_EQ(Open(d, "COM7", kSize), ecOK);
    std::vector<std::uint8_t> prefill(c.prefill), block(c.block);
    for (std::size_t i = 0; i < prefill.size(); ++i) prefill[i] = Pattern(i);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = Pattern(i, 0x55);
    if (c.prefill > 0) {
      ASSERT_EQ(d.PutBlock(prefill.data(), c.prefill), ecOK);
    }
    d.Consume(c.consumed);
    EXPECT_EQ(d.PutBlock(block.data(), c.block), c.result);
    EXPECT_EQ(d.OutBuffUsed(), c.usedAfter);
    EXPECT_EQ(d.OutBuffFree(), static_cast<std::int32_t>(kSize) - c.usedAfter);

    // The peer gets the bytes still in the ring, in order, and nothing of a refused block.
    std::vector<std::uint8_t> expected(prefill.begin() + c.consumed, prefill.end());
    if (c.result == ecOK) expected.insert(expected.end(), block.begin(), block.end());
    d.Release();
    EXPECT_EQ(pty_.Read(expected.size()), expected);
    EXPECT_TRUE(pty_.Drain(30).empty());
    EXPECT_TRUE(WaitFor([&] { return d.OutBuffUsed() == 0; }));
  }
}

struct InCase {
  const char* what;
  std::uint32_t arrive;
  std::uint32_t ask;
  std::int32_t result;
  std::int32_t leftAfter;
};

TEST_F(DispatcherTest, GetBlockIsAllOrNothing) {
  const InCase cases[] = {
      {"one short", 9, 10, ecBufferIsEmpty, 9},
      {"exactly what is there", 9, 9, 9, 0},
      {"part of it", 9, 4, 4, 5},
      {"from an empty ring", 0, 1, ecBufferIsEmpty, 0},
  };
  for (const InCase& c : cases) {
    SCOPED_TRACE(c.what);
    TSioPosixDispatcher d(nullptr);
    ASSERT_EQ(Open(d), ecOK);
    std::vector<std::uint8_t> sent(c.arrive);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = Pattern(i);
    ASSERT_TRUE(pty_.Write(sent.data(), sent.size()));
    ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == static_cast<std::int32_t>(c.arrive); }));
    std::vector<std::uint8_t> got(c.ask);
    EXPECT_EQ(d.GetBlock(got.data(), c.ask), c.result);
    EXPECT_EQ(d.InBuffUsed(), c.leftAfter);
    EXPECT_EQ(d.InBuffFree(), static_cast<std::int32_t>(TSioBaseDispatcher::kInRingSize) - c.leftAfter);
    if (c.result > 0) {
      EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.begin()));
    }
    // What is left comes next, one byte at a time.
    const std::size_t taken = c.result > 0 ? static_cast<std::size_t>(c.result) : 0;
    for (std::size_t i = taken; i < sent.size(); ++i) {
      EXPECT_EQ(d.PeekChar(1), sent[i]);
      EXPECT_EQ(d.GetChar(), sent[i]);
    }
    EXPECT_FALSE(d.CharReady());
    EXPECT_EQ(d.PeekChar(1), ecBufferIsEmpty);
    EXPECT_EQ(d.GetChar(), ecBufferIsEmpty);
  }
}

TEST_F(DispatcherTest, AFullInputRingStopsReadingAndResumesWhenRead) {
  constexpr std::size_t kRing = TSioBaseDispatcher::kInRingSize;
  constexpr std::size_t kExtra = 1000;
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  std::vector<std::uint8_t> sent(kRing + kExtra);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = Pattern(i);
  ASSERT_TRUE(pty_.Write(sent.data(), sent.size()));
  ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == static_cast<std::int32_t>(kRing); }));
  EXPECT_EQ(d.InBuffFree(), 0);
  EXPECT_TRUE(d.CharReady());
  const double cpu0 = CpuMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LT(CpuMs() - cpu0, 50.0) << "the dispatch thread spins on a full ring";
  EXPECT_EQ(d.PeekChar(kRing), sent[kRing - 1]);

  std::vector<std::uint8_t> got(kRing);
  ASSERT_EQ(d.GetBlock(got.data(), kRing), static_cast<std::int32_t>(kRing));
  ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == static_cast<std::int32_t>(kExtra); }));
  got.resize(kRing + kExtra);
  ASSERT_EQ(d.GetBlock(got.data() + kRing, kExtra), static_cast<std::int32_t>(kExtra));
  EXPECT_EQ(got, sent);
}

TEST_F(DispatcherTest, FlushInBufferEmptiesTheRing) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  ASSERT_TRUE(pty_.Write("stale bytes"));
  ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == 11; }));
  EXPECT_EQ(d.FlushInBuffer(), ecOK);
  EXPECT_EQ(d.InBuffUsed(), 0);
  ASSERT_TRUE(pty_.Write("new"));
  ASSERT_TRUE(WaitFor([&] { return d.InBuffUsed() == 3; }));
  char got[3];
  ASSERT_EQ(d.GetBlock(got, 3), 3);
  EXPECT_EQ(std::string(got, 3), "new");
}

TEST_F(DispatcherTest, ASlowConsumerLosesNothing) {
  constexpr std::size_t kTotal = 64 * 1024;
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  std::vector<std::uint8_t> sent(kTotal);
  for (std::size_t i = 0; i < kTotal; ++i) sent[i] = Pattern(i, 3);
  std::thread writer([&] { EXPECT_TRUE(pty_.Write(sent.data(), sent.size())); });
  std::vector<std::uint8_t> got;
  std::uint8_t chunk[700];
  const auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  while (got.size() < kTotal && Clock::now() < deadline) {
    const std::int32_t used = d.InBuffUsed();
    const auto n = static_cast<std::uint32_t>(std::min<std::int32_t>(used, sizeof chunk));
    if (n > 0 && d.GetBlock(chunk, n) == static_cast<std::int32_t>(n)) got.insert(got.end(), chunk, chunk + n);
    std::this_thread::sleep_for(std::chrono::microseconds(500));  // slower than the pty
  }
  writer.join();
  ASSERT_EQ(got.size(), kTotal);
  EXPECT_TRUE(got == sent);
}

TEST_F(DispatcherTest, AMegabyteEachWayAtOnce) {
  constexpr std::size_t kTotal = 1 << 20;
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  std::vector<std::uint8_t> down(kTotal), up(kTotal);
  for (std::size_t i = 0; i < kTotal; ++i) {
    down[i] = Pattern(i, 1);
    up[i] = Pattern(i, 2);
  }
  std::vector<std::uint8_t> peerGot, portGot;
  peerGot.reserve(kTotal);
  portGot.reserve(kTotal);

  std::thread peer([&] {
    // One thread both ways, as a device would: never blocks one direction on the other.
    std::size_t sent = 0;
    std::uint8_t buffer[8192];
    const auto deadline = Clock::now() + std::chrono::milliseconds(2 * kPatienceMs);
    while ((sent < kTotal || peerGot.size() < kTotal) && Clock::now() < deadline) {
      pollfd fd{pty_.Master(), static_cast<short>(POLLIN | (sent < kTotal ? POLLOUT : 0)), 0};
      poll(&fd, 1, 10);
      if (fd.revents & POLLIN) {
        const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
        if (n > 0) peerGot.insert(peerGot.end(), buffer, buffer + n);
      }
      if ((fd.revents & POLLOUT) && sent < kTotal) {
        const ssize_t n = ::write(pty_.Master(), down.data() + sent, std::min<std::size_t>(4096, kTotal - sent));
        if (n > 0) sent += static_cast<std::size_t>(n);
      }
    }
  });
  std::thread reader([&] {
    std::uint8_t chunk[TSioBaseDispatcher::kInRingSize];
    const auto deadline = Clock::now() + std::chrono::milliseconds(2 * kPatienceMs);
    while (portGot.size() < kTotal && Clock::now() < deadline) {
      const std::int32_t used = d.InBuffUsed();
      if (used > 0 && d.GetBlock(chunk, static_cast<std::uint32_t>(used)) == used)
        portGot.insert(portGot.end(), chunk, chunk + used);
      else
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::size_t put = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(2 * kPatienceMs);
  while (put < kTotal && Clock::now() < deadline) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(1500, kTotal - put));
    const std::int32_t r = d.PutBlock(up.data() + put, n);
    if (r == ecOK)
      put += n;
    else if (r == ecOutputBufferTooSmall)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    else
      ADD_FAILURE() << "PutBlock " << r;
  }
  peer.join();
  reader.join();
  ASSERT_EQ(peerGot.size(), kTotal);
  ASSERT_EQ(portGot.size(), kTotal);
  EXPECT_TRUE(peerGot == up);
  EXPECT_TRUE(portGot == down);
}

TEST_F(DispatcherTest, FlushOutBufferReturnsWhileThePeerDoesNotRead) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  // Fill the pty until the output ring stays full: the device takes no more.
  std::vector<std::uint8_t> block(1024, 'x');
  const auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  int refusals = 0;
  while (refusals < 20 && Clock::now() < deadline) {
    if (d.PutBlock(block.data(), 1024) == ecOutputBufferTooSmall) {
      ++refusals;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  ASSERT_EQ(refusals, 20);
  ASSERT_GT(d.OutBuffUsed(), static_cast<std::int32_t>(kOut) - 1024);
  // Returns at all: a flush that waited for the drain would never come back.
  EXPECT_EQ(d.FlushOutBuffer(), ecOK);
  EXPECT_EQ(d.OutBuffUsed(), 0);
  // The port still sends: a marker written after the flush reaches the peer last.
  ASSERT_EQ(d.PutString("<end>"), ecOK);
  std::vector<std::uint8_t> all;
  ASSERT_TRUE(WaitFor([&] {
    const auto more = pty_.Drain(5);
    all.insert(all.end(), more.begin(), more.end());
    return all.size() >= 5 && std::string(all.end() - 5, all.end()) == "<end>";
  }));
  EXPECT_EQ(std::count(all.begin(), all.end(), '<'), 1);
}

// A lone byte is not held back for company; how soon it is in the ring is measured by
// bench/bench_serial.
TEST_F(DispatcherTest, EachReceivedByteReachesTheRingOnItsOwn) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(Open(d), ecOK);
  for (int i = 0; i < 40; ++i) {
    SCOPED_TRACE(i);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));  // land between 50 ms passes
    const std::uint8_t byte = Pattern(static_cast<std::size_t>(i));
    ASSERT_TRUE(pty_.Write(&byte, 1));
    ASSERT_TRUE(WaitFor([&] { return d.CharReady(); }));
    EXPECT_EQ(d.InBuffUsed(), 1);
    ASSERT_EQ(d.GetChar(), byte);
  }
}

TEST_F(DispatcherTest, OpenCloseCyclesLeaveNoThreadOrDescriptor) {
  const int threads = Threads();
  const int fds = OpenFds();
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(i);
    TSioPosixDispatcher d(nullptr);
    ASSERT_EQ(Open(d), ecOK);
    ASSERT_EQ(d.PutString("ping"), ecOK);
    ASSERT_TRUE(pty_.Write("p"));
    ASSERT_EQ(pty_.Read(4).size(), 4u);
    ASSERT_TRUE(WaitFor([&] { return d.CharReady(); }));
    if (i % 2 == 0) d.DonePort();  // else the destructor closes
  }
  EXPECT_EQ(Threads(), threads);
  EXPECT_EQ(OpenFds(), fds);
  EXPECT_EQ(PortListSize(), 0u);
}

TEST_F(DispatcherTest, PortHandlesReuseTheLowestFreeSlotAndTheListShrinks) {
  auto d0 = std::make_unique<TSioPosixDispatcher>(nullptr);
  auto d1 = std::make_unique<TSioPosixDispatcher>(nullptr);
  EXPECT_EQ(d0->Handle(), 0);
  EXPECT_EQ(d1->Handle(), 1);
  EXPECT_EQ(GetTComRecPtr(0), d0.get());
  d0.reset();
  EXPECT_EQ(GetTComRecPtr(0), nullptr);  // the look-up cache forgot it
  EXPECT_EQ(PortListSize(), 2u);
  auto d2 = std::make_unique<TSioPosixDispatcher>(nullptr);
  EXPECT_EQ(d2->Handle(), 0);
  EXPECT_EQ(GetTComRecPtr<TSioPosixDispatcher>(1), d1.get());
  EXPECT_EQ(GetTComRecPtr<HeldOutputDispatcher>(1), nullptr);
  EXPECT_EQ(GetTComRecPtr(2), nullptr);
  d1.reset();
  EXPECT_EQ(PortListSize(), 1u);
  d2.reset();
  EXPECT_EQ(PortListSize(), 0u);
}

TEST_F(DispatcherTest, AHangUpIsReportedWithoutSpinning) {
  HeldOutputDispatcher d;
  ASSERT_EQ(Open(d), ecOK);
  d.GetModemStatus();
  ASSERT_EQ(d.PutString("queued before the hang-up"), ecOK);
  pty_.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return d.HungUp(); }));
  ASSERT_TRUE(WaitFor([&] { return (d.GetModemStatusPrim(0xFF) & msDeltaDcd) != 0; }));
  EXPECT_EQ(d.GetModemStatus() & 0xF0, 0);
  EXPECT_FALSE(d.CheckDCD());
  const double cpu0 = CpuMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(CpuMs() - cpu0, 60.0) << "CPU ms over 300 ms after the hang-up";
  // What was queued cannot go out; the next block says so instead of vanishing too.
  d.Release();
  ASSERT_TRUE(WaitFor([&] { return d.OutBuffUsed() == 0; }));
  EXPECT_EQ(d.PutString("lost"), ecPutBlockFail);
  d.DonePort();
  EXPECT_EQ(d.LiveThreads(), 0);
}

TEST_F(DispatcherTest, AClosePendingDuringANotificationIsFinishedByTheDispatchThread) {
  const int threads = Threads();
  auto d = std::make_unique<TSioPosixDispatcher>(nullptr);
  ASSERT_EQ(Open(*d), ecOK);
  bool old = true;
  d->SetEventBusy(old, true);
  EXPECT_FALSE(old);
  d->DonePort();
  EXPECT_TRUE(d->ClosePending());
  ASSERT_TRUE(WaitFor([&] { return d->LiveThreads() == 0 && !d->Active(); }));
  EXPECT_EQ(d->DeviceHandle(), -1);
  // The device is free again although the object still exists.
  TSioPosixDispatcher next(nullptr);
  EXPECT_EQ(Open(next), ecOK);
  d.reset();
  next.DonePort();
  EXPECT_EQ(Threads(), threads);
}

// A dispatch thread that blocks in a send to the user-interface thread while that thread
// closes the port: the close must keep delivering messages, or neither could go on.
class SendingDispatcher : public TSioPosixDispatcher {
 public:
  explicit SendingDispatcher(HWND wnd) : TSioPosixDispatcher(nullptr), wnd_(wnd) {}
  ~SendingDispatcher() override { Shutdown(); }
  bool CheckReceiveTriggers() override {
    if (!sending_ && InBuffUsed() > 0) {
      sending_ = true;
      std::intptr_t result = 0;
      // A time-out no correct close reaches: answered only if the close pumped for it.
      answered_ = SendMessageTimeout(wnd_, 0x7E01, 1, Handle() * 65536, 2 * kPatienceMs, &result) && result == 7;
    }
    return false;
  }
  std::atomic<bool> sending_{false};
  std::atomic<bool> answered_{false};

 private:
  HWND wnd_;
};

TEST_F(DispatcherTest, ClosingPumpsMessagesForABlockedDispatchThread) {
  SetMainThread();
  std::atomic<int> delivered{0};
  const HWND wnd = CreateMsgWindow("swComWindow", [&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
    ++delivered;
    return 7;
  });
  {
    SendingDispatcher d(wnd);
    ASSERT_EQ(Open(d), ecOK);
    ASSERT_TRUE(pty_.Write("!"));
    ASSERT_TRUE(WaitFor([&] { return d.sending_.load(); }));
    d.DonePort();  // this thread never pumps itself
    EXPECT_EQ(delivered.load(), 1);
    EXPECT_TRUE(d.answered_.load());
    EXPECT_EQ(d.LiveThreads(), 0);
  }
  DestroyMsgWindow(wnd);
}

TEST_F(DispatcherTest, AFakeDeviceFromTheFactoryFeedsLineErrorsAndModemChanges) {
  std::unique_ptr<TSioBaseDispatcher> base = CreateFakeLinesDispatcher();
  auto* d = dynamic_cast<FakeLinesDispatcher*>(base.get());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(Open(*d), ecOK);

  d->errors_ = ceParity | ceBreak;
  d->RefreshStatus();
  EXPECT_EQ(d->GetLineError(), 3);  // parity first; the break stays latched
  EXPECT_EQ(d->GetLineError(), 9);
  EXPECT_TRUE(d->CheckLineBreak());
  EXPECT_EQ(d->GetLineError(), 0);
  EXPECT_FALSE(d->CheckLineBreak());

  d->errors_ = ceOverrun | ceFrame;  // seen by the dispatch thread's next pass
  ASSERT_TRUE(WaitFor([&] { return d->errors_.load() == 0; }));
  EXPECT_EQ(d->GetLineError(), 2);
  EXPECT_EQ(d->GetLineError(), 0);  // one report clears the others but a break

  d->GetModemStatus();
  d->levels_ = msDsr | msDcd;  // CTS drops
  ASSERT_TRUE(WaitFor([&] { return (d->GetModemStatusPrim(0xFF) & msDeltaCts) != 0; }));
  EXPECT_TRUE(d->CheckDeltaCTS());
  EXPECT_FALSE(d->CheckDeltaCTS());  // read once
  EXPECT_FALSE(d->CheckCTS());
  EXPECT_TRUE(d->CheckDSR());
  EXPECT_FALSE(d->CheckDeltaDSR());

  std::unique_ptr<TSioBaseDispatcher> plain(CreateDispatcher(nullptr));
  EXPECT_NE(dynamic_cast<TSioPosixDispatcher*>(plain.get()), nullptr);
  EXPECT_EQ(dynamic_cast<FakeLinesDispatcher*>(plain.get()), nullptr);
}

TEST_F(DispatcherTest, FlowControlRulesAndAutomaticLines) {
  TSioPosixDispatcher d(nullptr);
  ASSERT_EQ(d.InitPort("COM7", 9600, 0, 8, 1, 4096, kOut, ipDtrOn | ipRtsOn | ipDtrHwFlow), ecOK);
  EXPECT_EQ(d.SetDtr(false), 1);  // DTR belongs to flow control
  EXPECT_EQ(d.SetRts(false), ecOK);
  EXPECT_EQ(d.HWFlowOptions(100, 200, 2), ecBadArgument);   // full below resume
  EXPECT_EQ(d.HWFlowOptions(5000, 100, 2), ecBadArgument);  // above the input size
  ASSERT_EQ(d.HWFlowOptions(3686, 409, 2 | 8), ecOK);
  EXPECT_NE(pty_.SlaveTermios().c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(d.SetRts(true), 1);
  std::uint32_t hw, sw;
  std::uint8_t xon, xoff;
  d.GetFlowOptions(hw, sw, xon, xoff);
  EXPECT_EQ(hw, 2u | 8u);
  EXPECT_EQ(d.HWFlowState(), 2);  // on, not holding: the pty's CTS reads as asserted

  ASSERT_EQ(d.SWFlowEnable(3072, 1024, 3), ecOK);
  EXPECT_EQ(pty_.SlaveTermios().c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  ASSERT_EQ(d.SWFlowChars(0x11, 0x13), ecOK);
  d.GetFlowOptions(hw, sw, xon, xoff);
  EXPECT_EQ(sw, 3u);
  EXPECT_EQ(d.SWFlowState(), 2);
  ASSERT_EQ(d.SWFlowDisable(), ecOK);
  EXPECT_EQ(d.SWFlowState(), 1);
  EXPECT_EQ(pty_.SlaveTermios().c_iflag & (IXON | IXOFF), 0u);

  // RS-485: RTS belongs to the transmitter; a pty cannot toggle it, and data still flows.
  ASSERT_EQ(d.HWFlowOptions(3686, 409, 0), ecOK);
  ASSERT_EQ(d.SetRS485Mode(true), ecOK);
  EXPECT_EQ(d.SetRts(false), 1);
  ASSERT_EQ(d.PutString("485"), ecOK);
  const auto got = pty_.Read(3);
  EXPECT_EQ(std::string(got.begin(), got.end()), "485");
  ASSERT_EQ(d.SetRS485Mode(false), ecOK);
  EXPECT_EQ(d.SetRts(false), ecOK);
}

}  // namespace
