#include "read_deadline.h"

#include <algorithm>

namespace orbis::platform {

namespace {

constexpr DWORD kMaxDword = 0xFFFFFFFFu;

} // namespace

ReadDeadline::ReadDeadline(const COMMTIMEOUTS& t, DWORD count) : start_(Clock::now()), lastByte_(start_) {
    immediate_ = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                 t.ReadTotalTimeoutConstant == 0;
    anyByte_ = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
               t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword;
    if (anyByte_)
        total_ = t.ReadTotalTimeoutConstant;
    else if (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant)
        total_ = int64_t(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
    interval_ = (t.ReadIntervalTimeout && t.ReadIntervalTimeout != kMaxDword) ? t.ReadIntervalTimeout : -1;
}

bool ReadDeadline::Satisfied(DWORD got) const {
    return anyByte_ && got > 0;
}

int64_t ReadDeadline::WaitMs(DWORD got) const {
    auto since = [](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    };
    int64_t wait = -1;
    if (immediate_) wait = 0;
    if (total_ >= 0) wait = std::max<int64_t>(0, total_ - since(start_));
    if (interval_ >= 0 && got > 0) {
        int64_t left = std::max<int64_t>(0, interval_ - since(lastByte_));
        wait = wait < 0 ? left : std::min(wait, left);
    }
    return wait;
}

void ReadDeadline::Arrived() {
    lastByte_ = Clock::now();
}

int64_t WriteTotalMs(const COMMTIMEOUTS& t, DWORD count) {
    if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) return -1;
    return int64_t(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
}

} // namespace orbis::platform
