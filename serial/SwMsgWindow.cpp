#include "serial/SwMsgWindow.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace {

// The caller's side of a send or a synchronised call, guarded by the target queue's mutex.
struct Waiter {
  enum class State { Queued, Running, Done, Dropped };
  State state = State::Queued;
  std::intptr_t result = 0;
  std::function<void()> call;  // synchronised calls only
  std::exception_ptr error;
  std::condition_variable cv;
};

struct Item {
  enum class Kind { Post, Send, Sync, Quit };
  Kind kind = Kind::Post;
  HWND wnd = 0;
  std::uint32_t msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::shared_ptr<Waiter> waiter;
};

class Queue {
 public:
  Queue() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  ~Queue() { close(fd_); }
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  int fd() const { return fd_; }

  std::mutex m;
  std::condition_variable arrived;
  std::deque<Item> items;
  bool dead = false;

  // Both under m: the eventfd is readable exactly while items is not empty, so that a
  // level-triggered watcher never spins on an empty queue.
  bool Push(Item item) {
    if (dead) return false;
    items.push_back(std::move(item));
    if (items.size() == 1) {
      const std::uint64_t one = 1;
      [[maybe_unused]] auto n = write(fd_, &one, sizeof one);
    }
    arrived.notify_all();
    return true;
  }
  void NoteRemoved() {
    if (items.empty()) {
      std::uint64_t count = 0;
      [[maybe_unused]] auto n = read(fd_, &count, sizeof count);
    }
  }

 private:
  int fd_;
};

void Finish(Waiter& w, Waiter::State state) {
  w.state = state;
  w.cv.notify_all();
}

// Drops what a queue holds for one window (or everything when wnd is 0), under its mutex.
void DropItems(Queue& q, HWND wnd) {
  auto keep = std::stable_partition(q.items.begin(), q.items.end(), [wnd](const Item& it) {
    return wnd != 0 && it.wnd != wnd;
  });
  for (auto it = keep; it != q.items.end(); ++it)
    if (it->waiter) Finish(*it->waiter, Waiter::State::Dropped);
  q.items.erase(keep, q.items.end());
  q.NoteRemoved();
}

struct WindowRec {
  std::string className;
  std::shared_ptr<const MsgHandler> handler;
  std::shared_ptr<Queue> owner;
};

// Lock order: registry, then a queue. Never held while a handler or a call runs.
struct Registry {
  std::mutex m;
  std::unordered_map<HWND, WindowRec> windows;
  HWND nextHandle = 1;
  std::shared_ptr<Queue> main;
  std::shared_ptr<const std::function<void()>> idleHook;
};

// Never destroyed: detached threads may still use it while the program exits.
Registry& Reg() {
  static Registry* reg = new Registry;
  return *reg;
}

// A thread's queue lives as long as the thread or a window of it; when the thread ends,
// whatever is still queued is dropped and further messages are refused.
struct ThreadQueue {
  std::shared_ptr<Queue> q;
  ~ThreadQueue() {
    if (!q) return;
    std::lock_guard lock(q->m);
    q->dead = true;
    DropItems(*q, 0);
  }
};
thread_local ThreadQueue t_queue;

const std::shared_ptr<Queue>& ThisQueue() {
  if (!t_queue.q) t_queue.q = std::make_shared<Queue>();
  return t_queue.q;
}

std::shared_ptr<const MsgHandler> HandlerOf(HWND wnd) {
  std::lock_guard lock(Reg().m);
  auto it = Reg().windows.find(wnd);
  return it == Reg().windows.end() ? nullptr : it->second.handler;
}

// Queues an item for a window under the registry lock, so that once DestroyMsgWindow has
// removed the window nothing new can reach its queue.
bool QueueForWindow(HWND wnd, Item item, std::shared_ptr<Queue>* target) {
  std::lock_guard lock(Reg().m);
  auto it = Reg().windows.find(wnd);
  if (it == Reg().windows.end()) return false;
  Queue& q = *it->second.owner;
  std::lock_guard qlock(q.m);
  if (!q.Push(std::move(item))) return false;
  if (target) *target = it->second.owner;
  return true;
}

int LowWord(std::uint32_t msg) { return static_cast<int>(msg & 0xFFFFU); }

}  // namespace

HWND CreateMsgWindow(std::string className, MsgHandler handler) {
  auto owner = ThisQueue();
  auto shared = std::make_shared<const MsgHandler>(std::move(handler));
  std::lock_guard lock(Reg().m);
  auto& reg = Reg();
  while (reg.nextHandle == 0 || reg.windows.count(reg.nextHandle) != 0) ++reg.nextHandle;
  const HWND wnd = reg.nextHandle++;
  reg.windows.emplace(wnd, WindowRec{std::move(className), std::move(shared), std::move(owner)});
  return wnd;
}

void DestroyMsgWindow(HWND wnd) {
  std::shared_ptr<Queue> owner;
  {
    std::lock_guard lock(Reg().m);
    auto it = Reg().windows.find(wnd);
    if (it == Reg().windows.end()) return;
    owner = std::move(it->second.owner);
    Reg().windows.erase(it);
  }
  std::lock_guard qlock(owner->m);
  DropItems(*owner, wnd);
}

bool IsMsgWindow(HWND wnd) {
  std::lock_guard lock(Reg().m);
  return Reg().windows.count(wnd) != 0;
}

bool SendMessageTimeout(HWND wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                        unsigned timeoutMs, std::intptr_t* result) {
  std::shared_ptr<const MsgHandler> direct;
  {
    std::lock_guard lock(Reg().m);
    auto it = Reg().windows.find(wnd);
    if (it == Reg().windows.end()) return false;
    if (it->second.owner == t_queue.q) direct = it->second.handler;
  }
  if (direct) {
    const std::intptr_t r = (*direct)(msg, wParam, lParam);
    if (result) *result = r;
    return true;
  }

  auto waiter = std::make_shared<Waiter>();
  std::shared_ptr<Queue> q;
  if (!QueueForWindow(wnd, Item{Item::Kind::Send, wnd, msg, wParam, lParam, waiter}, &q)) return false;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(q->m);
  const bool ended = waiter->cv.wait_until(lock, deadline, [&] {
    return waiter->state == Waiter::State::Done || waiter->state == Waiter::State::Dropped;
  });
  if (!ended) {
    if (waiter->state == Waiter::State::Queued) {
      // Withdrawn: the pump takes items under this same lock, so it cannot have it yet.
      auto it = std::find_if(q->items.begin(), q->items.end(),
                             [&](const Item& item) { return item.waiter == waiter; });
      if (it != q->items.end()) q->items.erase(it);
      q->NoteRemoved();
    }
    return false;  // a running handler finishes on its own
  }
  if (waiter->state != Waiter::State::Done) return false;
  if (result) *result = waiter->result;
  return true;
}

bool PostMessage(HWND wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  return QueueForWindow(wnd, Item{Item::Kind::Post, wnd, msg, wParam, lParam, nullptr}, nullptr);
}

void PostQuitMessage(int exitCode) {
  Queue& q = *ThisQueue();
  std::lock_guard lock(q.m);
  q.Push(Item{Item::Kind::Quit, 0, WM_QUIT, static_cast<std::uintptr_t>(exitCode), 0, nullptr});
}

void SyncCall(std::function<void()> call) {
  std::shared_ptr<Queue> main;
  {
    std::lock_guard lock(Reg().m);
    main = Reg().main;
  }
  if (!main || main == t_queue.q) {
    call();
    return;
  }
  auto waiter = std::make_shared<Waiter>();
  waiter->call = std::move(call);
  std::unique_lock lock(main->m);
  if (!main->Push(Item{Item::Kind::Sync, 0, WM_SYNCCALL, 0, 0, waiter})) return;
  waiter->cv.wait(lock, [&] {
    return waiter->state == Waiter::State::Done || waiter->state == Waiter::State::Dropped;
  });
  if (waiter->error) std::rethrow_exception(waiter->error);
}

int PumpOneMessage() {
  Queue* q = t_queue.q.get();
  Item item;
  bool got = false;
  if (q) {
    std::lock_guard lock(q->m);
    if (!q->items.empty()) {
      item = std::move(q->items.front());
      q->items.pop_front();
      if (item.kind == Item::Kind::Quit) {
        q->items.push_back(item);
        return LowWord(WM_QUIT);
      }
      if (item.waiter) item.waiter->state = Waiter::State::Running;
      q->NoteRemoved();
      got = true;
    }
  }
  if (!got) {
    std::shared_ptr<const std::function<void()>> hook;
    {
      std::lock_guard lock(Reg().m);
      if (Reg().main && Reg().main.get() == q) hook = Reg().idleHook;
    }
    if (hook) (*hook)();
    return 0;
  }

  // The waiter learns the outcome even when the handler throws.
  struct Settle {
    Queue& q;
    Waiter* w;
    Waiter::State state = Waiter::State::Dropped;
    ~Settle() {
      if (!w) return;
      std::lock_guard lock(q.m);
      Finish(*w, state);
    }
  } settle{*q, item.waiter.get()};

  if (item.kind == Item::Kind::Sync) {
    try {
      item.waiter->call();
    } catch (...) {
      item.waiter->error = std::current_exception();
    }
    settle.state = Waiter::State::Done;
    return LowWord(item.msg);
  }
  auto handler = HandlerOf(item.wnd);
  if (!handler) return LowWord(item.msg);  // destroyed meanwhile
  const std::intptr_t r = (*handler)(item.msg, item.wParam, item.lParam);
  if (item.waiter) item.waiter->result = r;
  settle.state = Waiter::State::Done;
  return LowWord(item.msg);
}

bool HasPendingMessages() {
  Queue* q = t_queue.q.get();
  if (!q) return false;
  std::lock_guard lock(q->m);
  return !q->items.empty();
}

bool TakeQuitMessage(int* exitCode) {
  Queue* q = t_queue.q.get();
  if (!q) return false;
  std::lock_guard lock(q->m);
  auto it = std::find_if(q->items.begin(), q->items.end(),
                         [](const Item& item) { return item.kind == Item::Kind::Quit; });
  if (it == q->items.end()) return false;
  if (exitCode) *exitCode = static_cast<int>(it->wParam);
  q->items.erase(it);
  q->NoteRemoved();
  return true;
}

bool WaitForMessages(int timeoutMs) {
  Queue& q = *ThisQueue();
  std::unique_lock lock(q.m);
  auto pending = [&] { return !q.items.empty(); };
  if (timeoutMs < 0) {
    q.arrived.wait(lock, pending);
    return true;
  }
  return q.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), pending);
}

void SetMainThread() {
  auto q = ThisQueue();
  std::lock_guard lock(Reg().m);
  Reg().main = std::move(q);
}

bool IsMainThread() {
  std::lock_guard lock(Reg().m);
  return Reg().main && Reg().main == t_queue.q;
}

void SetMainThreadIdleHook(std::function<void()> hook) {
  auto shared = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
  std::lock_guard lock(Reg().m);
  Reg().idleHook = std::move(shared);
}

int MessageQueueFd() { return ThisQueue()->fd(); }
