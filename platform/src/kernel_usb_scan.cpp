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

// The value of one key of an IEEE 1284 ID ("KEY:value;"), keys compared without case.
std::string IdField(const std::string& id, const std::string& key) {
    size_t start = 0;
    while (start < id.size()) {
        size_t end = id.find(';', start);
        if (end == std::string::npos) end = id.size();
        std::string pair = id.substr(start, end - start);
        size_t colon = pair.find(':');
        if (colon != std::string::npos) {
            std::string name = pair.substr(0, colon);
            name.erase(0, name.find_first_not_of(" \t\r\n"));
            name.erase(name.find_last_not_of(" \t\r\n") + 1);
            if (UpperAscii(name) == key) {
                std::string value = pair.substr(colon + 1);
                value.erase(0, value.find_first_not_of(" \t\r\n"));
                value.erase(value.find_last_not_of(" \t\r\n") + 1);
                return value;
            }
        }
        start = end + 1;
    }
    return "";
}

std::string IdField(const std::string& id, const char* key, const char* longKey) {
    std::string value = IdField(id, key);
    return value.empty() ? IdField(id, longKey) : value;
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

} // namespace

std::vector<KernelUsbPrinter> ScanKernelUsbPrinters(const HostSources& sources) {
    std::vector<std::pair<int, KernelUsbPrinter>> found;
    std::error_code ec;
    fs::directory_iterator entries(sources.sysfsRoot + "/class/usbmisc", ec);
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        std::string name = entries->path().filename().string();
        int number = NodeNumber(name);
        if (number < 0) continue;
        KernelUsbPrinter p;
        p.node = sources.devRoot + "/usb/" + name;
        if (!NodeExists(p.node)) continue;
        std::error_code resolved;
        fs::path interface = fs::canonical(entries->path() / "device", resolved);
        if (resolved) continue;
        fs::path device = interface.parent_path();
        unsigned vid = 0, pid = 0;
        if (!ParseHex16(Attribute(device / "idVendor"), &vid) ||
            !ParseHex16(Attribute(device / "idProduct"), &pid))
            continue;
        p.deviceId = Attribute(interface / "ieee1284_id");
        std::string serial = Attribute(device / "serial");
        if (serial.find_first_not_of(" \t") != std::string::npos) p.serial = PathSafe(serial);

        // A device without a serial number is told apart by where it is plugged in, as Windows does.
        std::string segment = p.serial;
        if (segment.empty()) {
            std::string bus = Attribute(device / "busnum"), port = Attribute(device / "devpath");
            segment = PathSafe(bus.empty() ? "Inst_" + name : "Inst_" + bus + "&" + port);
        }
        char ids[64];
        std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vid, pid);
        std::string base = std::string("\\\\?\\usb#") + ids + "#" + segment + "#";
        p.printerPath = base + kUsbPrinterInterfaceClass;
        p.devicePath = base + kUsbDeviceInterfaceClass;
        std::snprintf(ids, sizeof ids, "VID_%04X&PID_%04X", vid, pid);
        p.instance = std::string("USB\\") + ids + "\\" + segment;

        // The serial as CUPS puts it in a usb:// URI, else the URI's "MFG/MDL"; only what
        // the hive file cannot hold is replaced.
        std::string key = serial;
        if (p.serial.empty()) {
            std::string mfg = IdField(p.deviceId, "MFG", "MANUFACTURER");
            std::string mdl = IdField(p.deviceId, "MDL", "MODEL");
            key = !mfg.empty() && !mdl.empty() ? mfg + "/" + mdl : p.instance;
        }
        for (auto& c : key)
            if ((unsigned char)c < 0x20 || c == 0x7F) c = '_';
        p.portKey = key;
        found.emplace_back(number, std::move(p));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<KernelUsbPrinter> printers;
    for (auto& f : found)
        printers.push_back(std::move(f.second));
    return printers;
}

} // namespace orbis::platform
