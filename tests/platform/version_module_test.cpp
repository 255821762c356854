// GetVersionExA's family setting, and the run-time loaded SETUPAPI.DLL.
#include "support/temp_root.h"

#include "platform/src/devices.h"

#include <gtest/gtest.h>

#include <cstdio>

using orbis::platformtest::TempRoot;

namespace {

TEST(Version, FamilyComesFromTestingSettingEnvironmentOrRootFile) {
    TempRoot root;
    struct Case {
        int forced;
        const char* env;
        const char* file;
        DWORD platform, major, minor;
    };
    const Case cases[] = {
        {0, nullptr, nullptr, VER_PLATFORM_WIN32_WINDOWS, 4, 10},
        {0, nullptr, "NT\n", VER_PLATFORM_WIN32_NT, 5, 1},
        {0, nullptr, "95", VER_PLATFORM_WIN32_WINDOWS, 4, 10},
        {0, "95", "NT", VER_PLATFORM_WIN32_WINDOWS, 4, 10},
        {0, "nt", nullptr, VER_PLATFORM_WIN32_NT, 5, 1},
        {VER_PLATFORM_WIN32_NT, "95", "95", VER_PLATFORM_WIN32_NT, 5, 1},
        {VER_PLATFORM_WIN32_WINDOWS, "NT", "NT", VER_PLATFORM_WIN32_WINDOWS, 4, 10},
    };
    for (const auto& c : cases) {
        orbis::platform::SetWindowsFamilyForTesting(c.forced);
        if (c.env)
            setenv("ORBIS_WINDOWS_FAMILY", c.env, 1);
        else
            unsetenv("ORBIS_WINDOWS_FAMILY");
        std::remove((root.Path() + "/windows-family").c_str());
        if (c.file) root.WriteFile("windows-family", c.file);
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        EXPECT_EQ(info.dwPlatformId, c.platform);
        EXPECT_EQ(info.dwMajorVersion, c.major);
        EXPECT_EQ(info.dwMinorVersion, c.minor);
    }
    orbis::platform::SetWindowsFamilyForTesting(0);
    unsetenv("ORBIS_WINDOWS_FAMILY");

    OSVERSIONINFOA wrong{};
    wrong.dwOSVersionInfoSize = sizeof wrong - 4;
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(&wrong));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Modules, OnlySetupApiLoads) {
    struct Case {
        const char* name;
        bool loads;
    };
    const Case cases[] = {{"SETUPAPI.DLL", true},  {"setupapi.dll", true},      {"SetupApi", true},
                          {"KERNEL32.DLL", false}, {"setupapi.dll.bak", false}, {"", false}};
    for (const auto& c : cases) {
        SetLastError(0);
        HMODULE module = LoadLibraryA(c.name);
        EXPECT_EQ(module != nullptr, c.loads) << c.name;
        if (!module) {
            EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
            continue;
        }
        EXPECT_EQ(GetProcAddress(module, "SetupDiDestroyDeviceInfoList") != nullptr,
                  orbis::platform::SetupApiProc("SetupDiDestroyDeviceInfoList") != nullptr);
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(module, "NoSuchEntryPoint"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
        EXPECT_TRUE(FreeLibrary(module));
    }
    HMODULE first = LoadLibraryA("SETUPAPI.DLL");
    HMODULE second = LoadLibraryA("SETUPAPI.DLL");
    EXPECT_EQ(first, second); // one module, counted
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(GetProcAddress(second, "NoSuchEntryPoint"), reinterpret_cast<FARPROC>(1));
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND); // still loaded
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_FALSE(FreeLibrary(second));
    EXPECT_EQ(GetProcAddress(second, "SetupDiGetClassDevsA"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
