// The process's one I/O thread: an epoll loop that tells device objects when
// their descriptor has data or a read's time-out passed, so overlapped reads
// wait without a thread of their own. Callbacks run on the loop's thread and
// must not block; the loop holds no lock while it runs them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace orbis::platform {

class IoLoop {
  public:
    using Clock = std::chrono::steady_clock;
    // readable: the descriptor has data (or was hung up); false: the deadline passed.
    using Callback = std::function<void(bool readable)>;

    // The loop of this process; its thread starts on first use.
    static IoLoop& Get();

    // Registers a descriptor, not yet watched. 0 when the loop could not start.
    uint64_t Add(int fd, Callback callback);
    // Calls back once: when the descriptor is readable or at `deadline`
    // (Clock::time_point::max() for none), whichever comes first.
    void Arm(uint64_t id, Clock::time_point deadline);
    void Disarm(uint64_t id);
    // Forgets the descriptor; call before closing it. A callback already
    // taken from the loop may still run once.
    void Remove(uint64_t id);

  private:
    IoLoop();
    void Run();
    struct State;
    State* state_;
};

} // namespace orbis::platform
