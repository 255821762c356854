// The spooler entries of CUPS queues that print to a local parallel or USB
// printer, as a Windows printer driver's installation would have left them.
#include "host_devices.h"

#include "cups_printers_port.h"
#include "host_keys.h"
#include "paths.h"

#include <cstdio>
#include <set>

namespace orbis::platform {

namespace {

const char kPrintersKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers";
const char kCupsMarker[] = "cups";

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
        if (existing && !HasHostSource(existing, kCupsMarker)) continue;
        std::string port = PortOf(hive, printer, usb, changed);
        if (port.empty()) continue;

        SetHostString(hive, path, "Name", printer.name, changed);
        SetHostString(hive, path, "Printer Driver", printer.makeAndModel, changed);
        SetHostString(hive, path, "Port", port, changed);
        SetHostString(hive, path, kHostSourceValue, kCupsMarker, changed);
        listed.insert(UpperAscii(printer.name));
    }

    for (const auto& name : hive.Subkeys(kPrintersKey)) {
        std::string path = std::string(kPrintersKey) + "\\" + name;
        if (listed.count(UpperAscii(name)) || !HasHostSource(hive.Find(path), kCupsMarker)) continue;
        EraseTree(hive, path);
        *changed = true;
    }
}

} // namespace orbis::platform
