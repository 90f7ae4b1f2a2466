#include "LineSim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

namespace linesim {

namespace {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;

// A paced direction reads no further ahead than a UART's FIFO, so that bytes wait in the
// sender's pty (where its own flush can still reach them) and a steady stream always has a
// byte queued behind the one on the wire: the pacing clock then never restarts mid-stream.
constexpr std::size_t kPacedDepth = 16;
constexpr std::size_t kUnpacedDepth = 65536;
// How often a closed side is looked at for a new opener.
constexpr auto kClosedPoll = std::chrono::milliseconds(5);

std::string Hex(std::uint8_t b) {
  static const char digits[] = "0123456789abcdef";
  return {digits[b >> 4], digits[b & 15]};
}

bool ParseNumber(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(sep);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

bool SetRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

const char* DirectionName(int direction) { return direction == kAtoB ? "a2b" : "b2a"; }

// ---------------------------------------------------------------------------------------

FaultFilter::FaultFilter(int direction, Faults faults, bool checksumBlocks, LogFn log)
    : direction_(direction), faults_(std::move(faults)), checksumBlocks_(checksumBlocks),
      log_(std::move(log)) {}

void FaultFilter::Log(std::uint64_t index, const std::string& what) const {
  if (log_) log_(std::string(DirectionName(direction_)) + " byte " + std::to_string(index) + ": " + what);
}

void FaultFilter::Feed(std::uint8_t byte, std::vector<std::uint8_t>& out) {
  const std::uint64_t i = index_++;
  if (silent_) return;
  if (faults_.silentFrom && i >= *faults_.silentFrom) {
    silent_ = true;
    Log(i, "silent from here on");
    return;
  }
  for (const auto& ins : faults_.insertCans) {
    if (ins.index != i) continue;
    out.insert(out.end(), ins.count, kCan);
    Log(i, std::to_string(ins.count) + " CAN inserted before it");
  }

  bool inBlock = blockLeft_ > 0;
  if (!inBlock && (byte == kSoh || byte == kStx)) {
    ++blocks_;
    blockLeft_ = (byte == kSoh ? 133 : 1029) - (checksumBlocks_ ? 1 : 0);
    inBlock = true;
    const auto has = [this](const std::vector<std::uint64_t>& v) {
      return std::find(v.begin(), v.end(), blocks_) != v.end();
    };
    blockAction_ = has(faults_.dropBlocks)     ? BlockAction::kDrop
                   : has(faults_.repeatBlocks) ? BlockAction::kRepeat
                                               : BlockAction::kPass;
    if (blockAction_ == BlockAction::kDrop)
      Log(i, "block " + std::to_string(blocks_) + " (" + std::to_string(blockLeft_) + " bytes) dropped");
  }
  if (inBlock) --blockLeft_;

  const bool isAck = !inBlock && byte == kAck;
  if (isAck) ++acks_;

  bool keep = true;
  if (inBlock && blockAction_ == BlockAction::kDrop) {
    keep = false;
  } else if (std::find(faults_.drops.begin(), faults_.drops.end(), i) != faults_.drops.end()) {
    keep = false;
    Log(i, "dropped (0x" + Hex(byte) + ")");
  } else {
    if (isAck) {
      for (const auto& r : faults_.ackToNak) {
        if (acks_ < r.first || acks_ > r.last) continue;
        byte = kNak;
        Log(i, "ACK " + std::to_string(acks_) + " replaced by NAK");
        break;
      }
    }
    for (const auto& f : faults_.flips) {
      if (f.index != i) continue;
      const std::uint8_t before = byte;
      byte = static_cast<std::uint8_t>(byte ^ (1U << f.bit));
      Log(i, "bit " + std::to_string(f.bit) + " flipped (0x" + Hex(before) + " -> 0x" + Hex(byte) + ")");
    }
  }
  if (keep) {
    out.push_back(byte);
    if (inBlock && blockAction_ == BlockAction::kRepeat) repeat_.push_back(byte);
  }
  if (inBlock && blockLeft_ == 0 && blockAction_ == BlockAction::kRepeat) {
    out.insert(out.end(), repeat_.begin(), repeat_.end());
    Log(i, "block " + std::to_string(blocks_) + " repeated (" + std::to_string(repeat_.size()) + " bytes)");
    repeat_.clear();
  }
}

// ---------------------------------------------------------------------------------------

const char* const kUsage =
    "usage: linesim [options]\n"
    "  Creates two pseudo-terminals A and B, prints \"A <slave>\" and \"B <slave>\", and copies\n"
    "  bytes A->B (a2b) and B->A (b2a) until SIGTERM/SIGINT or the idle time.\n"
    "  --baud N                10 bit times a byte in each direction; 0 = unpaced (default)\n"
    "  --link-a PATH           symlink PATH to A's slave (removed at exit)\n"
    "  --link-b PATH           symlink PATH to B's slave\n"
    "  --exit-when-idle MS     stop once nothing has passed for MS ms\n"
    "  --timing FILE           one line per delivered byte: DIR INDEX TIME_US HEX\n"
    "  --verbose, -v           hex trace of each direction and side open/close\n"
    "  --checksum-blocks       blocks are 132/1028 bytes (checksum XMODEM), not 133/1029\n"
    " Faults (DIR is a2b or b2a; bytes count from 0 on the input, blocks and ACKs from 1;\n"
    " each may be given more than once):\n"
    "  --flip DIR:INDEX[:BIT]  flip bit BIT (default 0) of byte INDEX\n"
    "  --drop DIR:INDEX        drop byte INDEX\n"
    "  --drop-block DIR:N      drop the N-th block (SOH: 133 bytes, STX: 1029)\n"
    "  --repeat-block DIR:N    send the N-th block twice\n"
    "  --ack-to-nak DIR:COUNT  turn the first COUNT ACKs into NAKs\n"
    "  --ack-to-nak DIR:FROM-TO  turn ACKs FROM to TO into NAKs\n"
    "  --insert-can DIR:INDEX:COUNT  put COUNT CANs on the line before byte INDEX\n"
    "  --silent-after DIR:INDEX  nothing passes from byte INDEX on\n";

bool ParseArguments(const std::vector<std::string>& args, Options& options, bool& help,
                    std::string& error) {
  help = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string name = args[k];
    std::string value;
    bool hasValue = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    const auto takeValue = [&]() {
      if (hasValue) return true;
      if (k + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++k];
      return true;
    };
    const auto bad = [&]() {
      error = "bad value for " + name + ": '" + value + "'";
      return false;
    };

    if (name == "--help" || name == "-h") {
      help = true;
      return true;
    }
    if (name == "--verbose" || name == "-v") {
      options.verbose = true;
      continue;
    }
    if (name == "--checksum-blocks") {
      options.checksumBlocks = true;
      continue;
    }
    if (name == "--baud" || name == "--exit-when-idle") {
      if (!takeValue()) return false;
      std::uint64_t n = 0;
      if (!ParseNumber(value, n) || n > 100000000) return bad();
      (name == "--baud" ? options.baud : options.exitWhenIdleMs) = static_cast<long>(n);
      continue;
    }
    if (name == "--link-a" || name == "--link-b" || name == "--timing") {
      if (!takeValue()) return false;
      if (value.empty()) return bad();
      (name == "--link-a" ? options.linkA : name == "--link-b" ? options.linkB : options.timingFile) = value;
      continue;
    }

    static const char* const kFaultNames[] = {"--flip",       "--drop",       "--drop-block",  "--repeat-block",
                                              "--ack-to-nak", "--insert-can", "--silent-after"};
    if (std::find(std::begin(kFaultNames), std::end(kFaultNames), name) == std::end(kFaultNames)) {
      error = "unknown option " + name;
      return false;
    }
    if (!takeValue()) return false;
    const auto parts = Split(value, ':');
    int dir = -1;
    if (parts[0] == "a2b") dir = kAtoB;
    if (parts[0] == "b2a") dir = kBtoA;
    if (dir < 0 || parts.size() < 2) return bad();
    Faults& f = options.faults[dir];
    std::uint64_t n = 0;
    std::uint64_t m = 0;
    if (name == "--flip") {
      if (parts.size() > 3 || !ParseNumber(parts[1], n)) return bad();
      if (parts.size() == 3 && (!ParseNumber(parts[2], m) || m > 7)) return bad();
      f.flips.push_back({n, static_cast<int>(m)});
    } else if (name == "--insert-can") {
      if (parts.size() != 3 || !ParseNumber(parts[1], n) || !ParseNumber(parts[2], m) || m == 0 || m > 1000)
        return bad();
      f.insertCans.push_back({n, static_cast<unsigned>(m)});
    } else if (parts.size() != 2) {
      return bad();
    } else if (name == "--ack-to-nak") {
      const auto range = Split(parts[1], '-');
      if (range.size() == 1) {
        if (!ParseNumber(range[0], m) || m == 0) return bad();
        f.ackToNak.push_back({1, m});
      } else if (range.size() == 2 && ParseNumber(range[0], n) && ParseNumber(range[1], m) && n >= 1 && m >= n) {
        f.ackToNak.push_back({n, m});
      } else {
        return bad();
      }
    } else {
      if (!ParseNumber(parts[1], n)) return bad();
      if (name == "--drop") {
        f.drops.push_back(n);
      } else if (name == "--silent-after") {
        f.silentFrom = f.silentFrom ? std::min(*f.silentFrom, n) : n;
      } else {
        if (n == 0) return bad();
        (name == "--drop-block" ? f.dropBlocks : f.repeatBlocks).push_back(n);
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------

LineSim::LineSim(Options options, LogFn log) : options_(std::move(options)), log_(std::move(log)) {
  for (int d = 0; d < 2; ++d) dir_[d].filter.emplace(d, options_.faults[d], options_.checksumBlocks, log_);
}

LineSim::~LineSim() {
  RemoveLinks();
  for (auto& s : side_)
    if (s.master >= 0) ::close(s.master);
  for (int fd : stopPipe_)
    if (fd >= 0) ::close(fd);
  if (timing_) std::fclose(timing_);
}

bool LineSim::Open(std::string& error) {
  if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  for (auto& s : side_) {
    int slave = -1;
    if (::openpty(&s.master, &slave, nullptr, nullptr, nullptr) != 0) {
      error = std::string("openpty: ") + std::strerror(errno);
      return false;
    }
    const char* name = ::ttyname(slave);
    s.slavePath = name ? name : "";
    const bool raw = SetRaw(slave) && SetRaw(s.master);
    // The side is closed until a peer opens the slave: the termios stay with the pty.
    ::close(slave);
    ::fcntl(s.master, F_SETFD, FD_CLOEXEC);
    ::fcntl(s.master, F_SETFL, ::fcntl(s.master, F_GETFL) | O_NONBLOCK);
    if (!raw || s.slavePath.empty()) {
      error = std::string("cannot set up the pty: ") + std::strerror(errno);
      return false;
    }
  }
  if (!options_.timingFile.empty()) {
    timing_ = std::fopen(options_.timingFile.c_str(), "w");
    if (!timing_) {
      error = options_.timingFile + ": " + std::strerror(errno);
      return false;
    }
  }
  const std::string* links[2] = {&options_.linkA, &options_.linkB};
  for (int s = 0; s < 2; ++s) {
    if (links[s]->empty()) continue;
    if (!MakeLink(*links[s], side_[s].slavePath, error)) return false;
    side_[s].link = *links[s];
  }
  return true;
}

bool LineSim::MakeLink(const std::string& link, const std::string& target, std::string& error) const {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    error = link + ": exists and is not a symlink";
    return false;
  }
  // Made aside and renamed into place, so that a waiting test never sees a stale target.
  const std::string tmp = link + ".linesim-" + std::to_string(::getpid());
  ::unlink(tmp.c_str());
  if (::symlink(target.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
    error = link + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

void LineSim::RemoveLinks() {
  for (auto& s : side_) {
    if (s.link.empty()) continue;
    char buf[4096];
    const ssize_t n = ::readlink(s.link.c_str(), buf, sizeof buf);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == s.slavePath) ::unlink(s.link.c_str());
    s.link.clear();
  }
}

void LineSim::Stop() {
  const char c = 's';
  [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &c, 1);
}

std::size_t LineSim::Room(int direction) const {
  const std::size_t depth = options_.baud > 0 ? kPacedDepth : kUnpacedDepth;
  const std::size_t used = dir_[direction].queue.size();
  return used < depth ? depth - used : 0;
}

void LineSim::SetOpen(int side, bool open) {
  if (side_[side].open == open) return;
  side_[side].open = open;
  if (!open) dir_[1 - side].blocked = false;  // bytes for it are lost from now on
  if (log_) log_(std::string("side ") + "AB"[side] + (open ? " opened" : " closed"));
}

void LineSim::Enqueue(int direction, std::uint8_t byte, Clock::time_point now) {
  Flow& f = dir_[direction];
  Clock::time_point due = now;
  if (options_.baud > 0) {
    // Every byte of a busy run is due at an exact multiple of the byte time after the run's
    // first one arrived, so wake-up latencies never add up.
    if (f.runBytes == 0 || f.lastDue <= now) {
      f.runStart = now;
      f.runBytes = 0;
    }
    ++f.runBytes;
    const std::uint64_t bits = f.runBytes * 10;
    const auto baud = static_cast<std::uint64_t>(options_.baud);
    const std::uint64_t ns = bits / baud * 1000000000ULL + bits % baud * 1000000000ULL / baud;
    due = f.runStart + std::chrono::nanoseconds(ns);
    f.lastDue = due;
  }
  f.queue.push_back({byte, due});
}

bool LineSim::ReadSide(int side, short revents, Clock::time_point now) {
  Flow& f = dir_[side];  // a side's input is the direction leaving it
  std::uint8_t buf[4096];
  std::vector<std::uint8_t> out;
  while (std::size_t room = Room(side)) {
    const ssize_t n = ::read(side_[side].master, buf, std::min(room, sizeof buf));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return (revents & POLLHUP) != 0;
    if (n <= 0) return true;  // EIO: the last opener closed its slave
    lastActivity_ = now;
    f.counts.in += static_cast<std::uint64_t>(n);
    out.clear();
    for (ssize_t k = 0; k < n; ++k) f.filter->Feed(buf[k], out);
    for (std::uint8_t b : out) Enqueue(side, b, now);
    if (static_cast<std::size_t>(n) < std::min(room, sizeof buf)) return false;
  }
  return false;
}

void LineSim::Deliver(int direction, Clock::time_point now) {
  Flow& f = dir_[direction];
  const int dest = 1 - direction;
  std::size_t due = 0;
  while (due < f.queue.size() && f.queue[due].due <= now) ++due;
  if (due == 0 || f.blocked) return;

  pollfd p{side_[dest].master, POLLOUT, 0};
  ::poll(&p, 1, 0);
  if (p.revents & POLLHUP) {
    SetOpen(dest, false);
    f.counts.lost += due;
    if (options_.verbose && log_)
      log_(std::string(DirectionName(direction)) + ": " + std::to_string(due) + " bytes lost, side " + "AB"[dest] +
           " not open");
    f.queue.erase(f.queue.begin(), f.queue.begin() + static_cast<std::ptrdiff_t>(due));
    lastActivity_ = now;
    return;
  }
  SetOpen(dest, true);

  std::vector<std::uint8_t> buf;
  buf.reserve(due);
  for (std::size_t k = 0; k < due; ++k) buf.push_back(f.queue[k].byte);
  ssize_t n;
  do {
    n = ::write(side_[dest].master, buf.data(), buf.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno == EAGAIN) {
      f.blocked = true;
      return;
    }
    n = static_cast<ssize_t>(due);  // the pty is gone: the bytes are lost
    f.counts.lost += due;
  } else {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    for (ssize_t k = 0; k < n; ++k) {
      if (timing_) {
        std::fprintf(timing_, "%s %llu %lld %s\n", DirectionName(direction),
                     static_cast<unsigned long long>(f.counts.out), static_cast<long long>(us),
                     Hex(buf[static_cast<std::size_t>(k)]).c_str());
        timingDirty_ = true;
      }
      if (options_.verbose) TraceByte(direction, buf[static_cast<std::size_t>(k)]);
      ++f.counts.out;
    }
    if (static_cast<std::size_t>(n) < due) f.blocked = true;
  }
  f.queue.erase(f.queue.begin(), f.queue.begin() + n);
  lastActivity_ = now;
}

void LineSim::TraceByte(int direction, std::uint8_t byte) {
  Flow& f = dir_[direction];
  if (f.trace.empty()) {
    f.traceIndex = f.counts.out;
    f.traceStart = Clock::now();
  }
  f.trace += ' ';
  f.trace += Hex(byte);
  if (f.trace.size() >= 16 * 3) FlushTrace(direction);
}

void LineSim::FlushTrace(int direction) {
  Flow& f = dir_[direction];
  if (f.trace.empty()) return;
  char head[64];
  const double t = std::chrono::duration<double>(f.traceStart - start_).count();
  std::snprintf(head, sizeof head, "%s %06llu +%.6f:", DirectionName(direction),
                static_cast<unsigned long long>(f.traceIndex), t);
  if (log_) log_(head + f.trace);
  f.trace.clear();
}

int LineSim::Run() {
  if (side_[0].master < 0 || side_[1].master < 0) return 1;
  // The default 50 us of timer slack would be a third of a byte time at 115200 baud.
  ::prctl(PR_SET_TIMERSLACK, 1UL);
  start_ = lastActivity_ = Clock::now();
  for (int s = 0; s < 2; ++s) {
    pollfd p{side_[s].master, POLLIN, 0};
    ::poll(&p, 1, 0);
    if (!(p.revents & POLLHUP)) SetOpen(s, true);  // opened before the line ran
  }

  int status = 0;
  for (;;) {
    auto now = Clock::now();
    for (int d = 0; d < 2; ++d) {
      Deliver(d, now);
      if (dir_[d].queue.empty()) FlushTrace(d);
    }
    if (timing_ && timingDirty_ && dir_[0].queue.empty() && dir_[1].queue.empty()) {
      std::fflush(timing_);
      timingDirty_ = false;
    }

    std::optional<Clock::time_point> wake;
    const auto wakeBy = [&wake](Clock::time_point t) {
      if (!wake || t < *wake) wake = t;
    };
    if (options_.exitWhenIdleMs > 0 && dir_[0].queue.empty() && dir_[1].queue.empty()) {
      const auto idleEnd = lastActivity_ + std::chrono::milliseconds(options_.exitWhenIdleMs);
      if (now >= idleEnd) break;
      wakeBy(idleEnd);
    }

    pollfd fds[3];
    int sideOf[3] = {-1, -1, -1};
    nfds_t nfds = 0;
    fds[nfds++] = {stopPipe_[0], POLLIN, 0};
    for (int s = 0; s < 2; ++s) {
      if (!side_[s].open) {
        wakeBy(now + kClosedPoll);
        continue;
      }
      short events = 0;
      if (Room(s) > 0) events |= POLLIN;
      if (dir_[1 - s].blocked) events |= POLLOUT;
      if (events == 0) continue;
      sideOf[nfds] = s;
      fds[nfds++] = {side_[s].master, events, 0};
    }
    for (const auto& f : dir_)
      if (!f.queue.empty() && !f.blocked) wakeBy(f.queue.front().due);

    timespec ts{};
    timespec* timeout = nullptr;
    if (wake) {
      const auto ns = std::max<std::int64_t>(
          0, std::chrono::duration_cast<std::chrono::nanoseconds>(*wake - now).count());
      ts.tv_sec = static_cast<time_t>(ns / 1000000000);
      ts.tv_nsec = static_cast<long>(ns % 1000000000);
      timeout = &ts;
    }
    if (::ppoll(fds, nfds, timeout, nullptr) < 0 && errno != EINTR) {
      if (log_) log_(std::string("poll: ") + std::strerror(errno));
      status = 1;
      break;
    }
    if (fds[0].revents & POLLIN) break;

    now = Clock::now();
    for (nfds_t k = 1; k < nfds; ++k) {
      const int s = sideOf[k];
      const short rev = fds[k].revents;
      if (rev & POLLOUT) dir_[1 - s].blocked = false;
      if ((rev & (POLLIN | POLLHUP | POLLERR)) && ReadSide(s, rev, now)) SetOpen(s, false);
    }
    for (int s = 0; s < 2; ++s) {
      if (side_[s].open) continue;
      // A closed side may have been opened, and even written to and closed again, since.
      pollfd p{side_[s].master, POLLIN, 0};
      ::poll(&p, 1, 0);
      if (!(p.revents & POLLHUP)) SetOpen(s, true);
      if (p.revents & POLLIN) ReadSide(s, p.revents, now);
    }
  }

  for (int d = 0; d < 2; ++d) FlushTrace(d);
  if (timing_) std::fflush(timing_);
  RemoveLinks();
  if (log_) {
    for (int d = 0; d < 2; ++d) {
      const Counts& c = dir_[d].counts;
      log_(std::string(DirectionName(d)) + ": " + std::to_string(c.in) + " bytes in, " + std::to_string(c.out) +
           " delivered, " + std::to_string(c.lost) + " lost" +
           (dir_[d].queue.empty() ? "" : ", " + std::to_string(dir_[d].queue.size()) + " still queued"));
    }
  }
  return status;
}

}  // namespace linesim
