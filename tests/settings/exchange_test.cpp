// The settings exchange: value decoding, the batched query and its reply, and
// writes that land in a command file through the library's file port.
#include "dvc.h"
#include "npa_exchange.h"
#include "support/settings_fixture.h"

#include <cstring>

namespace {

using Bytes = std::vector<unsigned char>;

const char kCatalogue[] = "[NPA READ SETTING]\n"
                          "BLANKPGS=A5000650E0E7200001\n"
                          "PWRSVR=A5000650E0E7200010\n"
                          "CUST1NAME=A5000650E0E7200040\n"
                          "[NPA WRITE VALUES]\n"
                          "*BLANKPGS:OFF=A5000750E0E720000100\n"
                          "BLANKPGS:ON=A5000750E0E720000101\n"
                          "*PWRSVR:1..15..240=A5000750E0E72000100F\n"
                          "*CUST1NAME:=A5000650E0E7200040\n"
                          "LONGNUM:0..99999=A5000A50E0E720005000000000\n"
                          "ODDNUM:0..9=A5000850E0E72000600000\n";

class ExchangeTest : public SettingsFixture {
  protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        WriteCatalogue(kCatalogue);
        LoadNpaCatalogue();
    }
};

Bytes FromHex(const std::string& hex) {
    return ParseCatalogueHex(hex);
}

// The single-setting reply image of Part of a reply item: nine header bytes, then the data.
Bytes Image(const Bytes& data) {
    Bytes image = {0xA5, 0x00, static_cast<unsigned char>(data.size() + 6), 0x51, 0xE0, 0xE7, 0x00,
                   0x00, 0x01};
    image.insert(image.end(), data.begin(), data.end());
    return image;
}

TEST_F(ExchangeTest, DecodeValues) {
    struct Case {
        const char* name;
        Bytes data;
        const char* expected;
    } cases[] = {
        {"PWRSVR", {0x01, 0x2C}, "300"},
        {"PWRSVR", {0xFF, 0xFF, 0xFF, 0xFF}, "-1"},
        {"PWRSVR", {0x7F}, "127"},
        {"PWRSVR", {0x0F}, "1..15..240"}, // the write line's data is looked up first
        {"PWRSVR", {}, ""},
        {"BLANKPGS", {0x01}, "ON"},
        {"BLANKPGS", {0x00}, "OFF"},
        {"BLANKPGS", {0x07}, ""}, // neither a value, a text nor a number
        {"BLANKPGS", {}, ""},
        {"CUST1NAME", {'M', 'i', 'x', 0, 'j'}, "Mix"},
        {"CUST1NAME", {}, ""},
        {"UNKNOWN", {0x01}, ""},
        {"", {0x01}, ""},
    };
    for (const Case& c : cases) {
        Bytes image = Image(c.data);
        EXPECT_EQ(DecodeNpaValue(c.name, image.data(), image.size()), c.expected)
            << c.name << " " << Hex(c.data);
    }
    struct HexCase {
        Bytes bytes;
        const char* hex;
    } hexes[] = {{{}, ""}, {{0x00}, "00"}, {{0xAB, 0x0C, 0xFF}, "AB0CFF"}};
    for (const HexCase& c : hexes) {
        std::string out = "stale";
        HexString(c.bytes.data(), c.bytes.size(), out);
        EXPECT_EQ(out, c.hex);
    }
}

TEST_F(ExchangeTest, QueryCommandAndReply) {
    Bytes query = BuildQueryCommand();
    // Table order: BLANKPGS, CUST1NAME, PWRSVR.
    EXPECT_EQ(Hex(query), "A5000B50E0E72003"
                          "0001"
                          "0040"
                          "0010");
    EXPECT_EQ(NpaSettingIds["0040"], "CUST1NAME");

    Bytes reply = {0xA5, 0x00, 0x00, 0x10, 0xE0, 0xE7, 0x20};
    auto item = [&](Bytes id, Bytes data) {
        reply.insert(reply.end(), id.begin(), id.end());
        reply.push_back(static_cast<unsigned char>(data.size()));
        reply.insert(reply.end(), data.begin(), data.end());
    };
    item({0x00, 0x01}, {0x01});
    item({0x00, 0x10}, {0x01, 0x2C});
    item({0x00, 0x40}, {'A', 'b', 'C'});
    item({0x99, 0x99}, {0x05});                          // unknown identifier: stored under an empty name
    reply.insert(reply.end(), {0x00, 0x01, 0x05, 0x02}); // truncated item is dropped
    StringMap values;
    DecodeQueryReply(reply.data(), static_cast<uint32_t>(reply.size()), values);
    EXPECT_EQ(values, (StringMap{{"BLANKPGS", "ON"}, {"PWRSVR", "300"}, {"CUST1NAME", "AbC"}, {"", ""}}));

    // Data longer than the reply image holds is cut to what fits.
    Bytes longReply = {0xA5, 0x00, 0x00, 0x10, 0xE0, 0xE7, 0x20, 0x00, 0x40, 60};
    for (int i = 0; i < 60; ++i)
        longReply.push_back('x');
    values.clear();
    DecodeQueryReply(longReply.data(), static_cast<uint32_t>(longReply.size()), values);
    EXPECT_EQ(values["CUST1NAME"], std::string(41, 'x'));

    WriteCatalogue("[NPA WRITE VALUES]\n*A:B=A5000750E0E720000100\n");
    EXPECT_EQ(Hex(BuildQueryCommand()), "A5000550E0E72000"); // no read lines: n = 0
}

TEST_F(ExchangeTest, WritesLandInCommandFile) {
    const std::string online = "A5000640E0E70C0000";
    struct Case {
        const char* label;
        std::vector<std::string> items;
        int result;
        std::vector<std::string> packets; // after the NPA start packets are taken out
    } cases[] = {
        {"plain values",
         {"BLANKPGS:ON", "blankpgs:off"},
         0,
         {"A5000740E0E720000101", "A5000740E0E720000100", online}},
        {"mixed-case text",
         {"Cust1Name:AbCdEfGh"},
         0,
         {"A5000E40E0E7200040"
          "4162436445664768",
          online}},
        {"one-byte number", {"PWRSVR:300"}, 0, {"A5000740E0E72000102C", online}},
        {"four-byte number", {"LONGNUM: -2"}, 0, {"A5000A40E0E7200050FFFFFFFE", online}},
        {"other template length", {"ODDNUM:7"}, 0, {"A5000840E0E72000600000", online}},
        {"stop at unknown",
         {"BLANKPGS:ON", "NOSUCH:1", "BLANKPGS:OFF"},
         -3,
         {"A5000740E0E720000101", online}},
        {"stop at unknown value", {"BLANKPGS:MAYBE"}, -3, {online}},
        {"item without colon", {"BLANKPGS"}, -3, {online}},
        {"empty list", {}, 0, {online}},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::string file = Path("out" + std::to_string(index++) + ".npa");
        EXPECT_EQ(WritePrinterSettings(file.c_str(), c.items), c.result) << c.label;
        std::vector<std::string> packets;
        for (const Bytes& p : CommandFilePackets(ReadFile(file)))
            packets.push_back(Hex(p));
        EXPECT_EQ(packets, c.packets) << c.label;
        std::vector<std::string> offline;
        for (const Bytes& p : CommandFilePackets(ReadFile(Path("offline.dat"))))
            offline.push_back(Hex(p));
        EXPECT_EQ(offline, std::vector<std::string>{"A5000640E0E70C0100"}) << c.label;
    }
    EXPECT_EQ(WritePrinterSettings("", {"BLANKPGS:ON"}), -1);
}

} // namespace
