// The shared lock, APC queues and the wait loop used by every waitable object.
#include "sync_state.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <unordered_map>
#include <vector>

namespace orbis::platform {
namespace {

// A thread inside WaitChangeLocked. One per thread, kept alive by a waker that
// has yet to call notify_one after the lock is released; such a late notify only
// makes a later wait of the thread look again (its woken flag is new).
struct Waiter {
    const void* what = nullptr;
    DWORD tid = 0;
    bool woken = false;
    std::condition_variable cv;
};

thread_local const std::shared_ptr<Waiter> t_waiter = std::make_shared<Waiter>();

// Wakes held back until the lock is released (WakeAfterUnlock), so the woken
// thread does not run straight into the lock its waker still holds.
struct HeldWakes {
    int depth = 0;
    std::vector<std::shared_ptr<Waiter>> waiters;
};
thread_local HeldWakes t_held;

// Under the lock: marks the waiter woken and wakes it, now or when the lock is released.
void Wake(const std::shared_ptr<Waiter>& waiter) {
    waiter->woken = true;
    if (t_held.depth)
        t_held.waiters.push_back(waiter);
    else
        waiter->cv.notify_one();
}

struct State {
    std::mutex mutex;
    std::vector<std::shared_ptr<Waiter>> waiters;
    std::unordered_map<DWORD, std::deque<std::function<void()>>> apcs;
};

// Leaked on purpose: threads still running at exit may wait or complete reads.
State& TheState() {
    static State* state = new State;
    return *state;
}

// Runs every APC queued for tid; returns whether any ran. Takes the lock itself.
bool RunApcs(DWORD tid) {
    bool ran = false;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(TheState().mutex);
            auto it = TheState().apcs.find(tid);
            if (it == TheState().apcs.end() || it->second.empty()) return ran;
            fn = std::move(it->second.front());
            it->second.pop_front();
        }
        fn();
        ran = true;
    }
}

bool HasApcsLocked(DWORD tid) {
    auto it = TheState().apcs.find(tid);
    return it != TheState().apcs.end() && !it->second.empty();
}

} // namespace

std::mutex& SyncMutex() {
    return TheState().mutex;
}

WakeAfterUnlock::WakeAfterUnlock() {
    ++t_held.depth;
}

WakeAfterUnlock::~WakeAfterUnlock() {
    if (--t_held.depth) return;
    auto waiters = std::move(t_held.waiters);
    t_held.waiters.clear();
    for (const auto& waiter : waiters)
        waiter->cv.notify_one();
}

bool WaitChangeLocked(std::unique_lock<std::mutex>& lock, const void* what, DWORD tid,
                      std::chrono::steady_clock::time_point deadline) {
    Waiter& self = *t_waiter;
    self.what = what;
    self.tid = tid;
    self.woken = false;
    auto& waiters = TheState().waiters;
    waiters.push_back(t_waiter);
    const bool forever = deadline == std::chrono::steady_clock::time_point::max();
    bool inTime = true;
    while (!self.woken && inTime) {
        if (forever)
            self.cv.wait(lock);
        else
            inTime = self.cv.wait_until(lock, deadline) == std::cv_status::no_timeout;
    }
    waiters.erase(std::find(waiters.begin(), waiters.end(), t_waiter));
    return self.woken || inTime;
}

void NotifyLocked(const void* what) {
    if (!what) return;
    for (const auto& waiter : TheState().waiters)
        if (waiter->what == what && !waiter->woken) Wake(waiter);
}

void NotifyThreadLocked(DWORD tid) {
    if (tid == 0) return;
    for (const auto& waiter : TheState().waiters)
        if (waiter->tid == tid && !waiter->woken) Wake(waiter);
}

void QueueApcLocked(DWORD tid, std::function<void()> fn) {
    TheState().apcs[tid].push_back(std::move(fn));
    NotifyThreadLocked(tid);
}

void DropApcsLocked(DWORD tid) {
    TheState().apcs.erase(tid);
}

DWORD WaitOn(const std::shared_ptr<Waitable>& object, DWORD milliseconds, bool alertable) {
    using Clock = std::chrono::steady_clock;
    const DWORD tid = GetCurrentThreadId();
    const bool forever = milliseconds == INFINITE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    std::unique_lock lock(TheState().mutex);
    for (;;) {
        // Completion routines come first, so a read that both queued its routine and
        // signalled its event reports WAIT_IO_COMPLETION as on Windows.
        if (alertable && HasApcsLocked(tid)) {
            lock.unlock();
            RunApcs(tid);
            return WAIT_IO_COMPLETION;
        }
        if (object) {
            bool abandoned = false;
            if (object->TryAcquire(tid, &abandoned)) return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
        }
        const auto until = forever ? Clock::time_point::max() : deadline;
        if (!WaitChangeLocked(lock, object.get(), alertable ? tid : 0, until)) {
            if (alertable && HasApcsLocked(tid)) continue;
            if (object) {
                bool abandoned = false;
                if (object->TryAcquire(tid, &abandoned)) return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
            }
            return WAIT_TIMEOUT;
        }
    }
}

} // namespace orbis::platform

DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable) {
    using namespace orbis::platform;
    auto object = LookupHandle(hHandle);
    auto waitable = std::dynamic_pointer_cast<Waitable>(object);
    if (!waitable) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WaitOn(waitable, dwMilliseconds, bAlertable != FALSE);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForSingleObjectEx(hHandle, dwMilliseconds, FALSE);
}

DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable) {
    using namespace orbis::platform;
    if (!bAlertable) {
        Sleep(dwMilliseconds);
        return 0;
    }
    return WaitOn(nullptr, dwMilliseconds, true) == WAIT_IO_COMPLETION ? WAIT_IO_COMPLETION : 0;
}
