// The USB branch of DvcOpenPort: enumerate the present USB interfaces, list the
// recognised printers by custom port name, and keep the one the spooler's port
// maps to once its write pipe proves to open. Also the pipe opener.
#include "usb_internal.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

const GUID kUsbPrinterClass = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const GUID kUsbDeviceClass = {0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

HANDLE OpenUsbHandle(const char* devicePath, const char* pipeName) {
    DvcLog(DVC_LOG_STEPS, "GetDeviceHandle(%s, %s)\n", devicePath, pipeName);
    bool write = std::strcmp(pipeName, "PIPE00") == 0;
    bool read = std::strcmp(pipeName, "PIPE01") == 0;
    char path[256];
    if (write || read)
        std::snprintf(path, sizeof path, "%s\\%s", devicePath, pipeName);
    else
        std::snprintf(path, sizeof path, "%s", devicePath);
    DWORD access = write ? GENERIC_WRITE : read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;

    for (uint16_t failures = 0; failures < 2;) {
        HANDLE handle =
            CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) return handle;
        DWORD error = GetLastError();
        ++failures;
        DvcLog(DVC_LOG_STEPS, "OpenUsbHandle(): failed to otabin handle to %s error: %d\n", path, (int)error);
        DvcLogErrorText(DVC_LOG_STEPS, error);
        if (write) {
            DvcLog(DVC_LOG_STEPS, "OpenUsbHandle()->CreateFile Failed to give a handle to PIPE00\n");
            DvcLog(DVC_LOG_STEPS,
                   "USB32DLL: OpenUsbHandle(PIPE00) failed error:%d after retries:%d, devName:%s, so going "
                   "to do "
                   "global enumeration\n",
                   (int)error, (int)failures, devicePath);
        } else if (read) {
            DvcLog(DVC_LOG_STEPS, "OpenUsbHandle():CreateFile Failed to give a handle to PIPE01\n");
            DvcLog(DVC_LOG_STEPS,
                   "USB32DLL: OpenUsbHandle(PIPE01) failed error:%d after retries:%d, devName:%s, so going "
                   "to do "
                   "global enumeration\n",
                   (int)error, (int)failures, devicePath);
        }
        DvcLog(DVC_LOG_STEPS, "USB32DLL: OpenUsbHandle() failed after %d retries, sleep(100)\n",
               (int)failures);
        Sleep(100);
    }
    return INVALID_HANDLE_VALUE;
}

void UsbAddDeviceEntry(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData, UsbPortEntry* table,
                       int* numPortsFound) {
    if (*numPortsFound >= USB_MAX_PORTS) return;
    DWORD needed = 0;
    G_pSetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return;
    // One spare byte keeps the path terminated whatever the detail holds.
    std::vector<unsigned char> block(needed + 1, 0);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());
    detail->cbSize = 5;
    if (!G_pSetupDiGetDeviceInterfaceDetailA(deviceInfoSet, interfaceData, detail, needed, nullptr, nullptr))
        return;
    DvcLog(DVC_LOG_STEPS, "SetupDiGetInterfaceDeviceDetail() worked\n");
    const char* devicePath = detail->DevicePath;

    HANDLE device = CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) { // e.g. error 5: the node is not the user's to open
        DWORD error = GetLastError();
        DvcLog(DVC_LOG_STEPS, "CreateFile(%s) failed, last error was %d\n", devicePath, (int)error);
        DvcLogErrorText(DVC_LOG_STEPS, error);
        return;
    }
    CloseHandle(device);
    DvcLog(DVC_LOG_STEPS, "CreateFile(%s) worked\n", devicePath);

    std::vector<char> deviceId(USB_DEVICE_ID_SIZE, 0);
    DWORD idLength = 0;
    GetUsbDeviceIdString(devicePath, deviceId.data(), USB_DEVICE_ID_SIZE, &idLength);
    DvcLog(DVC_LOG_STEPS, "szDevID=%s\n", deviceId.data());
    if (!IsRecognizedPrinter(deviceId.data())) {
        DvcLog(DVC_LOG_STEPS, "not a recognized printer\n");
        return;
    }

    // The same buffers and cuts as UsbGetCustomPortName (the spooler side).
    char serial[USB_NAME_FIELD_SIZE] = {};
    uint16_t serialLength = 0;
    GetUsbSerialNumber(devicePath, serial, sizeof serial, &serialLength);
    char model[USB_NAME_FIELD_SIZE + 1] = {};
    DWORD modelCapacity = USB_NAME_FIELD_SIZE;
    if (GetDeviceIdField(deviceId.data(), "MODEL", model, &modelCapacity) != 0) return;

    UsbPortEntry& entry = table[*numPortsFound];
    UsbBuildCustomPortName(model, serial, entry.szPortName);
    DvcLog(DVC_LOG_STEPS, "szPortName=%s\n", entry.szPortName);
    std::snprintf(entry.szDevicePath, sizeof entry.szDevicePath, "%s", devicePath);
    std::memcpy(entry.szDevID, deviceId.data(), USB_DEVICE_ID_SIZE);
    entry.szDevID[USB_DEVICE_ID_SIZE - 1] = '\0';
    ++*numPortsFound;
}

namespace {

// Walks one interface class; returns true when it gave any interface at all.
bool WalkClass(const GUID& interfaceClass, UsbPortEntry* table, int* numPortsFound) {
    HDEVINFO set =
        G_pSetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE || set == nullptr) return false;
    bool found = false;
    for (DWORD index = 0; index < USB_MAX_PORTS; ++index) {
        SP_DEVINFO_DATA device;
        std::memset(&device, 0, sizeof device);
        device.cbSize = 28;
        if (!G_pSetupDiEnumDeviceInfo(set, index, &device)) {
            DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(USB) - SetupDiEnumDeviceInfo() failed, error=%d\n",
                   (int)GetLastError());
            continue;
        }
        SP_DEVICE_INTERFACE_DATA interfaceData;
        std::memset(&interfaceData, 0, sizeof interfaceData);
        interfaceData.cbSize = 28;
        if (!G_pSetupDiEnumDeviceInterfaces(set, &device, &interfaceClass, 0, &interfaceData)) {
            DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(USB) - SetupDiEnumDeviceInterfaces() failed, error=%d\n",
                   (int)GetLastError());
            continue;
        }
        found = true;
        UsbAddDeviceEntry(set, &interfaceData, table, numPortsFound);
    }
    // The four entry points DvcInit loads have no release call; use it when present.
    auto destroy = G_hSetupApi ? reinterpret_cast<PFN_SetupDiDestroyDeviceInfoList>(reinterpret_cast<void*>(
                                     GetProcAddress(G_hSetupApi, "SetupDiDestroyDeviceInfoList")))
                               : nullptr;
    if (destroy) destroy(set);
    return found;
}

} // namespace

int UsbOpenPort(const char* portName) {
    if (!G_pSetupDiGetClassDevsA || !G_pSetupDiEnumDeviceInfo || !G_pSetupDiEnumDeviceInterfaces ||
        !G_pSetupDiGetDeviceInterfaceDetailA)
        return DVC_FAIL;
    auto table = std::make_unique<UsbPortEntry[]>(USB_MAX_PORTS);
    int numPortsFound = 0;
    bool bFound = WalkClass(kUsbDeviceClass, table.get(), &numPortsFound);
    if (!bFound) bFound = WalkClass(kUsbPrinterClass, table.get(), &numPortsFound);
    DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(USB) - after loop, bFound=%s", bFound ? "true" : "false");
    if (!bFound) return DVC_FAIL;

    char pCustomPortName[256] = {};
    UsbGetCustomPortName(portName, pCustomPortName);
    if (!pCustomPortName[0]) return DVC_FAIL;

    for (int i = 0; i < numPortsFound; ++i) {
        const UsbPortEntry& entry = table[i];
        DvcLog(DVC_LOG_STEPS, "DvcOpenPort(USB) - comparing %s to %s\n", pCustomPortName, entry.szPortName);
        if (std::strcmp(pCustomPortName, entry.szPortName) != 0) continue;
        std::snprintf(G_szDevicePath, sizeof G_szDevicePath, "%s", entry.szDevicePath);
        std::snprintf(G_szDeviceId, sizeof G_szDeviceId, "%s", entry.szDevID);
        DvcLog(DVC_LOG_STEPS, "DvcOpenPort(USB) - found port %s, device path is %s\n", portName,
               G_szDevicePath);
        HANDLE pipe = OpenUsbHandle(G_szDevicePath, "PIPE00");
        if (pipe == INVALID_HANDLE_VALUE) {
            DvcLog(DVC_LOG_ENTRY, "DvcOpenPort(USB) - port %s not found\n", portName);
            G_szDevicePath[0] = '\0';
            G_szDeviceId[0] = '\0';
            return DVC_FAIL;
        }
        CloseHandle(pipe);
        G_hPort = INVALID_HANDLE_VALUE;
        std::snprintf(G_szPortName, sizeof G_szPortName, "%s", portName);
        G_NpaMode = NPA_AUTO;
        return DVC_OK;
    }
    return DVC_FAIL;
}
