// Where printer ports come from besides the in-process test devices. The
// stand-in knows none of them by name: the simulated ports and the host's own
// devices register here at start (platform/register_sources.cpp), and the
// device calls (CreateFileA, SetupAPI, the registry's printer keys,
// GetVersionExA) ask them in the order they registered.
#pragma once

#include "io_object.h"
#include "source_choice.h"

#include <memory>
#include <string>
#include <vector>

namespace orbis::platform {

// A USB device as SetupAPI lists it: its device paths, each ending in the
// interface class it belongs to.
struct UsbDeviceEntry {
    bool printer = true; // printer setup class; false: a USB device that is no printer
    std::vector<std::string> paths;
};

struct DeviceSource {
    // Opens a device name ("LPTn" upper case without ':', or a device path with
    // its pipe). True when the name is this source's: *object is set, or null
    // with *error. False when it is not; *error may then say why, kept unless a
    // later source takes the name.
    bool (*open)(const HostSources& sources, const std::string& name, DWORD access,
                 std::shared_ptr<IoObject>* object, DWORD* error);
    // Adds the USB devices present now.
    void (*listUsb)(const HostSources& sources, std::vector<UsbDeviceEntry>* devices);
    // Brings the registry keys this source keeps up to date; null when it keeps none.
    void (*refreshKeys)();
    // The Windows family the source's ports imply (VER_PLATFORM_*), 0 for none; may be null.
    int (*windowsFamily)(const HostSources& sources);
};

// Adds a source after those already there; the same source twice counts once.
void RegisterDeviceSource(const DeviceSource* source);
// The registered sources, in order.
std::vector<const DeviceSource*> DeviceSources();

// What the registry and SetupAPI call: every source's refreshKeys.
void RefreshDeviceKeys();

} // namespace orbis::platform
