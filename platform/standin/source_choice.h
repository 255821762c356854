// Where printers come from besides in-process test devices: printer processes
// on the root's device sockets (simulated), the kernel's printer devices, and
// the printers CUPS has. Chosen in "<root>/sources.ini"; $ORBIS_SOURCES
// ("simulated,kernel,cups", any subset, "none" for none) overrides the choice.
#pragma once

#include <string>

namespace orbis::platform {

// The longest wait on CUPS sources.ini may ask for, per connection and request.
inline constexpr int kMaxCupsTimeoutMs = 60000;

struct HostSources {
    bool simulated = true;
    bool kernel = true;
    bool cups = true;
    std::string sysfsRoot = "/sys"; // where /sys/class/usbmisc etc. are looked for
    std::string devRoot = "/dev";   // where the device nodes are opened
    std::string procRoot = "/proc"; // where parport's probed device IDs are read
    std::string cupsServer;         // "" = libcups' own choice (CUPS_SERVER, client.conf, local socket)
    int cupsPort = 631;             // used when cupsServer names a host, not a socket path
    int cupsTimeoutMs = 2000;       // connecting and each request; CUPS never holds us longer
    std::string root;               // Root() as checked for this choice ("" = refused)
};

// Read on every call, so a test (or the user) can change the file between calls.
HostSources CurrentHostSources();

} // namespace orbis::platform
