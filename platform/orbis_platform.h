// What the stand-in layer offers beyond the Windows calls: where the Windows
// names live on this machine, and hooks for in-process test devices.
// Only tests, sim/, tools/ and the ui's message host (for HostDeviceProblem) include
// this; comm/ and settings/ use win32.h alone.
#pragma once

#include "win32.h"

#include <functional>
#include <memory>
#include <string>

namespace orbis::platform {

// The root directory under which the registry hive, drive C:, the temporary
// directory and the device sockets live: $ORBIS_ROOT, else a per-user default.
std::string Root();

// Maps a Windows path ("C:\out\a.npa", ".\quillon.ini", "relative\x", "/abs") to a host path.
std::string MapPath(const std::string& windowsPath);

class IoObject; // platform/standin/io_object.h

// An in-process device, found by CreateFileA before any device socket of the root.
// name: "LPT1" for a parallel port, or a USB device path (pipes are opened as name + "\PIPE00" etc.).
struct DeviceOverride {
    std::string name;
    bool usb = false;
    std::string deviceId; // IEEE 1284 device ID, answered by DeviceIoControl
    // pipe: "" for a parallel port or the bare USB device path, else "PIPE00", "PIPE01".
    std::function<std::shared_ptr<IoObject>(const std::string& pipe, DWORD access)> open;
};
void RegisterDeviceOverride(DeviceOverride device);
void ClearDeviceOverrides();

// The Windows family GetVersionExA reports: VER_PLATFORM_WIN32_WINDOWS (95) or
// VER_PLATFORM_WIN32_NT. Read from SetWindowsFamilyForTesting, else $ORBIS_WINDOWS_FAMILY
// ("95" or "NT"), else the file $ROOT/windows-family, else what the host's parallel
// ports allow (NT when they can only be written), else the 95 family.
int WindowsFamily();
// Forces the family for this process; 0 returns to the environment and the root's file.
void SetWindowsFamilyForTesting(int family);

// Brings the registry's entries for host printers (kernel devices, CUPS) up to
// date now; the registry calls otherwise do it at most once a second.
void RefreshHostEntriesForTesting();

// Why the last host printer that failed to open did so, in words for the user
// ("permission denied on /dev/usb/lp0: add your user to the lp group and log in
// again"); "" when no host node has failed (or it opened since).
std::string HostDeviceProblem();
void ClearHostDeviceProblem();

// How many "copy /b" runs to a printer port failed in this process. The library
// only logs the copy's result (the write-only workaround's close), so a caller that
// wrote settings compares the count before and after; HostDeviceProblem() then says
// what went wrong ("nothing or not all of the data reached LPT1: ...").
unsigned FailedPortCopies();

// The access list RegSetKeySecurity recorded for a key, as
// "S-1-5-32-545:F003F,S-1-5-32-544:F003F,S-1-5-18:F003F"; "" when none was set.
std::string KeyDaclForTesting(HKEY root, const std::string& subKey);

} // namespace orbis::platform
