// The root's choice of printer sources, from "<root>/sources.ini" and $ORBIS_SOURCES.
#include "host_sources.h"

#include "../orbis_platform.h"
#include "paths.h"

#include <cstdlib>
#include <sstream>

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

} // namespace

HostSources CurrentHostSources() {
    HostSources s;
    std::string file = Root() + "/sources.ini";
    s.simulated = Flag(file, "Simulated", s.simulated);
    s.kernel = Flag(file, "Kernel", s.kernel);
    s.cups = Flag(file, "Cups", s.cups);
    s.sysfsRoot = Get(file, "Kernel", "Sysfs", s.sysfsRoot);
    s.devRoot = Get(file, "Kernel", "Dev", s.devRoot);
    s.procRoot = Get(file, "Kernel", "Proc", s.procRoot);
    s.cupsServer = Get(file, "Cups", "Server", s.cupsServer);
    s.cupsPort = GetPrivateProfileIntA("Cups", "Port", s.cupsPort, file.c_str());
    s.cupsTimeoutMs = GetPrivateProfileIntA("Cups", "TimeoutMs", s.cupsTimeoutMs, file.c_str());
    if (s.cupsTimeoutMs <= 0) s.cupsTimeoutMs = 2000;

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
