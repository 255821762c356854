// GetVersionExA's family setting, and the run-time loaded SETUPAPI.DLL.
#include "support/temp_root.h"

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
        HMODULE module = LoadLibraryA(name), again = LoadLibraryA(name); // one module, counted
        EXPECT_EQ(module != nullptr, loads) << name;
        EXPECT_EQ(again, module);
        EXPECT_EQ(GetLastError(), loads ? 0u : DWORD(ERROR_MOD_NOT_FOUND));
        if (!module) continue;
        EXPECT_EQ(GetProcAddress(module, "NoSuchEntryPoint"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
        EXPECT_TRUE(FreeLibrary(module));
        EXPECT_NE(GetProcAddress(again, "SetupDiGetClassDevsA"), nullptr); // still loaded
        EXPECT_TRUE(FreeLibrary(again));
        EXPECT_FALSE(FreeLibrary(again));
        EXPECT_EQ(GetProcAddress(again, "SetupDiGetClassDevsA"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

} // namespace
