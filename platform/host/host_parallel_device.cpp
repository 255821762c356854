// ppdev never signals that a peripheral has data (poll() only reports
// interrupts), and a non-blocking read or write simply finds nothing to do, so
// every wait here is a short pause that Cancel() cuts short.
#include "host_parallel_device.h"

#include "host_ioctl.h"
#include "read_deadline.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace orbis::platform {

namespace {

constexpr DWORD kIoctlParallelDeviceId = 0x11;
constexpr int64_t kStallMs = 20000; // the kernel USB writes' limit too
constexpr int64_t kStepMs = 5;
// The device ID comes in a few seconds at most; once it flows, a quarter second
// of silence means the printer has sent all it will.
constexpr COMMTIMEOUTS kDeviceIdTimeouts = {250, 0, 3000, 0, 0};

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

DWORD ErrorOf(int error) {
    switch (error) {
    case ENODEV:
    case ENXIO:
    case EIO:
    case EPIPE:
        return ERROR_DEVICE_NOT_CONNECTED; // printer off or cable pulled
    case ETIMEDOUT:
        return ERROR_SEM_TIMEOUT;
    case ENOSPC:
        return ERROR_NOT_READY; // lp: paper out
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace

std::shared_ptr<HostParallelDevice> HostParallelDevice::Open(const std::string& node, Kind kind, DWORD access,
                                                             DWORD* error) {
    int fd = OpenHostNode(node, (kind == Kind::Ppdev ? O_RDWR : O_WRONLY) | O_NONBLOCK | O_NOCTTY);
    int failure = fd < 0 ? errno : 0;
    NoteHostNodeOpen(node, failure);
    if (fd < 0) {
        *error = (failure == EACCES || failure == EPERM) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    // A port another program keeps (a long print job, a second window) fails the open
    // after a bounded wait rather than hanging it; it is given back at once.
    if (kind == Kind::Ppdev) {
        if (ClaimParallelPort(fd, kParClaimMs) != 0) {
            int claimFailure = errno;
            *error = claimFailure == ETIMEDOUT                           ? ERROR_SHARING_VIOLATION
                     : (claimFailure == EACCES || claimFailure == EPERM) ? ERROR_ACCESS_DENIED
                                                                         : ERROR_FILE_NOT_FOUND;
            if (claimFailure == ETIMEDOUT) NoteHostNodeOpen(node, EBUSY);
            ::close(fd);
            return nullptr;
        }
        CurrentHostIoctls().parRelease(fd);
    }
    // From here the object owns the descriptor and gives the port back.
    std::shared_ptr<HostParallelDevice> device(new HostParallelDevice(kind, access, fd));
    if (!device->cancel_.Valid()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return device;
}

HostParallelDevice::HostParallelDevice(Kind kind, DWORD access, int fd)
    : kind_(kind), access_(access), fd_(fd), timeouts_(kDefaultPortTimeouts) {}

HostParallelDevice::~HostParallelDevice() {
    ::close(fd_); // every exchange gave the port back already
}

bool HostParallelDevice::TakePort(DWORD* error) {
    if (kind_ != Kind::Ppdev || taken_++ > 0) return true;
    if (ClaimParallelPort(fd_, kParClaimMs) == 0) {
        mode_ = -1; // another user may have moved the peripheral on
        return true;
    }
    taken_ = 0;
    *error = errno == ETIMEDOUT ? ERROR_SEM_TIMEOUT : ErrorOf(errno);
    return false;
}

void HostParallelDevice::GivePort() {
    if (kind_ != Kind::Ppdev || --taken_ > 0) return;
    // The next user of the port expects it ready for printing.
    if (mode_ != kParModeCompat) CurrentHostIoctls().parNegotiate(fd_, kParModeCompat);
    mode_ = kParModeCompat;
    drained_ = false;
    CurrentHostIoctls().parRelease(fd_);
}

void HostParallelDevice::Cancel() {
    cancel_.Cancel();
}

bool HostParallelDevice::Pause(int64_t ms, uint64_t generation, CancelSignal::Waiter waiter) {
    pollfd wake = {cancel_.Fd(waiter), POLLIN, 0};
    if (::poll(&wake, 1, (int)std::max<int64_t>(ms, 0)) > 0) return !cancel_.Woken(waiter, generation);
    return !cancel_.CancelledSince(generation);
}

bool HostParallelDevice::Negotiate(int mode, DWORD* error) {
    if (mode_ == mode) return true;
    if (CurrentHostIoctls().parNegotiate(fd_, mode) != 0) {
        mode_ = -1;
        *error = ErrorOf(errno);
        return false;
    }
    mode_ = mode;
    return true;
}

bool HostParallelDevice::EnterReverse(DWORD* error) {
    bool reverse = mode_ == kParModeNibble || mode_ == kParModeByte;
    // A peripheral that reported no data only tells of new data in a fresh
    // negotiation (no interrupt line to wait on), so the port goes through
    // compatibility mode first, as the lp driver does while it polls.
    if (reverse && drained_ && !Negotiate(kParModeCompat, error)) return false;
    drained_ = false;
    if (mode_ == kParModeNibble || mode_ == kParModeByte) return true;
    if (Negotiate(reverseMode_, error)) return true;
    if (reverseMode_ != kParModeNibble || !Negotiate(kParModeByte, error)) return false;
    reverseMode_ = kParModeByte; // the printer has no nibble mode; do not ask again
    return true;
}

ssize_t HostParallelDevice::ReadOnce(uint8_t* out, size_t count, DWORD* error) {
    for (;;) {
        ssize_t n = ::read(fd_, out, count);
        if (n > 0) return n;
        if (n == 0) { // the node hung up
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        *error = ErrorOf(errno);
        return -1;
    }
}

bool HostParallelDevice::Collect(uint8_t* out, DWORD count, DWORD* got, ReadDeadline& deadline,
                                 uint64_t generation, bool eachStep, DWORD* error) {
    while (*got < count) {
        ssize_t n;
        if (eachStep) {
            std::lock_guard<std::mutex> lock(portMutex_);
            if (!TakePort(error)) return false;
            n = EnterReverse(error) ? ReadOnce(out + *got, count - *got, error) : -1;
            drained_ = n == 0;
            GivePort();
        } else {
            n = ReadOnce(out + *got, count - *got, error);
        }
        if (n < 0) return false;
        if (n > 0) {
            *got += (DWORD)n;
            deadline.Arrived();
            continue;
        }
        if (deadline.Satisfied(*got)) break;
        int64_t wait = deadline.WaitMs(*got);
        if (wait == 0) break;
        if (!Pause(wait < 0 ? kStepMs : std::min(wait, kStepMs), generation, CancelSignal::kReader)) {
            *error = ERROR_OPERATION_ABORTED;
            return false;
        }
    }
    return true;
}

bool HostParallelDevice::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    *got = 0;
    if (kind_ == Kind::LpOnly) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (!(access_ & GENERIC_READ)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    CancelSignal::ReadTurn turn(cancel_);
    if (!turn) {
        *error = ERROR_OPERATION_ABORTED;
        return false;
    }
    COMMTIMEOUTS t;
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        t = timeouts_;
    }
    ReadDeadline deadline(t, count);
    // What arrived before a failure is delivered; the next read reports the failure.
    return Collect(static_cast<uint8_t*>(buffer), count, got, deadline, turn.Generation(), true, error) ||
           (*got > 0 && *error != ERROR_OPERATION_ABORTED);
}

bool HostParallelDevice::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    *written = 0;
    if (!(access_ & GENERIC_WRITE)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (count == 0) return true;
    COMMTIMEOUTS t;
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        t = timeouts_;
    }
    int64_t total = WriteTotalMs(t, count);
    uint64_t generation = cancel_.Generation();
    auto start = Clock::now(), lastTaken = start;
    const auto* in = static_cast<const uint8_t*>(buffer);
    while (*written < count) {
        ssize_t n;
        int failure = 0;
        {
            std::lock_guard<std::mutex> lock(portMutex_);
            if (!TakePort(error)) return false;
            bool ready = kind_ != Kind::Ppdev || Negotiate(kParModeCompat, error);
            n = ready ? ::write(fd_, in + *written, count - *written) : -1;
            failure = n < 0 ? errno : 0;
            GivePort();
            if (!ready) return false;
        }
        if (n > 0) {
            *written += (DWORD)n;
            lastTaken = Clock::now();
            continue;
        }
        if (failure == EINTR) continue;
        // Nothing taken (ppdev answers a busy printer with 0, lp with EAGAIN): wait a step.
        if (n < 0 && failure != EAGAIN && failure != EWOULDBLOCK) {
            *error = ErrorOf(failure);
            return false;
        }
        int64_t step = kStepMs;
        if (total >= 0) {
            int64_t left = total - MsSince(start);
            if (left <= 0) {
                *error = ERROR_SEM_TIMEOUT;
                return false;
            }
            step = std::min(step, left);
        } else if (MsSince(lastTaken) >= kStallMs) {
            // No limit set, but a printer that takes nothing for this long is not coming
            // back on its own; the caller must not hang on it.
            *error = ERROR_SEM_TIMEOUT;
            return false;
        }
        if (!Pause(step, generation, CancelSignal::kWriter)) {
            *error = ERROR_OPERATION_ABORTED;
            return false;
        }
    }
    return true;
}

bool HostParallelDevice::ReadDeviceId(uint8_t* out, DWORD outSize, DWORD* returned, DWORD* error) {
    std::lock_guard<std::mutex> lock(portMutex_);
    if (!TakePort(error)) return false;
    struct Give {
        HostParallelDevice* self;
        ~Give() { self->GivePort(); }
    } give{this};
    if (!Negotiate(kParModeNibble | kParModeDeviceId, error)) return false;
    uint64_t generation = cancel_.Generation();
    ReadDeadline deadline(kDeviceIdTimeouts, 0);
    std::vector<uint8_t> id(2 + (size_t)outSize);
    DWORD got = 0;
    bool ok = Collect(id.data(), 2, &got, deadline, generation, false, error);
    size_t length = got == 2 ? (size_t(id[0]) << 8 | id[1]) : 0;
    if (ok && got < 2) {
        ok = false;
        *error = ERROR_SEM_TIMEOUT;
    } else if (ok && length < 2) { // the length counts its own two bytes
        ok = false;
        *error = ERROR_GEN_FAILURE;
    }
    DWORD body = 0;
    if (ok) {
        DWORD want = (DWORD)std::min<size_t>(length - 2, outSize);
        ok = Collect(id.data(), 2 + want, &got, deadline, generation, false, error);
        body = got - 2;
        if (ok && body == 0 && length > 2) {
            ok = false;
            *error = ERROR_SEM_TIMEOUT;
        } else if (ok && body < length - 2 && body == outSize) {
            ok = false;
            *error = ERROR_MORE_DATA;
        }
        // A printer that stops early has sent its whole ID: some count the prefix wrongly.
    }
    // Whatever happened, the port goes back to the mode writes use.
    DWORD ignored;
    Negotiate(kParModeCompat, &ignored);
    std::memcpy(out, id.data() + 2, body);
    *returned = body;
    return ok;
}

bool HostParallelDevice::Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                               DWORD* returned, DWORD* error) {
    *returned = 0;
    if (kind_ == Kind::LpOnly || code != kIoctlParallelDeviceId) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (!out || outSize == 0) {
        *error = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    return ReadDeviceId(static_cast<uint8_t*>(out), outSize, returned, error);
}

bool HostParallelDevice::GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) {
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    *timeouts = timeouts_;
    return true;
}

bool HostParallelDevice::SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) {
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

} // namespace orbis::platform
