// The shared lock, APC queues and the wait loop used by every waitable object.
#include "sync_state.h"

#include <chrono>
#include <deque>
#include <unordered_map>

namespace orbis::platform {
namespace {

struct State {
    std::mutex mutex;
    std::condition_variable changed;
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
std::condition_variable& SyncChanged() {
    return TheState().changed;
}

void QueueApcLocked(DWORD tid, std::function<void()> fn) {
    TheState().apcs[tid].push_back(std::move(fn));
    TheState().changed.notify_all();
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
        if (forever) {
            TheState().changed.wait(lock);
        } else if (TheState().changed.wait_until(lock, deadline) == std::cv_status::timeout) {
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
