// Reads the device descriptions that printer processes leave beside their sockets.
#include "device_table.h"

#include "../orbis_platform.h"
#include "device_wire.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <signal.h>

namespace orbis::platform {

static bool ProcessLives(long pid) {
    if (pid <= 0) return false;
    return ::kill((pid_t)pid, 0) == 0 || errno == EPERM;
}

std::vector<PresentDevice> PresentDevices() {
    std::vector<PresentDevice> devices;
    std::string root = Root();
    if (root.empty()) return devices; // refused: nothing there is trusted
    std::string dir = wire::DeviceDir(root);
    DIR* listing = ::opendir(dir.c_str());
    if (!listing) return devices;
    while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".dev") != 0) continue;
        std::ifstream in(dir + "/" + name);
        PresentDevice device;
        device.port = name.substr(0, name.size() - 4);
        device.socket = dir + "/" + device.port;
        long pid = 0;
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "pid")
                pid = std::atol(value.c_str());
            else if (key == "kind")
                device.kind = value;
            else if (key == "path")
                device.paths.push_back(value);
        }
        if (ProcessLives(pid) && !device.kind.empty()) devices.push_back(std::move(device));
    }
    ::closedir(listing);
    std::sort(devices.begin(), devices.end(),
              [](const PresentDevice& a, const PresentDevice& b) { return a.port < b.port; });
    return devices;
}

} // namespace orbis::platform
