// The only place that issues ioctls to the kernel's printer drivers: usblp
// (USB printer class) and ppdev (parallel ports), and that opens their nodes.
// Everything else about real devices is plain files, so tests swap this table
// for one that works on a pty standing in for the device node.
#pragma once

#include "device_problem.h"

#include <cstddef>
#include <string>

namespace orbis::platform {

struct HostIoctls {
    // usblp LPIOC_GET_DEVICE_ID: the IEEE 1284 ID with its 2-byte big-endian
    // length prefix, into buffer; usblp copies UsbLpIdLength(prefix) bytes at most
    // and does not say how many. 0, or -1 with errno set.
    int (*usbDeviceId)(int fd, void* buffer, size_t size);
    // ppdev: take and give back the port (PPCLAIM / PPRELEASE); 0 or -1 with errno.
    int (*parClaim)(int fd);
    int (*parRelease)(int fd);
    // ppdev PPNEGOT to an IEEE 1284 mode (kParMode*); read()/write() on the
    // node then use that mode. 0 or -1 with errno.
    int (*parNegotiate)(int fd, int mode);
    // open(2) and access(2) of a device node; null in a test's table: the kernel's.
    // (Run as root, a test cannot otherwise see a node refused.)
    int (*openNode)(const char* path, int flags);
    int (*accessNode)(const char* path, int mode);
};

// The IEEE 1284 modes the parallel code asks for (values of <linux/parport.h>).
constexpr int kParModeNibble = 0;
constexpr int kParModeByte = 1 << 0;
constexpr int kParModeCompat = 1 << 8;
constexpr int kParModeDeviceId = 1 << 2; // or-ed onto nibble/byte: the peripheral sends its device ID

const HostIoctls& CurrentHostIoctls();
// Through the table: open (retried on EINTR, always O_CLOEXEC) and access of a node.
int OpenHostNode(const std::string& path, int flags);
int AccessHostNode(const std::string& path, int mode);
// The usblp device-ID length prefix as usblp itself clamps it (2..1023).
size_t UsbLpIdLength(const unsigned char* prefix);
// Replaces the table for this process (tests); null restores the kernel's.
void SetHostIoctlsForTesting(const HostIoctls* table);

} // namespace orbis::platform
