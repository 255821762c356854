// Host side of a device socket: reads honour COMMTIMEOUTS on a parallel port
// and deliver at most one piece on a USB read pipe; a vanished printer turns
// every call into ERROR_DEVICE_NOT_CONNECTED instead of a hang.
#include "device_socket.h"

#include "device_wire.h"
#include "read_deadline.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace orbis::platform {

namespace {

constexpr DWORD kIoctlParallelDeviceId = 0x11;
constexpr DWORD kIoctlUsbDeviceId = 0x00220034;
constexpr int kDeviceIdWaitMs = 5000;
// A frame whose first byte came is sent whole by a working printer; one that
// stops halfway for this long has broken the connection.
constexpr int kFrameIdleMs = 1000;

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

std::string HelloFor(SocketDevice::Kind kind) {
    switch (kind) {
    case SocketDevice::Kind::UsbWrite:
        return "PIPE00";
    case SocketDevice::Kind::UsbRead:
        return "PIPE01";
    default:
        return "";
    }
}

} // namespace

std::shared_ptr<SocketDevice> SocketDevice::Open(const std::string& socketPath, Kind kind, DWORD access,
                                                 DWORD* error) {
    int fd = wire::Connect(socketPath);
    if (fd < 0) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::string hello = HelloFor(kind);
    if (!wire::SendFrame(fd, wire::kHello, hello.data(), hello.size())) {
        ::close(fd);
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return nullptr;
    }
    std::shared_ptr<SocketDevice> device(new SocketDevice(socketPath, kind, access, fd));
    if (!device->cancel_.Valid()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return device;
}

SocketDevice::SocketDevice(std::string socketPath, Kind kind, DWORD access, int fd)
    : socketPath_(std::move(socketPath)), kind_(kind), access_(access), fd_(fd) {}

SocketDevice::~SocketDevice() {
    ::close(fd_);
}

void SocketDevice::Cancel() {
    cancel_.Cancel();
}

SocketDevice::Wait SocketDevice::WaitReadable(int timeoutMs, uint64_t generation) {
    auto start = Clock::now();
    for (;;) {
        int left = -1;
        if (timeoutMs >= 0) {
            left = timeoutMs - (int)MsSince(start);
            if (left < 0) left = 0;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {cancel_.Fd(CancelSignal::kReader), POLLIN, 0}};
        int n = ::poll(fds, 2, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Wait::Broken;
        }
        if ((fds[1].revents & POLLIN) && cancel_.Woken(CancelSignal::kReader, generation))
            return Wait::Cancelled;
        if (fds[0].revents) return Wait::Data;
        if (n == 0 || (timeoutMs >= 0 && MsSince(start) >= timeoutMs)) return Wait::Timeout;
    }
}

bool SocketDevice::ReceiveData(DWORD* error) {
    uint8_t type = 0;
    std::vector<uint8_t> payload;
    if (!wire::RecvFrameWithin(fd_, &type, &payload, kFrameIdleMs)) {
        broken_ = true;
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    if (type != wire::kData) return true;
    if (kind_ == Kind::UsbRead) {
        piece_ = std::move(payload);
        pieceOffset_ = 0;
        requestOutstanding_ = false;
    } else {
        received_.insert(received_.end(), payload.begin(), payload.end());
    }
    return true;
}

bool SocketDevice::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    *got = 0;
    if (kind_ == Kind::UsbWrite || kind_ == Kind::UsbControl) {
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
    auto* out = static_cast<uint8_t*>(buffer);
    return kind_ == Kind::Parallel ? ReadParallel(out, count, got, error, turn.Generation())
                                   : ReadUsb(out, count, got, error, turn.Generation());
}

bool SocketDevice::ReadParallel(uint8_t* out, DWORD count, DWORD* got, DWORD* error, uint64_t generation) {
    COMMTIMEOUTS t;
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        t = timeouts_;
    }
    auto take = [&] {
        size_t n = std::min<size_t>(received_.size(), count - *got);
        std::copy_n(received_.begin(), n, out + *got);
        received_.erase(received_.begin(), received_.begin() + (ptrdiff_t)n);
        *got += (DWORD)n;
        return n;
    };
    ReadDeadline deadline(t, count);
    take();
    if (*got == count) return true;

    for (;;) {
        if (deadline.Satisfied(*got)) return true;
        int64_t wait = deadline.WaitMs(*got);
        if (broken_) {
            if (*got > 0) return true;
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        switch (WaitReadable((int)std::min<int64_t>(wait, 0x7FFFFFFF), generation)) {
        case Wait::Timeout:
            return true;
        case Wait::Cancelled:
            *error = ERROR_OPERATION_ABORTED;
            return false;
        case Wait::Broken:
            *error = ERROR_GEN_FAILURE;
            return false;
        case Wait::Data:
            if (!ReceiveData(error)) {
                if (*got > 0) return true;
                return false;
            }
            if (take() > 0) deadline.Arrived();
            if (*got == count) return true;
            break;
        }
    }
}

bool SocketDevice::ReadUsb(uint8_t* out, DWORD count, DWORD* got, DWORD* error, uint64_t generation) {
    for (;;) {
        if (pieceOffset_ < piece_.size()) {
            size_t n = std::min<size_t>(piece_.size() - pieceOffset_, count);
            std::memcpy(out, piece_.data() + pieceOffset_, n);
            pieceOffset_ += n;
            *got = (DWORD)n;
            return true;
        }
        if (count == 0) return true;
        if (broken_) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        if (!requestOutstanding_) {
            uint8_t size[4] = {uint8_t(count >> 24), uint8_t(count >> 16), uint8_t(count >> 8),
                               uint8_t(count)};
            std::lock_guard<std::mutex> lock(writeMutex_);
            if (!wire::SendFrame(fd_, wire::kReadRequest, size, 4)) {
                broken_ = true;
                *error = ERROR_DEVICE_NOT_CONNECTED;
                return false;
            }
            requestOutstanding_ = true;
        }
        switch (WaitReadable(-1, generation)) {
        case Wait::Timeout:
            break;
        case Wait::Cancelled:
            // Windows cancels the transfer itself and the printer keeps its data for
            // the next reader. Here the printer would still answer the read request
            // into this pipe, whose reader gave up, until the pipe is closed: the
            // pipe is shut now, so the printer keeps the piece.
            ::shutdown(fd_, SHUT_RDWR);
            broken_ = true;
            *error = ERROR_OPERATION_ABORTED;
            return false;
        case Wait::Broken:
            *error = ERROR_GEN_FAILURE;
            return false;
        case Wait::Data:
            if (!ReceiveData(error)) return false;
            if (!requestOutstanding_ && piece_.empty()) return true; // an empty piece: nothing read
            break;
        }
    }
}

bool SocketDevice::Write(const void* buffer, DWORD count, DWORD* written, DWORD* error) {
    *written = 0;
    if (kind_ == Kind::UsbRead || kind_ == Kind::UsbControl) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    if (!(access_ & GENERIC_WRITE)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (broken_) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    if (count == 0) return true;
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!wire::SendFrame(fd_, wire::kData, buffer, count)) {
        broken_ = true;
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    *written = count;
    return true;
}

bool SocketDevice::RequestDeviceId(std::string* id, DWORD* error) {
    // Asked on a connection of its own, so it never mixes with port data.
    int fd = wire::Connect(socketPath_);
    if (fd < 0) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return false;
    }
    bool ok = wire::SendFrame(fd, wire::kHello, "", 0) && wire::SendFrame(fd, wire::kDeviceIdRequest, "", 0);
    *error = ERROR_DEVICE_NOT_CONNECTED;
    auto start = Clock::now();
    while (ok) {
        pollfd p = {fd, POLLIN, 0};
        int n = ::poll(&p, 1, (int)std::max<int64_t>(0, kDeviceIdWaitMs - MsSince(start)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = ERROR_SEM_TIMEOUT;
            ok = false;
            break;
        }
        uint8_t type = 0;
        std::vector<uint8_t> payload;
        if (!wire::RecvFrameWithin(fd, &type, &payload, kFrameIdleMs)) {
            ok = false;
            break;
        }
        if (type == wire::kDeviceId) {
            id->assign(payload.begin(), payload.end());
            break;
        }
    }
    ::close(fd);
    return ok;
}

bool SocketDevice::Ioctl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                         DWORD* error) {
    *returned = 0;
    bool usb = kind_ != Kind::Parallel;
    if ((code != kIoctlParallelDeviceId || usb) && (code != kIoctlUsbDeviceId || !usb)) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    std::string id;
    if (!RequestDeviceId(&id, error)) return false;
    std::string reply;
    if (usb) {
        // IEEE 1284: a big-endian length that counts its own two bytes.
        size_t length = id.size() + 2;
        reply.push_back((char)(uint8_t)(length >> 8));
        reply.push_back((char)(uint8_t)length);
    }
    reply += id;
    return CopyIoctlReply(reply.data(), reply.size(), out, outSize, returned, error);
}

bool SocketDevice::GetTimeouts(COMMTIMEOUTS* timeouts, DWORD* error) {
    if (kind_ != Kind::Parallel) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    *timeouts = timeouts_;
    return true;
}

bool SocketDevice::SetTimeouts(const COMMTIMEOUTS& timeouts, DWORD* error) {
    if (kind_ != Kind::Parallel) {
        *error = ERROR_INVALID_FUNCTION;
        return false;
    }
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

} // namespace orbis::platform
