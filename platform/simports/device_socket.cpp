// Host side of a device socket: reads honour COMMTIMEOUTS on a parallel port
// and deliver at most one piece on a USB read pipe; a vanished printer turns
// every call into ERROR_DEVICE_NOT_CONNECTED instead of a hang.
#include "device_socket.h"

#include "connection_pool.h"
#include "device_wire.h"
#include "io_loop.h"

#include <algorithm>
#include <condition_variable>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace orbis::platform {

namespace {

constexpr DWORD kIoctlParallelDeviceId = 0x11;
constexpr DWORD kIoctlUsbDeviceId = 0x00220034;
constexpr int kDeviceIdWaitMs = 5000;
// A frame whose first byte came is sent whole by a working printer; one that
// stops halfway for this long has broken the connection.
constexpr int kFrameIdleMs = 1000;
// How long a close waits for the printer to take what was written (a working one
// reads its port at once).
constexpr int kCloseFlushMs = 1000;

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

// Bytes written on fd that the printer has not read yet.
size_t Unread(int fd) {
    int queued = 0;
    return ::ioctl(fd, SIOCOUTQ, &queued) == 0 ? size_t(queued) : size_t(-1);
}

} // namespace

std::shared_ptr<SocketDevice> SocketDevice::Open(const std::string& socketPath, Kind kind, DWORD access,
                                                 DWORD* error) {
    const std::string hello = HelloFor(kind);
    // A parallel port's printer speaks unasked, so its connection is never kept.
    int fd = kind == Kind::Parallel ? -1 : pool::Take(socketPath, hello);
    if (fd < 0) {
        fd = wire::Connect(socketPath);
        if (fd < 0) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        if (!wire::SendFrame(fd, wire::kHello, hello.data(), hello.size())) {
            ::close(fd);
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return nullptr;
        }
    }
    std::shared_ptr<SocketDevice> device(new SocketDevice(socketPath, kind, access, fd));
    return device;
}

// A pipe only written (PIPE00, most of the opens) never needs the loop.
bool SocketDevice::Watch() {
    if (watch_) return true;
    watch_ = IoLoop::Get().Add(fd_, [weak = weak_from_this()](bool readable) {
        if (auto self = weak.lock()) self->OnLoop(readable);
    });
    return watch_ != 0;
}

SocketDevice::SocketDevice(std::string socketPath, Kind kind, DWORD access, int fd)
    : socketPath_(std::move(socketPath)), kind_(kind), access_(access), fd_(fd) {}

SocketDevice::~SocketDevice() {
    if (watch_) IoLoop::Get().Remove(watch_);
    // A USB pipe with no piece asked for and nothing left unread by the printer
    // serves the next open of the pipe as it is.
    if (kind_ != Kind::Parallel && !broken_ && !requestOutstanding_ && incoming_.empty() &&
        (!wrote_ || Unread(fd_) == 0)) {
        pool::Keep(socketPath_, HelloFor(kind_), fd_);
        return;
    }
    // A printer's port takes written bytes in order: a write to the real device returns
    // only once the printer has them. Here a write returns once the bytes are on their
    // way, so the close waits until the printer has read to the end of this connection;
    // what is written on the next one then cannot overtake it.
    if (wrote_ && !broken_) {
        ::shutdown(fd_, SHUT_WR);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseFlushMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p = {fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) break;
            uint8_t discard[4096];
            ssize_t n = ::recv(fd_, discard, sizeof discard, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
        }
    }
    ::close(fd_);
}

namespace {

// A blocking ReadFile: the read is started like an overlapped one and waited for.
class WaitedRead : public ReadRequest {
  public:
    WaitedRead(void* buffer, DWORD count) : ReadRequest(count), buffer_(buffer) {}
    bool Deliver(DWORD error, const void* data, DWORD bytes) override {
        std::lock_guard lock(mutex_);
        if (done_) return false;
        if (bytes) std::memcpy(buffer_, data, bytes);
        error_ = error;
        got_ = bytes;
        done_ = true;
        changed_.notify_all();
        return true;
    }
    bool Ended() const override { return false; }
    bool Wait(DWORD* got, DWORD* error) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return done_; });
        *got = got_;
        *error = error_;
        return error_ == ERROR_SUCCESS;
    }

  private:
    void* buffer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    DWORD error_ = ERROR_SUCCESS, got_ = 0;
};

} // namespace

bool SocketDevice::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    auto read = std::make_shared<WaitedRead>(buffer, count);
    StartRead(read);
    return read->Wait(got, error);
}

bool SocketDevice::StartRead(const std::shared_ptr<ReadRequest>& request) {
    std::lock_guard lock(mutex_);
    if (cancelNextRead_) { // a ReadFile that was on its way when its handle was closed
        cancelNextRead_ = false;
        request->Deliver(ERROR_OPERATION_ABORTED, nullptr, 0);
        return true;
    }
    reads_.push_back(request);
    if (reads_.size() == 1) Pump();
    return true;
}

void SocketDevice::Cancel() {
    std::lock_guard lock(mutex_);
    auto reads = std::move(reads_);
    reads_.clear();
    cancelNextRead_ = reads.empty();
    deadline_.reset();
    if (kind_ == Kind::UsbRead && requestOutstanding_) {
        // Windows cancels the transfer itself and the printer keeps its data for the
        // next reader. Here the printer would still answer the read request into this
        // pipe, whose reader gave up, until the pipe is closed: the pipe is shut now,
        // so the printer keeps the piece.
        ::shutdown(fd_, SHUT_RDWR);
        broken_ = true;
    }
    for (auto& read : reads)
        read->Deliver(ERROR_OPERATION_ABORTED, nullptr, 0);
    IoLoop::Get().Disarm(watch_);
}

bool SocketDevice::Finish(DWORD error, const void* data, DWORD bytes) {
    auto read = std::move(reads_.front());
    reads_.pop_front();
    deadline_.reset();
    return read->Deliver(error, data, bytes);
}

void SocketDevice::Pump() {
    while (!reads_.empty()) {
        ReadRequest& read = *reads_.front();
        if (read.Ended()) { // cancelled by its handle; the next read starts afresh
            reads_.pop_front();
            deadline_.reset();
            continue;
        }
        DWORD refused = kind_ == Kind::UsbWrite || kind_ == Kind::UsbControl ? ERROR_INVALID_FUNCTION
                        : !(access_ & GENERIC_READ)                          ? ERROR_ACCESS_DENIED
                                                                             : ERROR_SUCCESS;
        if (refused) {
            Finish(refused, nullptr, 0);
            continue;
        }
        std::optional<Clock::time_point> until = kind_ == Kind::Parallel ? PumpParallel(read) : PumpUsb(read);
        if (until) {
            // A frame that stopped halfway may hold the read only so long.
            if (!incoming_.empty())
                until = std::min(*until, lastIncoming_ + std::chrono::milliseconds(kFrameIdleMs));
            if (!Watch()) {
                Finish(ERROR_NOT_ENOUGH_MEMORY, nullptr, 0);
                continue;
            }
            IoLoop::Get().Arm(watch_, *until, read.Thread());
            return;
        }
    }
    IoLoop::Get().Disarm(watch_);
}

std::optional<SocketDevice::Clock::time_point> SocketDevice::PumpParallel(ReadRequest& read) {
    if (!deadline_) {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        deadline_.emplace(timeouts_, read.Count());
    }
    const DWORD got = (DWORD)std::min<size_t>(received_.size(), read.Count());
    auto take = [&] {
        std::vector<uint8_t> data(received_.begin(), received_.begin() + got);
        if (Finish(ERROR_SUCCESS, data.data(), got))
            received_.erase(received_.begin(), received_.begin() + got);
        return std::nullopt;
    };
    if (got == read.Count() || deadline_->Satisfied(got)) return take();
    if (broken_) {
        if (got > 0) return take();
        Finish(ERROR_DEVICE_NOT_CONNECTED, nullptr, 0);
        return std::nullopt;
    }
    int64_t wait = deadline_->WaitMs(got);
    if (wait == 0) return take();
    return wait < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(wait);
}

std::optional<SocketDevice::Clock::time_point> SocketDevice::PumpUsb(ReadRequest& read) {
    const DWORD count = read.Count();
    if (pieceOffset_ < piece_.size()) {
        DWORD n = (DWORD)std::min<size_t>(piece_.size() - pieceOffset_, count);
        if (Finish(ERROR_SUCCESS, piece_.data() + pieceOffset_, n)) pieceOffset_ += n;
        return std::nullopt;
    }
    if (count == 0) {
        Finish(ERROR_SUCCESS, nullptr, 0);
        return std::nullopt;
    }
    if (broken_) {
        Finish(ERROR_DEVICE_NOT_CONNECTED, nullptr, 0);
        return std::nullopt;
    }
    if (!requestOutstanding_) {
        uint8_t size[4] = {uint8_t(count >> 24), uint8_t(count >> 16), uint8_t(count >> 8), uint8_t(count)};
        std::lock_guard<std::mutex> lock(writeMutex_);
        if (!wire::SendFrame(fd_, wire::kReadRequest, size, 4)) {
            broken_ = true;
            Finish(ERROR_DEVICE_NOT_CONNECTED, nullptr, 0);
            return std::nullopt;
        }
        requestOutstanding_ = true;
    }
    return Clock::time_point::max(); // a USB read waits for its piece as long as it takes
}

void SocketDevice::OnLoop(bool readable) {
    std::lock_guard lock(mutex_);
    if (readable) Receive();
    if (!incoming_.empty() && Clock::now() - lastIncoming_ >= std::chrono::milliseconds(kFrameIdleMs)) {
        broken_ = true;
        incoming_.clear();
    }
    Pump();
}

void SocketDevice::Receive() {
    for (;;) {
        uint8_t chunk[4096];
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            incoming_.insert(incoming_.end(), chunk, chunk + n);
            lastIncoming_ = Clock::now();
            if (size_t(n) < sizeof chunk) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        broken_ = true; // closed by the printer, or failed
        break;
    }
    size_t at = 0;
    while (incoming_.size() - at >= 5) {
        const uint8_t* header = incoming_.data() + at;
        uint32_t size = (uint32_t(header[1]) << 24) | (uint32_t(header[2]) << 16) |
                        (uint32_t(header[3]) << 8) | uint32_t(header[4]);
        if (size > wire::kMaxPayload) {
            broken_ = true;
            incoming_.clear();
            return;
        }
        if (incoming_.size() - at - 5 < size) break;
        const uint8_t type = header[0];
        const uint8_t* payload = header + 5;
        at += 5 + size;
        if (type != wire::kData) continue;
        if (kind_ == Kind::UsbRead) {
            piece_.assign(payload, payload + size);
            pieceOffset_ = 0;
            requestOutstanding_ = false;
            if (size == 0 && !reads_.empty())
                Finish(ERROR_SUCCESS, nullptr, 0); // an empty piece: nothing read
        } else {
            received_.insert(received_.end(), payload, payload + size);
            if (size && deadline_) deadline_->Arrived();
        }
    }
    incoming_.erase(incoming_.begin(), incoming_.begin() + (ptrdiff_t)at);
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
    wrote_ = true;
    *written = count;
    return true;
}

bool SocketDevice::RequestDeviceId(std::string* id, DWORD* error) {
    // Asked on a connection of its own, so it never mixes with port data.
    int fd = pool::Take(socketPath_, "");
    bool ok = true;
    if (fd < 0) {
        fd = wire::Connect(socketPath_);
        if (fd < 0) {
            *error = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        ok = wire::SendFrame(fd, wire::kHello, "", 0);
    }
    ok = ok && wire::SendFrame(fd, wire::kDeviceIdRequest, "", 0);
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
            pool::Keep(socketPath_, "", fd); // the exchange is over: the connection is quiet
            return true;
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
