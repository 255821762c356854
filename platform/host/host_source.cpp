// The host's own printers (kernel USB printers, parallel ports, CUPS queues) as
// a device source: device names, SetupAPI's USB devices, the registry keys
// Windows would hold for them, and the family their parallel ports imply.
#include "host_source.h"

#include "host_devices.h"

#include <cstdlib>

namespace orbis::platform {
namespace {

bool OpenHost(const HostSources& sources, const std::string& name, DWORD access,
              std::shared_ptr<IoObject>* object, DWORD* error) {
    if (!sources.kernel) return false;
    if (name.rfind("LPT", 0) == 0)
        *object = OpenHostParallel(sources, std::atoi(name.c_str() + 3), access, error);
    else
        *object = OpenKernelUsb(sources, name, access, error);
    return true;
}

void ListHostUsb(const HostSources& sources, std::vector<UsbDeviceEntry>* devices) {
    if (!sources.kernel) return;
    for (const auto& printer : ScanKernelUsbPrinters(sources))
        devices->push_back({true, {printer.devicePath, printer.printerPath}});
}

int HostFamily(const HostSources& sources) {
    return sources.kernel ? HostParallelFamily(sources) : 0;
}

const DeviceSource kHost = {OpenHost, ListHostUsb, RefreshHostEntries, HostFamily};

} // namespace

const DeviceSource* HostDevicesSource() {
    return &kHost;
}

} // namespace orbis::platform
