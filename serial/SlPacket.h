// Data packets: framed messages recognised in the bytes a port receives. A packet names
// how a message begins (a start string, or any data) and how it ends (an end string, a
// byte count, or whichever comes first); a complete message is delivered through the
// packet's events and removed from the stream.
//
// All packets of one port share one TSioDataPacketManager. It collects the received
// bytes on the port's dispatch thread, offers them to its packets in order, lets one
// packet hold the stream while it collects its body, and runs that packet's time-out.
// The events run on the user-interface thread through a synchronised call while the
// dispatch thread waits; the manager's lock is released around that call, so a handler
// may arm, disarm or re-target packets. Arming asked for during an event takes effect
// when the event ends.
//
// Patterns: "?" matches any byte; a backslash makes the next character literal ("\?" a
// question mark, "\\" a backslash).
//
// Every member of a packet is for the user-interface thread. A packet must leave its port
// (ComPort := nullptr, or its destruction) before the port is destroyed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/OoMisc.h"
#include "serial/SioComPort.h"
#include "serial/SwMsgWindow.h"

class TSioDataPacket;
class TSioDataPacketManager;

enum TPacketStartCond : std::uint8_t { scString, scAnyData };
enum TPacketEndCond : std::uint8_t { ecString, ecPacketSize };
using TPacketEndSet = std::uint8_t;  // set of TPacketEndCond: bit 1 << condition
constexpr TPacketEndSet PacketEndBit(TPacketEndCond c) { return static_cast<TPacketEndSet>(1u << c); }
enum TPacketMode : std::uint8_t { dpIdle, dpWaitStart, dpCollecting };
// What Notification is told about a component beside the packet.
enum TOperation : std::uint8_t { opInsert, opRemove };

using TPacketNotifyEvent = std::function<void(TSioDataPacket* sender, const void* data, int size)>;
using TStringPacketNotifyEvent = std::function<void(TSioDataPacket* sender, const std::string& data)>;
using TPacketTimeoutEvent = std::function<void(TSioDataPacket* sender)>;

// The lock of a manager and its packets: recursive, and one thread can give it up wholly
// for a while (around the synchronised call) and take it back at the same depth.
class TPacketLock {
 public:
  void lock();
  void unlock();
  int ReleaseAll();  // the depth given up; 0 when the calling thread did not hold it
  void Reacquire(int depth);

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::thread::id owner_;
  int depth_ = 0;
};

// What a manager shares with its packets and with the trigger handler it installs: the
// handler may still run once after the manager is gone, and then finds no manager.
struct TPacketCore {
  TPacketLock lock;
  TSioDataPacketManager* manager = nullptr;
};

class TSioDataPacket : public TSioBaseComponent {
 public:
  static constexpr std::int32_t kDefaultTimeOut = 2184;  // ticks: 120 seconds

  explicit TSioDataPacket(TSioBaseComponent* owner = nullptr);
  ~TSioDataPacket() override;  // leaves its port

  // Settings applied as a whole: arming waits for Loaded.
  void BeginLoad() { loading_ = true; }
  bool Loading() const { return loading_; }
  virtual void Loaded();
  // Removal of the own port clears ComPort; a port inserted while there is none becomes it.
  virtual void Notification(TSioBaseComponent* component, TOperation operation);

  // The name the dispatch log shows ("Packet:" + name).
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  // Arming. An invalid setting raises EInvalidProperty (-5501..-5505) and leaves the packet
  // disarmed.
  bool Enabled() const;
  void SetEnabled(bool enabled);
  bool AutoEnable() const;
  void SetAutoEnable(bool autoEnable);
  TPacketStartCond StartCond() const;
  void SetStartCond(TPacketStartCond cond);
  // Changing the end condition or the end string disarms the packet and re-arms it as
  // it was.
  TPacketEndSet EndCond() const;
  void SetEndCond(TPacketEndSet cond);
  std::string StartString() const;
  void SetStartString(const std::string& text);
  std::string EndString() const;
  void SetEndString(const std::string& text);
  bool IgnoreCase() const;
  void SetIgnoreCase(bool ignore);
  TSioCustomComPort* ComPort() const { return comPort_; }
  void SetComPort(TSioCustomComPort* port);
  std::int32_t PacketSize() const;
  void SetPacketSize(std::int32_t size);
  bool IncludeStrings() const;
  void SetIncludeStrings(bool include);
  // 55 ms ticks from entering the body to its end; 0 = no limit.
  std::int32_t TimeOut() const;
  void SetTimeOut(std::int32_t ticks);
  // After a time-out the partial packet leaves the stream.
  bool FlushOnTimeout() const;
  void SetFlushOnTimeout(bool flush);

  void SetOnPacket(TPacketNotifyEvent e);
  void SetOnStringPacket(TStringPacketNotifyEvent e);
  void SetOnTimeout(TPacketTimeoutEvent e);

  // The data of the last packet delivered, or of the part collected before a time-out.
  // The pointer stays valid until the next delivery or time-out.
  void GetCollectedString(std::string& text) const;
  void GetCollectedData(const void*& data, int& size) const;

  // Arms the packet once (AutoEnable off) and delivers this thread's messages until a
  // packet came (true, with its data), it timed out, or a quit message is pending.
  bool WaitForString(std::string& text);
  bool WaitForPacket(const void*& data, int& size);

  TPacketMode Mode() const;

 private:
  friend class TSioDataPacketManager;
  enum TDelivery : std::uint8_t { kSizePacket, kStringPacket };

  // Each with the manager's lock held (when there is a manager).
  void Enable();
  void Disable();
  // Enable for the re-arming the manager does by itself: a failure disarms the packet.
  void Rearm();
  void Validate() const;
  void SetMode(TPacketMode mode);
  // Offers the manager's buffer from index from; stops after a delivery.
  void ProcessData(std::size_t from);
  bool StartMatches(std::uint8_t c, std::size_t pos) const;
  bool EndMatches(std::uint8_t c, std::size_t pos) const;
  // After a mismatch in the end string at byte index: the longest part of the end string
  // that the bytes up to index still begin.
  std::size_t RealignEnd(std::size_t index) const;
  void Packet(std::size_t count, TDelivery kind);
  void Log(TDispatchSubType subType) const;  // "Packet:" and the name
  void LogData(TDispatchSubType subType, const std::string& data) const;

  std::string name_;
  bool loading_ = false;
  bool enabled_ = false;
  bool autoEnable_ = true;
  TPacketStartCond startCond_ = scString;
  TPacketEndSet endCond_ = 0;
  std::string startString_;
  std::string endString_;
  bool ignoreCase_ = true;
  TSioCustomComPort* comPort_ = nullptr;
  std::int32_t packetSize_ = 0;
  bool includeStrings_ = true;
  std::int32_t timeOut_ = kDefaultTimeOut;
  bool flushOnTimeout_ = true;
  TPacketNotifyEvent onPacket_;
  TStringPacketNotifyEvent onStringPacket_;
  TPacketTimeoutEvent onTimeout_;

  TSioDataPacketManager* manager_ = nullptr;
  std::shared_ptr<TPacketCore> core_;  // the manager's, while there is one
  TPacketMode mode_ = dpIdle;
  std::string startMatch_, startMask_;  // compiled start string and its wildcard mask
  std::string endMatch_, endMask_;
  std::int64_t matchStart_ = -1;        // buffer index of the match's first byte
  std::size_t startPos_ = 1;            // 1-based position reached in the start string
  std::size_t endPos_ = 1;
  std::int32_t sizeLimit_ = 0;
  std::vector<std::uint8_t> collected_;
  bool enablePending_ = false;
  bool capturePending_ = false;
  bool holdsCapture_ = false;
  bool received_ = false;
  bool timedOut_ = false;
};

// The packets of one port. Created by the first packet that names the port; it leaves the
// port when its last packet leaves and is freed soon after. It takes received bytes from
// the port only while one of its packets is armed (or a match is under way); otherwise
// they stay for the port's other readers.
class TSioDataPacketManager {
 public:
  explicit TSioDataPacketManager(TSioCustomComPort* port);
  TSioDataPacketManager(const TSioDataPacketManager&) = delete;
  TSioDataPacketManager& operator=(const TSioDataPacketManager&) = delete;
  ~TSioDataPacketManager();

  void Insert(TSioDataPacket* packet);
  void Remove(TSioDataPacket* packet);
  void EnablePackets();
  void DisablePackets();

  TSioCustomComPort* Port() const { return port_; }
  bool Enabled() const;
  // While the port is open: the trigger handler and the time-out timer are installed.
  void SetEnabled(bool enabled);
  // Bytes held for the packets now.
  std::size_t BufferUsed() const;
  std::size_t PacketCount() const;

  // The program's end: neither the port nor the message layer is touched afterwards.
  void Abandon() {
    port_ = nullptr;
    wnd_ = 0;
  }

 private:
  friend class TSioDataPacket;
  enum TEventKind : std::uint8_t { kPacketEvent, kTimeoutEvent };

  static void Trigger(const std::shared_ptr<TPacketCore>& core, std::uint32_t msg, std::uint32_t wParam);
  // Each with the lock held.
  void EnabledLocked(bool enabled);
  void ReceiveData(std::uint32_t count);
  void NotifyData(std::size_t from);
  void Capture(TSioDataPacket* packet, std::int32_t ticks);
  void Release(TSioDataPacket* packet);
  void RemoveData(std::size_t start, std::size_t count);
  void DiscardBuffer();
  void EnterEvent();
  void LeaveEvent();
  void Timeout();
  // Runs the packet's events on the user-interface thread with the lock given up.
  void RunEvents(TSioDataPacket* packet, TEventKind kind);
  static void DeliverOnMain(const std::shared_ptr<TPacketCore>& core, TSioDataPacket* packet, TEventKind kind);
  void PortEvent(TSioCallbackType type);
  void Detach();
  std::intptr_t WindowProc(std::uint32_t msg);

  std::shared_ptr<TPacketCore> core_;
  std::vector<TSioDataPacket*> packets_;
  TSioCustomComPort* port_;
  TSioBaseDispatcher* dispatcher_ = nullptr;
  std::int32_t handlerId_ = 0;
  bool enabled_ = false;
  std::vector<std::uint8_t> buffer_;
  TSioDataPacket* capture_ = nullptr;
  std::int32_t timer_ = 0;
  bool inEvent_ = false;
  TSioDataPacket* eventPacket_ = nullptr;  // cleared when it leaves during its event
  bool pendingNotify_ = false;             // data offered during an event
  bool offering_ = false;                  // a pass over the buffer is running
  bool reoffer_ = false;                   // the running pass starts again from index 0
  bool enablePending_ = false;
  bool destroying_ = false;
  bool registered_ = false;                // told of the port's open and close
  HWND wnd_ = 0;
};

// Every manager, to find the one of a port.
class TSioDataPacketManagerList {
 public:
  TSioDataPacketManagerList() = default;
  TSioDataPacketManagerList(const TSioDataPacketManagerList&) = delete;
  TSioDataPacketManagerList& operator=(const TSioDataPacketManagerList&) = delete;
  // Frees every manager left, last first, without touching their ports.
  ~TSioDataPacketManagerList();

  void Insert(TSioDataPacketManager* manager);
  void Remove(TSioDataPacketManager* manager);
  TSioDataPacketManager* GetPortManager(const TSioCustomComPort* port) const;
  std::size_t Count() const { return managers_.size(); }

 private:
  std::vector<TSioDataPacketManager*> managers_;
};

TSioDataPacketManagerList& PacketManagerList();
