// Discovery on the spooler's registry key and the start-up choice of a printer.
#include "printer_discovery.h"
#include "support/settings_fixture.h"
#include "win32.h"

#include <cstring>

namespace {

class DiscoveryTest : public SettingsFixture {
  protected:
    void AddPrinter(const char* key, const char* driver, const char* port, const char* name) {
        std::string path = std::string(kSpoolerPrintersKey) + "\\" + key;
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &h, nullptr),
                  ERROR_SUCCESS);
        auto set = [&](const char* value, const char* text) {
            if (text)
                RegSetValueExA(h, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(std::strlen(text) + 1));
        };
        set("Printer Driver", driver);
        set("Port", port);
        set("Name", name);
        RegCloseKey(h);
    }
};

TEST_F(DiscoveryTest, KeepsSupportedDirectPrinters) {
    WriteCatalogue("[DriverNames]\nOrbis LP 2200 PCL\nOrbis LP 2200 PS\n");
    AddPrinter("a", "Orbis LP 2200 PCL", "LPT1:", "Office");
    AddPrinter("b", "orbis lp 2200 ps", "USB001", "Desk");         // driver case does not matter
    AddPrinter("c", "Orbis LP 2200 PCL", "\\\\server\\q", "Net");  // network port
    AddPrinter("d", "Orbis LP 2200 PCL", "lpt2:", "Lower");        // port name in lower case
    AddPrinter("e", "Other Printer", "LPT3:", "Foreign");          // other driver
    AddPrinter("f", "Orbis LP 2200 PCL", "LPT2:,LPT3:", "Pooled"); // several ports: the whole value
    AddPrinter("g", nullptr, "LPT4:", "NoDriver");                 // no driver value
    AddPrinter("h", "Orbis LP 2200", "LPT5:", "Prefix");           // a prefix of a listed driver
    StringMap printers = {{"stale", "LPT9"}};
    RecordingHost host;
    DiscoverPrinters(printers, &host);
    EXPECT_EQ(printers, (StringMap{{"LPT1: - Office", "LPT1:"},
                                   {"USB001 - Desk", "USB001"},
                                   {"LPT2:,LPT3: - Pooled", "LPT2:,LPT3:"}}));
    EXPECT_TRUE(host.messages.empty());

    WriteCatalogue("[Other]\nx=1\n"); // no driver section: nothing is recognised
    DiscoverPrinters(printers, &host);
    EXPECT_TRUE(printers.empty());
}

TEST_F(DiscoveryTest, MissingSpoolerKey) {
    WriteCatalogue("[DriverNames]\nOrbis LP 2200 PCL\n");
    StringMap printers = {{"stale", "LPT9"}};
    RecordingHost host;
    DiscoverPrinters(printers, &host);
    EXPECT_TRUE(printers.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "프린터 정보 없음");
    EXPECT_FALSE(host.messages[0].owned);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Stop);
}

TEST_F(DiscoveryTest, Selection) {
    const StringMap two = {{"USB001 - Desk", "USB001"}, {"LPT1: - Office", "LPT1:"}};
    struct Case {
        const char* label;
        StringMap printers;
        bool dialogOk;
        std::string dialogChoice;
        bool ok;
        std::string selected, port;
        const char* messageCaption; // nullptr: no message
        bool dialogShown;
    } cases[] = {
        {"none", {}, true, "", false, "", "", "직접 연결된 프린터가 없습니다.", false},
        {"one", {{"LPT1: - Office", "LPT1:"}}, true, "", true, "LPT1: - Office", "LPT1:", nullptr, false},
        {"several, chosen", two, true, "USB001 - Desk", true, "USB001 - Desk", "USB001", nullptr, true},
        {"several, no line", two, true, "", false, "", "", "지정한 프린터의 포트를 찾을 수가 없습니다.",
         true},
        {"several, cancelled", two, false, "", false, "", "", nullptr, true},
    };
    for (const Case& c : cases) {
        RecordingHost host;
        host.selectionOk = c.dialogOk;
        host.selection = c.dialogChoice;
        std::string selected, port;
        EXPECT_EQ(SelectPrinter(c.printers, host, selected, port), c.ok) << c.label;
        if (c.ok) {
            EXPECT_EQ(selected, c.selected) << c.label;
            EXPECT_EQ(port, c.port) << c.label;
        }
        ASSERT_EQ(host.messages.size(), c.messageCaption ? 1u : 0u) << c.label;
        if (c.messageCaption) {
            EXPECT_EQ(host.messages[0].caption, c.messageCaption) << c.label;
            EXPECT_EQ(host.messages[0].icon, MessageIcon::Stop) << c.label;
        }
        if (c.dialogShown)
            EXPECT_EQ(host.offered, (std::vector<std::string>{"LPT1: - Office", "USB001 - Desk"})) << c.label;
        else
            EXPECT_TRUE(host.offered.empty()) << c.label;
    }
}

} // namespace
