// The host's parallel ports as "LPTn": port n-1 of ppdev (readable, so the
// library can talk to the printer) or, failing that, of the lp driver (write
// only, which is what an NT-family system's "copy /b" needs).
#include "host_devices.h"

#include "host_ioctl.h"
#include "host_parallel_device.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace orbis::platform {

namespace {

namespace fs = std::filesystem;

struct PortNodes {
    std::string ppdev; // "<dev>/parportN" when ppdev serves the port, else ""
    std::string lp;    // "<dev>/lpN" when the lp driver serves it, else ""
};

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// A driver serves port `index` when its class entry and its node are both there.
std::string Node(const HostSources& sources, const char* cls, const char* prefix, int index) {
    std::string name = prefix + std::to_string(index);
    if (!Exists(sources.sysfsRoot + "/class/" + cls + "/" + name)) return "";
    std::string node = sources.devRoot + "/" + name;
    return Exists(node) ? node : "";
}

PortNodes NodesOf(const HostSources& sources, int index) {
    return {Node(sources, "ppdev", "parport", index), Node(sources, "printer", "lp", index)};
}

// The port numbers the drivers list: "parport<n>" and "lp<n>" entries.
std::vector<int> ListedPorts(const HostSources& sources) {
    std::vector<int> numbers;
    const std::pair<const char*, const char*> classes[] = {{"ppdev", "parport"}, {"printer", "lp"}};
    for (const auto& [cls, prefix] : classes) {
        std::error_code ec;
        for (fs::directory_iterator it(sources.sysfsRoot + "/class/" + cls, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::string name = it->path().filename().string();
            std::string digits = name.substr(std::min(name.size(), std::string(prefix).size()));
            if (name.rfind(prefix, 0) != 0 || digits.empty() || digits.size() > 3 ||
                !std::all_of(digits.begin(), digits.end(),
                             [](char c) { return std::isdigit((unsigned char)c); }))
                continue;
            numbers.push_back(std::stoi(digits));
        }
    }
    return numbers;
}

} // namespace

std::shared_ptr<IoObject> OpenHostParallel(const HostSources& sources, int lptNumber, DWORD access,
                                           DWORD* error) {
    *error = ERROR_FILE_NOT_FOUND;
    if (!sources.kernel || lptNumber < 1) return nullptr;
    PortNodes nodes = NodesOf(sources, lptNumber - 1);
    std::shared_ptr<IoObject> device;
    if (!nodes.ppdev.empty())
        device = HostParallelDevice::Open(nodes.ppdev, HostParallelDevice::Kind::Ppdev, access, error);
    // A port ppdev will not give us may still take a print job through lp.
    if (!device && !nodes.lp.empty()) {
        DWORD lpError = ERROR_FILE_NOT_FOUND;
        device = HostParallelDevice::Open(nodes.lp, HostParallelDevice::Kind::LpOnly, access, &lpError);
        if (!device && nodes.ppdev.empty()) *error = lpError;
    }
    return device;
}

std::vector<int> FamilyParallelPorts(const HostSources& sources) {
    std::vector<int> lpts;
    if (!sources.kernel) return lpts;
    for (int index : ListedPorts(sources)) {
        PortNodes nodes = NodesOf(sources, index);
        if (nodes.ppdev.empty() && nodes.lp.empty()) continue;
        // What parport read of the device ID when the port was probed (no claim, no
        // negotiation: a refresh must not disturb a print job).
        std::string dir = sources.procRoot + "/sys/dev/parport/parport" + std::to_string(index);
        std::string text;
        for (const char* name : {"/autoprobe", "/autoprobe0"}) {
            std::ifstream in(dir + name);
            text += std::string(std::istreambuf_iterator<char>(in), {});
        }
        if (IsFamilyDeviceId(text) && std::find(lpts.begin(), lpts.end(), index + 1) == lpts.end())
            lpts.push_back(index + 1);
    }
    std::sort(lpts.begin(), lpts.end());
    return lpts;
}

int HostParallelFamily(const HostSources& sources) {
    if (!sources.kernel) return 0;
    bool writable = false;
    for (int index : ListedPorts(sources)) {
        PortNodes nodes = NodesOf(sources, index);
        // Readable through ppdev: the printer can answer, as on the 95 family.
        if (!nodes.ppdev.empty() && AccessHostNode(nodes.ppdev, R_OK | W_OK) == 0)
            return VER_PLATFORM_WIN32_WINDOWS;
        writable |= !nodes.lp.empty() && AccessHostNode(nodes.lp, W_OK) == 0;
    }
    // Only a port that takes a print job makes the write-only workaround worth it;
    // with none at all, the 95 family's open fails and says so, where the
    // workaround would collect settings that never reach the printer.
    return writable ? VER_PLATFORM_WIN32_NT : 0;
}

} // namespace orbis::platform
