// The framed protocol spoken on a device socket between this layer (the host
// side) and a printer process. One frame: a type byte, a 4-byte big-endian
// payload length, the payload. Shared by platform/ and sim/.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace orbis::wire {

enum FrameType : uint8_t {
    kHello = 'H',           // host -> printer: "" (parallel port or USB control), "PIPE00", "PIPE01"
    kData = 'D',            // either way: port data; to a USB read pipe, exactly one piece (or part of one)
    kReadRequest = 'R',     // host -> printer on PIPE01: 4-byte count, answered by one kData frame
    kDeviceIdRequest = 'I', // host -> printer: empty payload
    kDeviceId = 'i',        // printer -> host: the IEEE 1284 device ID, plain text
};

// Payloads above this are a broken peer, not data.
constexpr uint32_t kMaxPayload = 1u << 20;

inline bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

inline bool ReadAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

inline bool SendFrame(int fd, uint8_t type, const void* payload, size_t size) {
    std::vector<uint8_t> frame(5 + size);
    frame[0] = type;
    frame[1] = static_cast<uint8_t>(size >> 24);
    frame[2] = static_cast<uint8_t>(size >> 16);
    frame[3] = static_cast<uint8_t>(size >> 8);
    frame[4] = static_cast<uint8_t>(size);
    if (size) std::memcpy(frame.data() + 5, payload, size);
    return WriteAll(fd, frame.data(), frame.size());
}

inline bool RecvFrame(int fd, uint8_t* type, std::vector<uint8_t>* payload) {
    uint8_t header[5];
    if (!ReadAll(fd, header, 5)) return false;
    uint32_t size = (uint32_t(header[1]) << 24) | (uint32_t(header[2]) << 16) | (uint32_t(header[3]) << 8) |
                    uint32_t(header[4]);
    if (size > kMaxPayload) return false;
    *type = header[0];
    payload->resize(size);
    return size == 0 || ReadAll(fd, payload->data(), size);
}

// Like ReadAll, but a peer that stops sending for idleMs in the middle of the
// data fails the read instead of holding the reader for good.
inline bool ReadAllWithin(int fd, void* data, size_t size, int idleMs) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        pollfd waiting = {fd, POLLIN, 0};
        int ready = ::poll(&waiting, 1, idleMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        ssize_t n = ::recv(fd, p, size, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// RecvFrame for a reader that must not hang: each part of the frame has to
// arrive within idleMs of the one before.
inline bool RecvFrameWithin(int fd, uint8_t* type, std::vector<uint8_t>* payload, int idleMs) {
    uint8_t header[5];
    if (!ReadAllWithin(fd, header, 5, idleMs)) return false;
    uint32_t size = (uint32_t(header[1]) << 24) | (uint32_t(header[2]) << 16) | (uint32_t(header[3]) << 8) |
                    uint32_t(header[4]);
    if (size > kMaxPayload) return false;
    *type = header[0];
    payload->resize(size);
    return size == 0 || ReadAllWithin(fd, payload->data(), size, idleMs);
}

// sockaddr_un holds about 108 bytes; a longer socket path is reached through
// an O_PATH handle on its directory. *dirFd receives that handle (or -1); the
// caller closes it after bind/connect.
inline bool MakeAddress(const std::string& path, sockaddr_un* address, socklen_t* length, int* dirFd) {
    *dirFd = -1;
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    std::string target = path;
    if (target.size() >= sizeof(address->sun_path)) {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        std::string dir = path.substr(0, slash);
        *dirFd = ::open(dir.empty() ? "/" : dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (*dirFd < 0) return false;
        target = "/proc/self/fd/" + std::to_string(*dirFd) + path.substr(slash);
        if (target.size() >= sizeof(address->sun_path)) {
            ::close(*dirFd);
            *dirFd = -1;
            return false;
        }
    }
    std::memcpy(address->sun_path, target.c_str(), target.size() + 1);
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + target.size() + 1);
    return true;
}

// Connects to a device socket; -1 when nobody serves it.
inline int Connect(const std::string& path) {
    sockaddr_un address;
    socklen_t length = 0;
    int dirFd = -1;
    if (!MakeAddress(path, &address, &length, &dirFd)) return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        ::close(fd);
        fd = -1;
    }
    if (dirFd >= 0) ::close(dirFd);
    return fd;
}

// The files a printer process keeps under <root>/dev for one attached port:
// the socket "<PORT>" and the description "<PORT>.dev".
inline std::string DeviceDir(const std::string& root) {
    return root + "/dev";
}

} // namespace orbis::wire
