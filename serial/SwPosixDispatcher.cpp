#include "serial/SwPosixDispatcher.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "serial/PortLock.h"
#include "serial/PortMap.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SwTermios2.h"

namespace {

struct Speed {
  speed_t code;
  std::uint32_t baud;
};

constexpr Speed kSpeeds[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
};

speed_t SpeedCode(std::uint32_t baud) {
  for (const Speed& s : kSpeeds)
    if (s.baud == baud) return s.code;
  return B0;
}

std::uint32_t SpeedBaud(speed_t code) {
  for (const Speed& s : kSpeeds)
    if (s.code == code) return s.baud;
  return 0;
}

// The device has no such line or ioctl (a pty, for instance).
bool Unsupported(int err) { return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP; }

void NoSignalAction(int) {}

// The signal that ends the com thread's TIOCMIWAIT, which nothing else can interrupt.
// Installed once, and only when nobody else uses it; 0 when it is not available, and the
// com thread then leaves modem lines to the dispatch thread's polling.
int ComWakeSignal() {
  static const int chosen = [] {
    const int sig = SIGRTMIN + 6;
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0) return 0;
    if ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) return 0;
    struct sigaction action {};
    action.sa_handler = &NoSignalAction;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the wait must return EINTR
    return sigaction(sig, &action, nullptr) == 0 ? sig : 0;
  }();
  return chosen;
}

// The dispatcher whose dispatch thread this is, if any.
thread_local const TSioPosixDispatcher* t_dispatching = nullptr;

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void DcbFromTermios(int fd, const termios& t, TDeviceControlBlock& dcb) {
  std::uint32_t baud = 0;
  if (SwGetBaud(fd, &baud) != 0 || baud == 0) baud = SpeedBaud(cfgetospeed(&t));
  dcb.baud = baud;
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.byteSize = 5; break;
    case CS6: dcb.byteSize = 6; break;
    case CS7: dcb.byteSize = 7; break;
    default: dcb.byteSize = 8; break;
  }
  if ((t.c_cflag & PARENB) == 0)
    dcb.parity = 0;
  else if ((t.c_cflag & CMSPAR) != 0)
    dcb.parity = (t.c_cflag & PARODD) ? 3 : 4;
  else
    dcb.parity = (t.c_cflag & PARODD) ? 1 : 2;
  dcb.stopBits = (t.c_cflag & CSTOPB) ? (dcb.byteSize == 5 ? 1 : 2) : 0;
  dcb.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
  dcb.rtsControl = dcb.outxCtsFlow ? rtsHandshake : rtsEnable;
  dcb.outX = (t.c_iflag & IXON) != 0;
  dcb.inX = (t.c_iflag & IXOFF) != 0;
  dcb.xonChar = t.c_cc[VSTART];
  dcb.xoffChar = t.c_cc[VSTOP];
}

void MakeRaw(termios& t) {
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);  // the input rate follows the output rate
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

std::mutex& FactoryLock() {
  static std::mutex lock;
  return lock;
}

DispatcherFactory& Factory() {
  static DispatcherFactory factory;
  return factory;
}

}  // namespace

void SetDispatcherFactory(DispatcherFactory factory) {
  std::lock_guard guard(FactoryLock());
  Factory() = std::move(factory);
}

TSioBaseDispatcher* CreateDispatcher(void* owner) {
  DispatcherFactory factory;
  {
    std::lock_guard guard(FactoryLock());
    factory = Factory();
  }
  if (factory) return factory(owner);
  return new TSioPosixDispatcher(owner);
}

TSioPosixDispatcher::TSioPosixDispatcher(void* owner) : TSioBaseDispatcher(owner) {}

TSioPosixDispatcher::~TSioPosixDispatcher() {
  Shutdown();
  // The eventfds live as long as the object: a late wake-up never hits a reused number.
  if (dispatchEvent_ >= 0) ::close(dispatchEvent_);
  if (outputEvent_ >= 0) ::close(outputEvent_);
}

// ---- device ----

std::int32_t TSioPosixDispatcher::OpenCom(const std::string& deviceName, std::uint32_t /*inSize*/,
                                          std::uint32_t /*outSize*/) {
  std::string path = deviceName;
  if (const int n = ComPortNumber(deviceName); n > 0) path = ComPortDevice(n);
  if (path.empty()) return ecFileNotFound;
  // The lock file names the device itself, so that every link to it shares one lock.
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return OpenErrorCode(errno);
  const std::string device(real);
  std::free(real);
  struct stat node {};
  if (stat(device.c_str(), &node) != 0) return OpenErrorCode(errno);
  if (!S_ISCHR(node.st_mode)) return ecFileNotFound;
  TPortLock lock;
  if (const std::int32_t locked = lock.Acquire(device); locked != ecOK) return locked;

  int fd;
  do {
    fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return OpenErrorCode(errno);
  bool exclusive = false;  // TIOCEXCL set by this open
  auto fail = [&fd, &exclusive, &lock](std::int32_t code) {
    lock.Release();  // before the close, for the reason CloseCom gives
    // The flag belongs to the tty, which another holder may keep open after this close.
    if (exclusive) ioctl(fd, TIOCNXCL);
    ::close(fd);
    return code;
  };
  if (!isatty(fd)) return fail(ecFileNotFound);
  // flock() is per open file description, so this also stops a second open here.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(OpenErrorCode(errno));
  // Refuses other openers that bypass flock (root is exempt). Already set, it is a holder's
  // (this open got through as root) and is not ours to clear on failure.
  int wasExclusive = 0;
  if (ioctl(fd, TIOCGEXCL, &wasExclusive) != 0) wasExclusive = 0;
  exclusive = wasExclusive == 0 && ioctl(fd, TIOCEXCL) == 0;

  struct serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN)
    return fail(ecFileNotFound);  // a ttyS node without a UART

  // A holder that takes neither lock (a terminal program, a cat of the device) would share
  // the line. Looked for only now, so that an opener racing this one meets the lock file,
  // flock or TIOCEXCL; and before any setting changes under that holder.
  struct stat opened {};
  if (fstat(fd, &opened) != 0) return fail(OpenErrorCode(errno));
  if (DeviceOpenElsewhere(opened.st_rdev)) return fail(ecAccessDenied);

  termios t {};
  if (tcgetattr(fd, &t) != 0) return fail(OpenErrorCode(errno));
  MakeRaw(t);
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return fail(OpenErrorCode(errno));

  if (dispatchEvent_ < 0) dispatchEvent_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (outputEvent_ < 0) outputEvent_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (dispatchEvent_ < 0 || outputEvent_ < 0) return fail(ecOutOfMemory);

  int bits = 0;
  modemLines_ = ioctl(fd, TIOCMGET, &bits) == 0 || !Unsupported(errno);
  struct serial_icounter_struct counters {};
  modemCounters_ = ioctl(fd, TIOCGICOUNT, &counters) == 0;
  {
    std::lock_guard guard(countersLock_);
    lastFrame_ = counters.frame;
    lastOverrun_ = counters.overrun;
    lastParity_ = counters.parity;
    lastBreak_ = counters.brk;
    lastBufOverrun_ = counters.buf_overrun;
    lastRing_ = counters.rng;
  }
  comCts_ = counters.cts;
  comDsr_ = counters.dsr;
  comDcd_ = counters.dcd;
  comRing_ = counters.rng;
  if (modemCounters_) ComWakeSignal();
  kernelRs485_ = false;
  softRs485_ = false;
  hungUp_ = false;
  writeError_ = 0;

  {
    std::lock_guard state(StateLock());
    dcb_ = TDeviceControlBlock{};
    DcbFromTermios(fd, t, dcb_);
    ctsFlow_ = dcb_.outxCtsFlow;
    dsrFlow_ = false;
  }
  lock_ = std::move(lock);
  exclusive_ = exclusive;
  fd_ = fd;
  return fd;
}

std::int32_t TSioPosixDispatcher::CloseCom() {
  StopDispatcher();  // the device closes only once no other thread can touch it
  const int fd = fd_.exchange(-1);
  if (fd < 0) return ecOK;
  tcflush(fd, TCIOFLUSH);  // so that close() has nothing to drain
  // The lock goes first. The last close of a pseudo-terminal frees its number, and a new
  // pty with that number must not meet this process's lock; an opener racing the close
  // still meets the flock and TIOCEXCL held here.
  lock_.Release();
  if (exclusive_) ioctl(fd, TIOCNXCL);
  exclusive_ = false;
  return ::close(fd) == 0 ? ecOK : ecGeneralFailure;
}

bool TSioPosixDispatcher::SetupCom(std::uint32_t /*inSize*/, std::uint32_t /*outSize*/) {
  return true;  // a tty's queues have fixed sizes
}

std::int32_t TSioPosixDispatcher::GetComState(TDeviceControlBlock& dcb) {
  std::lock_guard state(StateLock());
  if (fd_.load() < 0) return ecCommNotOpen;
  dcb = dcb_;
  return ecOK;
}

std::int32_t TSioPosixDispatcher::SetComState(const TDeviceControlBlock& dcb) {
  std::lock_guard state(StateLock());
  const int fd = fd_.load();
  if (fd < 0) return ecCommNotOpen;
  if (dcb.byteSize < 5 || dcb.byteSize > 8) return ecByteSize;
  if (dcb.parity > 4 || dcb.stopBits > 2) return ecBadArgument;
  const std::uint32_t baud = BaudFromRateCode(dcb.baud);
  if (baud == 0 || (baud >= 0xFF10 && baud <= 0xFF27)) return ecBaudRate;  // a code without a rate

  termios t {};
  if (tcgetattr(fd, &t) != 0) return ecGeneralFailure;
  MakeRaw(t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dcb.byteSize - 5];
  switch (dcb.parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.stopBits != 0) t.c_cflag |= CSTOPB;  // with 5 data bits the UART sends 1.5
  // Linux has one hardware handshake, RTS/CTS in both directions; DTR/DSR flow is kept in
  // the record only.
  const bool rtsCts = dcb.outxCtsFlow || dcb.rtsControl == rtsHandshake;
  if (rtsCts) t.c_cflag |= CRTSCTS;
  if (dcb.parityCheck) t.c_iflag |= INPCK;
  if (dcb.outX) t.c_iflag |= IXON;
  if (dcb.inX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = dcb.xonChar;
  t.c_cc[VSTOP] = dcb.xoffChar;

  const speed_t code = SpeedCode(baud);
  cfsetispeed(&t, code != B0 ? code : B38400);
  cfsetospeed(&t, code != B0 ? code : B38400);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return errno == EINVAL ? ecBaudRate : ecGeneralFailure;
  if (code == B0 && SwSetCustomBaud(fd, baud) != 0) return ecBaudRate;

  const bool toggle = dcb.rtsControl == rtsToggle;
  if (toggle || kernelRs485_ || softRs485_.load()) {
    struct serial_rs485 rs485 {};
    if (toggle) rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    const bool kernel = ioctl(fd, TIOCSRS485, &rs485) == 0;
    kernelRs485_ = toggle && kernel;
    softRs485_ = toggle && !kernel;
  }
  ctsFlow_ = rtsCts;
  dsrFlow_ = dcb.outxDsrFlow;
  dcb_ = dcb;
  return ecOK;
}

std::int32_t TSioPosixDispatcher::EscapeComFunction(std::int32_t function) {
  const int fd = fd_.load();
  if (fd < 0) return -1;
  auto line = [&](unsigned long request, int bit) -> std::int32_t {
    if (!modemLines_) return 0;  // no modem lines to drive
    if (kernelRs485_ && bit == TIOCM_RTS) return 0;  // the driver owns RTS
    if (ioctl(fd, request, &bit) == 0) return 0;
    return Unsupported(errno) ? 0 : -1;
  };
  auto simple = [&](int result) -> std::int32_t {
    return result == 0 || Unsupported(errno) ? 0 : -1;
  };
  switch (function) {
    case escSetXoff: return simple(tcflow(fd, TCOOFF));
    case escSetXon: return simple(tcflow(fd, TCOON));
    case escSetRts: return line(TIOCMBIS, TIOCM_RTS);
    case escClrRts: return line(TIOCMBIC, TIOCM_RTS);
    case escSetDtr: return line(TIOCMBIS, TIOCM_DTR);
    case escClrDtr: return line(TIOCMBIC, TIOCM_DTR);
    case escSetBreak: return simple(ioctl(fd, TIOCSBRK));
    case escClrBreak: return simple(ioctl(fd, TIOCCBRK));
    case escResetDev:
    case escGetBaseAddress:  // no I/O addresses here; the driver does RS-485
      return 0;
    default: return -1;
  }
}

std::int32_t TSioPosixDispatcher::FlushCom(std::int32_t queue) {
  const int fd = fd_.load();
  int err = 0;
  if (queue == 0) {
    {
      std::lock_guard output(OutputLock());
      ClearOutRingLocked();
    }
    {
      // A write already staged before the flush either went out before this or is
      // dropped: the output thread checks the ring's generation under this lock.
      std::lock_guard write(writeLock_);
      if (fd >= 0 && tcflush(fd, TCOFLUSH) != 0) err = errno;
    }
    KickOutput();
  } else if (fd >= 0 && tcflush(fd, TCIFLUSH) != 0) {
    err = errno;
  }
  return err == 0 || err == EIO || Unsupported(err) ? ecOK : ecGeneralFailure;
}

std::uint32_t TSioPosixDispatcher::GetComError(TComStatus& status) {
  status = TComStatus{};
  std::uint32_t errors = 0;
  const int fd = fd_.load();
  if (fd >= 0) {
    int queued = 0;
    if (ioctl(fd, FIONREAD, &queued) == 0) {
      status.inQueue = static_cast<std::uint32_t>(std::max(queued, 0));
    } else if (errno == EIO) {
      MarkHungUp();
    }
    if (modemCounters_) {
      struct serial_icounter_struct c {};
      if (ioctl(fd, TIOCGICOUNT, &c) == 0) {
        std::lock_guard guard(countersLock_);
        if (c.buf_overrun != lastBufOverrun_) errors |= ceRxOver;
        if (c.overrun != lastOverrun_) errors |= ceOverrun;
        if (c.parity != lastParity_) errors |= ceParity;
        if (c.frame != lastFrame_) errors |= ceFrame;
        if (c.brk != lastBreak_) errors |= ceBreak;
        if (c.rng != lastRing_) ringSeen_ = true;
        lastBufOverrun_ = c.buf_overrun;
        lastOverrun_ = c.overrun;
        lastParity_ = c.parity;
        lastFrame_ = c.frame;
        lastBreak_ = c.brk;
        lastRing_ = c.rng;
      }
    }
    if (ctsFlow_.load() || dsrFlow_.load()) {
      const std::uint8_t levels = GetComModemStatus();
      if (ctsFlow_.load() && (levels & msCts) == 0) status.holdFlags |= hfCtsHold;
      if (dsrFlow_.load() && (levels & msDsr) == 0) status.holdFlags |= hfDsrHold;
    }
  }
  std::lock_guard output(OutputLock());
  status.outQueue = outBuf_ ? OutCountLocked() : 0;
  return errors;
}

std::uint8_t TSioPosixDispatcher::GetComModemStatus() {
  if (hungUp_.load()) return 0;
  constexpr std::uint8_t kAsserted = msCts | msDsr | msDcd;
  const int fd = fd_.load();
  if (fd < 0) return 0;
  if (!modemLines_) return kAsserted;
  int bits = 0;
  if (ioctl(fd, TIOCMGET, &bits) != 0) {
    if (errno == EIO) {
      MarkHungUp();
      return 0;
    }
    return kAsserted;
  }
  std::uint8_t levels = 0;
  if (bits & TIOCM_CTS) levels |= msCts;
  if (bits & TIOCM_DSR) levels |= msDsr;
  if (bits & TIOCM_RNG) levels |= msRi;
  if (bits & TIOCM_CD) levels |= msDcd;
  return levels;
}

std::int32_t TSioPosixDispatcher::GetComEventMask(std::int32_t /*mask*/) { return 0; }

std::int32_t TSioPosixDispatcher::ReadCom(void* buffer, std::uint32_t size) {
  const int fd = fd_.load();
  if (fd < 0) return -1;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return static_cast<std::int32_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    if (errno == EIO) MarkHungUp();
    return -1;
  }
}

std::int32_t TSioPosixDispatcher::WriteCom(const void* buffer, std::uint32_t size) {
  // A failed write of the output thread is reported here, once, as the device's refusal.
  if (writeError_.exchange(0) != 0 || hungUp_.load()) return -1;
  // With nothing queued ahead the caller writes to the device itself: handing a block to
  // the output thread costs a thread wake-up, most of a protocol's turnaround. The write
  // lock keeps this clear of the output thread's write and of a flush; it is only tried,
  // since the output thread takes it before the output lock held here. Whatever the
  // device does not take at once (or refuses) goes through the ring as before.
  std::uint32_t done = 0;
  if (!softRs485_.load() && OutCountLocked() == 0 && writeLock_.try_lock()) {
    std::lock_guard write(writeLock_, std::adopt_lock);
    const int fd = fd_.load();
    ssize_t n = -1;
    if (fd >= 0) {
      do {
        n = ::write(fd, buffer, size);
      } while (n < 0 && errno == EINTR);
    }
    if (n > 0) done = static_cast<std::uint32_t>(n);
  }
  if (done == size) {
    WakeDispatcher();  // as the output thread does when the ring drains
    return static_cast<std::int32_t>(size);
  }
  CopyToOutRing(static_cast<const std::uint8_t*>(buffer) + done, size - done);
  KickOutput();
  return static_cast<std::int32_t>(size);
}

std::int32_t TSioPosixDispatcher::WaitComEvent(std::uint32_t& eventWord) {
  eventWord = 0;
  const int fd = fd_.load();
  if (fd < 0 || !modemCounters_ || ComWakeSignal() == 0) return 0;
  comWaiting_ = true;
  if (killThreads_.load()) {
    comWaiting_ = false;
    return 1;
  }
  const int result = ioctl(fd, TIOCMIWAIT, TIOCM_RNG | TIOCM_DSR | TIOCM_CD | TIOCM_CTS);
  const int err = errno;
  comWaiting_ = false;
  if (result != 0) {
    if (err == EINTR) return 1;
    if (Unsupported(err)) return 0;
    if (err == EIO) MarkHungUp();
    return -1;
  }
  struct serial_icounter_struct c {};
  if (ioctl(fd, TIOCGICOUNT, &c) != 0) return -1;
  if (c.cts != comCts_) eventWord |= evCts;
  if (c.dsr != comDsr_) eventWord |= evDsr;
  if (c.dcd != comDcd_) eventWord |= evRlsd;
  if (c.rng != comRing_) eventWord |= evRing;
  comCts_ = c.cts;
  comDsr_ = c.dsr;
  comDcd_ = c.dcd;
  comRing_ = c.rng;
  return 1;
}

std::int32_t TSioPosixDispatcher::ProcessCommunications() {
  sched_yield();
  return ecOK;
}

void TSioPosixDispatcher::MarkHungUp() {
  if (!hungUp_.exchange(true)) WakeDispatcher();
}

void TSioPosixDispatcher::WakeDispatcher() {
  // From inside a pass (a handler, a protocol step) a note does: the thread looks again
  // before it waits, without the signal's two system calls.
  if (t_dispatching == this) {
    passAgain_ = true;
    return;
  }
  if (dispatchEvent_ < 0) return;
  const std::uint64_t one = 1;
  if (::write(dispatchEvent_, &one, sizeof one) < 0) {
    // Already signalled to the counter's limit: the thread wakes anyway.
  }
}

void TSioPosixDispatcher::KickOutput() {
  if (outputEvent_ < 0) return;
  const std::uint64_t one = 1;
  if (::write(outputEvent_, &one, sizeof one) < 0) {
  }
}

void TSioPosixDispatcher::DrainEventFd(int fd) {
  std::uint64_t value;
  if (::read(fd, &value, sizeof value) < 0) {
  }
}

// ---- threads ----

void TSioPosixDispatcher::SetThreadBoost(std::uint8_t boost) {
  TSioBaseDispatcher::SetThreadBoost(std::min<std::uint8_t>(boost, 2));
  for (int w = 0; w < kWorkers; ++w) ApplyBoost(static_cast<Worker>(w));
}

void TSioPosixDispatcher::ApplyBoost(Worker which) {
  const int tid = tids_[which].load();
  if (tid == 0) return;
  int boost = threadBoost_.load();
  if (which == kOutput && rs485Mode_.load()) ++boost;
  // Threads start at the process's niceness; a boost lowers it. Raising priority needs
  // privileges, so a refusal leaves the thread as it is.
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), base - boost);
}

void TSioPosixDispatcher::Acknowledge() {
  {
    std::lock_guard guard(signalLock_);
    ++acknowledged_;
  }
  signal_.notify_all();
}

void TSioPosixDispatcher::Finished(Worker which) {
  tids_[which] = 0;
  ThreadGone(which == kDispatch);
  {
    std::lock_guard guard(signalLock_);
    running_[which] = false;
  }
  signal_.notify_all();
}

std::int32_t TSioPosixDispatcher::StartDispatcher() {
  {
    std::lock_guard state(StateLock());
    if (active_.load()) throw ESioException("Dispatcher already started");
    active_ = true;
    killThreads_ = false;
  }
  DrainEventFd(dispatchEvent_);
  DrainEventFd(outputEvent_);
  {
    std::lock_guard guard(signalLock_);
    acknowledged_ = 0;
    dispatchDone_ = true;
  }
  using Main = void (TSioPosixDispatcher::*)();
  static constexpr Main kMains[kWorkers] = {&TSioPosixDispatcher::ComThreadMain,
                                            &TSioPosixDispatcher::DispatchThreadMain,
                                            &TSioPosixDispatcher::OutputThreadMain};
  for (int w = 0; w < kWorkers; ++w) {
    bool started = true;
    {
      std::lock_guard guard(threadsLock_);
      // Counted before the thread runs, so the count cannot touch 0 while others start.
      ThreadStarted();
      running_[w] = true;
      try {
        threads_[w] = std::thread(kMains[w], this);
        threadIds_[w] = threads_[w].get_id();
      } catch (const std::system_error&) {
        running_[w] = false;
        started = false;
      }
    }
    if (!started) {
      ThreadGone(false);
      StopDispatcher();
      return ecOutOfMemory;
    }
    std::unique_lock lock(signalLock_);
    signal_.wait_for(lock, std::chrono::milliseconds(3000), [&] { return acknowledged_ > w; });
  }
  return ecOK;
}

void TSioPosixDispatcher::StopDispatcher() {
  killThreads_ = true;
  WakeDispatcher();
  KickOutput();
  const std::thread::id self = std::this_thread::get_id();
  auto othersRunning = [&] {
    std::lock_guard guard(threadsLock_);
    for (int w = 0; w < kWorkers; ++w)
      if (running_[w].load() && threadIds_[w] != self) return true;
    return false;
  };
  // Keep this thread's messages moving: the dispatch thread may be waiting for a send
  // or a synchronised call to it before it can see the stop.
  while (othersRunning()) {
    InterruptComWait();
    SafeYield();
    std::unique_lock lock(signalLock_);
    signal_.wait_for(lock, std::chrono::milliseconds(2));
  }
  std::lock_guard guard(threadsLock_);
  for (int w = 0; w < kWorkers; ++w) {
    if (threads_[w].joinable() && threadIds_[w] != self) {
      threads_[w].join();
      threadIds_[w] = std::thread::id();
    }
  }
}

void TSioPosixDispatcher::InterruptComWait() {
  {
    std::lock_guard guard(signalLock_);
  }
  signal_.notify_all();  // a com thread idling or waiting for the dispatch pass
  const int sig = modemCounters_ ? ComWakeSignal() : 0;
  if (sig == 0 || !comWaiting_.load()) return;
  std::lock_guard guard(threadsLock_);
  if (running_[kCom].load() && threads_[kCom].joinable())
    pthread_kill(threads_[kCom].native_handle(), sig);
}

void TSioPosixDispatcher::ComThreadMain() {
  tids_[kCom] = static_cast<int>(gettid());
  ApplyBoost(kCom);
  Acknowledge();
  while (!killThreads_.load()) {
    std::uint32_t event = 0;
    const std::int32_t waited = WaitComEvent(event);
    if (killThreads_.load() || waited < 0) break;  // a failed wait ends the thread
    if (waited == 0) {
      // Nothing to watch: the dispatch thread polls the lines; idle until stopped.
      std::unique_lock lock(signalLock_);
      signal_.wait(lock, [this] { return killThreads_.load(); });
      break;
    }
    if (event == 0) continue;
    if (event & (evRing | evRingTe)) ringSeen_ = true;
    lastEvent_ = event;
    {
      std::lock_guard guard(signalLock_);
      dispatchDone_ = false;
    }
    WakeDispatcher();
    std::unique_lock lock(signalLock_);
    signal_.wait(lock, [this] { return dispatchDone_ || killThreads_.load(); });
  }
  Acknowledge();
  Finished(kCom);
}

bool TSioPosixDispatcher::StatusRound() {
  bool fired = false;
  while (!closePending_.load() && CheckStatusTriggers()) fired = true;
  return fired;
}

void TSioPosixDispatcher::EventPass() {
  const std::uint32_t event = lastEvent_.load();
  bool hit = false;
  // The modem lines are read every pass: most ttys report changes only when asked.
  MapEventsToMS();
  if (!eventBusy_.load()) hit |= StatusRound();
  if ((event & 0xFF) >= evBreak) {
    RefreshStatus();
    if (!eventBusy_.load()) hit |= StatusRound();
  }
  ExtractData();
  if (!eventBusy_.load()) {
    GetModemStatusPrim(0xFF);
    hit |= StatusRound();
    while (!closePending_.load() && CheckReceiveTriggers()) {
    }
  }
  if (hit) ResetStatusHits();
  bool comWaits;
  {
    std::lock_guard guard(signalLock_);
    comWaits = !dispatchDone_;
    dispatchDone_ = true;
  }
  if (comWaits) signal_.notify_all();  // only a com thread after an event waits for this
}

void TSioPosixDispatcher::TimerPass() {
  if (closePending_.load() || eventBusy_.load()) return;
  {
    std::lock_guard state(StateLock());
    globalStatusHit_ = false;
  }
  bool hit = false;
  while (!closePending_.load()) {
    const bool status = CheckStatusTriggers();
    if (status) hit = true;
    if (!status && !CheckTimerTriggers()) break;
  }
  if (hit) ResetStatusHits();
}

void TSioPosixDispatcher::DispatchThreadMain() {
  tids_[kDispatch] = static_cast<int>(gettid());
  t_dispatching = this;
  ApplyBoost(kDispatch);
  Acknowledge();
  constexpr std::uint64_t kHangUpProbeMs = 500;
  std::uint64_t nextProbe = 0;
  while (!killThreads_.load() && !closePending_.load()) {
    const int fd = fd_.load();
    // While a notification or a wait of the component holds the checks back, a due timer
    // must not turn the wait into a spin; ending the busy state wakes this thread.
    int timeout = eventBusy_.load() ? 50 : std::clamp(NextTimerDue(), 0, 50);
    if (std::exchange(passAgain_, false)) timeout = 0;
    // A full ring stops the reads (the kernel queue and flow control hold the rest); a
    // reader that makes room wakes this thread. A hung-up device reports POLLHUP at once,
    // so it is only probed now and then.
    bool watch = fd >= 0 && !InRingFull();
    if (watch && hungUp_.load()) {
      const std::uint64_t now = NowMs();
      watch = now >= nextProbe;
      if (watch) nextProbe = now + kHangUpProbeMs;
    }
    pollfd fds[2] = {{dispatchEvent_, POLLIN, 0}, {watch ? fd : -1, POLLIN, 0}};
    if (poll(fds, 2, timeout) < 0 && errno != EINTR)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (fds[0].revents & POLLIN) DrainEventFd(dispatchEvent_);
    if (killThreads_.load() || closePending_.load()) break;
    if (watch) {
      if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
        MarkHungUp();
      else if (hungUp_.load())
        hungUp_ = false;  // the probe found the device usable again
    }
    EventPass();
    TimerPass();
  }
  closeOnExit_ = closePending_.load();
  t_dispatching = nullptr;
  Acknowledge();
  Finished(kDispatch);
}

void TSioPosixDispatcher::WaitTransmitterEmpty() {
  // Bounded: a stalled line must not hold the output thread for ever.
  const int fd = fd_.load();
  const std::uint64_t deadline = NowMs() + 2000;
  while (!killThreads_.load() && NowMs() < deadline) {
    int queued = 0;
    unsigned int lsr = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || ioctl(fd, TIOCSERGETLSR, &lsr) != 0) break;
    if (queued == 0 && (lsr & TIOCSER_TEMT)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void TSioPosixDispatcher::OutputThreadMain() {
  tids_[kOutput] = static_cast<int>(gettid());
  ApplyBoost(kOutput);
  Acknowledge();
  constexpr std::uint32_t kStageSize = 16384;
  // Bytes are copied out of the ring under the output lock and written outside it; they
  // leave the ring only once the device took them.
  const auto stage = std::make_unique<std::uint8_t[]>(kStageSize);
  std::uint32_t offset = 0, length = 0;
  std::uint64_t generation = 0;
  bool idle = true;  // the ring was empty: wait for WriteCom's signal before looking again
  bool backOff = false;
  while (!killThreads_.load() && !closePending_.load()) {
    if (offset == length) {
      if (idle || backOff) {
        pollfd wake{outputEvent_, POLLIN, 0};
        poll(&wake, 1, backOff ? 100 : -1);
        if (wake.revents & POLLIN) DrainEventFd(outputEvent_);
        backOff = false;
        if (killThreads_.load() || closePending_.load()) break;
      }
      std::lock_guard output(OutputLock());
      offset = 0;
      length = outBuf_ ? PeekOutRingLocked(stage.get(), kStageSize) : 0;
      generation = outGeneration_;
      idle = length == 0;
      continue;
    }
    const int fd = fd_.load();
    if (fd < 0) {
      offset = length = 0;
      idle = true;
      continue;
    }
    pollfd fds[2] = {{outputEvent_, POLLIN, 0}, {fd, POLLOUT, 0}};
    poll(fds, 2, backOff ? 100 : -1);
    if (fds[0].revents & POLLIN) DrainEventFd(outputEvent_);
    if (killThreads_.load() || closePending_.load()) break;
    if (backOff || fds[1].revents == 0) {
      backOff = false;
      std::lock_guard output(OutputLock());
      if (outGeneration_ != generation) offset = length = 0;  // flushed meanwhile
      continue;
    }

    ssize_t written = 0;
    int err = 0;
    bool stale;
    {
      std::lock_guard write(writeLock_);
      {
        std::lock_guard output(OutputLock());
        stale = outGeneration_ != generation;
      }
      if (!stale) {
        written = ::write(fd, stage.get() + offset, length - offset);
        err = written < 0 ? errno : 0;
      }
    }
    if (stale) {
      offset = length = 0;
      continue;
    }
    if (written > 0) {
      offset += static_cast<std::uint32_t>(written);
      bool drained = false;
      {
        std::lock_guard output(OutputLock());
        if (outGeneration_ == generation) {
          AdvanceOutTailLocked(static_cast<std::uint32_t>(written));
          drained = OutCountLocked() == 0;
        } else {
          offset = length = 0;
        }
      }
      if (drained) {
        if (softRs485_.load()) {
          WaitTransmitterEmpty();
          EscapeComFunction(escClrRts);
        }
        WakeDispatcher();
      }
      continue;
    }
    const bool hangUp = (fds[1].revents & (POLLHUP | POLLERR)) != 0;
    if (written == 0 || err == EAGAIN || err == EINTR) {
      backOff = hangUp || written == 0;
      continue;
    }
    // The device refused the write (hang-up, I/O error): what is queued cannot go out.
    writeError_ = err;
    if (err == EIO || hangUp) MarkHungUp();
    {
      std::lock_guard output(OutputLock());
      ClearOutRingLocked();
    }
    offset = length = 0;
    idle = true;
    WakeDispatcher();
  }
  Acknowledge();
  Finished(kOutput);
}
