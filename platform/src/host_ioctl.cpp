// The kernel's side of HostIoctls: usblp's device-ID request and the ppdev
// calls that claim a parallel port and switch its IEEE 1284 mode.
#include "host_ioctl.h"

#include <atomic>
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
    if (::ioctl(fd, UsbLpGetDeviceId(size), buffer) < 0) return -1;
    const auto* b = static_cast<const unsigned char*>(buffer);
    size_t length = size >= 2 ? (size_t(b[0]) << 8 | b[1]) : 0;
    return (int)(length < size ? length : size);
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

const HostIoctls kKernel = {&UsbDeviceId, &ParClaim, &ParRelease, &ParNegotiate};
std::atomic<const HostIoctls*> g_table{nullptr};

} // namespace

const HostIoctls& CurrentHostIoctls() {
    const HostIoctls* t = g_table.load();
    return t ? *t : kKernel;
}

void SetHostIoctlsForTesting(const HostIoctls* table) {
    g_table = table;
}

} // namespace orbis::platform
