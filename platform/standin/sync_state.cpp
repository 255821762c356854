// The shared lock, APC queues and the wait loop used by every waitable object.
#include "sync_state.h"

#include "io_loop.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
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
    // Sleeping in poll() on its own reads' descriptors: woken through eventFd.
    bool polling = false;
    int eventFd = -1; // made at the first such sleep, closed with the waiter
    std::condition_variable cv;
    ~Waiter() {
        if (eventFd >= 0) ::close(eventFd);
    }
};

thread_local const std::shared_ptr<Waiter> t_waiter = std::make_shared<Waiter>();

// Wakes the waiter the way it sleeps (decided under the lock).
void Signal(Waiter& waiter, bool polling) {
    if (!polling) {
        waiter.cv.notify_one();
        return;
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(waiter.eventFd, &one, sizeof one);
}

// Wakes held back until the lock is released (WakeAfterUnlock), so the woken
// thread does not run straight into the lock its waker still holds.
struct HeldWakes {
    int depth = 0;
    std::vector<std::pair<std::shared_ptr<Waiter>, bool>> waiters;
};
thread_local HeldWakes t_held;

// Under the lock: marks the waiter woken and wakes it, now or when the lock is
// released. A thread serving its own reads in its wait needs no wake-up.
void Wake(const std::shared_ptr<Waiter>& waiter) {
    waiter->woken = true;
    if (waiter == t_waiter) return;
    if (t_held.depth)
        t_held.waiters.emplace_back(waiter, waiter->polling);
    else
        Signal(*waiter, waiter->polling);
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
    for (const auto& [waiter, polling] : waiters)
        Signal(*waiter, polling);
}

namespace {

using Clock = std::chrono::steady_clock;

int PollTimeout(Clock::time_point until) {
    if (until == Clock::time_point::max()) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    return int(std::clamp<int64_t>(left, 0, 0x7FFFFFFF));
}

// One sleep of WaitChangeLocked for a thread with reads of its own waiting for
// data: it polls their descriptors together with its wake-up and calls back what
// became readable or ran out of time, as the I/O loop would (the lock is released
// meanwhile). Returns false when the deadline passed and nothing happened.
bool ServeOwnReads(std::unique_lock<std::mutex>& lock, std::vector<IoLoop::Claimed>& claimed,
                   Clock::time_point deadline) {
    Waiter& self = *t_waiter;
    std::vector<pollfd> fds = {{self.eventFd, POLLIN, 0}};
    auto until = deadline;
    for (const auto& watch : claimed) {
        fds.push_back({watch.fd, POLLIN, 0});
        until = std::min(until, watch.deadline);
    }
    self.polling = true;
    auto& waiters = TheState().waiters;
    waiters.push_back(t_waiter);
    lock.unlock();
    int n = ::poll(fds.data(), fds.size(), PollTimeout(until));
    if (n > 0 && fds[0].revents) {
        uint64_t count;
        [[maybe_unused]] ssize_t r = ::read(self.eventFd, &count, sizeof count);
    }
    const auto now = Clock::now();
    bool served = false;
    for (size_t i = 0; i < claimed.size(); ++i) {
        const bool readable = n > 0 && fds[i + 1].revents;
        if (!readable && claimed[i].deadline > now) continue;
        claimed[i].callback(readable);
        served = true;
    }
    for (const auto& watch : claimed)
        IoLoop::IfStarted()->Return(watch.id);
    lock.lock();
    waiters.erase(std::find(waiters.begin(), waiters.end(), t_waiter));
    self.polling = false;
    return self.woken || served || now < deadline;
}

} // namespace

bool WaitChangeLocked(std::unique_lock<std::mutex>& lock, const void* what, DWORD tid,
                      std::chrono::steady_clock::time_point deadline) {
    Waiter& self = *t_waiter;
    self.what = what;
    self.tid = tid;
    self.woken = false;
    if (IoLoop* loop = IoLoop::IfStarted()) {
        if (self.eventFd < 0) self.eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        auto claimed = self.eventFd >= 0 ? loop->Claim(GetCurrentThreadId()) : std::vector<IoLoop::Claimed>{};
        if (!claimed.empty()) return ServeOwnReads(lock, claimed, deadline);
    }
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
