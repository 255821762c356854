// The shared lock, APC queues and the wait loop used by every waitable object.
#include "sync_state.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <unordered_map>
#include <vector>

namespace orbis::platform {
namespace {

// A thread inside WaitChangeLocked, on its own stack.
struct Waiter {
    const void* what;
    DWORD tid;
    bool woken = false;
    std::condition_variable cv;
};

struct State {
    std::mutex mutex;
    std::vector<Waiter*> waiters;
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
bool WaitChangeLocked(std::unique_lock<std::mutex>& lock, const void* what, DWORD tid,
                      std::chrono::steady_clock::time_point deadline) {
    Waiter self{what, tid, false, {}};
    auto& waiters = TheState().waiters;
    waiters.push_back(&self);
    const bool forever = deadline == std::chrono::steady_clock::time_point::max();
    bool inTime = true;
    while (!self.woken && inTime) {
        if (forever)
            self.cv.wait(lock);
        else
            inTime = self.cv.wait_until(lock, deadline) == std::cv_status::no_timeout;
    }
    waiters.erase(std::find(waiters.begin(), waiters.end(), &self));
    return self.woken || inTime;
}

void NotifyLocked(const void* what) {
    if (!what) return;
    for (Waiter* waiter : TheState().waiters) {
        if (waiter->what != what || waiter->woken) continue;
        waiter->woken = true;
        waiter->cv.notify_one();
    }
}

void NotifyThreadLocked(DWORD tid) {
    if (tid == 0) return;
    for (Waiter* waiter : TheState().waiters) {
        if (waiter->tid != tid || waiter->woken) continue;
        waiter->woken = true;
        waiter->cv.notify_one();
    }
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
