// Message windows in place of the desktop's hidden windows: a window is a handler owned by
// the thread that created it, and every message to it runs on that thread. Other threads
// reach it by a send that waits with a time-out, a post, or (for the user-interface
// thread) a synchronised call.
//
// Each thread has one queue, created on first use, holding posts, sends and synchronised
// calls in arrival order. The queue is served by whoever runs on the owner thread:
// PumpOneMessage in a plain loop (tests, DelayTicks), or the Qt back end
// (serial/qt/QtMsgPump.h), which watches MessageQueueFd() from the Qt event loop.
// Handlers always run without any lock of this layer held, so they may send, post,
// create and destroy windows, including their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using HWND = std::uint32_t;  // 0 = none

using MsgHandler = std::function<std::intptr_t(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)>;

constexpr std::uint32_t WM_QUIT = 0x0012;
// What PumpOneMessage reports for a synchronised call it ran (not a window message).
constexpr std::uint32_t WM_SYNCCALL = 0xBFFF;

// A new window whose messages are delivered on the calling thread.
HWND CreateMsgWindow(std::string className, MsgHandler handler);

// Pending posts and sends to the window are dropped (their senders get false). Safe from
// the window's own handler. Called from another thread than the owner, a handler that has
// already started runs to its end.
void DestroyMsgWindow(HWND wnd);

bool IsMsgWindow(HWND wnd);

// On the owner thread the handler is called at once. From another thread the message is
// queued and the caller waits for the handler's result for at most timeoutMs:
// - when the time-out passes before the handler started, the message is withdrawn (it is
//   never delivered later) and the result is false;
// - when the handler has started but not finished by then, the result is false as well and
//   the handler runs on alone: whatever wParam and lParam point at must therefore outlive
//   the handler, not just this call.
// False also for an unknown window, a window destroyed meanwhile, or an owner thread that
// has ended. *result (when not null) is set only on success.
bool SendMessageTimeout(HWND wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                        unsigned timeoutMs, std::intptr_t* result);

// Queued behind everything already queued for the owner thread, so posts and sends from
// one thread arrive in the order they were made. False for an unknown window.
bool PostMessage(HWND wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

// Puts WM_QUIT (wParam = exitCode) on the calling thread's queue.
void PostQuitMessage(int exitCode = 0);

// Runs call on the main (user-interface) thread and waits until it has run; an exception
// it throws is re-thrown here. On the main thread, or when no main thread is marked, it
// runs at once. When the main thread has ended, it returns without running.
void SyncCall(std::function<void()> call);

// Delivers one pending message of the calling thread: 0 when there was none, else the
// low word of its number. A quit message is not dispatched: it is put back at the end of
// the queue, so an outer loop still sees it, and 18 is returned. On the main thread with
// nothing pending, the idle hook (if any) runs once.
int PumpOneMessage();

// Whether the calling thread has a message pending (a quit message included).
bool HasPendingMessages();

// Removes the calling thread's pending quit message; false when there is none.
bool TakeQuitMessage(int* exitCode);

// Waits until the calling thread has a pending message (true) or timeoutMs passed (false);
// a negative time-out waits without limit.
bool WaitForMessages(int timeoutMs);

// Marks the calling thread as the user-interface thread, the target of SyncCall.
void SetMainThread();
bool IsMainThread();

// Called by PumpOneMessage on the main thread when none of this layer's messages is
// pending, so that waits that pump also keep the user interface's own events moving.
void SetMainThreadIdleHook(std::function<void()> hook);

// An eventfd of the calling thread's queue, readable while a message is pending.
int MessageQueueFd();
