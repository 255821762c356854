// Keeps the hive's view of host printers current. Windows updates its registry
// when a printer is plugged in or a queue is added; here the keys are brought
// up to date when somebody is about to look at them.
#include "host_devices.h"

#include "../orbis_platform.h"
#include "hive_store.h"
#include "paths.h"

#include <mutex>

namespace orbis::platform {

namespace {

constexpr DWORD kRefreshIntervalMs = 1000;

std::mutex g_refreshMutex;
std::string g_lastRoot;   // under g_refreshMutex
DWORD g_lastTick = 0;     // under g_refreshMutex
bool g_refreshed = false; // under g_refreshMutex

void RefreshNow() {
    HostSources sources = CurrentHostSources();
    std::vector<KernelUsbPrinter> usb;
    std::vector<int> lpts;
    if (sources.kernel) {
        usb = ScanKernelUsbPrinters(sources);
        lpts = FamilyParallelPorts(sources);
    }
    // CUPS is asked outside the hive's lock: a slow server must not hold up other processes.
    std::optional<std::vector<CupsPrinter>> cups;
    if (sources.cups)
        cups = QueryCupsPrinters(sources);
    else
        cups.emplace(); // a source left out has no printers
    ModifyHive([&](Hive& hive, bool* changed) -> LONG {
        ApplyKernelUsbPrinters(hive, usb, changed);
        // CUPS out of reach: its printers are still set up, so their entries stay.
        if (cups) ApplyCupsPrinters(hive, *cups, usb, changed);
        ApplyKernelSpoolerEntries(hive, usb, lpts, changed);
        return ERROR_SUCCESS;
    });
}

} // namespace

void RefreshHostEntries() {
    std::lock_guard<std::mutex> lock(g_refreshMutex);
    // The name tells roots apart; the refresh itself checks the root as it writes.
    std::string root = RootName();
    DWORD now = GetTickCount();
    if (g_refreshed && root == g_lastRoot && now - g_lastTick < kRefreshIntervalMs) return;
    RefreshNow();
    g_refreshed = true;
    g_lastRoot = root;
    g_lastTick = GetTickCount();
}

void RefreshHostEntriesForTesting() {
    std::lock_guard<std::mutex> lock(g_refreshMutex);
    RefreshNow();
    g_refreshed = true;
    g_lastRoot = RootName();
    g_lastTick = GetTickCount();
}

} // namespace orbis::platform
