// What a USB printer tells about itself: its IEEE 1284 device ID, one field of
// that ID, and the serial number carried in its device path or registry entry.
#include "usb_internal.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kPrinterClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const char kDeviceClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

void CopySerial(const char* begin, size_t count, char* out, uint16_t capacity, uint16_t* length) {
    if (capacity == 0) {
        *length = 0;
        return;
    }
    size_t keep = std::min<size_t>(count, capacity - 1u);
    std::memcpy(out, begin, keep);
    out[keep] = '\0';
    *length = uint16_t(keep);
}

// NT family: the serial is the path segment after the one holding "&Pid_".
void SerialFromPath(const char* name, char* out, uint16_t capacity, uint16_t* length) {
    std::memset(out, 0, capacity);
    *length = 0;
    if (std::strstr(name, "#Inst_") || std::strstr(name, "#inst_")) return;
    const char* pid = std::strstr(name, "&Pid_");
    if (!pid) pid = std::strstr(name, "&pid_");
    if (!pid) return;
    const char* start = std::strchr(pid, '#');
    if (!start) return;
    ++start;
    const char* end = std::strchr(start, '#');
    if (!end) return;
    CopySerial(start, size_t(end - start), out, capacity, length);
}

// 95 family: the serial is the last part of the interface's "DeviceInstance".
bool SerialFromRegistry(const char* classKey, const std::string& keyName, REGSAM instanceAccess, char* out,
                        uint16_t capacity, uint16_t* length) {
    HKEY classHandle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, classKey, 0, KEY_ALL_ACCESS, &classHandle) != ERROR_SUCCESS)
        return false;
    HKEY instance = nullptr;
    bool found = false;
    if (RegOpenKeyExA(classHandle, keyName.c_str(), 0, instanceAccess, &instance) == ERROR_SUCCESS) {
        char value[513] = {};
        DWORD size = 512;
        DWORD type = 0;
        if (RegQueryValueExA(instance, "DeviceInstance", nullptr, &type, (LPBYTE)value, &size) ==
            ERROR_SUCCESS) {
            size = std::min<DWORD>(size, 512);
            value[size] = '\0';
            size_t textLength = std::strlen(value);
            bool noSerial = std::strstr(value, "Inst_") || std::strstr(value, "inst_") ||
                            std::strstr(value, "INST_") || textLength > 50;
            const char* pid = std::strstr(value, "&PID_");
            if (!pid) pid = std::strstr(value, "&pid_");
            const char* slash = pid ? std::strchr(pid, '\\') : nullptr;
            if (!noSerial && slash) {
                CopySerial(slash + 1, textLength - size_t(slash + 1 - value), out, capacity, length);
                found = *length > 0;
            }
        }
        RegCloseKey(instance);
    }
    RegCloseKey(classHandle);
    return found;
}

} // namespace

void GetUsbDeviceIdString(const char* devicePath, char* out, DWORD capacity, DWORD* length) {
    HANDLE device = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return;
    // Room for the 2-byte length prefix of IEEE 1284 and 4096 bytes of ID.
    std::vector<unsigned char> reply(USB_DEVICE_ID_SIZE + 2, 0);
    unsigned char input[8] = {};
    DWORD returned = 0;
    if (capacity > 0 && DeviceIoControl(device, USB_IOCTL_GET_DEVICE_ID, input, sizeof input, reply.data(),
                                        DWORD(reply.size()), &returned, nullptr)) {
        returned = std::min<DWORD>(returned, DWORD(reply.size()));
        DWORD n = returned > 2 ? returned - 2 : 0;
        std::vector<char> id(USB_DEVICE_ID_SIZE, 0);
        std::memcpy(id.data(), reply.data() + 2, n);
        if (n < USB_DEVICE_ID_SIZE) {
            id[n] = '\0';
            ++n;
        } else {
            id[USB_DEVICE_ID_SIZE - 1] = '\0';
            n = USB_DEVICE_ID_SIZE;
        }
        // A smaller caller buffer gets the start of the ID, still terminated.
        DWORD keep = std::min(n, capacity);
        std::memcpy(out, id.data(), keep);
        out[keep - 1] = '\0';
        *length = keep;
        DvcLog(DVC_LOG_STEPS, "GetUsbDeviceIdString() - %s\n", out);
    }
    CloseHandle(device);
}

int GetDeviceIdField(const char* deviceId, const char* key, char* out, DWORD* capacityOrLength) {
    const char* at = std::strstr(deviceId, key);
    if (!at) {
        DvcLog(DVC_LOG_STEPS, "didn't find [%s] in:\n%s\n", key, deviceId);
        return 1;
    }
    const char* value = at + std::strlen(key);
    if (*value) ++value; // the ':' of IEEE 1284
    const char* end = std::strchr(value, ';');
    DWORD valueLength = end ? DWORD(end - value) : DWORD(std::strlen(value));
    if (*capacityOrLength >= valueLength) {
        std::memcpy(out, value, valueLength);
        out[valueLength] = '\0';
    } else {
        std::memcpy(out, value, *capacityOrLength);
        out[*capacityOrLength] = '\0';
        *capacityOrLength = valueLength;
    }
    return 0;
}

void GetUsbSerialNumber(const char* name, char* out, uint16_t capacity, uint16_t* length) {
    if (G_OsKind == 2) {
        SerialFromPath(name, out, capacity, length);
        return;
    }
    if (capacity) out[0] = '\0';
    *length = 0;
    std::string keyName(name);
    std::replace(keyName.begin(), keyName.end(), '\\', '#');
    if (SerialFromRegistry(kPrinterClassKey, keyName, KEY_READ, out, capacity, length)) return;
    SerialFromRegistry(kDeviceClassKey, keyName, KEY_ALL_ACCESS, out, capacity, length);
}
