// Where a CUPS queue prints to, as the spooler would name the port: a parallel
// port number, or the key that keeps a USB printer's "USB00n".
#pragma once

#include "host_devices.h"

#include <string>
#include <vector>

namespace orbis::platform {

struct CupsPortTarget {
    enum Kind { kNone, kParallel, kUsb } kind = kNone;
    int lptNumber = 0;  // kParallel: n of "LPTn"
    std::string usbKey; // kUsb: the port key HostUsbPortNumber takes
};

// parallel:/dev/lpK and parallel:/dev/parportK give LPT<K+1>; usb://MFG/MDL?serial=S
// gives S, or "MFG/MDL" without a serial (the key of a present kernel printer with
// that MFG/MDL when there is exactly one; "serial=?" counts as none); the old
// "usb:/dev/usb/lpN" gives the key of the kernel printer on that node while it is
// present; every other URI gives kNone.
CupsPortTarget CupsPortOf(const std::string& deviceUri, const std::vector<KernelUsbPrinter>& usb);

// %XX escapes decoded; a broken escape is kept as it stands.
std::string UriDecode(const std::string& text);

} // namespace orbis::platform
