// The printer engine in-process, with the printer program's behaviour options: reply layout, bound and
// chaining, writes, offline and online with the alert, the fault options, and the PJL inquiry.
#include "behaviour.h"
#include "engine.h"
#include "firmware.h"

#include <gtest/gtest.h>

#include <regex>
#include <tuple>

using namespace orbis::sim;

namespace {

const Bytes kNpaStart = {0xA5, 0x00, 0x10, 0x80, 0xA4, 0x5B, 0xA4, 0x5B, 0x10, 0xEF,
                         0xA4, 0x5B, 0x11, 0xEE, 0x00, 0xFF, 0x13, 0xEC, 0x2E};

// The engine's options from the printer program's command-line words, e.g. "--chain 4 --silent".
EngineOptions Options(const std::string& line) {
    Behaviour behaviour;
    std::string error;
    const auto words = Words(line);
    for (size_t at = 0; at < words.size(); ++at)
        EXPECT_TRUE(TakeBehaviourOption(words, &at, &behaviour, &error) && error.empty()) << line << error;
    return behaviour.engine;
}

Bytes Query(std::vector<uint16_t> ids) {
    Bytes data = {0xE7, 0x20, uint8_t(ids.size())};
    for (uint16_t id : ids)
        data.insert(data.end(), {uint8_t(id >> 8), uint8_t(id)});
    return MakePacket(0x50, 0xE0, data);
}

Bytes Write(uint16_t id, Bytes value, uint8_t flags = 0x40) {
    value.insert(value.begin(), {0xE7, 0x31, uint8_t(id >> 8), uint8_t(id)});
    return MakePacket(flags, 0xE0, value);
}

// Sends commands in one write, each behind the NPA start packet as the library does in NPA_AUTO.
std::vector<Bytes> Send(Engine& engine, Channel& channel, const std::vector<Bytes>& commands) {
    Bytes all;
    for (const Bytes& command : commands) {
        all.insert(all.end(), kNpaStart.begin(), kNpaStart.end());
        all.insert(all.end(), command.begin(), command.end());
    }
    return engine.Feed(channel, all);
}

// The answers as text: per packet (split by its length field) its flags, command byte (00 for one the
// host did not send) and ninth byte (00 if none) in hex and a blank; a "~" per byte outside a packet.
std::string Shape(const std::vector<Bytes>& units) {
    std::string shape;
    for (const Bytes& unit : units)
        for (size_t at = 0; at < unit.size(); ++at) {
            if (unit[at] != 0xA5 || at + 5 > unit.size()) {
                shape += "~";
                continue;
            }
            const size_t end = std::min(unit.size(), at + 3 + (size_t(unit[at + 1]) << 8 | unit[at + 2]));
            const uint8_t command = unit[at + 4] == 0xE0 || unit[at + 4] == 0xF0 ? unit[at + 4] : 0;
            shape += Hex(Bytes{unit[at + 3], command, end > at + 8 ? unit[at + 8] : uint8_t(0)}) + " ";
            at = end - 1;
        }
    return shape;
}

} // namespace

TEST(Engine, QueryReplyHoldsOneItemPerIdentifierWithin2048Bytes) {
    Engine engine({});
    Channel channel;
    // identifier, length, data per item; an identifier the printer lacks gets no data
    EXPECT_EQ(
        Send(engine, channel, {Query({0x0101, 0x0408, 0x0409, 0x0141, 0x7777})}),
        std::vector<Bytes>({{0xA5, 0x00, 0x19, 0x10, 0xE0, 0xE7, 0x20, 0x01, 0x01, 1, 0x00, 0x04, 0x08, 1, 30,
                             0x04, 0x09, 4,    0,    0,    0,    90,   0x01, 0x41, 0, 0x77, 0x77, 0}}));
    Send(engine, channel, {Write(0x0407, Bytes(6, 'T'))});
    // 227 items of 9 bytes would take 2050 bytes with the header: the last one is left out.
    auto units = Send(engine, channel, {Query(std::vector<uint16_t>(227, 0x0407))});
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].size(), 7u + 9 * 226);
}

TEST(Engine, WritesAreAcceptedOnlyWithinTheFirmwareLimits) {
    // Eight Hangul syllables are 16 bytes in code page 949 ("가" B0 A1, "똠" 8C 63), 24 in UTF-8.
    const Bytes hangul = {0xB0, 0xA1, 0x8C, 0x63, 0xB0, 0xA1, 0x8C, 0x63,
                          0xB0, 0xA1, 0x8C, 0x63, 0xB0, 0xA1, 0x8C, 0x63};
    const std::tuple<const char*, uint16_t, Bytes, bool> cases[] = {
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
        {"Hangul in code page 949 at the limit", 0x0141, hangul, true},
        {"Hangul in UTF-8", 0x0141, {0xEA, 0xB0, 0x80, 0xEA, 0xB0, 0x80}, false},
        {"a lead byte without its trail byte", 0x0141, {'A', 0xB0}, false},
        {"empty text", 0x0141, {}, true},
        {"unknown setting", 0x7777, {1}, false},
    };
    for (const auto& [what, id, value, accepted] : cases) {
        Engine engine({});
        Channel channel;
        const Bytes before = engine.Value(id);
        EXPECT_EQ(Shape(Send(engine, channel, {Write(id, value)})), "") << what << ": answered unasked";
        EXPECT_EQ(engine.Value(id), accepted ? value : before) << what;
        EXPECT_EQ(Shape(Send(engine, channel, {Write(id, value, 0x50)})).substr(0, 4),
                  accepted ? "10E0" : "88E0")
            << what;
    }
}

TEST(Engine, OfflineOnlineChainingAndFaultsShapeTheAnswer) {
    const Bytes query = Query({0x0101}), offline = {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x0C, 0x01, 0x00};
    const Bytes online = {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x0C, 0x00, 0x00};
    const Bytes registration = {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x03, 0x40}; // for the offline alert
    const Bytes miscounted = MakePacket(0x50, 0xE0, {0xE7, 0x20, 1, 0x01, 0x01, 0x01, 0x01});
    // options, commands, offline after them, the shape of their answers ("." for any digit)
    const std::tuple<const char*, std::vector<Bytes>, bool, const char*> cases[] = {
        {"", {registration, offline}, true, "10E0.. 10E001 ..F001 "},
        {"", {registration, online}, false, "10E0.. 10E001 ..F000 "},
        {"", {offline}, true, "10E001 "}, // no alert when not registered
        {"--refuse-offline", {registration, offline}, false, "10E0.. 10E000 "},
        {"--alert-first", {registration, offline}, true, "10E0.. ..F001 10E001 "},
        {"", {miscounted}, false, "88E0.. "}, // two identifiers under a count of one: a command error
        {"--chain 4", {query}, false, "30E001 10E0.. "},
        {"--stray 6", {query}, false, "~~~~~~10E001 "},
        {"--foreign-first", {query}, false, "1000.. 10E001 "},
        {"--unsolicited-first", {query}, false, "80.... 10E001 "},
        {"--command-errors", {query}, false, "88E0.. "},
        {"--silent", {query}, false, ""},
    };
    for (const auto& [options, commands, offlineAfter, shape] : cases) {
        Engine engine(Options(options));
        Channel channel;
        const std::string answer = Shape(Send(engine, channel, commands));
        EXPECT_TRUE(std::regex_match(answer, std::regex(shape))) << options << ": " << answer;
        EXPECT_EQ(engine.IsOffline(), offlineAfter) << options << " " << shape;
    }
}

TEST(Engine, PjlInquiryAndNpaStartFollowTheMode) {
    const std::string inquiry = "\x1b%-12345X@PJL DINQUIRE VNPAP\r\n\x1b%-12345X",
                      text = "@PJL DINQUIRE VNPAP\r\n";
    // mode, answer to the inquiry, replies to a command without and behind the NPA start packet
    const std::tuple<const char*, std::string, size_t, size_t> cases[] = {
        {"auto", text + "AUTO\r\n\f", 0, 1},
        {"off", text + "OFF\r\n\f", 0, 0},
        {"on", std::string("\xA5\x00\x02\x80\x00", 5), 1, 1},
        {"silent", "", 0, 1},
        {"pjl-on", text + "ON\r\n\f", 0, 1},
        {"bad-packet", std::string("\xA5\x00\x02\x80\x01", 5), 0, 1},
    };
    for (const auto& [mode, expected, bare, started] : cases) {
        Engine engine(Options(std::string("--npa-mode ") + mode));
        Channel channel;
        std::string answer;
        for (char ch : inquiry) // byte by byte, as a slow port would deliver it
            for (const Bytes& u : engine.Feed(channel, Bytes{uint8_t(ch)}))
                answer.append(u.begin(), u.end());
        EXPECT_EQ(answer, expected) << mode;
        // bare, behind the start packet, bare again: one start packet arms one command
        const Bytes query = Query({0x0101});
        const std::vector<size_t> replies = {engine.Feed(channel, query).size(),
                                             Send(engine, channel, {query}).size(),
                                             engine.Feed(channel, query).size()};
        EXPECT_EQ(replies, (std::vector<size_t>{bare, started, bare})) << mode;
    }
}
