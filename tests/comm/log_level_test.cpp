// The diagnostic log: line format, the level mask, hex dumps, emptying at
// start, the registry key the level lives in, and an unwritable log.
#include "support/comm_env.h"

#include "dvc.h"
#include "dvc_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

using namespace commtest;

namespace {

const std::regex kLineHead(R"(^[0-2]\d:[0-5]\d:[0-5]\d \d+: )");
const std::regex kHexLine(R"(^([0-9A-F]{2} |   ){16} \| .{1,16}$)"); // the text as long as the run

int CountHexLines(const std::vector<std::string>& messages) {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](const std::string& m) {
        return std::regex_match(m, kHexLine);
    }));
}

// One settings write on a file port: the traffic every level is judged on.
void WriteSequence() {
    const Bytes command = Hex("A5 00 0E 50 30 00 01 02 03 04 05 06 07 08 09 0A 0B");
    ASSERT_EQ(DVC_OK, DvcOpenPort("cmd.npa"));
    ASSERT_EQ(DVC_OK, DvcOffline("cmd.npa", true));
    ASSERT_EQ(DVC_OK, DvcSendCommand("cmd.npa", command.data(), command.size(), nullptr, nullptr));
    ASSERT_EQ(DVC_OK, DvcOffline("cmd.npa", false));
    ASSERT_EQ(DVC_OK, DvcClosePort("cmd.npa"));
}

} // namespace

TEST(LogLevel, MaskSelectsTheLinesAndNonZeroEmptiesTheLogAtStart) {
    struct Case {
        uint32_t level;
        bool entry, steps, hex;
    };
    const Case cases[] = {
        {0x13, true, true, true},   {0x01, true, false, false},  {0x02, false, true, false},
        {0x10, false, false, true}, {0x00, false, false, false}, {0x20, false, false, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.level);
        TestWorld world;
        SetLoggingLevel(test.level);
        WriteBytes(Host("C:\\VanDvc32.log"), Hex("4F 4C 44 0A")); // "OLD\n" from an earlier run
        WriteSequence();

        auto lines = LogLines();
        if (test.level == 0) {
            EXPECT_EQ(std::vector<std::string>{"OLD"}, lines); // neither written nor emptied
            continue;
        }
        EXPECT_EQ(test.entry || test.steps || test.hex, !lines.empty());
        EXPECT_FALSE(Logged("OLD"));
        for (const auto& line : lines)
            EXPECT_TRUE(line.empty() || std::regex_search(line, kLineHead)) << line;

        auto messages = LogMessages();
        EXPECT_EQ(test.entry, Logged("DvcOffline(cmd.npa, offline) - offline file is [offline.dat]"));
        EXPECT_EQ(test.steps, Logged("FileSendCommand(): response requested, tweaking command buffer"));
        // Dumps: the command as given, the command as written, offline and online.
        EXPECT_EQ(test.hex ? 2 + 2 + 1 + 1 : 0, CountHexLines(messages));
        if (test.level == 0x10) {
            EXPECT_EQ(CountHexLines(messages) + 4, int(messages.size())); // and four closing empty lines
        }
    }
}

TEST(LogLevel, HexDumpLines) {
    struct Case {
        uint32_t level;
        Bytes bytes;
        std::vector<std::string> messages; // what the log then holds
    };
    Bytes seventeen;
    for (int i = 0; i < 17; ++i)
        seventeen.push_back(static_cast<unsigned char>(0x41 + i));
    const Case cases[] = {
        {0x10,
         seventeen,
         {"41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  | ABCDEFGHIJKLMNOP",
          "51" + std::string(46, ' ') + " | Q", ""}}, // a short run's text ends with its last byte
        {0x10,
         Hex("00 1F 20 7E 7F 80 FF A5 2E 30 39 7A 5B 5D 7C 0A"),
         {"00 1F 20 7E 7F 80 FF A5 2E 30 39 7A 5B 5D 7C 0A  | .. ~.....09z[]|.", ""}},
        {0x11, Hex("A5"), {"A5" + std::string(46, ' ') + " | .", ""}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.level);
        TestWorld world;
        DvcInit();
        G_LoggingLevel = test.level;
        DvcLogHex(test.bytes.data(), static_cast<uint16_t>(test.bytes.size()));
        EXPECT_EQ(test.messages, LogMessages());
    }
}

TEST(LogLevel, RegistryKeyIsReadOrCreated) {
    struct Case {
        const char* name;
        bool key;        // key and value exist before the start (else created, with the access list)
        uint32_t stored; // the value then
        uint32_t level;  // what the library reads
    };
    const Case cases[] = {
        {"no key", false, 0, 0},
        {"value 0x13", true, 0x13, 0x13},
        {"value 0", true, 0, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TestWorld world;
        if (test.key) SetLoggingLevel(test.stored);
        G_LoggingLevel = 0xFFFFFFFF;
        DvcInit();
        EXPECT_EQ(test.level, G_LoggingLevel);
        uint32_t stored = 0xDEAD;
        ASSERT_TRUE(ReadLoggingLevel(&stored)); // the value exists afterwards in every case
        EXPECT_EQ(test.level, stored);
        EXPECT_EQ(test.key ? "" : "S-1-5-32-545:F003F,S-1-5-32-544:F003F,S-1-5-18:F003F",
                  RecordedDacl("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTREL\\VANDVC"));

        // The next start reads the same.
        ResetLibrary();
        G_LoggingLevel = 0xFFFFFFFF;
        DvcInit();
        EXPECT_EQ(test.level, G_LoggingLevel);
    }
}

TEST(LogLevel, UnwritableLogDropsLinesAndNothingFails) {
    // A directory never opens as a file; a link planted at the name is never written through.
    for (bool link : {false, true}) {
        SCOPED_TRACE(link ? "link" : "directory");
        TestWorld world;
        SetLoggingLevel(0x13);
        const Bytes precious(40, 0x11);
        WriteBytes(Host("C:\\precious"), precious);
        if (link)
            std::filesystem::create_symlink(Host("C:\\precious"), Host("C:\\VanDvc32.log"));
        else
            std::filesystem::create_directories(Host("C:\\VanDvc32.log"));
        WriteSequence();
        EXPECT_EQ(19u + 17u + 19u + 9u, ReadBytes("cmd.npa").size());
        EXPECT_EQ(28u, ReadBytes("offline.dat").size());
        EXPECT_EQ(precious, ReadBytes(Host("C:\\precious")));
        EXPECT_EQ(link, std::filesystem::is_symlink(Host("C:\\VanDvc32.log")));
    }
}
