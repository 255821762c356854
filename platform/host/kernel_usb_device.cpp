// Reads, writes and the device-ID request on a usblp node, with the pipe
// rules and cancellation of the device sockets, so the library cannot tell a
// real printer from a simulated one.
#include "kernel_usb_device.h"

#include "host_ioctl.h"
#include "kernel_usb.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace orbis::platform {

namespace {

constexpr DWORD kIoctlUsbDeviceId = 0x00220034;
// The size field of an ioctl number holds 14 bits; usblp's own buffer is far smaller.
constexpr size_t kDeviceIdMax = 0x3FFF;

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Only these mean the printer is gone: usblp answers EIO once after a failed
// transfer (and EPIPE for a stall) and then goes on working.
bool IsVanishedErrno(int error) {
    return error == ENODEV || error == ESHUTDOWN;
}

} // namespace

std::shared_ptr<KernelUsbDevice> KernelUsbDevice::Open(std::shared_ptr<KernelUsbNode> node, Pipe pipe,
                                                       DWORD access, DWORD* error) {
    std::shared_ptr<KernelUsbDevice> device(new KernelUsbDevice(std::move(node), pipe, access));
    if (!device->cancel_.Valid()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return device;
}

KernelUsbDevice::KernelUsbDevice(std::shared_ptr<KernelUsbNode> node, Pipe pipe, DWORD access)
    : node_(std::move(node)), pipe_(pipe), access_(access) {}

KernelUsbDevice::~KernelUsbDevice() {
    KernelUsbNode::Linger(std::move(node_));
}

void KernelUsbDevice::Cancel() {
    cancel_.Cancel();
}

DWORD KernelUsbDevice::Vanished() {
    node_->SetGone();
    return ERROR_DEVICE_NOT_CONNECTED;
}

KernelUsbDevice::Wait KernelUsbDevice::WaitFor(short events, CancelSignal::Waiter waiter, int timeoutMs,
                                               uint64_t generation) {
    auto start = Clock::now();
    for (;;) {
        int left = timeoutMs < 0 ? -1 : (int)std::max<int64_t>(0, timeoutMs - MsSince(start));
        pollfd fds[2] = {{node_->Fd(), events, 0}, {cancel_.Fd(waiter), POLLIN, 0}};
        int n = ::poll(fds, 2, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Wait::Gone;
        }
        if ((fds[1].revents & POLLIN) && cancel_.Woken(waiter, generation)) return Wait::Cancelled;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return Wait::Gone;
        if (fds[0].revents & events) return Wait::Ready;
        if (timeoutMs >= 0 && MsSince(start) >= timeoutMs) return Wait::Timeout;
    }
}

bool KernelUsbDevice::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    *got = 0;
    if (pipe_ == Pipe::Write) {
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
    return ReadPiece(buffer, count, got, error, turn.Generation());
}

bool KernelUsbDevice::ReadPiece(void* buffer, DWORD count, DWORD* got, DWORD* error, uint64_t generation) {
    if (count == 0) return true;
    for (;;) {
        if (node_->Gone()) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        ssize_t n = ::read(node_->Fd(), buffer, count);
        if (n >= 0) { // 0: the printer sent an empty transfer
            *got = (DWORD)n;
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            *error = IsVanishedErrno(errno) ? Vanished() : ERROR_READ_FAULT;
            return false;
        }
        switch (WaitFor(POLLIN, CancelSignal::kReader, -1, generation)) {
        case Wait::Cancelled:
            *error = ERROR_OPERATION_ABORTED;
            return false;
        case Wait::Gone:
            // Whatever arrived before the hang-up is still handed out.
            n = ::read(node_->Fd(), buffer, count);
            if (n > 0) {
                *got = (DWORD)n;
                return true;
            }
            *error = Vanished();
            return false;
        default:
            break;
        }
    }
}

bool KernelUsbDevice::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    *written = 0;
    if (pipe_ == Pipe::Read) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (!(access_ & GENERIC_WRITE)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (node_->Gone()) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    if (count == 0) return true;
    std::lock_guard<std::mutex> handleLock(writeMutex_);
    std::lock_guard<std::mutex> nodeLock(node_->WriteMutex());
    uint64_t generation = cancel_.Generation();
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    // The time-out counts from the last byte the printer took, so a long command to a slow printer goes
    // through.
    auto progress = Clock::now();
    for (;;) {
        if (*written < count) {
            ssize_t n = ::write(node_->Fd(), bytes + *written, count - *written);
            if (n > 0) {
                *written += (DWORD)n;
                progress = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) {
                // usblp says ENOSPC when the printer reports paper out.
                *error = IsVanishedErrno(errno) ? Vanished()
                         : errno == ENOSPC      ? ERROR_NOT_READY
                                                : ERROR_WRITE_FAULT;
                return false;
            }
        }
        // usblp reports POLLOUT once its last transfer is done. After the last bytes this waits
        // for the printer to take them, as WriteFile does on Windows: closing the node before
        // would cancel the transfer.
        int left = (int)std::max<int64_t>(0, KernelUsbWriteStallMs() - MsSince(progress));
        switch (left == 0 ? Wait::Timeout : WaitFor(POLLOUT, CancelSignal::kWriter, left, generation)) {
        case Wait::Timeout:
            *error = ERROR_SEM_TIMEOUT;
            return false;
        case Wait::Cancelled:
            *error = ERROR_OPERATION_ABORTED;
            return false;
        case Wait::Gone:
            *error = Vanished();
            return false;
        case Wait::Ready:
            if (*written == count) return true;
            break;
        }
    }
}

bool KernelUsbDevice::Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                            DWORD* returned, DWORD* error) {
    *returned = 0;
    if (code != kIoctlUsbDeviceId) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (node_->Gone()) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    // The reply keeps IEEE 1284's length prefix, as Windows' printing class driver gives it.
    std::vector<uint8_t> reply(kDeviceIdMax);
    if (CurrentHostIoctls().usbDeviceId(node_->Fd(), reply.data(), reply.size()) < 0) {
        *error = IsVanishedErrno(errno) ? Vanished() : ERROR_GEN_FAILURE;
        return false;
    }
    size_t n = std::min(UsbLpIdLength(reply.data()), reply.size());
    return CopyIoctlReply(reply.data(), n, out, outSize, returned, error);
}

} // namespace orbis::platform
