// One lock behind every waitable object, every pending overlapped read and every
// thread's APC queue. Waits are rare and short in this program, so a single lock
// keeps the rules simple. A waiter names what it waits for (an object, its own
// APC queue) and is woken only when that changes, so a completion wakes the one
// thread it concerns, not every waiting thread.
#pragma once

#include "kernel_object.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace orbis::platform {

std::mutex& SyncMutex();

// One wait step under SyncMutex() (held by `lock`): sleeps until NotifyLocked(what)
// or, when tid is not 0, NotifyThreadLocked(tid), or the deadline. Wakes may be
// spurious; callers re-check their condition. Returns false at the deadline.
bool WaitChangeLocked(std::unique_lock<std::mutex>& lock, const void* what, DWORD tid,
                      std::chrono::steady_clock::time_point deadline);
// Wakes the waiters on `what` / the waiters of thread tid. Call under SyncMutex().
void NotifyLocked(const void* what);
void NotifyThreadLocked(DWORD tid);

// Declared before a lock of SyncMutex() is taken: the wakes made under that lock
// are carried out when it has been released.
class WakeAfterUnlock {
  public:
    WakeAfterUnlock();
    ~WakeAfterUnlock();
    WakeAfterUnlock(const WakeAfterUnlock&) = delete;
    WakeAfterUnlock& operator=(const WakeAfterUnlock&) = delete;
};

// A kernel object a thread can wait on. All members are used under SyncMutex().
class Waitable : public KernelObject {
  public:
    using KernelObject::KernelObject;
    // Takes the object for thread `tid` if it is signalled. Returns false when it is
    // not; *abandoned reports a mutex whose previous owner ended without releasing it.
    virtual bool TryAcquire(DWORD tid, bool* abandoned) = 0;
};

// Queues fn to run on thread tid the next time it waits alertably. Call under SyncMutex().
void QueueApcLocked(DWORD tid, std::function<void()> fn);
void DropApcsLocked(DWORD tid);

// Signals an event object under SyncMutex() already held. Unknown handles are ignored.
void SetEventLocked(HANDLE event);

// Called when a thread ends: its mutexes become abandoned and its APCs are dropped.
void ThreadEnded(DWORD tid);

// Waits alertably or not until the deadline; runs APCs. Returns a WAIT_* code.
DWORD WaitOn(const std::shared_ptr<Waitable>& object, DWORD milliseconds, bool alertable);

} // namespace orbis::platform
