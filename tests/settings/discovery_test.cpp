// Discovery on the spooler's registry key and the start-up choice of a printer.
#include "printer_discovery.h"
#include "support/settings_fixture.h"
#include "win32.h"

#include <cstring>

namespace {

using DiscoveryTest = SettingsFixture;

void AddPrinter(const char* key, const char* driver, const char* port, const char* name) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kSpoolerPrintersKey) + "\\" + key).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    const char* values[][2] = {{"Printer Driver", driver}, {"Port", port}, {"Name", name}};
    for (const auto& [value, text] : values)
        if (text)
            RegSetValueExA(h, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(h);
}

TEST_F(DiscoveryTest, KeepsSupportedDirectPrinters) {
    WriteCatalogue("[DriverNames]\nOrbis LP 2200 PCL\nOrbis LP 2200 PS\n");
    RecordingHost host;

    AddPrinter("a", "Orbis LP 2200 PCL", "LPT1:", "Office");
    AddPrinter("b", "orbis lp 2200 ps", "USB001", "Desk");         // driver case does not matter
    AddPrinter("c", "Orbis LP 2200 PCL", "\\\\server\\q", "Net");  // network port
    AddPrinter("d", "Orbis LP 2200 PCL", "lpt2:", "Lower");        // port name in lower case
    AddPrinter("e", "Other Printer", "LPT3:", "Foreign");          // other driver
    AddPrinter("f", "Orbis LP 2200 PCL", "LPT2:,LPT3:", "Pooled"); // several ports: the whole value
    AddPrinter("g", nullptr, "LPT4:", "NoDriver");                 // no driver value
    AddPrinter("h", "Orbis LP 2200", "LPT5:", "Prefix");           // a prefix of a listed driver
    StringMap printers = {{"stale", "LPT9"}};
    DiscoverPrinters(printers, &host);
    EXPECT_EQ(printers, (StringMap{{"LPT1: - Office", "LPT1:"},
                                   {"USB001 - Desk", "USB001"},
                                   {"LPT2:,LPT3: - Pooled", "LPT2:,LPT3:"}}));
    EXPECT_TRUE(host.messages.empty());

    WriteCatalogue("[Other]\nx=1\n"); // no driver section: nothing is recognised
    DiscoverPrinters(printers, &host);
    EXPECT_TRUE(printers.empty());
}

// The other cases of the choice are the start-up tests' table.
TEST_F(DiscoveryTest, OkWithNoLineChosenFindsNoPort) {
    RecordingHost host;
    std::string selected, port;
    EXPECT_FALSE(
        SelectPrinter({{"USB001 - Desk", "USB001"}, {"LPT1: - Office", "LPT1:"}}, host, selected, port));
    EXPECT_EQ(selected + "|" + port, "|");
    EXPECT_EQ(host.offered, (std::vector<std::string>{"LPT1: - Office", "USB001 - Desk"}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"지정한 프린터의 포트를 찾을 수가 없습니다. SO"});
}

} // namespace
