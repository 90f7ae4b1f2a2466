// A serial line for tests: two pseudo-terminals A and B with bytes copied A->B and B->A,
// each direction paced at a baud rate and open to faults injected by byte index.
//
// Byte indexes count the bytes read from the sending side of a direction, from 0, before
// any fault: a drop, a flip or an insert never shifts the index of a later byte. Block and
// ACK numbers count from 1 on the same input stream.
//
// Blocks are framed simply: outside a block, a SOH (0x01) starts a block of 133 bytes and an
// STX (0x02) one of 1029 (132 and 1028 with checksum blocks); the next byte after the last
// one is outside again. A retransmitted block is a new block. ACKs are counted outside
// blocks only, so a data byte 0x06 is never taken for one.
//
// A side counts as closed while no process has its slave open; bytes due to a closed side
// are lost, as on a line nobody listens to, and counted as such.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace linesim {

enum Direction : int { kAtoB = 0, kBtoA = 1 };

// "a2b" or "b2a".
const char* DirectionName(int direction);

struct Faults {
  struct Flip {
    std::uint64_t index;
    int bit;
  };
  struct Insert {
    std::uint64_t index;  // the CANs go on the line just before this byte
    unsigned count;
  };
  struct Range {
    std::uint64_t first;  // inclusive, 1-based
    std::uint64_t last;
  };
  std::vector<Flip> flips;
  std::vector<std::uint64_t> drops;
  std::vector<std::uint64_t> dropBlocks;
  std::vector<std::uint64_t> repeatBlocks;
  std::vector<Range> ackToNak;
  std::vector<Insert> insertCans;
  std::optional<std::uint64_t> silentFrom;  // this byte and all later ones are lost
};

using LogFn = std::function<void(const std::string&)>;

// One direction's faults, applied byte by byte to the input stream.
class FaultFilter {
 public:
  FaultFilter(int direction, Faults faults, bool checksumBlocks, LogFn log);

  // Takes the next input byte and appends to out what goes on the line in its place.
  void Feed(std::uint8_t byte, std::vector<std::uint8_t>& out);

 private:
  enum class BlockAction { kPass, kDrop, kRepeat };
  void Log(std::uint64_t index, const std::string& what) const;

  int direction_;
  Faults faults_;
  bool checksumBlocks_;
  LogFn log_;
  std::uint64_t index_ = 0;
  std::uint64_t acks_ = 0;
  std::uint64_t blocks_ = 0;
  std::size_t blockLeft_ = 0;
  BlockAction blockAction_ = BlockAction::kPass;
  std::vector<std::uint8_t> repeat_;
  bool silent_ = false;
};

struct Options {
  long baud = 0;  // 0: unpaced
  Faults faults[2];
  bool checksumBlocks = false;
  std::string linkA;
  std::string linkB;
  long exitWhenIdleMs = 0;  // 0: run until stopped
  bool verbose = false;
  std::string timingFile;
};

extern const char* const kUsage;

// Fills options from the arguments after the program name; false with a message on a bad one.
// help is set for --help / -h.
bool ParseArguments(const std::vector<std::string>& args, Options& options, bool& help,
                    std::string& error);

class LineSim {
 public:
  struct Counts {
    std::uint64_t in = 0;    // read from the sending side
    std::uint64_t out = 0;   // delivered to the receiving side
    std::uint64_t lost = 0;  // due while the receiving side was closed
  };

  LineSim(Options options, LogFn log);
  ~LineSim();
  LineSim(const LineSim&) = delete;
  LineSim& operator=(const LineSim&) = delete;

  // Creates the two ptys, sets them raw and makes the links.
  bool Open(std::string& error);
  // The slave path of side 0 (A) or 1 (B).
  const std::string& SlavePath(int side) const { return side_[side].slavePath; }

  // Copies bytes until Stop() or the idle time; 0, or 1 after a fatal error.
  int Run();
  // Safe from a signal handler and from another thread.
  void Stop();

  Counts Totals(int direction) const { return dir_[direction].counts; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    std::uint8_t byte;
    Clock::time_point due;
  };
  struct Side {
    int master = -1;
    std::string slavePath;
    std::string link;
    bool open = false;
  };
  struct Flow {
    std::optional<FaultFilter> filter;
    std::deque<Pending> queue;
    Clock::time_point runStart;  // the pacing clock of the current busy run
    std::uint64_t runBytes = 0;
    Clock::time_point lastDue;
    bool blocked = false;  // the receiving master is full
    Counts counts;
    std::string trace;
    std::uint64_t traceIndex = 0;
    Clock::time_point traceStart;
  };

  bool MakeLink(const std::string& link, const std::string& target, std::string& error) const;
  void RemoveLinks();
  bool ReadSide(int side, short revents, Clock::time_point now);
  void Enqueue(int direction, std::uint8_t byte, Clock::time_point now);
  void SetOpen(int side, bool open);
  void Deliver(int direction, Clock::time_point now);
  void TraceByte(int direction, std::uint8_t byte);
  void FlushTrace(int direction);
  std::size_t Room(int direction) const;

  Options options_;
  LogFn log_;
  Side side_[2];
  Flow dir_[2];
  int stopPipe_[2] = {-1, -1};
  Clock::time_point start_;
  Clock::time_point lastActivity_;
  std::FILE* timing_ = nullptr;
  bool timingDirty_ = false;
};

}  // namespace linesim
