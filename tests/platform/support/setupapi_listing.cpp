#include "setupapi_listing.h"

#include <gtest/gtest.h>

#include <set>

namespace orbis::platformtest {

namespace {

template <class F> F Proc(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

std::vector<std::string> ListInterfaces(const GUID& cls) {
    HMODULE setupapi = LoadLibraryA("SETUPAPI.DLL");
    auto getClassDevs = Proc<PFN_SetupDiGetClassDevsA>(setupapi, "SetupDiGetClassDevsA");
    auto enumInfo = Proc<PFN_SetupDiEnumDeviceInfo>(setupapi, "SetupDiEnumDeviceInfo");
    auto enumInterfaces = Proc<PFN_SetupDiEnumDeviceInterfaces>(setupapi, "SetupDiEnumDeviceInterfaces");
    auto detail = Proc<PFN_SetupDiGetDeviceInterfaceDetailA>(setupapi, "SetupDiGetDeviceInterfaceDetailA");
    auto destroy = Proc<PFN_SetupDiDestroyDeviceInfoList>(setupapi, "SetupDiDestroyDeviceInfoList");
    std::vector<std::string> paths;
    std::set<std::string> seen;
    if (!getClassDevs || !enumInfo || !enumInterfaces || !detail || !destroy) {
        ADD_FAILURE() << "SETUPAPI.DLL lacks an entry point";
        return paths;
    }
    auto failsWith = [](BOOL ok, DWORD error) { return !ok && GetLastError() == error; };
    HDEVINFO set = getClassDevs(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA info = {};
        info.cbSize = sizeof info - 1;
        EXPECT_TRUE(failsWith(enumInfo(set, index, &info), ERROR_INVALID_USER_BUFFER));
        info.cbSize = sizeof info;
        if (!enumInfo(set, index, &info)) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
            break;
        }
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        if (!enumInterfaces(set, &info, &cls, 0, &data)) continue;
        SP_DEVICE_INTERFACE_DATA second = data; // one interface per class and device
        EXPECT_TRUE(failsWith(enumInterfaces(set, &info, &cls, 1, &second), ERROR_NO_MORE_ITEMS));
        DWORD required = 0;
        EXPECT_TRUE(failsWith(detail(set, &data, nullptr, 0, &required, nullptr), ERROR_INSUFFICIENT_BUFFER));
        std::vector<char> block(required);
        auto* d = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(block.data());
        d->cbSize = 4;
        EXPECT_TRUE(failsWith(detail(set, &data, d, required, nullptr, nullptr), ERROR_INVALID_USER_BUFFER));
        d->cbSize = 5;
        EXPECT_TRUE(
            failsWith(detail(set, &data, d, required - 1, nullptr, nullptr), ERROR_INSUFFICIENT_BUFFER));
        EXPECT_TRUE(detail(set, &data, d, required, nullptr, nullptr));
        EXPECT_TRUE(seen.insert(d->DevicePath).second);
        paths.push_back(d->DevicePath);
    }
    destroy(set);
    FreeLibrary(setupapi);
    return paths;
}

std::vector<std::string> SpoolerPorts(const char* value) {
    std::vector<std::string> entries;
    HKEY printers = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Print\\Printers", 0, KEY_READ,
                      &printers) != ERROR_SUCCESS)
        return entries;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(printers, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        char data[256] = {};
        DWORD size = sizeof data;
        HKEY entry = nullptr;
        if (RegOpenKeyExA(printers, name, 0, KEY_READ, &entry) == ERROR_SUCCESS) {
            RegQueryValueExA(entry, value, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
            RegCloseKey(entry);
        }
        entries.push_back(std::string(name) + "=" + data);
    }
    RegCloseKey(printers);
    return entries;
}

} // namespace orbis::platformtest
