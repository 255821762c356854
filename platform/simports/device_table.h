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

// The present devices of a checked root (Root()), ordered by port name.
std::vector<PresentDevice> PresentDevices(const std::string& root);

} // namespace orbis::platform
