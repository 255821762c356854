// Reads the device descriptions that printer processes leave beside their sockets.
#include "device_table.h"

#include "../orbis_platform.h"
#include "device_wire.h"
#include "file_stamp.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <signal.h>

namespace orbis::platform {

static bool ProcessLives(long pid) {
    if (pid <= 0) return false;
    return ::kill((pid_t)pid, 0) == 0 || errno == EPERM;
}

namespace {

// The last listing of a device directory. Asked at every device open, so it is
// read again only when the directory changed: printer processes write their
// descriptions under a temporary name and rename them in, and remove them, all
// of which changes the directory's stamp. Whether each process still lives is
// asked every time.
struct Listing {
    bool valid = false;
    std::string dir;
    FileStamp stamp;
    bool settled = false; // stamp older than a clock tick: a change would show in it
    std::vector<std::pair<long, PresentDevice>> entries; // by pid, ordered by port
};

std::mutex g_listingMutex;
Listing g_listing;

std::vector<std::pair<long, PresentDevice>> ReadListing(const std::string& dir) {
    std::vector<std::pair<long, PresentDevice>> entries;
    DIR* listing = ::opendir(dir.c_str());
    if (!listing) return entries;
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
        if (!device.kind.empty()) entries.emplace_back(pid, std::move(device));
    }
    ::closedir(listing);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.second.port < b.second.port; });
    return entries;
}

} // namespace

std::vector<PresentDevice> PresentDevices(const std::string& root) {
    std::vector<PresentDevice> devices;
    if (root.empty()) return devices; // refused: nothing there is trusted
    std::string dir = wire::DeviceDir(root);
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) return devices;
    std::lock_guard<std::mutex> lock(g_listingMutex);
    Listing& l = g_listing;
    const FileStamp stamp = StampOf(st);
    if (!l.valid || !l.settled || l.dir != dir || !(l.stamp == stamp))
        l = Listing{true, dir, stamp, StampSettled(stamp), ReadListing(dir)};
    for (const auto& [pid, device] : l.entries)
        if (ProcessLives(pid)) devices.push_back(device);
    return devices;
}

} // namespace orbis::platform
