// GetVersionExA: the Windows family is a setting of the root.
#include "device_sources.h"
#include "paths.h"

#include "../orbis_platform.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace orbis::platform {
namespace {

std::atomic<int> familyForTesting{0};

int ParseFamily(std::string text) {
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return 0;
    text = UpperAscii(text.substr(first));
    if (text.rfind("NT", 0) == 0) return VER_PLATFORM_WIN32_NT;
    if (text.rfind("95", 0) == 0 || text.rfind("9X", 0) == 0 || text.rfind("98", 0) == 0 ||
        text.rfind("ME", 0) == 0)
        return VER_PLATFORM_WIN32_WINDOWS;
    return 0;
}

} // namespace

void SetWindowsFamilyForTesting(int family) {
    familyForTesting = family;
}

int WindowsFamily() {
    if (int forced = familyForTesting.load()) return forced;
    if (const char* env = std::getenv("ORBIS_WINDOWS_FAMILY"))
        if (int family = ParseFamily(env)) return family;
    std::string root = Root();
    std::ifstream file;
    if (!root.empty()) file.open(root + "/windows-family");
    std::string line;
    if (file && std::getline(file, line))
        if (int family = ParseFamily(line)) return family;
    // Without a setting, a host parallel port that cannot be read makes this an NT-family system.
    HostSources sources = CurrentHostSources();
    for (const DeviceSource* source : DeviceSources())
        if (source->windowsFamily)
            if (int family = source->windowsFamily(sources)) return family;
    return VER_PLATFORM_WIN32_WINDOWS;
}

} // namespace orbis::platform

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    // OSVERSIONINFOEXA is 8 bytes longer; its extra fields stay as the caller set them.
    if (!lpVersionInformation || (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                                  lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) + 8)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    OSVERSIONINFOA& info = *lpVersionInformation;
    std::memset(info.szCSDVersion, 0, sizeof info.szCSDVersion);
    if (orbis::platform::WindowsFamily() == VER_PLATFORM_WIN32_NT) {
        info.dwMajorVersion = 5;
        info.dwMinorVersion = 1;
        info.dwBuildNumber = 2600;
        info.dwPlatformId = VER_PLATFORM_WIN32_NT;
        std::strcpy(info.szCSDVersion, "Service Pack 2");
    } else {
        info.dwMajorVersion = 4;
        info.dwMinorVersion = 10;
        info.dwBuildNumber = 0x040A08AE; // 4.10.2222: the build word carries the version
        info.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        std::strcpy(info.szCSDVersion, " A");
    }
    return TRUE;
}
