// The root's choice of printer sources, from "<root>/sources.ini" and $ORBIS_SOURCES.
#include "source_choice.h"

#include "../orbis_platform.h"
#include "paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace orbis::platform {

namespace {

std::string Get(const std::string& file, const char* section, const char* key, const std::string& fallback) {
    char buffer[1024] = {};
    GetPrivateProfileStringA(section, key, fallback.c_str(), buffer, sizeof buffer, file.c_str());
    return buffer;
}

bool Flag(const std::string& file, const char* key, bool fallback) {
    std::string v = UpperAscii(Get(file, "Sources", key, fallback ? "yes" : "no"));
    if (v == "1" || v == "YES" || v == "ON" || v == "TRUE") return true;
    if (v == "0" || v == "NO" || v == "OFF" || v == "FALSE") return false;
    return fallback;
}

// A whole decimal number within [low, high]; anything else is refused with a
// message (once per file and text) and the fallback used: a wrapped or huge
// time-out would hold every listing of printers for days.
int Bounded(const std::string& file, const char* section, const char* key, int low, int high, int fallback) {
    std::string text = Get(file, section, key, "");
    if (text.empty()) return fallback;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno == 0 && *end == '\0' && value >= low && value <= high) return static_cast<int>(value);
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard lock(mutex);
    if (said.insert(file + section + key + text).second)
        std::fprintf(stderr, "orbis: %s: [%s] %s=%s is not a number from %d to %d; %d is used\n",
                     file.c_str(), section, key, text.c_str(), low, high, fallback);
    return fallback;
}

} // namespace

HostSources CurrentHostSources() {
    HostSources s;
    const std::string root = s.root = Root();
    if (root.empty()) s.simulated = s.kernel = s.cups = false; // a refused root chooses nothing
    std::string file = root.empty() ? "" : root + "/sources.ini";
    // Asked on every device open and listing: without the file (the usual case)
    // the nine look-ups would each find nothing.
    struct stat st;
    if (!file.empty() && ::stat(file.c_str(), &st) != 0 && errno == ENOENT) file.clear();
    s.simulated = Flag(file, "Simulated", s.simulated);
    s.kernel = Flag(file, "Kernel", s.kernel);
    s.cups = Flag(file, "Cups", s.cups);
    s.sysfsRoot = Get(file, "Kernel", "Sysfs", s.sysfsRoot);
    s.devRoot = Get(file, "Kernel", "Dev", s.devRoot);
    s.procRoot = Get(file, "Kernel", "Proc", s.procRoot);
    s.cupsServer = Get(file, "Cups", "Server", s.cupsServer);
    s.cupsPort = Bounded(file, "Cups", "Port", 1, 65535, s.cupsPort);
    s.cupsTimeoutMs = Bounded(file, "Cups", "TimeoutMs", 1, kMaxCupsTimeoutMs, s.cupsTimeoutMs);

    if (const char* env = std::getenv("ORBIS_SOURCES")) {
        s.simulated = s.kernel = s.cups = false;
        std::stringstream list(env);
        std::string item;
        while (std::getline(list, item, ',')) {
            // "kernel, cups" as a person types it
            size_t first = item.find_first_not_of(" \t"), last = item.find_last_not_of(" \t");
            item = first == std::string::npos ? "" : UpperAscii(item.substr(first, last - first + 1));
            s.simulated |= item == "SIMULATED";
            s.kernel |= item == "KERNEL";
            s.cups |= item == "CUPS";
        }
    }
    return s;
}

} // namespace orbis::platform
