// CreateFileA on the device path of a kernel USB printer: the path of either
// interface class, bare or with the pipe the library asks for.
#include "host_devices.h"

#include "devices.h"
#include "kernel_usb_device.h"

namespace orbis::platform {

std::shared_ptr<IoObject> OpenKernelUsb(const HostSources& sources, const std::string& name, DWORD access,
                                        DWORD* error) {
    std::string base = name;
    KernelUsbDevice::Pipe pipe = KernelUsbDevice::Pipe::Device;
    size_t slash = name.rfind('\\');
    if (slash != std::string::npos && slash > 4) { // past the "\\?\" of the path itself
        std::string last = name.substr(slash + 1);
        if (EqualsNoCase(last, "PIPE00"))
            pipe = KernelUsbDevice::Pipe::Write;
        else if (EqualsNoCase(last, "PIPE01"))
            pipe = KernelUsbDevice::Pipe::Read;
        if (pipe != KernelUsbDevice::Pipe::Device || EqualsNoCase(last, "CTLPIPE"))
            base = name.substr(0, slash);
    }
    for (const auto& printer : ScanKernelUsbPrinters(sources)) {
        if (!EqualsNoCase(base, printer.printerPath) && !EqualsNoCase(base, printer.devicePath)) continue;
        auto node = KernelUsbNode::Share(printer.node, error);
        if (!node) return nullptr;
        return KernelUsbDevice::Open(std::move(node), pipe, access, error);
    }
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
}

} // namespace orbis::platform
