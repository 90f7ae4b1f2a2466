// The device layer of the port dispatcher for a Linux tty (a UART, a USB adapter or a
// pseudo-terminal), and its three worker threads. It stands where the Win32 dispatcher
// of the original design stands: same device operations, same thread roles.
//
//   com thread       waits for modem-line changes (TIOCMIWAIT) where the driver keeps
//                    modem counters; a device without modem lines (a pty) has nothing to
//                    watch, and its lines read as CTS, DSR and DCD asserted, never changing.
//   dispatch thread  waits in poll() on the device (POLLIN) and an eventfd, at most 50 ms
//                    or until the next timer is due; moves received bytes into the input
//                    ring at once, reads the status and runs the trigger checks.
//   output thread    writes the output ring to the device (poll POLLOUT), wakes the
//                    dispatch thread when the ring drains. A block put while the ring
//                    is empty is written by the caller itself; only what the device
//                    does not take at once is left to this thread.
//
// The device is opened O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC under its UUCP lock file, an
// exclusive flock() and TIOCEXCL, and only when no other process has it open (PortLock.h);
// a second opener, in this process or another, gets "access denied".
// Nothing ever waits for the device to drain without a bound. A hang-up (the far end of a
// pty closed, a USB adapter unplugged) drops CTS, DSR and DCD, makes further writes fail
// with ecPutBlockFail, and the threads back off to slow polling instead of spinning.
//
// A subclass may override the device operations to stand in for a device (tests); it
// must call Shutdown() in its own destructor, while its overrides still exist.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "serial/PortLock.h"
#include "serial/SwDispatcher.h"

class TSioPosixDispatcher : public TSioBaseDispatcher {
 public:
  explicit TSioPosixDispatcher(void* owner);
  ~TSioPosixDispatcher() override;

  std::int32_t EscapeComFunction(std::int32_t function) override;
  std::int32_t FlushCom(std::int32_t queue) override;
  std::uint32_t GetComError(TComStatus& status) override;
  std::int32_t GetComEventMask(std::int32_t mask) override;
  std::int32_t GetComState(TDeviceControlBlock& dcb) override;
  std::int32_t ReadCom(void* buffer, std::uint32_t size) override;
  std::int32_t SetComState(const TDeviceControlBlock& dcb) override;
  std::int32_t WriteCom(const void* buffer, std::uint32_t size) override;
  std::int32_t WaitComEvent(std::uint32_t& eventWord) override;
  bool SetupCom(std::uint32_t inSize, std::uint32_t outSize) override;
  std::int32_t StartDispatcher() override;
  void StopDispatcher() override;
  std::int32_t OpenCom(const std::string& deviceName, std::uint32_t inSize,
                       std::uint32_t outSize) override;
  std::int32_t CloseCom() override;
  std::int32_t ProcessCommunications() override;
  std::uint8_t GetComModemStatus() override;
  void SetThreadBoost(std::uint8_t boost) override;
  void WakeDispatcher() override;

  // True while the device is hung up.
  bool HungUp() const { return hungUp_.load(); }

 protected:
  // Wakes the output thread to send what the ring holds (WriteCom does it).
  void KickOutput();
  // Ends a com thread's WaitComEvent so that it sees the stop request; the default
  // interrupts TIOCMIWAIT.
  virtual void InterruptComWait();
  bool StopRequested() const { return killThreads_.load(); }

 private:
  enum Worker { kCom, kDispatch, kOutput, kWorkers };

  void ComThreadMain();
  void DispatchThreadMain();
  void OutputThreadMain();
  void EventPass();
  void TimerPass();
  bool StatusRound();
  void Acknowledge();
  void Finished(Worker which);
  void ApplyBoost(Worker which);
  void MarkHungUp();
  void WaitTransmitterEmpty();
  static void DrainEventFd(int fd);

  // Set by OpenCom: what the device supports.
  bool modemLines_ = true;     // TIOCMGET works
  bool modemCounters_ = false; // TIOCGICOUNT works (and so TIOCMIWAIT)
  bool kernelRs485_ = false;   // the driver toggles RTS itself
  std::atomic<bool> ctsFlow_{false};
  std::atomic<bool> dsrFlow_{false};
  std::atomic<bool> softRs485_{false};  // RTS toggled by the output thread
  std::atomic<bool> hungUp_{false};
  std::atomic<int> writeError_{0};  // errno of a failed write, reported by the next PutBlock
  std::atomic<bool> comWaiting_{false};
  TPortLock lock_;  // the device's lock file while open
  bool exclusive_ = false;  // TIOCEXCL is this open's, to be cleared at its close
  bool passAgain_ = false;  // dispatch thread only: a wake-up asked for during its pass

  TDeviceControlBlock dcb_;  // state lock: the settings last applied

  std::mutex countersLock_;  // leaf: the error counters' last readings
  int lastFrame_ = 0, lastOverrun_ = 0, lastParity_ = 0, lastBreak_ = 0, lastBufOverrun_ = 0,
      lastRing_ = 0;
  int comCts_ = 0, comDsr_ = 0, comDcd_ = 0, comRing_ = 0;  // com thread only

  int dispatchEvent_ = -1;  // eventfd: wakes the dispatch thread
  int outputEvent_ = -1;    // eventfd: wakes the output thread
  std::mutex writeLock_;    // leaf: a write in progress against a flush

  // Thread control. None of the three port locks is held while waiting on these.
  std::mutex threadsLock_;
  std::thread threads_[kWorkers];
  std::thread::id threadIds_[kWorkers];
  std::atomic<bool> running_[kWorkers] = {false, false, false};
  std::atomic<int> tids_[kWorkers] = {0, 0, 0};
  std::mutex signalLock_;  // the com thread's waits and the acknowledgements
  std::condition_variable signal_;
  int acknowledged_ = 0;
  bool dispatchDone_ = false;
};
