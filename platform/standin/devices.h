// Seam between the handle layer (files, waits, CreateFileA) and the device
// layer (printer ports reached over the root's device sockets, in-process
// test devices, and the SetupAPI view of present USB printers).
#pragma once

#include "../orbis_platform.h"
#include "io_object.h"

#include <memory>
#include <string>
#include <vector>

namespace orbis::platform {

// True for names CreateFileA must treat as a device rather than a file:
// "LPTn" / "LPTn:" in any letter case, and device paths ("\\?\...", "\\.\...")
// with or without a "\PIPE00", "\PIPE01" suffix.
bool IsDeviceName(const std::string& name);

// Opens a device name. In-process overrides are consulted first, then the
// registered sources (device_sources.h). On failure returns null and sets *error.
std::shared_ptr<IoObject> OpenDevice(const std::string& name, DWORD access, DWORD* error);

// The registered in-process devices (implemented with RegisterDeviceOverride).
std::vector<DeviceOverride> DeviceOverrides();

bool EqualsNoCase(const std::string& a, const std::string& b);
// The interface-class GUID at the end of a device path, lower case, braces kept ("" if none).
std::string InterfaceClassOfPath(const std::string& path);

// Entry points of "SETUPAPI.DLL" by name; null for a name it does not export.
FARPROC SetupApiProc(const char* name);

} // namespace orbis::platform
