// The printer engine in-process: reply layout, chaining, writes, offline and
// online with the alert, the PJL inquiry, and the settings memory.
#include "engine.h"
#include "firmware.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace orbis::sim;

namespace {

const Bytes kNpaStart = {0xA5, 0x00, 0x10, 0x80, 0xA4, 0x5B, 0xA4, 0x5B, 0x10, 0xEF,
                         0xA4, 0x5B, 0x11, 0xEE, 0x00, 0xFF, 0x13, 0xEC, 0x2E};

Bytes Query(std::vector<uint16_t> ids) {
    Bytes data = {0xE7, 0x20, uint8_t(ids.size())};
    for (uint16_t id : ids)
        data.push_back(uint8_t(id >> 8)), data.push_back(uint8_t(id));
    return MakePacket(0x50, 0xE0, data);
}

Bytes Write(uint16_t id, Bytes value, uint8_t flags = 0x40) {
    Bytes data = {0xE7, 0x31, uint8_t(id >> 8), uint8_t(id)};
    data.insert(data.end(), value.begin(), value.end());
    return MakePacket(flags, 0xE0, data);
}

// Sends one command behind the NPA start packet, as the library does in NPA_AUTO.
std::vector<Bytes> Send(Engine& engine, Channel& channel, const Bytes& command) {
    Bytes all = kNpaStart;
    all.insert(all.end(), command.begin(), command.end());
    return engine.Feed(channel, all);
}

// Splits a unit into its NPA packets (by their length fields).
std::vector<Bytes> Packets(const Bytes& unit) {
    std::vector<Bytes> packets;
    for (size_t at = 0; at + 3 <= unit.size();) {
        size_t length = size_t(unit[at + 1]) << 8 | unit[at + 2];
        packets.emplace_back(unit.begin() + (ptrdiff_t)at, unit.begin() + (ptrdiff_t)(at + length + 3));
        at += length + 3;
    }
    return packets;
}

EngineOptions Options() {
    EngineOptions o;
    o.deviceId = MakeDeviceId("vantrel", "Orbis LP 2200");
    return o;
}

} // namespace

TEST(Engine, QueryReplyHoldsOneItemPerIdentifierWithin2048Bytes) {
    Engine engine(Options());
    Channel channel;
    // identifier, length, data per item; an identifier the printer lacks gets no data
    EXPECT_EQ(
        Send(engine, channel, Query({0x0101, 0x0408, 0x0409, 0x0141, 0x7777})),
        std::vector<Bytes>({{0xA5, 0x00, 0x19, 0x10, 0xE0, 0xE7, 0x20, 0x01, 0x01, 1, 0x00, 0x04, 0x08, 1, 30,
                             0x04, 0x09, 4,    0,    0,    0,    90,   0x01, 0x41, 0, 0x77, 0x77, 0}}));
    Send(engine, channel, Write(0x0407, Bytes(6, 'T')));
    // 227 items of 9 bytes would take 2050 bytes with the header: the last one is left out.
    auto units = Send(engine, channel, Query(std::vector<uint16_t>(227, 0x0407)));
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].size(), 7u + 9 * 226);
    Bytes miscounted = Query({0x0101, 0x0101});
    miscounted[7] = 1; // two identifiers under a count of one
    units = Send(engine, channel, miscounted);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0][3], 0x88) << "refused as a command error";
}

TEST(Engine, ChainedRepliesCarryTheSameDataAsOnePacket) {
    std::vector<uint16_t> ids;
    for (const auto& s : FirmwareTable())
        ids.push_back(s.id);
    Engine plain(Options());
    Channel c1;
    Bytes single = Send(plain, c1, Query(ids)).at(0);
    for (size_t chain : {1u, 16u, 100u, 5000u}) {
        EngineOptions o = Options();
        o.chainSize = chain;
        Engine engine(o);
        Channel c2;
        auto units = Send(engine, c2, Query(ids));
        ASSERT_EQ(units.size(), 1u);
        auto packets = Packets(units[0]);
        Bytes joined;
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i][4], 0xE0);
            EXPECT_EQ(packets[i][3], i + 1 < packets.size() ? 0x30 : 0x10)
                << "packet " << i << " chain " << chain;
            EXPECT_LE(packets[i].size() - 5, chain);
            joined.insert(joined.end(), packets[i].begin() + 5, packets[i].end());
        }
        EXPECT_EQ(joined, Bytes(single.begin() + 5, single.end())) << "chain " << chain;
    }
}

TEST(Engine, WritesAreAcceptedOnlyWithinTheFirmwareLimits) {
    struct Case {
        const char* what;
        uint16_t id;
        Bytes value;
        bool accepted;
    } cases[] = {
        {"value code", 0x0112, {0x03}, true},
        {"unknown value code", 0x0112, {0x04}, false},
        {"code of two bytes", 0x0112, {0x03, 0x00}, false},
        {"number at the minimum", 0x0408, {1}, true},
        {"number at the maximum", 0x0408, {240}, true},
        {"number above the range", 0x0408, {241}, false},
        {"off value outside the range", 0x0408, {0}, true},
        {"four-byte number", 0x0602, {0, 0, 0x7F, 0xFF}, true},
        {"four-byte number too large", 0x0602, {0, 0, 0x80, 0}, false},
        {"four-byte number given one byte", 0x0602, {90}, false},
        {"text at its limit", 0x0141, Bytes(16, 'A'), true},
        {"text too long", 0x0141, Bytes(17, 'A'), false},
        {"text with a control byte", 0x0141, {'A', 0x00, 'B'}, false},
        // Eight Hangul syllables are 16 bytes in code page 949 ("가" B0 A1, "똠" 8C 63), 24 in UTF-8.
        {"Hangul in code page 949 at the limit",
         0x0141,
         {0xB0, 0xA1, 0x8C, 0x63, 0xB0, 0xA1, 0x8C, 0x63, 0xB0, 0xA1, 0x8C, 0x63, 0xB0, 0xA1, 0x8C, 0x63},
         true},
        {"Hangul in UTF-8", 0x0141, {0xEA, 0xB0, 0x80, 0xEA, 0xB0, 0x80}, false},
        {"a lead byte without its trail byte", 0x0141, {'A', 0xB0}, false},
        {"empty text", 0x0141, {}, true},
        {"unknown setting", 0x7777, {1}, false},
    };
    for (const auto& c : cases) {
        Engine engine(Options());
        Channel channel;
        Bytes before = engine.Value(c.id);
        auto silent = Send(engine, channel, Write(c.id, c.value, 0x40));
        EXPECT_TRUE(silent.empty()) << c.what << ": a write without reply request is answered";
        EXPECT_EQ(engine.Value(c.id), c.accepted ? c.value : before) << c.what;

        Engine asked(Options());
        auto units = Send(asked, channel, Write(c.id, c.value, 0x50));
        ASSERT_EQ(units.size(), 1u) << c.what;
        EXPECT_EQ(units[0][4], 0xE0) << c.what;
        EXPECT_EQ(units[0][3], c.accepted ? 0x10 : 0x88) << c.what;
    }
}

TEST(Engine, OfflineAndOnlineAnswerWithReplyAndAlert) {
    struct Case {
        const char* what;
        bool registered, refuseOffline, alertFirst;
        uint8_t state;
        std::vector<std::pair<uint8_t, uint8_t>> packets; // command byte, ninth byte
        bool offlineAfter;
    } cases[] = {
        {"offline, registered", true, false, false, 1, {{0xE0, 1}, {0xF0, 1}}, true},
        {"online, registered", true, false, false, 0, {{0xE0, 1}, {0xF0, 0}}, false},
        {"offline, not registered", false, false, false, 1, {{0xE0, 1}}, true},
        {"offline refused", true, true, false, 1, {{0xE0, 0}}, false},
        {"offline, alert first", true, false, true, 1, {{0xF0, 1}, {0xE0, 1}}, true},
    };
    for (const auto& c : cases) {
        EngineOptions o = Options();
        o.refuseOffline = c.refuseOffline;
        o.alertFirst = c.alertFirst;
        Engine engine(o);
        Channel channel;
        if (c.registered) {
            auto reg = Send(engine, channel, {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x03, 0x40});
            ASSERT_EQ(reg.size(), 1u);
            EXPECT_EQ(reg[0], Bytes({0xA5, 0x00, 0x04, 0x10, 0xE0, 0x03, 0x40}));
        }
        auto units = Send(engine, channel, {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x0C, c.state, 0x00});
        ASSERT_EQ(units.size(), 1u) << c.what;
        auto packets = Packets(units[0]);
        ASSERT_EQ(packets.size(), c.packets.size()) << c.what;
        for (size_t i = 0; i < packets.size(); ++i) {
            ASSERT_GE(packets[i].size(), 9u);
            EXPECT_EQ(packets[i][4], c.packets[i].first) << c.what;
            EXPECT_EQ(packets[i][8], c.packets[i].second) << c.what;
        }
        EXPECT_EQ(engine.IsOffline(), c.offlineAfter) << c.what;
    }
}

TEST(Engine, PjlInquiryAndNpaStartFollowTheMode) {
    const std::string inquiry = "\x1b%-12345X@PJL DINQUIRE VNPAP\r\n\x1b%-12345X";
    struct Case {
        const char* mode;
        std::string answer;  // expected answer to the inquiry ("" = none)
        bool bareCommand;    // a command without NPA start packet is answered
        bool startedCommand; // a command behind the NPA start packet is answered
    } cases[] = {
        {"auto", "@PJL DINQUIRE VNPAP\r\nAUTO\r\n\f", false, true},
        {"off", "@PJL DINQUIRE VNPAP\r\nOFF\r\n\f", false, false},
        {"on", std::string("\xA5\x00\x02\x80\x00", 5), true, true},
        {"silent", "", false, true},
        {"pjl-on", "@PJL DINQUIRE VNPAP\r\nON\r\n\f", false, true},
        {"bad-packet", std::string("\xA5\x00\x02\x80\x01", 5), false, true},
    };
    for (const auto& c : cases) {
        EngineOptions o = Options();
        ASSERT_TRUE(ParseNpaMode(c.mode, &o.npaMode));
        Engine engine(o);
        Channel channel;
        // byte by byte, as a slow port would deliver it
        std::vector<Bytes> units;
        for (char ch : inquiry) {
            auto u = engine.Feed(channel, Bytes{uint8_t(ch)});
            units.insert(units.end(), u.begin(), u.end());
        }
        std::string answer;
        for (auto& u : units)
            answer.append(u.begin(), u.end());
        EXPECT_EQ(answer, c.answer) << c.mode;
        EXPECT_EQ(engine.Feed(channel, Query({0x0101})).size(), c.bareCommand ? 1u : 0u) << c.mode;
        EXPECT_EQ(Send(engine, channel, Query({0x0101})).size(), c.startedCommand ? 1u : 0u) << c.mode;
        EXPECT_EQ(engine.Feed(channel, Query({0x0101})).size(), c.bareCommand ? 1u : 0u)
            << "one start, one command";
    }
}

TEST(Engine, FaultOptionsPrecedeOrReplaceTheReply) {
    struct Case {
        const char* what;
        void (*set)(EngineOptions&);
        size_t leadingBytes;        // bytes before the first packet
        std::vector<uint8_t> flags; // flags of the packets that follow, in order
    } cases[] = {
        {"stray bytes", [](EngineOptions& o) { o.strayBytes = 6; }, 6, {0x10}},
        {"foreign reply first", [](EngineOptions& o) { o.foreignFirst = true; }, 0, {0x10, 0x10}},
        {"unsolicited error first", [](EngineOptions& o) { o.unsolicitedFirst = true; }, 0, {0x80, 0x10}},
        {"command errors", [](EngineOptions& o) { o.commandErrors = true; }, 0, {0x88}},
        {"silent", [](EngineOptions& o) { o.silent = true; }, 0, {}},
    };
    for (const auto& c : cases) {
        EngineOptions o = Options();
        c.set(o);
        Engine engine(o);
        Channel channel;
        auto units = Send(engine, channel, Query({0x0101}));
        ASSERT_EQ(units.size(), c.flags.empty() ? 0u : 1u) << c.what;
        if (units.empty()) continue;
        const Bytes& u = units[0];
        for (size_t i = 0; i < c.leadingBytes; ++i)
            EXPECT_NE(u[i], 0xA5) << c.what;
        auto packets = Packets(Bytes(u.begin() + (ptrdiff_t)c.leadingBytes, u.end()));
        ASSERT_EQ(packets.size(), c.flags.size()) << c.what;
        for (size_t i = 0; i < packets.size(); ++i)
            EXPECT_EQ(packets[i][3], c.flags[i]) << c.what;
        EXPECT_EQ(packets.back()[4], 0xE0) << c.what;
        if (c.flags.size() == 2 && c.flags[0] == 0x10) {
            EXPECT_NE(packets[0][4], 0xE0) << c.what;
        }
    }
}

TEST(Engine, SettingsMemorySurvivesARestart) {
    orbis::test::TempRoot root;
    std::string path = root.Path() + "/nvram/printer.nvram";
    EngineOptions o = Options();
    o.nvramPath = path;
    {
        Engine engine(o);
        Channel channel;
        Send(engine, channel, Write(0x0112, {0x03}));
        Send(engine, channel, Write(0x0141, {'M', 'e', 'm', 'o'}));
        Send(engine, channel, Write(0x0408, {250})); // refused: not kept
    }
    std::ofstream(path, std::ios::app) << "0504=FF\nnonsense\n0101=01\n"; // a damaged line and a good one
    Engine restarted(o);
    EXPECT_EQ(restarted.Value(0x0112), Bytes({0x03}));
    EXPECT_EQ(restarted.Value(0x0141), Bytes({'M', 'e', 'm', 'o'}));
    EXPECT_EQ(restarted.Value(0x0408), FindSetting(0x0408)->factory);
    EXPECT_EQ(restarted.Value(0x0504), FindSetting(0x0504)->factory);
    EXPECT_EQ(restarted.Value(0x0101), Bytes({0x01}));
    for (const auto& entry : std::filesystem::directory_iterator(root.Path() + "/nvram"))
        EXPECT_EQ(entry.path().filename(), "printer.nvram"); // no temporary file left behind
}

TEST(Engine, DeviceIdCarriesTheChosenMarkerAndModel) {
    struct Case {
        const char* marker;
        const char* mustHold;
    } cases[] = {{"vantrel", "MFG:Vantrel;"},  {"VNPAP", ",VNPAP;"},       {"vnpap", ",vnpap;"},
                 {"Vnpap", ",Vnpap;"},         {"npap-comma", " NPAP,"},   {"npap-semicolon", " NPAP;"},
                 {"CPDNPA00", ",CPDNPA00;"},   {"cpdnpa00", ",cpdnpa00;"}, {"Cpdnpa00", ",Cpdnpa00;"},
                 {"CPDNPA001", ",CPDNPA001;"}, {"npap-nospace", ",NPAP,"}, {"foreign", "MFG:Acme;"}};
    for (const auto& c : cases) {
        std::string id = MakeDeviceId(c.marker, "Laser 10 Plus");
        EXPECT_NE(id.find(c.mustHold), std::string::npos) << c.marker << ": " << id;
        EXPECT_NE(id.find("MODEL:Laser 10 Plus;"), std::string::npos) << c.marker;
    }
    EXPECT_EQ(MakeDeviceId("HP", "x"), "");
}
