// The printers of the kernel's USB printer-class driver (usblp), as sysfs
// shows them, named the way Windows names a USB printer's interfaces.
#include "host_devices.h"

#include "kernel_usb.h"
#include "paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace orbis::platform {

namespace {

namespace fs = std::filesystem;

// A sysfs attribute without its line end; "" when it cannot be read.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    char buffer[4096];
    while (in && text.size() < 65536) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, (size_t)in.gcount());
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '\0'))
        text.pop_back();
    return text;
}

bool ParseHex16(const std::string& text, unsigned* value) {
    if (text.empty() || text.size() > 4) return false;
    for (char c : text)
        if (!std::isxdigit((unsigned char)c)) return false;
    *value = (unsigned)std::stoul(text, nullptr, 16);
    return true;
}

// Characters that would end a segment of a device path or a registry key name.
std::string PathSafe(std::string text) {
    for (auto& c : text) {
        unsigned char u = (unsigned char)c;
        if (c == '#' || c == '\\' || c == '/' || c == ' ' || u < 0x20 || u == 0x7F) c = '_';
    }
    return text;
}

// The number of "lpN", or -1 for any other name.
int NodeNumber(const std::string& name) {
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return -1;
    for (size_t i = 2; i < name.size(); ++i)
        if (!std::isdigit((unsigned char)name[i])) return -1;
    return name.size() > 9 ? -1 : std::stoi(name.substr(2));
}

bool NodeExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// What sysfs says about one usblp device.
struct Found {
    int number = -1;
    std::string name, node, serial, bus, devpath, deviceId;
    unsigned vid = 0, pid = 0;
};

// Value names of the hive file hold no control characters.
std::string HiveSafe(std::string text) {
    for (auto& c : text)
        if ((unsigned char)c < 0x20 || c == 0x7F) c = '_';
    return text;
}

KernelUsbPrinter Name(const Found& f, bool bySerial) {
    KernelUsbPrinter p;
    p.node = f.node;
    p.deviceId = f.deviceId;
    std::string segment;
    if (bySerial) {
        p.serial = PathSafe(f.serial);
        segment = p.serial;
    } else {
        segment = PathSafe(f.bus.empty() ? "Inst_" + f.name : "Inst_" + f.bus + "&" + f.devpath);
    }
    char ids[64];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", f.vid, f.pid);
    std::string base = std::string("\\\\?\\usb#") + ids + "#" + segment + "#";
    p.printerPath = base + kUsbPrinterInterfaceClass;
    p.devicePath = base + kUsbDeviceInterfaceClass;
    std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", f.vid, f.pid);
    p.instance = std::string("USB\\") + ids + "\\" + segment;

    // The serial as CUPS puts it in a usb:// URI, else the URI's "MFG/MDL". (A serial
    // from the device ID still tells apart two devices whose USB serials agree.)
    CupsUsbName cups = CupsUsbNameOf(f.deviceId, f.serial);
    if (!cups.serial.empty() && (bySerial || cups.serial != f.serial))
        p.portKey = HiveSafe(cups.serial);
    else
        p.portKey = HiveSafe(!cups.makeModel.empty() ? cups.makeModel : p.instance);
    return p;
}

} // namespace

std::vector<KernelUsbPrinter> ScanKernelUsbPrinters(const HostSources& sources) {
    std::vector<Found> found;
    std::error_code ec;
    fs::directory_iterator entries(sources.sysfsRoot + "/class/usbmisc", ec);
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        Found f;
        f.name = entries->path().filename().string();
        f.number = NodeNumber(f.name);
        if (f.number < 0) continue;
        f.node = sources.devRoot + "/usb/" + f.name;
        if (!NodeExists(f.node)) continue;
        std::error_code resolved;
        fs::path interface = fs::canonical(entries->path() / "device", resolved);
        if (resolved) continue;
        fs::path device = interface.parent_path();
        if (!ParseHex16(Attribute(device / "idVendor"), &f.vid) ||
            !ParseHex16(Attribute(device / "idProduct"), &f.pid))
            continue;
        f.deviceId = Attribute(interface / "ieee1284_id");
        f.serial = Attribute(device / "serial");
        if (f.serial.find_first_not_of(" \t") == std::string::npos) f.serial.clear();
        f.bus = Attribute(device / "busnum");
        f.devpath = Attribute(device / "devpath");
        found.push_back(std::move(f));
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.number < b.number; });

    std::vector<KernelUsbPrinter> printers;
    std::set<std::string> paths, keys; // upper case, of the printers named so far
    for (const auto& f : found) {
        // Two devices that give the same serial number (cheap ones do) are told apart by
        // where they are plugged in, as are devices without one.
        KernelUsbPrinter p = Name(f, !f.serial.empty());
        if (!paths.insert(UpperAscii(p.printerPath)).second) {
            p = Name(f, false);
            paths.insert(UpperAscii(p.printerPath));
        }
        // Two printers never share a USB00n, even when nothing else tells them apart.
        if (!keys.insert(UpperAscii(p.portKey)).second) {
            p.portKey = HiveSafe(p.instance);
            keys.insert(UpperAscii(p.portKey));
        }
        printers.push_back(std::move(p));
    }
    return printers;
}

} // namespace orbis::platform
