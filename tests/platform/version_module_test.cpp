// GetVersionExA's family setting, and the run-time loaded SETUPAPI.DLL.
#include "support/temp_root.h"

#include "platform/standin/devices.h"

#include <gtest/gtest.h>

#include <cstdio>

using orbis::platformtest::TempRoot;

namespace {

TEST(Version, FamilyComesFromTestingSettingEnvironmentOrRootFile) {
    TempRoot root;
    const DWORD k95 = VER_PLATFORM_WIN32_WINDOWS, kNT = VER_PLATFORM_WIN32_NT;
    const struct Case {
        int forced;
        const char *env, *file;
        DWORD platform;
    } cases[] = {
        {0, nullptr, nullptr, k95},  {0, nullptr, "NT\n", kNT}, {0, nullptr, "95", k95},
        {0, "95", "NT", k95},        {0, "nt", nullptr, kNT},   {int(kNT), "95", "95", kNT},
        {int(k95), "NT", "NT", k95},
    };
    for (const auto& c : cases) {
        orbis::platform::SetWindowsFamilyForTesting(c.forced);
        c.env ? setenv("ORBIS_WINDOWS_FAMILY", c.env, 1) : unsetenv("ORBIS_WINDOWS_FAMILY");
        std::remove((root.Path() + "/windows-family").c_str());
        if (c.file) root.WriteFile("windows-family", c.file);
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        EXPECT_EQ(info.dwPlatformId, c.platform);
        EXPECT_EQ(info.dwMajorVersion * 100 + info.dwMinorVersion, c.platform == kNT ? 501u : 410u);
    }
    orbis::platform::SetWindowsFamilyForTesting(0);
    unsetenv("ORBIS_WINDOWS_FAMILY");
    OSVERSIONINFOA wrong{};
    wrong.dwOSVersionInfoSize = sizeof wrong - 4;
    EXPECT_FALSE(GetVersionExA(&wrong));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Modules, OnlySetupApiLoads) {
    const std::pair<const char*, bool> cases[] = {{"SETUPAPI.DLL", true},      {"setupapi.dll", true},
                                                  {"SetupApi", true},          {"KERNEL32.DLL", false},
                                                  {"setupapi.dll.bak", false}, {"", false}};
    for (const auto& [name, loads] : cases) {
        SetLastError(0);
        HMODULE module = LoadLibraryA(name);
        EXPECT_EQ(module != nullptr, loads) << name;
        if (!module) {
            EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
            continue;
        }
        EXPECT_EQ(GetProcAddress(module, "SetupDiDestroyDeviceInfoList") != nullptr,
                  orbis::platform::SetupApiProc("SetupDiDestroyDeviceInfoList") != nullptr);
        EXPECT_EQ(GetProcAddress(module, "NoSuchEntryPoint"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
        EXPECT_TRUE(FreeLibrary(module));
    }
    HMODULE first = LoadLibraryA("SETUPAPI.DLL");
    HMODULE second = LoadLibraryA("SETUPAPI.DLL");
    EXPECT_EQ(first, second); // one module, counted
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(GetProcAddress(second, "SetupDiGetClassDevsA"), nullptr); // still loaded
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_FALSE(FreeLibrary(second));
    EXPECT_EQ(GetProcAddress(second, "SetupDiGetClassDevsA"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
