#include "io_loop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orbis::platform {

namespace {

struct Watch {
    int fd;
    IoLoop::Callback callback;
    bool armed = false;
    bool claimed = false; // served by its owner's wait, not by the loop
    DWORD owner = 0;
    IoLoop::Clock::time_point deadline = IoLoop::Clock::time_point::max();
};

std::atomic<IoLoop*> g_started{nullptr};

// A descriptor the loop does not watch. The kernel reports a hang-up even when no
// event is asked for; one-shot lets it through once (ignored, the watch is not
// armed) instead of at every epoll_wait, which would keep the loop spinning
// while a hung-up connection stays registered.
constexpr uint32_t kSilent = EPOLLONESHOT;

} // namespace

struct IoLoop::State {
    std::mutex mutex;
    int epoll = -1;
    int wake = -1; // eventfd: an earlier deadline than the loop sleeps to
    uint64_t next = 1;
    std::unordered_map<uint64_t, Watch> watches;
    Clock::time_point sleepsUntil = Clock::time_point::max(); // under mutex
};

IoLoop& IoLoop::Get() {
    static IoLoop* loop = [] {
        auto* started = new IoLoop; // never destroyed: device objects may outlive main()
        g_started.store(started, std::memory_order_release);
        return started;
    }();
    return *loop;
}

IoLoop* IoLoop::IfStarted() {
    return g_started.load(std::memory_order_acquire);
}

IoLoop::IoLoop() : state_(new State) {
    state_->epoll = ::epoll_create1(EPOLL_CLOEXEC);
    state_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->epoll < 0 || state_->wake < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;
    if (::epoll_ctl(state_->epoll, EPOLL_CTL_ADD, state_->wake, &event) != 0) return;
    try {
        std::thread([this] { Run(); }).detach();
    } catch (const std::system_error&) {
        ::close(state_->epoll);
        state_->epoll = -1;
    }
}

uint64_t IoLoop::Add(int fd, Callback callback) {
    std::lock_guard lock(state_->mutex);
    if (state_->epoll < 0) return 0;
    uint64_t id = state_->next++;
    epoll_event event{};
    event.events = kSilent; // registered, silent until armed
    event.data.u64 = id;
    if (::epoll_ctl(state_->epoll, EPOLL_CTL_ADD, fd, &event) != 0) return 0;
    state_->watches.emplace(id, Watch{fd, std::move(callback)});
    return id;
}

void IoLoop::Arm(uint64_t id, Clock::time_point deadline, DWORD owner) {
    bool wake = false;
    {
        std::lock_guard lock(state_->mutex);
        auto it = state_->watches.find(id);
        if (it == state_->watches.end()) return;
        Watch& watch = it->second;
        watch.armed = true;
        watch.claimed = false;
        watch.owner = owner;
        watch.deadline = deadline;
        wake = EnableLocked(id, watch.fd, deadline);
    }
    if (wake) WakeLoop();
}

void IoLoop::Disarm(uint64_t id) {
    std::lock_guard lock(state_->mutex);
    auto it = state_->watches.find(id);
    if (it == state_->watches.end() || !it->second.armed) return;
    it->second.armed = false;
    if (std::exchange(it->second.claimed, false)) return; // the claim took it out of epoll already
    Silence(id, it->second.fd);
}

std::vector<IoLoop::Claimed> IoLoop::Claim(DWORD owner) {
    std::vector<Claimed> claimed;
    if (owner == 0) return claimed;
    std::lock_guard lock(state_->mutex);
    for (auto& [id, watch] : state_->watches) {
        if (!watch.armed || watch.claimed || watch.owner != owner) continue;
        watch.claimed = true;
        Silence(id, watch.fd);
        claimed.push_back({id, watch.fd, watch.deadline, watch.callback});
    }
    return claimed;
}

void IoLoop::Return(uint64_t id) {
    bool wake = false;
    {
        std::lock_guard lock(state_->mutex);
        auto it = state_->watches.find(id);
        if (it == state_->watches.end() || !it->second.claimed) return;
        it->second.claimed = false;
        if (!it->second.armed) return;
        wake = EnableLocked(id, it->second.fd, it->second.deadline);
    }
    if (wake) WakeLoop();
}

void IoLoop::Silence(uint64_t id, int fd) {
    epoll_event event{};
    event.events = kSilent;
    event.data.u64 = id;
    ::epoll_ctl(state_->epoll, EPOLL_CTL_MOD, fd, &event);
}

// Under the mutex: the descriptor wakes the loop once; true when the loop must
// wake to sleep to an earlier deadline.
bool IoLoop::EnableLocked(uint64_t id, int fd, Clock::time_point deadline) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.u64 = id;
    ::epoll_ctl(state_->epoll, EPOLL_CTL_MOD, fd, &event);
    return deadline < state_->sleepsUntil;
}

void IoLoop::WakeLoop() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(state_->wake, &one, sizeof one);
}

void IoLoop::Remove(uint64_t id) {
    std::lock_guard lock(state_->mutex);
    auto it = state_->watches.find(id);
    if (it == state_->watches.end()) return;
    ::epoll_ctl(state_->epoll, EPOLL_CTL_DEL, it->second.fd, nullptr);
    state_->watches.erase(it);
}

void IoLoop::Run() {
    std::vector<std::pair<Callback, bool>> due;
    epoll_event events[32];
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(state_->mutex);
            auto earliest = Clock::time_point::max();
            for (const auto& [id, watch] : state_->watches)
                if (watch.armed && !watch.claimed && watch.deadline < earliest) earliest = watch.deadline;
            state_->sleepsUntil = earliest;
            if (earliest != Clock::time_point::max()) {
                auto left = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now()).count();
                timeoutMs = int(std::clamp<int64_t>(left, 0, 0x7FFFFFFF));
            }
        }
        int n = ::epoll_wait(state_->epoll, events, 32, timeoutMs);
        if (n < 0 && errno != EINTR) continue;
        {
            std::lock_guard lock(state_->mutex);
            state_->sleepsUntil = Clock::time_point::min(); // awake: a new deadline needs no wake-up
            for (int i = 0; i < n; ++i) {
                uint64_t id = events[i].data.u64;
                if (id == 0) {
                    uint64_t drained;
                    [[maybe_unused]] ssize_t r = ::read(state_->wake, &drained, sizeof drained);
                    continue;
                }
                auto it = state_->watches.find(id);
                if (it == state_->watches.end() || !it->second.armed || it->second.claimed) continue;
                it->second.armed = false; // EPOLLONESHOT has disabled it in the kernel too
                due.emplace_back(it->second.callback, true);
            }
            const auto now = Clock::now();
            for (auto& [id, watch] : state_->watches) {
                if (!watch.armed || watch.claimed || watch.deadline > now) continue;
                watch.armed = false;
                Silence(id, watch.fd);
                due.emplace_back(watch.callback, false);
            }
        }
        for (auto& [callback, readable] : due)
            callback(readable);
        due.clear();
    }
}

} // namespace orbis::platform
