// The printer ports attached to the root: what the printer processes have
// announced under <root>/dev, restricted to those whose process still lives.
#pragma once

#include <string>
#include <vector>

namespace orbis::platform {

struct PresentDevice {
    std::string port;               // "LPT1", "USB001", ...
    std::string socket;             // host path of the device socket
    std::string kind;               // "lpt", "usb" (a USB printer), "usb-other" (a USB device, no printer)
    std::vector<std::string> paths; // USB device paths, one per interface class
};

// The present devices, ordered by port name.
std::vector<PresentDevice> PresentDevices();

// The interface-class GUID at the end of a device path, lower case, braces kept ("" if none).
std::string InterfaceClassOfPath(const std::string& path);

bool EqualsNoCase(const std::string& a, const std::string& b);

} // namespace orbis::platform
