// The diagnostic log: the level mask, emptying at start, an unwritable log, the
// hex dump, and the registry value the level lives in.
#include "support/comm_env.h"

#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

using namespace commtest;
namespace fs = std::filesystem;

TEST(LogLevel, MaskSelectsTheLinesAndAnUnwritableLogFailsNothing) {
    const Bytes command = Hex("A5 00 0E 50 30 00 01 02 03 04 05 06 07 08 09 0A 0B");
    const std::regex head(R"(^[0-2]\d:[0-5]\d:[0-5]\d \d+: .*)");
    const std::regex hexLine(R"(^([0-9A-F]{2} |   ){16} \| .{1,16}$)");
    enum Log { Old, Directory, Link }; // what stands at "C:\VanDvc32.log" before the start
    const struct Case {
        uint32_t level;
        Log log;
        bool entry, steps;
        int hexLines; // the command as given and as written, offline, online
    } cases[] = {
        {0x13, Old, true, true, 6},         {0x01, Old, true, false, 0},   {0x02, Old, false, true, 0},
        {0x10, Old, false, false, 6},       {0x20, Old, false, false, 0},  {0x00, Old, false, false, 0},
        {0x13, Directory, false, false, 0}, {0x13, Link, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.level) + " " + std::to_string(c.log));
        TestWorld world;
        SetLoggingLevel(c.level);
        const Bytes precious(40, 0x11);
        WriteBytes(Host("C:\\precious"), precious);
        if (c.log == Old) WriteBytes(Host("C:\\VanDvc32.log"), Hex("4F 4C 44 0A")); // "OLD\n"
        if (c.log == Link) fs::create_symlink(Host("C:\\precious"), Host("C:\\VanDvc32.log"));
        if (c.log == Directory) fs::create_directories(Host("C:\\VanDvc32.log"));
        ASSERT_EQ(DVC_OK, DvcOpenPort("cmd.npa"));
        ASSERT_EQ(DVC_OK, DvcOffline("cmd.npa", true));
        ASSERT_EQ(DVC_OK, DvcSendCommand("cmd.npa", command.data(), command.size(), nullptr, nullptr));
        ASSERT_EQ(DVC_OK, DvcOffline("cmd.npa", false));
        ASSERT_EQ(DVC_OK, DvcClosePort("cmd.npa"));
        EXPECT_EQ(19u + 17u + 19u + 9u, ReadBytes("cmd.npa").size());
        EXPECT_EQ(precious, ReadBytes(Host("C:\\precious"))); // a planted link is not written through

        auto messages = LogMessages();
        if (c.level == 0) {
            EXPECT_EQ(std::vector<std::string>{"OLD"}, messages); // neither written nor emptied
        }
        if (c.level == 0 || c.log != Old) continue;
        for (const auto& line : LogLines())
            EXPECT_TRUE(line.empty() || std::regex_match(line, head)) << line;
        EXPECT_EQ(c.entry, Logged("DvcOffline(cmd.npa, offline) - offline file is [offline.dat]"));
        EXPECT_EQ(c.steps, Logged("FileSendCommand(): response requested, tweaking command buffer"));
        EXPECT_EQ(c.hexLines, std::count_if(messages.begin(), messages.end(), [&](const std::string& m) {
                      return std::regex_match(m, hexLine);
                  }));
        EXPECT_FALSE(Logged("OLD"));
    }
}

TEST(LogLevel, HexDumpShowsPrintableAsciiOnly) {
    TestWorld world;
    DvcInit();
    G_LoggingLevel = 0x10;
    const Bytes bytes = Hex("00 1F 20 7E 7F 80 FF A5 2E 30 39 7A 5B 5D 7C 0A 41");
    DvcLogHex(bytes.data(), static_cast<uint16_t>(bytes.size()));
    // A short run keeps the columns and its text ends with its last byte.
    EXPECT_EQ(LogMessages(), std::vector<std::string>({"00 1F 20 7E 7F 80 FF A5 2E 30 39 7A 5B 5D 7C 0A  | "
                                                       ".. ~.....09z[]|.",
                                                       "41" + std::string(46, ' ') + " | A", ""}));
}

TEST(LogLevel, RegistryValueIsReadOrCreated) {
    const struct Case {
        bool key;        // the value exists before the start (else key and value are created)
        uint32_t stored; // the value then, and what the library reads
    } cases[] = {{false, 0}, {true, 0x13}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        TestWorld world;
        if (c.key) SetLoggingLevel(c.stored);
        G_LoggingLevel = 0xFFFFFFFF;
        DvcInit();
        EXPECT_EQ(c.stored, G_LoggingLevel);
        uint32_t stored = 0xDEAD;
        ASSERT_TRUE(ReadLoggingLevel(&stored));
        EXPECT_EQ(c.stored, stored);
        // A created key carries the access list: users, administrators and the system may change it.
        bool dacl = false;
        for (const auto& line : ReadLines(orbis::platform::Root() + "/registry.reg"))
            dacl |= line == ";@dacl=S-1-5-32-545:F003F,S-1-5-32-544:F003F,S-1-5-18:F003F";
        EXPECT_EQ(!c.key, dacl);
    }
}
