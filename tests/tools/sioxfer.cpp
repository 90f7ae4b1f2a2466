// sioxfer: sends or receives files over a serial port with the library's protocol
// component, for trying the engines against other programs (lrzsz, kermit) by hand and
// in the acceptance scripts.
//
//   sioxfer send --port N --protocol P [--baud B] FILE...
//   sioxfer receive --port N --protocol P [--baud B] [--dir DIR] [FILE]
//
// The port is COMn as the port mapping resolves it (KORVANEX_SERIAL_DIR). It prints the
// protocol's log and status lines as they come and the final status; the exit status is
// 0 only when the transfer succeeded, else 1 after the error text.
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "serial/OoMisc.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlExcept.h"
#include "serial/SlProtcl.h"
#include "serial/SlStrMap.h"
#include "serial/SwMsgWindow.h"

namespace {

const char* const kUsage =
    "usage: sioxfer send --port N --protocol P [--baud B] [--idle-timeout S] FILE...\n"
    "       sioxfer receive --port N --protocol P [--baud B] [--dir DIR] [--idle-timeout S] [FILE]\n"
    "  P: xmodem, xmodem-crc, xmodem-1k, xmodem-1k-g, ymodem, ymodem-g, zmodem, kermit, ascii\n"
    "  N: the port number (COMn of KORVANEX_SERIAL_DIR); B: 9600 by default\n"
    "  S: cancel after S seconds without progress (60 by default, 0 never)\n";

struct ProtocolChoice {
  const char* name;
  TProtocolType type;
};
constexpr ProtocolChoice kProtocols[] = {
    {"xmodem", ptXmodem}, {"xmodem-crc", ptXmodemCRC}, {"xmodem-1k", ptXmodem1K},
    {"xmodem-1k-g", ptXmodem1KG}, {"ymodem", ptYmodem}, {"ymodem-g", ptYmodemG},
    {"zmodem", ptZmodem}, {"kermit", ptKermit}, {"ascii", ptAscii},
};

struct Arguments {
  bool send = false;
  int port = 0;
  std::string protocol;
  TProtocolType type = ptNoProtocol;
  long baud = 9600;
  std::string dir;
  long idleSeconds = 60;
  std::vector<std::string> files;
};

volatile std::sig_atomic_t gStop = 0;
extern "C" void OnSignal(int) { gStop = 1; }

int Fail(const std::string& text) {
  std::fprintf(stderr, "sioxfer: %s\n", text.c_str());
  return 1;
}

bool ParseNumber(const std::string& text, long low, long& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low) return false;
  value = v;
  return true;
}

// False with a message on a bad command line.
bool Parse(int argc, char** argv, Arguments& args, std::string& error) {
  if (argc < 2) {
    error = "no command";
    return false;
  }
  const std::string command = argv[1];
  if (command != "send" && command != "receive") {
    error = "unknown command '" + command + "'";
    return false;
  }
  args.send = command == "send";
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--port") {
      long n = 0;
      if (!value(v)) return false;
      if (!ParseNumber(v, 1, n) || n > 65535) {
        error = "bad port number '" + v + "'";
        return false;
      }
      args.port = static_cast<int>(n);
    } else if (a == "--protocol") {
      if (!value(args.protocol)) return false;
    } else if (a == "--baud") {
      if (!value(v)) return false;
      if (!ParseNumber(v, 1, args.baud)) {
        error = "bad baud rate '" + v + "'";
        return false;
      }
    } else if (a == "--dir" && !args.send) {
      if (!value(args.dir)) return false;
    } else if (a == "--idle-timeout") {
      if (!value(v)) return false;
      if (!ParseNumber(v, 0, args.idleSeconds)) {
        error = "bad idle time-out '" + v + "'";
        return false;
      }
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option '" + a + "'";
      return false;
    } else {
      args.files.push_back(a);
    }
  }
  if (args.port == 0) {
    error = "--port is missing";
    return false;
  }
  if (args.protocol.empty()) {
    error = "--protocol is missing";
    return false;
  }
  bool known = false;
  for (const ProtocolChoice& p : kProtocols) {
    if (args.protocol == p.name) {
      args.type = p.type;
      known = true;
    }
  }
  if (!known) {
    error = "unknown protocol '" + args.protocol + "'";
    return false;
  }
  if (args.send && args.files.empty()) {
    error = "no file to send";
    return false;
  }
  if (!args.send && args.files.size() > 1) {
    error = "receive takes at most one file name";
    return false;
  }
  return true;
}

const char* LogText(std::uint16_t log) {
  switch (log) {
    case lfReceiveStart: return "receive started";
    case lfReceiveOk: return "receive finished OK";
    case lfReceiveFail: return "receive failed";
    case lfReceiveSkip: return "receive skipped";
    case lfTransmitStart: return "transmit started";
    case lfTransmitOk: return "transmit finished OK";
    case lfTransmitFail: return "transmit failed";
    case lfTransmitSkip: return "transmit skipped";
    default: return "log";
  }
}

std::string StatusText(const TSioCustomProtocol& p) {
  const std::string text = p.StatusMsg(p.ProtocolStatus());
  return text.empty() ? "status " + std::to_string(p.ProtocolStatus()) : text;
}

std::string ErrorText(std::int32_t code) {
  std::string text = ErrorMsg(code);
  if (text.empty()) text = "error";
  return text + " (" + std::to_string(code) + ")";
}

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Run(const Arguments& args) {
  SetMainThread();
  TSioBaseComponent owner;
  TSioComPort port(&owner);
  TSioProtocol protocol(&owner);

  try {
    protocol.SetProtocolType(args.type);
  } catch (const ESioException&) {
    return Fail("protocol " + args.protocol + " is not available in this build");
  }
  const bool batch = args.type >= ptYmodem && args.type <= ptKermit;
  if (args.send && !batch && args.files.size() > 1)
    return Fail(args.protocol + " sends one file at a time");
  if (!args.send && !batch && args.files.empty())
    return Fail(args.protocol + " needs the name of the file to receive into");

  port.SetAutoOpen(false);
  port.SetPromptForPort(false);
  port.SetComNumber(static_cast<std::uint16_t>(args.port));
  port.SetBaud(static_cast<std::uint32_t>(args.baud));
  port.SetParity(pNone);
  port.SetDataBits(8);
  port.SetStopBits(1);
  // For diagnosis: SIOXFER_TRACE names a file that gets the port's trace when it closes.
  if (const char* trace = std::getenv("SIOXFER_TRACE"); trace && *trace) {
    port.SetTraceName(trace);
    port.SetTracing(tlOn);
  }
  try {
    port.SetOpen(true);
  } catch (const std::exception& e) {
    return Fail(ComName(args.port) + ": " + e.what());
  }

  using Clock = std::chrono::steady_clock;
  bool finished = false;
  std::int32_t result = 0;
  std::int32_t lastBytes = -1;
  Clock::time_point lastProgress = Clock::now();
  std::size_t nextFile = 0;

  protocol.SetOnProtocolStatus([&](TSioCustomProtocol* p, std::uint16_t) {
    const std::int32_t bytes = p->BytesTransferred();
    if (bytes != lastBytes) lastProgress = Clock::now();
    lastBytes = bytes;
    Print("status: " + StatusText(*p) + ", " + std::to_string(bytes) + " bytes, block " +
          std::to_string(p->BlockNumber()));
  });
  protocol.SetOnProtocolLog([&](TSioCustomProtocol* p, std::uint16_t log) {
    lastProgress = Clock::now();
    Print(std::string("log: ") + LogText(log) + ": " + p->FileName());
  });
  protocol.SetOnProtocolError([&](TSioCustomProtocol*, std::int32_t code) {
    Print("error: " + ErrorText(code));
  });
  protocol.SetOnProtocolFinish([&](TSioCustomProtocol*, std::int32_t code) {
    finished = true;
    result = code;
  });
  if (batch) {
    protocol.SetOnProtocolNextFile([&](TSioCustomProtocol*, std::string& name) {
      name = nextFile < args.files.size() ? args.files[nextFile++] : std::string();
    });
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    if (args.send) {
      protocol.SetFileMask(args.files.front());
      protocol.StartTransmit();
    } else {
      protocol.SetDestinationDirectory(args.dir.empty() ? "." : args.dir);
      protocol.SetWriteFailAction(wfWriteAnyway);  // the file named is the one wanted
      if (!args.files.empty()) protocol.SetFileName(args.files.front());
      protocol.StartReceive();
    }
  } catch (const std::exception& e) {
    port.SetOpen(false);
    return Fail(e.what());
  }

  bool cancelled = false;
  while (!finished) {
    if (PumpOneMessage() == 0) WaitForMessages(50);
    const bool idle = args.idleSeconds > 0 && Clock::now() - lastProgress > std::chrono::seconds(args.idleSeconds);
    if (!cancelled && (gStop != 0 || idle)) {
      Print(gStop != 0 ? "cancelling: stopped" : "cancelling: no progress for " +
                                                     std::to_string(args.idleSeconds) + " s");
      cancelled = true;
      protocol.CancelProtocol();
    }
  }
  Print("finished: " + StatusText(protocol));
  port.SetOpen(false);
  if (result != 0) return Fail(ErrorText(result));
  Print(std::string(args.send ? "sent " : "received ") + protocol.FileName());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  std::string error;
  if (!Parse(argc, argv, args, error)) {
    std::fprintf(stderr, "sioxfer: %s\n%s", error.c_str(), kUsage);
    return 1;
  }
  try {
    return Run(args);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
