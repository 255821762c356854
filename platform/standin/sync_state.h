// One lock and one condition variable behind every waitable object, every
// pending overlapped read and every thread's APC queue. Waits are rare and
// short in this program, so a single lock keeps the rules simple: a waiter
// re-checks its object and its APC queue whenever anything changes.
#pragma once

#include "kernel_object.h"

#include <condition_variable>
#include <functional>
#include <mutex>

namespace orbis::platform {

std::mutex& SyncMutex();
std::condition_variable& SyncChanged();

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
