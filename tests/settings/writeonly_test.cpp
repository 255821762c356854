// On an NT-family system a parallel port opens write-only: the query sends
// nothing and hands back the catalogue's starred defaults. The library learns
// the system family once per process, hence a test program of its own.
#include "dvc.h"
#include "backup_store.h"
#include "npa_exchange.h"
#include "printer_doc.h"
#include "orbis_platform.h"
#include "platform/standin/io_object.h"
#include "support/settings_fixture.h"

#include <filesystem>
#include <memory>

namespace {

class WriteOnlyTest : public SettingsFixture {};

// A port that takes what is written (the workaround opens only ports its copy can reach).
struct SinkPort : orbis::platform::IoObject {
    bool Read(void*, DWORD, DWORD* got, DWORD* error) override {
        return *got = 0, *error = ERROR_INVALID_FUNCTION, false;
    }
    bool Write(const void*, DWORD count, DWORD* written, DWORD*) override { return *written = count, true; }
    bool Ioctl(DWORD, const void*, DWORD, void*, DWORD, DWORD* returned, DWORD* error) override {
        return *returned = 0, *error = ERROR_INVALID_FUNCTION, false;
    }
};

// The query sends nothing and hands back the starred defaults; an apply takes no
// backup and reads nothing back, as the printer cannot answer.
TEST_F(WriteOnlyTest, QueryYieldsStarredDefaultsAndApplyNeitherBacksUpNorChecks) {
    orbis::platform::SetWindowsFamilyForTesting(VER_PLATFORM_WIN32_NT);
    orbis::platform::RegisterDeviceOverride(
        {"LPT1", false, "", [](const std::string&, DWORD) { return std::make_shared<SinkPort>(); }});
    WriteCatalogue(
        "[NPA READ SETTING]\nBLANKPGS=A5000650E0E7200001\n"
        "[NPA WRITE VALUES]\n*BLANKPGS:OFF=A5000750E0E720000100\nBLANKPGS:ON=A5000750E0E720000101\n"
        "*PWRSVR:1..15..240=A5000750E0E72000100F\n");
    StringMap values;
    ASSERT_EQ(QueryPrinterSettings("LPT1", values), 1);
    EXPECT_EQ(values, (StringMap{{"BLANKPGS", "OFF"}, {"PWRSVR", "15"}}));
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(orbis::platform::MapPath("C:\\Temp"), ec))
        EXPECT_EQ(e.file_size(), 0u) << e.path(); // nothing was sent
    BackupStore store(Path("backups"));
    CPrinterDoc doc;
    ASSERT_TRUE(doc.OnNewDocument("LPT1", values, 1));
    doc.SetBackupStore(&store);
    doc.CurrentValues["BLANKPGS"] = doc.ChangedValues["BLANKPGS"] = "ON";
    EXPECT_EQ(doc.ApplySettings(), 0);
    EXPECT_EQ(doc.LastCheckResult(), CPrinterDoc::kNotChecked);
    EXPECT_TRUE(doc.NotTaken().empty());
    EXPECT_TRUE(store.List("").empty());
    DvcClosePort("LPT1");
    orbis::platform::ClearDeviceOverrides();
}

} // namespace
