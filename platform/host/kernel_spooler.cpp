// Spooler entries for printers of the family that the kernel found and no CUPS
// queue covers, as Windows' plug and play leaves one after matching the device
// ID against a driver's INF: the printer is usable without a queue or a PPD.
#include "host_devices.h"

#include "host_keys.h"
#include "paths.h"

#include <cstdio>
#include <map>

namespace orbis::platform {

namespace {

const char kPrintersKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers";
const char kKernelSource[] = "kernel";
// The driver an installation of the family names (listed in the shipped catalogue).
const char kFamilyDriver[] = "Orbis LP 2200 PCL";
// The family's IEEE 1284 device-ID markers, as its driver's INF would match them.
const char* const kFamilyMarkers[] = {"Vantrel", "VNPAP",    "vnpap",    "Vnpap",   " NPAP,",
                                      " NPAP;",  "CPDNPA00", "cpdnpa00", "Cpdnpa00"};

void EraseTree(Hive& hive, const std::string& path) {
    for (const auto& sub : hive.Subkeys(path))
        EraseTree(hive, path + "\\" + sub);
    hive.Erase(path);
}

std::string StringValue(RegKey* key, const char* name) {
    RegValue* v = key ? key->FindValue(name) : nullptr;
    if (!v || v->type != REG_SZ) return std::string();
    return std::string(v->data.begin(), v->data.end()).c_str();
}

} // namespace

bool IsFamilyDeviceId(const std::string& deviceId) {
    for (const char* marker : kFamilyMarkers)
        if (deviceId.find(marker) != std::string::npos) return true;
    return false;
}

void ApplyKernelSpoolerEntries(Hive& hive, const std::vector<KernelUsbPrinter>& usb,
                               const std::vector<int>& familyLpts, bool* changed) {
    // Ports some other entry (a CUPS queue, the simulator, a hand-made one) already prints to.
    std::map<std::string, std::string> taken; // upper-case port -> entry name
    for (const auto& name : hive.Subkeys(kPrintersKey)) {
        RegKey* key = hive.Find(std::string(kPrintersKey) + "\\" + name);
        if (!HasHostSource(key, kKernelSource)) taken[UpperAscii(StringValue(key, "Port"))] = name;
    }
    std::map<std::string, std::string> wanted; // entry name -> port
    for (const auto& printer : usb) {
        if (!IsFamilyDeviceId(printer.deviceId)) continue;
        char port[16];
        std::snprintf(port, sizeof port, "USB%03d", HostUsbPortNumber(hive, printer.portKey, changed));
        wanted[std::string(kFamilyDriver) + " (" + port + ")"] = port;
    }
    for (int lpt : familyLpts) {
        std::string port = "LPT" + std::to_string(lpt);
        wanted[std::string(kFamilyDriver) + " (" + port + ")"] = port;
    }
    for (const auto& [name, port] : wanted) {
        std::string path = std::string(kPrintersKey) + "\\" + name;
        RegKey* existing = hive.Find(path);
        if (taken.count(UpperAscii(port)) || (existing && !HasHostSource(existing, kKernelSource))) continue;
        SetHostString(hive, path, "Name", name, changed);
        SetHostString(hive, path, "Printer Driver", kFamilyDriver, changed);
        SetHostString(hive, path, "Port", port, changed);
        SetHostString(hive, path, kHostSourceValue, kKernelSource, changed);
    }
    // A printer gone, or now behind a queue, leaves no entry of ours behind.
    for (const auto& name : hive.Subkeys(kPrintersKey)) {
        std::string path = std::string(kPrintersKey) + "\\" + name;
        RegKey* key = hive.Find(path);
        if (!HasHostSource(key, kKernelSource)) continue;
        auto it = wanted.find(name);
        if (it != wanted.end() && !taken.count(UpperAscii(it->second))) continue;
        EraseTree(hive, path);
        *changed = true;
    }
}

} // namespace orbis::platform
