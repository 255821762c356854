#include "registry_entries.h"

#include "win32.h"

#include <cstdio>
#include <vector>

namespace orbis::sim {

namespace {

const char kPrinterClass[] = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kDeviceClass[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const char kClassesKey[] = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
const char kPrintersKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\";

std::string InstanceKey(const char* cls, const std::string& path) {
    std::string name = path;
    for (auto& c : name)
        if (c == '\\') c = '#';
    return std::string(kClassesKey) + cls + "\\" + name;
}

bool SetString(const std::string& key, const char* value, const std::string& data, std::string* error) {
    HKEY h = nullptr;
    LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(h, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            DWORD(data.size() + 1));
        RegCloseKey(h);
    }
    if (rc != ERROR_SUCCESS) *error = "registry write of " + key + " failed with " + std::to_string(rc);
    return rc == ERROR_SUCCESS;
}

bool SetDword(const std::string& key, const char* value, DWORD data, std::string* error) {
    HKEY h = nullptr;
    LONG rc =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(h, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
        RegCloseKey(h);
    }
    if (rc != ERROR_SUCCESS) *error = "registry write of " + key + " failed with " + std::to_string(rc);
    return rc == ERROR_SUCCESS;
}

void DeleteInstance(const std::string& key) {
    // Leaves first: a key with subkeys is not deleted.
    for (const char* sub : {"\\#\\Device Parameters", "\\#\\Control", "\\#", ""})
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + sub).c_str());
}

} // namespace

UsbIdentity MakeUsbIdentity(int portNumber, const std::string& serial) {
    UsbIdentity u;
    u.portNumber = portNumber;
    u.serial = serial;
    std::string base = "\\\\?\\usb#vid_1a2b&pid_0c1d#" + serial + "#";
    u.printerPath = base + kPrinterClass;
    u.devicePath = base + kDeviceClass;
    u.instance = "USB\\VID_1A2B&PID_0C1D\\" + serial;
    return u;
}

std::string OtherDevicePath(int number) {
    char serial[32];
    std::snprintf(serial, sizeof serial, "5&2b7c%04d&0&%d", number, number);
    return std::string("\\\\?\\usb#vid_046d&pid_c52b#") + serial + "#" + kDeviceClass;
}

bool WriteSpoolerEntry(const std::string& name, const std::string& driver, const std::string& port,
                       std::string* error) {
    std::string key = kPrintersKey + name;
    return SetString(key, "Name", name, error) && SetString(key, "Printer Driver", driver, error) &&
           SetString(key, "Port", port, error) && SetString(key, "HostSource", "simulated", error);
}

bool RegisterUsbInterfaces(const UsbIdentity& usb, std::string* error) {
    for (const auto& [cls, path] : {std::pair<const char*, std::string>{kPrinterClass, usb.printerPath},
                                    std::pair<const char*, std::string>{kDeviceClass, usb.devicePath}}) {
        std::string key = InstanceKey(cls, path);
        if (!SetString(key, "DeviceInstance", usb.instance, error) ||
            !SetString(key + "\\#", "SymbolicLink", path, error) ||
            !SetDword(key + "\\#\\Control", "Linked", 1, error))
            return false;
        if (cls == std::string(kPrinterClass) &&
            !SetDword(key + "\\#\\Device Parameters", "Port Number", DWORD(usb.portNumber), error))
            return false;
    }
    return true;
}

void UnregisterUsbInterfaces(const UsbIdentity& usb) {
    DeleteInstance(InstanceKey(kPrinterClass, usb.printerPath));
    DeleteInstance(InstanceKey(kDeviceClass, usb.devicePath));
}

} // namespace orbis::sim
