// USB port numbers of host printers, kept in the hive so that a printer keeps
// its "USB00n" across re-plugging and restarts, as Windows' port monitor does.
#include "host_devices.h"

#include "paths.h"

#include <cstring>
#include <set>

namespace orbis::platform {

namespace {

const char kPortsKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orbis\\HostUsbPorts";
const char kPrinterClassKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{"
                                "28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

bool DwordOf(const RegValue* value, DWORD* out) {
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return false;
    std::memcpy(out, value->data.data(), sizeof(DWORD));
    return true;
}

} // namespace

int HostUsbPortNumber(Hive& hive, const std::string& portKey, bool* changed) {
    DWORD number = 0;
    RegKey* ports = hive.Find(kPortsKey);
    if (ports && DwordOf(ports->FindValue(portKey), &number) && number > 0) return (int)number;

    std::set<DWORD> used;
    if (ports)
        for (const auto& value : ports->values)
            if (DwordOf(&value, &number)) used.insert(number);
    for (const auto& instance : hive.Subkeys(kPrinterClassKey)) {
        RegKey* parameters =
            hive.Find(std::string(kPrinterClassKey) + "\\" + instance + "\\#\\Device Parameters");
        if (parameters && DwordOf(parameters->FindValue("Port Number"), &number)) used.insert(number);
    }
    DWORD chosen = 1;
    while (used.count(chosen))
        ++chosen;

    bool created = false;
    RegKey& key = hive.Create(kPortsKey, &created);
    RegValue value;
    value.name = portKey;
    value.type = REG_DWORD;
    value.data.resize(sizeof(DWORD));
    std::memcpy(value.data.data(), &chosen, sizeof(DWORD));
    key.values.push_back(std::move(value));
    *changed = true;
    return (int)chosen;
}

} // namespace orbis::platform
