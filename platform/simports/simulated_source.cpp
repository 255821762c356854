// The printer ports that printer processes serve on the root's device sockets,
// as a source of device names and of SetupAPI's USB devices.
#include "simulated_source.h"

#include "../orbis_platform.h"
#include "device_socket.h"
#include "device_table.h"
#include "device_wire.h"
#include "devices.h"

namespace orbis::platform {
namespace {

bool OpenSimulated(const HostSources& sources, const std::string& name, DWORD access,
                   std::shared_ptr<IoObject>* object, DWORD* error) {
    if (!sources.simulated) return false;
    // The root was checked as the sources were chosen, a moment ago.
    const std::string& root = sources.root;
    if (name.rfind("LPT", 0) == 0) {
        if (root.empty()) return false;
        *object = SocketDevice::Open(wire::DeviceDir(root) + "/" + name, SocketDevice::Kind::Parallel, access,
                                     error);
        // Nobody serving the port leaves it to a host port of that name.
        return *object != nullptr;
    }
    std::string base = name;
    SocketDevice::Kind kind = SocketDevice::Kind::UsbControl;
    size_t slash = name.rfind('\\');
    if (slash != std::string::npos && slash > 4) {
        std::string last = name.substr(slash + 1);
        if (EqualsNoCase(last, "PIPE00"))
            kind = SocketDevice::Kind::UsbWrite;
        else if (EqualsNoCase(last, "PIPE01"))
            kind = SocketDevice::Kind::UsbRead;
        if (kind != SocketDevice::Kind::UsbControl || EqualsNoCase(last, "CTLPIPE"))
            base = name.substr(0, slash);
    }
    for (const auto& device : PresentDevices(root)) {
        if (device.kind == "lpt") continue;
        for (const auto& path : device.paths)
            if (EqualsNoCase(path, base)) {
                *object = SocketDevice::Open(device.socket, kind, access, error);
                return true;
            }
    }
    return false;
}

void ListSimulatedUsb(const HostSources& sources, std::vector<UsbDeviceEntry>* devices) {
    if (!sources.simulated) return;
    for (const auto& device : PresentDevices(sources.root))
        if (device.kind == "usb" || device.kind == "usb-other")
            devices->push_back({device.kind == "usb", device.paths});
}

const DeviceSource kSimulated = {OpenSimulated, ListSimulatedUsb, nullptr, nullptr};

} // namespace

const DeviceSource* SimulatedPortsSource() {
    return &kSimulated;
}

} // namespace orbis::platform
