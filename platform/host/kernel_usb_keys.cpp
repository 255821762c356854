// The device-class keys Windows keeps for a plugged-in USB printer, written
// for the kernel's printers the way the simulator writes them for its own.
// The refresh runs on every look at these keys, so nothing is rewritten that
// already holds the right value.
#include "host_devices.h"
#include "host_keys.h"

#include "kernel_usb.h"
#include "paths.h"

#include <cstring>
#include <set>

namespace orbis::platform {

namespace {

const char kClassesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
const char kKernelSource[] = "kernel";

std::string InstanceKey(const char* interfaceClass, const std::string& path) {
    std::string name = path;
    for (auto& c : name)
        if (c == '\\') c = '#';
    return kClassesKey + std::string(interfaceClass) + "\\" + name;
}

} // namespace

void ApplyKernelUsbPrinters(Hive& hive, const std::vector<KernelUsbPrinter>& printers, bool* changed) {
    std::set<std::string> present; // upper-case instance keys
    for (const auto& printer : printers) {
        DWORD port = (DWORD)HostUsbPortNumber(hive, printer.portKey, changed);
        for (const char* cls : {kUsbPrinterInterfaceClass, kUsbDeviceInterfaceClass}) {
            bool printerClass = std::strcmp(cls, kUsbPrinterInterfaceClass) == 0;
            const std::string& path = printerClass ? printer.printerPath : printer.devicePath;
            std::string key = InstanceKey(cls, path);
            present.insert(UpperAscii(key));
            SetHostString(hive, key, "DeviceInstance", printer.instance, changed);
            SetHostString(hive, key, kHostSourceValue, kKernelSource, changed);
            SetHostString(hive, key + "\\#", "SymbolicLink", path, changed);
            SetHostDword(hive, key + "\\#\\Control", "Linked", 1, changed);
            if (printerClass)
                SetHostDword(hive, key + "\\#\\Device Parameters", "Port Number", port, changed);
        }
    }
    // A printer unplugged keeps its keys, as on Windows, so its port number waits for its return.
    for (const char* cls : {kUsbPrinterInterfaceClass, kUsbDeviceInterfaceClass}) {
        std::string classKey = kClassesKey + std::string(cls);
        for (const auto& name : hive.Subkeys(classKey)) {
            std::string key = classKey + "\\" + name;
            if (present.count(UpperAscii(key)) || !HasHostSource(hive.Find(key), kKernelSource)) continue;
            SetHostDword(hive, key + "\\#\\Control", "Linked", 0, changed);
        }
    }
}

} // namespace orbis::platform
