// USB port numbers of host printers, kept in the hive so that a printer keeps
// its "USB00n" across re-plugging and restarts, as Windows' port monitor does.
#include "host_devices.h"
#include "host_keys.h"

#include "paths.h"

#include <cstring>
#include <set>

namespace orbis::platform {

namespace {

const char kPortsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orbis\\HostUsbPorts";
const char kPrinterClassKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{"
                                "28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

} // namespace

int HostUsbPortNumber(Hive& hive, const std::string& portKey, bool* changed) {
    DWORD number = 0;
    RegKey* ports = hive.Find(kPortsKey);
    if (ports && DwordValue(ports->FindValue(portKey), &number) && number > 0) return (int)number;

    std::set<DWORD> used;
    if (ports)
        for (const auto& value : ports->values)
            if (DwordValue(&value, &number)) used.insert(number);
    for (const auto& instance : hive.Subkeys(kPrinterClassKey)) {
        RegKey* parameters =
            hive.Find(std::string(kPrinterClassKey) + "\\" + instance + "\\#\\Device Parameters");
        if (parameters && DwordValue(parameters->FindValue("Port Number"), &number)) used.insert(number);
    }
    DWORD chosen = 1;
    while (used.count(chosen))
        ++chosen;

    SetHostDword(hive, kPortsKey, portKey.c_str(), chosen, changed);
    return (int)chosen;
}

} // namespace orbis::platform
