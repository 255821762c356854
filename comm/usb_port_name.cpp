// The spooler's side of a USB port: from "USB001" through the registry's
// interface instances to the printer's custom port name, usb-model(serial).
#include "usb_internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kPrinterClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

DWORD PortNumber(const char* sysPortName) {
    if (std::strlen(sysPortName) < 3) return 0;
    DWORD number = 0;
    for (const char* p = sysPortName + 3; std::isdigit((unsigned char)*p); ++p)
        number = number * 10 + DWORD(*p - '0');
    return number;
}

bool ReadDword(HKEY parent, const char* subKey, const char* valueName, DWORD* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    DWORD size = sizeof(DWORD);
    DWORD type = 0;
    bool ok = RegQueryValueExA(key, valueName, nullptr, &type, (LPBYTE)value, &size) == ERROR_SUCCESS &&
              size == sizeof(DWORD);
    RegCloseKey(key);
    return ok;
}

bool ReadSymbolicLink(HKEY instance, char* link /* 500 bytes */) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(instance, "#", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    DWORD size = 499;
    DWORD type = 0;
    bool ok = RegQueryValueExA(key, "SymbolicLink", nullptr, &type, (LPBYTE)link, &size) == ERROR_SUCCESS;
    link[499] = '\0';
    RegCloseKey(key);
    return ok;
}

// The first linked instance of the class with this port number.
bool FindLink(HKEY classKey, DWORD portNumber, char* link) {
    // Guards against a registry that never reports the end of the list.
    for (DWORD index = 0; index < 100000; ++index) {
        char name[256] = {};
        DWORD nameLength = sizeof name;
        LONG status = RegEnumKeyExA(classKey, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) return false;
        if (status != ERROR_SUCCESS) continue;
        HKEY instance = nullptr;
        if (RegOpenKeyExA(classKey, name, 0, KEY_ALL_ACCESS, &instance) != ERROR_SUCCESS) continue;
        DWORD number = 0;
        DWORD linked = 0;
        bool found = ReadDword(instance, "#\\Device Parameters", "Port Number", &number) &&
                     number == portNumber && ReadDword(instance, "#\\Control", "Linked", &linked) &&
                     linked == 1 && ReadSymbolicLink(instance, link);
        RegCloseKey(instance);
        if (found) {
            DvcLog(DVC_LOG_STEPS,
                   "UsbGetSymbolicNameFromRegistry(): portNumber:%d Linked == 1 and symbolicName:%s \n",
                   (int)portNumber, link);
            return true;
        }
    }
    return false;
}

} // namespace

int UsbGetSymbolicNameFromRegistry(const char* sysPortName, char* symbolicName) {
    DWORD portNumber = PortNumber(sysPortName);
    DvcLog(DVC_LOG_STEPS, "UsbGetSymbolicNameFromRegistry(): called with sysPortName:%s\n", sysPortName);
    HKEY classKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPrinterClassKey, 0, KEY_ALL_ACCESS, &classKey) == ERROR_SUCCESS) {
        char link[500] = {};
        bool found = FindLink(classKey, portNumber, link);
        RegCloseKey(classKey);
        if (found) {
            std::memcpy(symbolicName, link, sizeof link);
            return 1;
        }
    }
    DvcLog(DVC_LOG_STEPS, "UsbGetSymbolicNameFromRegistry(): sysPortName:%s returning API_FAIL\n",
           sysPortName);
    return 0;
}

void UsbBuildCustomPortName(const char* model, const char* serial, char* out) {
    if (serial[0])
        std::snprintf(out, 256, "USB-%s(%s)", model, serial);
    else
        std::snprintf(out, 256, "USB-%s", model);
    for (char* p = out; *p; ++p) {
        if (*p == ' ')
            *p = '_';
        else
            *p = char(std::tolower((unsigned char)*p));
    }
}

void UsbGetCustomPortName(const char* sysPortName, char* customPortName) {
    char link[500] = {};
    if (!UsbGetSymbolicNameFromRegistry(sysPortName, link)) return;
    // The same buffers and cuts as UsbAddDeviceEntry, so that the two names of
    // one printer always compare equal, however long its MODEL or serial.
    std::vector<char> deviceId(USB_DEVICE_ID_SIZE, 0);
    DWORD idLength = 0;
    GetUsbDeviceIdString(link, deviceId.data(), DWORD(deviceId.size()), &idLength);
    char model[USB_NAME_FIELD_SIZE + 1] = {};
    DWORD modelCapacity = USB_NAME_FIELD_SIZE;
    if (GetDeviceIdField(deviceId.data(), "MODEL", model, &modelCapacity) != 0) model[0] = '\0';
    char serial[USB_NAME_FIELD_SIZE] = {};
    uint16_t serialLength = 0;
    GetUsbSerialNumber(link, serial, sizeof serial, &serialLength);
    UsbBuildCustomPortName(model, serial, customPortName);
}
