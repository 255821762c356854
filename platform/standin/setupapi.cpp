// "SETUPAPI.DLL": the present USB devices (in-process test devices and those
// of the registered sources) as device-information sets with their device
// interfaces, in the 32-bit Windows structure layout.
#include "devices.h"

#include "device_sources.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace orbis::platform {

namespace {

const char* const kUsbDeviceClass = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const char* const kUsbPrinterClass = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
// Device setup classes reported in SP_DEVINFO_DATA.
const GUID kPrinterSetupClass = {
    0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kUsbSetupClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

bool ParseGuid(const std::string& text, GUID* guid) {
    unsigned d1, d2, d3, b[8];
    if (std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1],
                    &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]) != 11)
        return false;
    guid->Data1 = d1;
    guid->Data2 = (uint16_t)d2;
    guid->Data3 = (uint16_t)d3;
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = (uint8_t)b[i];
    return true;
}

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

struct Interface {
    GUID interfaceClass;
    std::string path;
};

struct DeviceInfo {
    GUID setupClass;
    DWORD devInst;
    std::vector<Interface> interfaces;
};

struct DeviceInfoSet {
    std::vector<DeviceInfo> devices;
};

std::mutex g_setsMutex;
std::set<DeviceInfoSet*> g_sets;

DeviceInfoSet* LookupSet(HDEVINFO handle) {
    std::lock_guard<std::mutex> lock(g_setsMutex);
    auto it = g_sets.find(static_cast<DeviceInfoSet*>(handle));
    return it == g_sets.end() ? nullptr : *it;
}

// Every present USB device with the interfaces it exposes.
std::vector<DeviceInfo> PresentUsbDevices() {
    std::vector<DeviceInfo> devices;
    GUID usbClass{}, printerClass{};
    ParseGuid(kUsbDeviceClass, &usbClass);
    ParseGuid(kUsbPrinterClass, &printerClass);
    DWORD devInst = 1;
    for (const auto& override : DeviceOverrides()) {
        if (!override.usb) continue;
        devices.push_back(
            {kPrinterSetupClass, devInst++, {{usbClass, override.name}, {printerClass, override.name}}});
    }
    HostSources sources = CurrentHostSources();
    std::vector<UsbDeviceEntry> present;
    for (const DeviceSource* source : DeviceSources())
        source->listUsb(sources, &present);
    for (const auto& device : present) {
        DeviceInfo info{device.printer ? kPrinterSetupClass : kUsbSetupClass, devInst++, {}};
        for (const auto& path : device.paths) {
            GUID cls{};
            if (ParseGuid(InterfaceClassOfPath(path), &cls)) info.interfaces.push_back({cls, path});
        }
        devices.push_back(std::move(info));
    }
    return devices;
}

bool HasInterface(const DeviceInfo& device, const GUID& cls) {
    for (const auto& i : device.interfaces)
        if (SameGuid(i.interfaceClass, cls)) return true;
    return false;
}

HDEVINFO WINAPI GetClassDevs(const GUID* classGuid, LPCSTR enumerator, HWND parent, DWORD flags) {
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // A printer plugged in since the last look gets its device-class keys now, as on Windows.
    RefreshDeviceKeys();
    auto set = std::make_unique<DeviceInfoSet>();
    for (auto& device : PresentUsbDevices()) {
        bool wanted = (flags & DIGCF_ALLCLASSES) != 0;
        if (!wanted && (flags & DIGCF_DEVICEINTERFACE)) wanted = HasInterface(device, *classGuid);
        if (!wanted && !(flags & DIGCF_DEVICEINTERFACE)) wanted = SameGuid(device.setupClass, *classGuid);
        if (wanted) set->devices.push_back(std::move(device));
    }
    std::lock_guard<std::mutex> lock(g_setsMutex);
    DeviceInfoSet* raw = set.release();
    g_sets.insert(raw);
    SetLastError(ERROR_SUCCESS);
    return raw;
}

BOOL WINAPI EnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data) {
    DeviceInfoSet* set = LookupSet(handle);
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= set->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = set->devices[index].setupClass;
    data->DevInst = set->devices[index].devInst;
    data->Reserved = index + 1;
    return TRUE;
}

BOOL WINAPI EnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA deviceData, const GUID* classGuid,
                                 DWORD member, PSP_DEVICE_INTERFACE_DATA data) {
    DeviceInfoSet* set = LookupSet(handle);
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        (deviceData && deviceData->cbSize != sizeof(SP_DEVINFO_DATA))) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (!classGuid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Interfaces of the class, of the one device given or of the whole set.
    DWORD seen = 0;
    for (size_t d = 0; d < set->devices.size(); ++d) {
        if (deviceData && deviceData->Reserved != d + 1) continue;
        const auto& interfaces = set->devices[d].interfaces;
        for (size_t i = 0; i < interfaces.size(); ++i) {
            if (!SameGuid(interfaces[i].interfaceClass, *classGuid)) continue;
            if (seen++ != member) continue;
            data->InterfaceClassGuid = *classGuid;
            data->Flags = 1; // SPINT_ACTIVE
            data->Reserved = (uint32_t)((d << 8) | i) + 1;
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL WINAPI GetDeviceInterfaceDetail(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                     PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                     LPDWORD requiredSize, PSP_DEVINFO_DATA deviceData) {
    DeviceInfoSet* set = LookupSet(handle);
    if (!set) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t d = (data->Reserved - 1) >> 8, i = (data->Reserved - 1) & 0xFF;
    if (d >= set->devices.size() || i >= set->devices[d].interfaces.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string& path = set->devices[d].interfaces[i].path;
    DWORD needed = (DWORD)(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (!detail) {
        SetLastError(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (detailSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (deviceData) {
        if (deviceData->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        deviceData->ClassGuid = set->devices[d].setupClass;
        deviceData->DevInst = set->devices[d].devInst;
        deviceData->Reserved = (uint32_t)d + 1;
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL WINAPI DestroyDeviceInfoList(HDEVINFO handle) {
    std::unique_ptr<DeviceInfoSet> owned;
    {
        std::lock_guard<std::mutex> lock(g_setsMutex);
        auto it = g_sets.find(static_cast<DeviceInfoSet*>(handle));
        if (it == g_sets.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        owned.reset(*it);
        g_sets.erase(it);
    }
    return TRUE;
}

template <class F> FARPROC AsProc(F function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

} // namespace

FARPROC SetupApiProc(const char* name) {
    if (!name) return nullptr;
    std::string n = name;
    if (n == "SetupDiGetClassDevsA") return AsProc(&GetClassDevs);
    if (n == "SetupDiEnumDeviceInfo") return AsProc(&EnumDeviceInfo);
    if (n == "SetupDiEnumDeviceInterfaces") return AsProc(&EnumDeviceInterfaces);
    if (n == "SetupDiGetDeviceInterfaceDetailA") return AsProc(&GetDeviceInterfaceDetail);
    if (n == "SetupDiDestroyDeviceInfoList") return AsProc(&DestroyDeviceInfoList);
    return nullptr;
}

} // namespace orbis::platform
