// GetVersionExA's family setting.
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
}

} // namespace
