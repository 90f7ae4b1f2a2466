// panelsim: plays the fire-alarm panel on the far side of a serial line, for end-to-end
// tests of the transfer window and its request responder.
//
//   panelsim --tty PATH [options] download FILE   request, check the answer, `rx -c FILE`
//   panelsim --tty PATH [options] upload FILE     request, check the answer, pause, `sx FILE`
//   panelsim --tty PATH [options] language FILE   `rx -c FILE` at once (no request: the
//                                                 program sends a language file unasked)
//   panelsim --tty PATH [options] request         the request and its answer alone
//
// The tty (a pty slave, such as linesim's far side) is set raw, 9600 8N1. The request is
// 01 b1 b2 03; the answer must be 01 CRChi CRClo 03, the site CRC-16 of the request bytes in
// the variant of the panel type given by --type. A wrong answer gets CAN CAN, as from a panel
// that expected another variant. rx and sx run with stdin and stdout on the tty, in FILE's
// folder (lrzsz's rx refuses paths); SIGTERM and SIGINT are passed on to them. After rx
// succeeded panelsim sends the EOT's ACK once more: rx's flush at exit can swallow it on a pty.
//
// Options: --type T (panel type, default 7), --request HEX (data bytes, default 1234, any
// count), --answer-timeout MS (5000), --expect-silence MS (request road: success when no
// answer comes), --pause MS (upload, before sx; 100), --rx PROG / --sx PROG, --linger MS
// (line held open at the end; 200), --no-final-ack, --timing FILE; all in --help.
//
// Malformed requests (each may be repeated; sent in command-line order before the valid
// request, each followed by --gap ms in which nothing may arrive):
//   --noise HEX        raw bytes, sent with no gap before what follows
//   --bad-length 1|3   a request with 1 (01 41 03) or 3 (01 41 42 43 03) data bytes
//   --split-soh MS     01, then after MS ms the rest (e.g. 200, beyond the responder's time-out)
//   --etx-first        a request whose first data byte is 03: 01 03 b2 03
//
// Exit status: the peer's (rx, sx; 127 when it cannot be run, 128 + N after signal N) once
// the exchange passed; 0 after `request`; 2 bad command line; 100 the tty cannot be opened or
// set; 101 no complete answer in time; 102 wrong answer (CAN CAN sent); 103 bytes arrived where
// silence was expected; 104 another I/O failure; 128 + N when stopped by signal N.
//
// stderr tells what was done; --timing FILE gets one line per event, "EVENT TIME_US [DETAIL]",
// TIME_US on the monotonic clock (CLOCK_MONOTONIC), so that several tools' files compare.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Crc16.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kSoh = 0x01, kEtx = 0x03, kAck = 0x06, kCan = 0x18;

enum Status : int {
  kOk = 0,
  kUsage = 2,
  kTtyFailed = 100,
  kNoAnswer = 101,
  kWrongAnswer = 102,
  kNotSilent = 103,
  kIoFailed = 104,
};

const char* const kUsageText =
    "usage: panelsim --tty PATH [options] ROAD [FILE]\n"
    "  Plays the panel on a serial line (raw, 9600 8N1). ROAD:\n"
    "    download FILE   send the request, check the answer, receive the site: rx -c FILE\n"
    "    upload FILE     send the request, check the answer, pause, send the site: sx FILE\n"
    "    language FILE   receive a language file: rx -c FILE (no request first)\n"
    "    request         the request and its answer only\n"
    "  --tty PATH            the line (e.g. linesim's far side)\n"
    "  --type T              panel type whose CRC variant checks the answer (default 7)\n"
    "  --request HEX         the request's data bytes (default 1234; any count)\n"
    "  --answer-timeout MS   wait for the 4 answer bytes (default 5000)\n"
    "  --expect-silence MS   request road: success when nothing arrives within MS\n"
    "  --pause MS            upload: pause between the answer and sx (default 100)\n"
    "  --rx PROG, --sx PROG  the peers (default rx and sx from PATH)\n"
    "  --linger MS           keep the line open after the last byte (default 200)\n"
    "  --no-final-ack        after rx succeeded, do not send the EOT's ACK once more\n"
    "  --timing FILE         events with monotonic times: EVENT TIME_US [DETAIL]\n"
    " Malformed requests before the valid one, in the order given, each repeatable:\n"
    "  --noise HEX           raw bytes, no gap after them\n"
    "  --bad-length 1|3      01 41 03, or 01 41 42 43 03\n"
    "  --split-soh MS        01, a pause of MS ms, then the rest of the request\n"
    "  --etx-first           01 03 b2 03\n"
    "  --gap MS              silence awaited after each malformed request (default 300)\n"
    " Exit status: the peer's; 0 after request; 2 bad command line; 100 tty failure;\n"
    " 101 no answer; 102 wrong answer (CAN CAN sent); 103 bytes where silence was due;\n"
    " 104 other I/O failure; 128+N on signal N.\n";

struct Piece {
  Bytes head;
  Bytes tail;       // sent splitMs after head
  long splitMs = 0;
  bool gap = true;  // silence awaited afterwards
  std::string what;
};

struct Options {
  std::string tty;
  int type = 7;
  Bytes request{0x12, 0x34};
  long answerTimeoutMs = 5000;
  std::optional<long> expectSilenceMs;
  long pauseMs = 100;
  long gapMs = 300;
  long lingerMs = 200;
  bool finalAck = true;
  std::string rx = "rx";
  std::string sx = "sx";
  std::string timing;
  std::string road;
  std::string file;
  // Kept as given, then built once the request bytes are known.
  std::vector<std::pair<std::string, std::string>> malformed;
};

volatile std::sig_atomic_t g_signal = 0;
volatile pid_t g_child = -1;
std::FILE* g_timing = nullptr;

void OnSignal(int sig) {
  g_signal = sig;
  if (g_child > 0) ::kill(g_child, sig);
}

long long NowUs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::string Hex(const Bytes& bytes) {
  std::string s;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    if (!s.empty()) s += ' ';
    s += buf;
  }
  return s;
}

void Say(const std::string& text) { std::fprintf(stderr, "panelsim: %s\n", text.c_str()); }

void Event(const char* event, const std::string& detail = {}) {
  if (!g_timing) return;
  std::fprintf(g_timing, "%s %lld%s%s\n", event, NowUs(), detail.empty() ? "" : " ", detail.c_str());
  std::fflush(g_timing);
}

bool ParseHex(const std::string& text, Bytes& out) {
  out.clear();
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == ',') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  for (std::size_t k = 0; k < digits.size(); k += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(k, 2), nullptr, 16)));
  return true;
}

bool ParseMs(const std::string& text, long& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < 0 || v > 3600000) return false;
  out = v;
  return true;
}

bool ParseArguments(const std::vector<std::string>& args, Options& o, bool& help, std::string& error) {
  std::vector<std::string> positional;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& name = args[k];
    if (name == "--help" || name == "-h") {
      help = true;
      return true;
    }
    if (name.rfind("--", 0) != 0) {
      positional.push_back(name);
      continue;
    }
    if (name == "--etx-first") {
      o.malformed.emplace_back(name, "");
      continue;
    }
    if (name == "--no-final-ack") {
      o.finalAck = false;
      continue;
    }
    if (k + 1 >= args.size()) {
      error = name + " needs a value";
      return false;
    }
    const std::string& value = args[++k];
    long ms = 0;
    Bytes bytes;
    if (name == "--tty") {
      o.tty = value;
    } else if (name == "--type") {
      if (!ParseMs(value, ms) || ms < 1 || ms > 255) {
        error = "--type wants a panel type from 1 to 255";
        return false;
      }
      o.type = static_cast<int>(ms);
    } else if (name == "--request") {
      if (!ParseHex(value, o.request)) {
        error = "--request wants hex bytes";
        return false;
      }
    } else if (name == "--noise") {
      if (!ParseHex(value, bytes) || bytes.empty()) {
        error = "--noise wants hex bytes";
        return false;
      }
      o.malformed.emplace_back(name, value);
    } else if (name == "--bad-length") {
      if (value != "1" && value != "3") {
        error = "--bad-length wants 1 or 3";
        return false;
      }
      o.malformed.emplace_back(name, value);
    } else if (name == "--split-soh") {
      if (!ParseMs(value, ms)) {
        error = "--split-soh wants milliseconds";
        return false;
      }
      o.malformed.emplace_back(name, value);
    } else if (name == "--answer-timeout" || name == "--expect-silence" || name == "--pause" || name == "--gap" ||
               name == "--linger") {
      if (!ParseMs(value, ms)) {
        error = name + " wants milliseconds";
        return false;
      }
      if (name == "--answer-timeout") o.answerTimeoutMs = ms;
      if (name == "--expect-silence") o.expectSilenceMs = ms;
      if (name == "--pause") o.pauseMs = ms;
      if (name == "--gap") o.gapMs = ms;
      if (name == "--linger") o.lingerMs = ms;
    } else if (name == "--rx") {
      o.rx = value;
    } else if (name == "--sx") {
      o.sx = value;
    } else if (name == "--timing") {
      o.timing = value;
    } else {
      error = "unknown option " + name;
      return false;
    }
  }
  if (o.tty.empty()) {
    error = "--tty is required";
    return false;
  }
  if (positional.empty()) {
    error = "no road given";
    return false;
  }
  o.road = positional[0];
  const bool wantsFile = o.road == "download" || o.road == "upload" || o.road == "language";
  if (!wantsFile && o.road != "request") {
    error = "unknown road " + o.road;
    return false;
  }
  if (positional.size() != (wantsFile ? 2u : 1u)) {
    error = wantsFile ? o.road + " needs one FILE" : "request takes no FILE";
    return false;
  }
  if (wantsFile) o.file = positional[1];
  if (o.expectSilenceMs && o.road != "request") {
    error = "--expect-silence goes with the request road";
    return false;
  }
  return true;
}

Bytes Framed(const Bytes& data) {
  Bytes b(data.size() + 2);
  b.front() = kSoh;
  std::copy(data.begin(), data.end(), b.begin() + 1);
  b.back() = kEtx;
  return b;
}

std::vector<Piece> BuildPieces(const Options& o) {
  std::vector<Piece> pieces;
  const std::uint8_t second = o.request.size() >= 2 ? o.request[1] : 0x34;
  for (const auto& [name, value] : o.malformed) {
    Piece p;
    p.what = name.substr(2) + (value.empty() ? "" : " " + value);
    if (name == "--noise") {
      ParseHex(value, p.head);
      p.gap = false;
    } else if (name == "--bad-length") {
      p.head = value == "1" ? Framed({0x41}) : Framed({0x41, 0x42, 0x43});
    } else if (name == "--split-soh") {
      Bytes whole = Framed(o.request);
      p.head.assign(whole.begin(), whole.begin() + 1);
      p.tail.assign(whole.begin() + 1, whole.end());
      ParseMs(value, p.splitMs);
    } else {
      p.head = Framed({kEtx, second});
    }
    pieces.push_back(std::move(p));
  }
  return pieces;
}

// The answer a program set to this panel type gives. The context settles its folders and
// settings file on first use; a private config home keeps that out of the user's.
Bytes ExpectedAnswer(int type, const Bytes& data) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/panelsim-XXXXXX";
  const char* home = ::mkdtemp(pattern);
  std::optional<std::string> saved;
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved = old;
  if (home) ::setenv("XDG_CONFIG_HOME", home, 1);
  GetContexte().SetCurrentPanelType(static_cast<std::uint8_t>(type));
  const TCrc16DDS crc;
  const std::uint16_t value = crc.Compute(data.data(), data.size());
  if (saved) {
    ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  if (home) {
    std::error_code ec;
    fs::remove_all(home, ec);
  }
  return {kSoh, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF), kEtx};
}

int OpenTty(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    Say(path + ": " + std::strerror(errno));
    return -1;
  }
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {
    Say(path + ": not a tty: " + std::strerror(errno));
    ::close(fd);
    return -1;
  }
  ::cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ::cfsetispeed(&t, B9600);
  ::cfsetospeed(&t, B9600);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) {
    Say(path + ": cannot set 9600 8N1 raw: " + std::strerror(errno));
    ::close(fd);
    return -1;
  }
  return fd;
}

bool WriteAll(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR && !g_signal) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  ::tcdrain(fd);
  return true;
}

// Reads until want bytes came or the deadline passed; false when a signal ended the wait.
bool ReadUntil(int fd, std::size_t want, Clock::time_point deadline, Bytes& got) {
  while (got.size() < want) {
    if (g_signal) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left) + 1);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    std::uint8_t buf[64];
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, want - got.size()));
    if (n > 0) {
      if (got.empty()) Event("first_byte");
      got.insert(got.end(), buf, buf + n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return true;  // the line went away
    }
  }
  return true;
}

bool Pause(long ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!g_signal) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return true;
    ::poll(nullptr, 0, static_cast<int>(left) + 1);
  }
  return false;
}

int Stopped() { return 128 + g_signal; }

// Waits ms for nothing to arrive; what came anyway (the first read of it) in got.
bool Silence(int fd, long ms, Bytes& got) {
  got.clear();
  return ReadUntil(fd, 1, Clock::now() + std::chrono::milliseconds(ms), got) &&
         (got.empty() || ReadUntil(fd, 16, Clock::now() + std::chrono::milliseconds(20), got));
}

int RunPeer(int fd, const std::string& prog, const std::vector<std::string>& options, const std::string& file) {
  namespace fs = std::filesystem;
  const fs::path path(file);
  const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
  std::vector<std::string> argv{prog};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(path.filename().string());
  std::string shown;
  for (const auto& a : argv) shown += (shown.empty() ? "" : " ") + a;

  const pid_t pid = ::fork();
  if (pid < 0) {
    Say(std::string("fork: ") + std::strerror(errno));
    return kIoFailed;
  }
  if (pid == 0) {
    ::dup2(fd, 0);
    ::dup2(fd, 1);
    std::signal(SIGPIPE, SIG_DFL);
    if (::chdir(folder.c_str()) != 0) {
      std::fprintf(stderr, "panelsim: %s: %s\n", folder.c_str(), std::strerror(errno));
      ::_exit(127);
    }
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    std::fprintf(stderr, "panelsim: %s: %s\n", args[0], std::strerror(errno));
    ::_exit(127);
  }
  g_child = pid;
  // A signal that came before g_child was set still reaches the peer.
  if (g_signal) ::kill(pid, g_signal);
  Say("peer " + shown + " (in " + folder + "), pid " + std::to_string(pid));
  Event("peer_start", shown + " " + std::to_string(pid));
  int st = 0;
  while (::waitpid(pid, &st, 0) < 0) {
    if (errno != EINTR) {
      Say(std::string("waitpid: ") + std::strerror(errno));
      return kIoFailed;
    }
  }
  g_child = -1;
  const int status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  Say("peer " + argv[0] + " ended with status " + std::to_string(status));
  Event("peer_end", std::to_string(status));
  return g_signal ? Stopped() : status;
}

// The malformed requests, the request and its answer; kOk when the answer was right (or,
// with --expect-silence, when none came).
int Exchange(int fd, const Options& o) {
  const Bytes expected = o.expectSilenceMs ? Bytes() : ExpectedAnswer(o.type, o.request);
  for (const Piece& p : BuildPieces(o)) {
    Say("sending " + p.what + ": " + Hex(p.head) + (p.tail.empty() ? "" : " | " + Hex(p.tail)));
    if (!WriteAll(fd, p.head)) return g_signal ? Stopped() : kIoFailed;
    Event("sent", Hex(p.head));
    if (!p.tail.empty()) {
      if (!Pause(p.splitMs)) return Stopped();
      if (!WriteAll(fd, p.tail)) return g_signal ? Stopped() : kIoFailed;
      Event("sent", Hex(p.tail));
    }
    if (!p.gap) continue;
    Bytes got;
    if (!Silence(fd, o.gapMs, got)) return Stopped();
    if (!got.empty()) {
      Say("after " + p.what + " expected silence, got " + Hex(got));
      Event("not_silent", Hex(got));
      return kNotSilent;
    }
  }

  const Bytes request = Framed(o.request);
  if (!WriteAll(fd, request)) return g_signal ? Stopped() : kIoFailed;
  Event("request", Hex(request));
  Say("request sent: " + Hex(request));

  if (o.expectSilenceMs) {
    Bytes got;
    if (!Silence(fd, *o.expectSilenceMs, got)) return Stopped();
    if (!got.empty()) {
      Say("expected silence, got " + Hex(got));
      Event("not_silent", Hex(got));
      return kNotSilent;
    }
    Say("no answer within " + std::to_string(*o.expectSilenceMs) + " ms, as expected");
    Event("silence", std::to_string(*o.expectSilenceMs));
    return kOk;
  }

  Bytes answer;
  if (!ReadUntil(fd, 4, Clock::now() + std::chrono::milliseconds(o.answerTimeoutMs), answer)) return Stopped();
  if (answer.size() < 4) {
    Say("no answer within " + std::to_string(o.answerTimeoutMs) + " ms" +
        (answer.empty() ? "" : ", only " + Hex(answer)));
    Event("no_answer", Hex(answer));
    return kNoAnswer;
  }
  if (answer != expected) {
    Say("answer " + Hex(answer) + " is wrong for panel type " + std::to_string(o.type) + " (expected " +
        Hex(expected) + "); sending CAN CAN");
    Event("answer", Hex(answer) + " wrong");
    if (!WriteAll(fd, {kCan, kCan})) return g_signal ? Stopped() : kIoFailed;
    Event("can");
    return kWrongAnswer;
  }
  Event("answer", Hex(answer) + " ok");
  Say("answer got: " + Hex(answer) + ", right for panel type " + std::to_string(o.type));
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  bool help = false;
  std::string error;
  if (!ParseArguments(std::vector<std::string>(argv + 1, argv + argc), o, help, error)) {
    std::fprintf(stderr, "panelsim: %s\n%s", error.c_str(), kUsageText);
    return kUsage;
  }
  if (help) {
    std::fputs(kUsageText, stdout);
    return kOk;
  }

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  if (!o.timing.empty()) {
    g_timing = std::fopen(o.timing.c_str(), "we");
    if (!g_timing) {
      Say(o.timing + ": " + std::strerror(errno));
      return kIoFailed;
    }
  }
  Event("start", o.road);
  const int fd = OpenTty(o.tty);
  if (fd < 0) return kTtyFailed;

  int status = kOk;
  if (o.road != "language") status = Exchange(fd, o);
  if (status == kOk && o.road != "request") {
    if (o.road == "upload") {
      if (!Pause(o.pauseMs)) status = Stopped();
      if (status == kOk) status = RunPeer(fd, o.sx, {}, o.file);
    } else {
      status = RunPeer(fd, o.rx, {"-c"}, o.file);
      // rx flushes its tty as it exits, which on a pty can swallow its last ACK (the EOT's)
      // before the line has read it; the sender would then wait for it in vain.
      if (status == kOk && o.finalAck) {
        Say("repeating the ACK of the EOT");
        if (WriteAll(fd, {kAck})) Event("final_ack");
      }
    }
  }
  if (g_signal && status < 128) status = Stopped();
  // Bytes still on their way out (the peer's last ACK, the CANs) are lost when the side
  // closes at once, on a pty as on a line whose far end hangs up.
  if (!g_signal) Pause(o.lingerMs);
  Event("end", std::to_string(status));
  ::close(fd);
  if (g_timing) std::fclose(g_timing);
  return status;
}
