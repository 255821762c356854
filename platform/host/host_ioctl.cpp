// The kernel's side of HostIoctls: usblp's device-ID request and the ppdev
// calls that claim a parallel port and switch its IEEE 1284 mode.
#include "host_ioctl.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

namespace orbis::platform {

namespace {

static_assert(kParModeNibble == IEEE1284_MODE_NIBBLE && kParModeByte == IEEE1284_MODE_BYTE &&
              kParModeCompat == IEEE1284_MODE_COMPAT && kParModeDeviceId == IEEE1284_DEVICEID);

// usblp does not export its requests in a header: 'P', number 1, read, length in the size field.
unsigned long UsbLpGetDeviceId(size_t size) {
    return _IOC(_IOC_READ, 'P', 1, size);
}

int UsbDeviceId(int fd, void* buffer, size_t size) {
    if (size > 0x3FFF) size = 0x3FFF; // the size field of an ioctl number holds 14 bits
    return ::ioctl(fd, UsbLpGetDeviceId(size), buffer) < 0 ? -1 : 0;
}

int ParClaim(int fd) {
    return ::ioctl(fd, PPCLAIM);
}

int ParRelease(int fd) {
    return ::ioctl(fd, PPRELEASE);
}

// The port keeps the negotiated mode; ppdev's read() and write() follow it.
int ParNegotiate(int fd, int mode) {
    return ::ioctl(fd, PPNEGOT, &mode);
}

int KernelOpen(const char* path, int flags) {
    return ::open(path, flags);
}

const HostIoctls kKernel = {&UsbDeviceId, &ParClaim, &ParRelease, &ParNegotiate, &KernelOpen, &::access};
std::atomic<const HostIoctls*> g_table{nullptr};

} // namespace

const HostIoctls& CurrentHostIoctls() {
    const HostIoctls* t = g_table.load();
    return t ? *t : kKernel;
}

int OpenHostNode(const std::string& path, int flags) {
    auto open = CurrentHostIoctls().openNode;
    for (;;) {
        int fd = (open ? open : KernelOpen)(path.c_str(), flags | O_CLOEXEC);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

int AccessHostNode(const std::string& path, int mode) {
    auto access = CurrentHostIoctls().accessNode;
    return access ? access(path.c_str(), mode) : ::access(path.c_str(), mode);
}

// usblp reads the length big-endian and keeps it within 2..1023 (its buffer), so a
// printer that sends the prefix in the wrong byte order still gives its ID.
size_t UsbLpIdLength(const unsigned char* prefix) {
    size_t length = size_t(prefix[0]) << 8 | prefix[1];
    return length < 2 ? 2 : length > 1023 ? 1023 : length;
}

void SetHostIoctlsForTesting(const HostIoctls* table) {
    g_table = table;
}

} // namespace orbis::platform
