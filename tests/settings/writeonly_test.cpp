// On an NT-family system a parallel port opens write-only: the query sends
// nothing and hands back the catalogue's starred defaults. The library learns
// the system family once per process, hence a test program of its own.
#include "dvc.h"
#include "npa_exchange.h"
#include "orbis_platform.h"
#include "support/settings_fixture.h"

#include <filesystem>

namespace {

class WriteOnlyTest : public SettingsFixture {};

TEST_F(WriteOnlyTest, QueryYieldsStarredDefaults) {
    struct Case {
        const char* catalogue;
        StringMap expected;
    } cases[] = {
        {"[NPA READ SETTING]\nBLANKPGS=A5000650E0E7200001\nJAM=A5000650E0E7200002\n"
         "[NPA WRITE VALUES]\n*BLANKPGS:OFF=A5000750E0E720000100\nJAM:ON=A5000750E0E720000201\n"
         "*PWRSVR:1..15..240=A5000750E0E72000100F\n*LINES:1..99=A5000750E0E720001100\n"
         "*Cust1Name:=A5000650E0E7200040\n",
         {{"BLANKPGS", "OFF"}, {"PWRSVR", "15"}, {"LINES", ""}, {"CUST1NAME", ""}}},
        {"[NPA WRITE VALUES]\nJAM:ON=A5000750E0E720000201\n", {}}, // no starred line
    };
    orbis::platform::SetWindowsFamilyForTesting(VER_PLATFORM_WIN32_NT);
    for (const Case& c : cases) {
        WriteCatalogue(c.catalogue);
        StringMap values;
        EXPECT_EQ(QueryPrinterSettings("LPT1", values), 1);
        EXPECT_EQ(values, c.expected);
        // Nothing was sent: the port's temporary files stay empty.
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(orbis::platform::MapPath("C:\\Temp"), ec))
            EXPECT_EQ(e.file_size(), 0u) << e.path();
        DvcClosePort("LPT1");
    }
}

} // namespace
