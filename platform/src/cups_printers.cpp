// The spooler entries of CUPS queues that print to a local parallel or USB
// printer, as a Windows printer driver's installation would have left them.
#include "host_devices.h"

#include "cups_printers_port.h"
#include "paths.h"

#include <cstdio>
#include <set>

namespace orbis::platform {

namespace {

const char kPrintersKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers";
const char kCupsMarker[] = "cups";

std::vector<BYTE> SzData(const std::string& text) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

bool IsCupsEntry(RegKey* key) {
    RegValue* marker = key ? key->FindValue(kHostSourceValue) : nullptr;
    return marker && marker->type == REG_SZ && marker->data == SzData(kCupsMarker);
}

void SetString(RegKey& key, const char* name, const std::string& text, bool* changed) {
    std::vector<BYTE> data = SzData(text);
    if (RegValue* value = key.FindValue(name)) {
        if (value->type == REG_SZ && value->data == data) return;
        value->type = REG_SZ;
        value->data = std::move(data);
    } else {
        key.values.push_back(RegValue{name, REG_SZ, std::move(data)});
    }
    *changed = true;
}

void EraseTree(Hive& hive, const std::string& path) {
    for (const auto& sub : hive.Subkeys(path))
        EraseTree(hive, path + "\\" + sub);
    hive.Erase(path);
}

// "LPTn" / "USB00n", or "" when the queue prints elsewhere.
std::string PortOf(Hive& hive, const CupsPrinter& printer, const std::vector<KernelUsbPrinter>& usb,
                   bool* changed) {
    CupsPortTarget target = CupsPortOf(printer.deviceUri, usb);
    if (target.kind == CupsPortTarget::kParallel) return "LPT" + std::to_string(target.lptNumber);
    if (target.kind != CupsPortTarget::kUsb) return std::string();
    char port[16];
    std::snprintf(port, sizeof port, "USB%03d", HostUsbPortNumber(hive, target.usbKey, changed));
    return port;
}

} // namespace

void ApplyCupsPrinters(Hive& hive, const std::vector<CupsPrinter>& printers,
                       const std::vector<KernelUsbPrinter>& usb, bool* changed) {
    std::set<std::string> listed; // upper-case names of the entries CUPS still stands behind
    for (const auto& printer : printers) {
        // A backslash would make the name a path of several keys.
        if (printer.name.empty() || printer.name.find('\\') != std::string::npos) continue;
        std::string path = std::string(kPrintersKey) + "\\" + printer.name;
        RegKey* existing = hive.Find(path);
        // A printer of the same name that CUPS did not put there belongs to somebody else.
        if (existing && !IsCupsEntry(existing)) continue;
        std::string port = PortOf(hive, printer, usb, changed);
        if (port.empty()) continue;

        bool created = false;
        RegKey& key = hive.Create(path, &created);
        if (created) *changed = true;
        SetString(key, "Name", printer.name, changed);
        SetString(key, "Printer Driver", printer.makeAndModel, changed);
        SetString(key, "Port", port, changed);
        SetString(key, kHostSourceValue, kCupsMarker, changed);
        listed.insert(UpperAscii(printer.name));
    }

    for (const auto& name : hive.Subkeys(kPrintersKey)) {
        std::string path = std::string(kPrintersKey) + "\\" + name;
        if (listed.count(UpperAscii(name)) || !IsCupsEntry(hive.Find(path))) continue;
        EraseTree(hive, path);
        *changed = true;
    }
}

} // namespace orbis::platform
