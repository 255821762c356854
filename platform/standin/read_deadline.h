// How long a read or write on a parallel port may wait under the port's
// COMMTIMEOUTS, counted the way Windows counts them. Shared by every kind of
// parallel port, so a simulated and a real one time out alike.
#pragma once

#include "../win32.h"

#include <chrono>
#include <cstdint>

namespace orbis::platform {

class ReadDeadline {
  public:
    // Starts counting now, for a read of `count` bytes.
    ReadDeadline(const COMMTIMEOUTS& timeouts, DWORD count);

    // The read may end now with what it holds (interval and multiplier MAXDWORD:
    // the first bytes end it).
    bool Satisfied(DWORD got) const;
    // Milliseconds the read may still wait for more bytes when it holds `got`:
    // -1 for no limit, 0 to end at once.
    int64_t WaitMs(DWORD got) const;
    // Bytes arrived: the interval time-out counts from here.
    void Arrived();

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_, lastByte_;
    bool immediate_ = false; // interval MAXDWORD, no totals: return what has arrived
    bool anyByte_ = false;   // interval and multiplier MAXDWORD: return on the first bytes
    int64_t total_ = -1;
    int64_t interval_ = -1;
};

// A parallel port that was never given timeouts reads like this: no interval
// limit, one second in total, so a silent printer never blocks a reader for long.
inline constexpr COMMTIMEOUTS kDefaultPortTimeouts = {0, 0, 1000, 0, 0};

// The total a write of `count` bytes may take: multiplier * count + constant,
// -1 when both are 0 (no limit, as on Windows).
int64_t WriteTotalMs(const COMMTIMEOUTS& timeouts, DWORD count);

} // namespace orbis::platform
