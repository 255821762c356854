// The settings exchange: value decoding, the batched query and its reply, and
// writes that land in a command file through the library's file port.
#include "dvc.h"
#include "npa_exchange.h"
#include "support/settings_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

using ExchangeTest = SettingsFixture;

TEST_F(ExchangeTest, DecodeValues) {
    LoadNpaCatalogue();
    struct Case {
        const char* name;
        Bytes data;
        const char* expected;
    } cases[] = {
        {"PWRSVR", {0x01, 0x2C}, "300"},
        {"PWRSVR", {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        {"PWRSVR", {0x0F}, "1..15..240"}, // the write line's data is looked up first
        {"PWRSVR", {}, ""},               // zero-length data
        {"BLANKPGS", {0x01}, "ON"},
        {"BLANKPGS", {0x07}, ""}, // neither a value, a text nor a number
        {"CUST1NAME", {'M', 'i', 'x', 0, 'j'}, "Mix"},
        {"UNKNOWN", {0x01}, ""},
    };
    for (const Case& c : cases) {
        // The single-setting reply image: nine header bytes, then the data.
        Bytes image = {0xA5, 0, static_cast<unsigned char>(c.data.size() + 6), 0x51, 0xE0, 0xE7, 0, 0, 1};
        image.insert(image.end(), c.data.begin(), c.data.end());
        EXPECT_EQ(DecodeNpaValue(c.name, image.data(), image.size()), c.expected)
            << c.name << " " << Hex(c.data);
    }
}

TEST_F(ExchangeTest, QueryCommandAndReply) {
    LoadNpaCatalogue();
    // Three identifiers, in table order: BLANKPGS 0001, CUST1NAME 0040, PWRSVR 0010.
    EXPECT_EQ(Hex(BuildQueryCommand()), "A5000B50E0E72003000100400010");
    EXPECT_EQ(NpaSettingIds["0040"], "CUST1NAME");

    // Items of identifier, length, data after the seven header bytes.
    struct Case {
        std::string reply;
        StringMap values;
    } cases[] = {
        {"A5000010E0E720"
         "00010101"     // BLANKPGS
         "001002012C"   // PWRSVR
         "004003416243" // CUST1NAME "AbC"
         "99990105"     // an unknown identifier: stored under an empty name
         "0001050201",  // a truncated item is dropped
         {{"BLANKPGS", "ON"}, {"PWRSVR", "300"}, {"CUST1NAME", "AbC"}, {"", ""}}},
        {"A5000010E0E72000403C" + std::string(120, '7'), {{"CUST1NAME", std::string(41, 'w')}}}, // cut to fit
    };
    for (const Case& c : cases) {
        Bytes reply = ParseCatalogueHex(c.reply);
        StringMap values;
        DecodeQueryReply(reply.data(), static_cast<uint32_t>(reply.size()), values);
        EXPECT_EQ(values, c.values);
    }

    WriteCatalogue("[NPA WRITE VALUES]\n*A:B=A5000750E0E720000100\n");
    EXPECT_EQ(Hex(BuildQueryCommand()), "A5000550E0E72000"); // no read lines: n = 0
}

TEST_F(ExchangeTest, WritesLandInCommandFile) {
    const std::string online = "A5000640E0E70C0000";
    struct Case {
        std::vector<std::string> items;
        int result;
        std::vector<std::string> packets; // after the NPA start packets are taken out
    } cases[] = {
        {{"BLANKPGS:ON", "blankpgs:off"}, 0, {"A5000740E0E720000101", "A5000740E0E720000100"}},
        {{"Cust1Name:AbCdEfGh"}, 0, {"A5000E40E0E72000404162436445664768"}}, // letters as typed, length +8
        {{"PWRSVR:300"}, 0, {"A5000740E0E72000102C"}},                       // one-byte number
        {{"LONGNUM: -2"}, 0, {"A5000A40E0E7200050FFFFFFFE"}},                // four-byte number
        {{"LONGNUM:70000"}, 0, {"A5000A40E0E720005000011170"}},              // high byte first
        {{"ODDNUM:7"}, 0, {"A5000840E0E72000600000"}}, // other template length: sent as it is
        {{"BLANKPGS:ON", "NOSUCH:1", "BLANKPGS:OFF"}, -3, {"A5000740E0E720000101"}}, // stops there
        {{"BLANKPGS:MAYBE"}, -3, {}},
        {{"BLANKPGS"}, -3, {}},
        {{}, 0, {}},
    };
    int index = 0;
    for (Case& c : cases) {
        std::string file = Path("out" + std::to_string(index) + ".npa");
        EXPECT_EQ(WritePrinterSettings(file.c_str(), c.items), c.result) << "case " << index;
        c.packets.push_back(online); // whatever happened, the printer is brought back online
        EXPECT_EQ(SentPackets(file), c.packets) << "case " << index;
        EXPECT_EQ(SentPackets(Path("offline.dat")), std::vector<std::string>{"A5000640E0E70C0100"})
            << index++;
    }
    EXPECT_EQ(WritePrinterSettings("", {"BLANKPGS:ON"}), -1);
}

} // namespace
