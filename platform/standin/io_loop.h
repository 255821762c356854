// The process's one I/O thread: an epoll loop that tells device objects when
// their descriptor has data or a read's time-out passed, so overlapped reads
// wait without a thread of their own. Callbacks run on the loop's thread and
// must not block; the loop holds no lock while it runs them.
#pragma once

#include "../win32.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace orbis::platform {

class IoLoop {
  public:
    using Clock = std::chrono::steady_clock;
    // readable: the descriptor has data (or was hung up); false: the deadline passed.
    using Callback = std::function<void(bool readable)>;

    // The loop of this process; its thread starts on first use.
    static IoLoop& Get();

    // The loop if it was started, or null.
    static IoLoop* IfStarted();

    // Registers a descriptor, not yet watched. 0 when the loop could not start.
    uint64_t Add(int fd, Callback callback);
    // Calls back once: when the descriptor is readable or at `deadline`
    // (Clock::time_point::max() for none), whichever comes first. `owner` is
    // the thread whose read waits, which may serve the watch itself (Claim).
    void Arm(uint64_t id, Clock::time_point deadline, DWORD owner = 0);
    void Disarm(uint64_t id);
    // Forgets the descriptor; call before closing it. A callback already
    // taken from the loop may still run once.
    void Remove(uint64_t id);

    // A thread about to sleep takes over the armed watches it owns: it waits for
    // their descriptors itself and calls back, saving the loop thread's wake-up
    // and the hand-over. Each claimed watch is handed back with Return, which
    // re-arms it in the loop unless its callback armed or disarmed it meanwhile.
    struct Claimed {
        uint64_t id;
        int fd;
        Clock::time_point deadline;
        Callback callback;
    };
    std::vector<Claimed> Claim(DWORD owner);
    void Return(uint64_t id);

  private:
    IoLoop();
    void Run();
    bool EnableLocked(uint64_t id, int fd, Clock::time_point deadline);
    void Silence(uint64_t id, int fd); // under the mutex
    void WakeLoop();
    struct State;
    State* state_;
};

} // namespace orbis::platform
