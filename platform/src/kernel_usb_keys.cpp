// The device-class keys Windows keeps for a plugged-in USB printer, written
// for the kernel's printers the way the simulator writes them for its own.
// The refresh runs on every look at these keys, so nothing is rewritten that
// already holds the right value.
#include "host_devices.h"

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

void SetValue(Hive& hive, const std::string& key, const char* name, DWORD type, std::vector<BYTE> data,
              bool* changed) {
    bool created = false;
    RegKey& k = hive.Create(key, &created);
    if (created) *changed = true;
    RegValue* value = k.FindValue(name);
    if (value && value->type == type && value->data == data) return;
    if (value) {
        value->type = type;
        value->data = std::move(data);
    } else {
        k.values.push_back({name, type, std::move(data)});
    }
    *changed = true;
}

void SetString(Hive& hive, const std::string& key, const char* name, const std::string& text, bool* changed) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(hive, key, name, REG_SZ, std::move(data), changed);
}

void SetDword(Hive& hive, const std::string& key, const char* name, DWORD number, bool* changed) {
    std::vector<BYTE> data(sizeof number);
    std::memcpy(data.data(), &number, sizeof number);
    SetValue(hive, key, name, REG_DWORD, std::move(data), changed);
}

bool IsKernelInstance(Hive& hive, const std::string& key) {
    RegKey* k = hive.Find(key);
    RegValue* marker = k ? k->FindValue(kHostSourceValue) : nullptr;
    return marker && marker->type == REG_SZ &&
           std::string(marker->data.begin(), marker->data.end()) == std::string(kKernelSource) + '\0';
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
            SetString(hive, key, "DeviceInstance", printer.instance, changed);
            SetString(hive, key, kHostSourceValue, kKernelSource, changed);
            SetString(hive, key + "\\#", "SymbolicLink", path, changed);
            SetDword(hive, key + "\\#\\Control", "Linked", 1, changed);
            if (printerClass) SetDword(hive, key + "\\#\\Device Parameters", "Port Number", port, changed);
        }
    }
    // A printer unplugged keeps its keys, as on Windows, so its port number waits for its return.
    for (const char* cls : {kUsbPrinterInterfaceClass, kUsbDeviceInterfaceClass}) {
        std::string classKey = kClassesKey + std::string(cls);
        for (const auto& name : hive.Subkeys(classKey)) {
            std::string key = classKey + "\\" + name;
            if (present.count(UpperAscii(key)) || !IsKernelInstance(hive, key)) continue;
            SetDword(hive, key + "\\#\\Control", "Linked", 0, changed);
        }
    }
}

} // namespace orbis::platform
