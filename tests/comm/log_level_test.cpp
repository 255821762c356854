// The diagnostic log (its level's registry value, the mask, the hex dump, an unwritable log)
// and orbis-cli on the library: exit status, files written or left alone, one stderr line.
#include "support/comm_env.h"

#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sys/wait.h>

using namespace commtest;
namespace fs = std::filesystem;

TEST(LogLevel, RegistryValueAndMaskSelectTheLinesAndAnUnwritableLogFailsNothing) {
    const Bytes command = {0xA5, 0x00, 0x0E, 0x50, 0x30, 0x20, 0x7E, 0x7F, 0x80,
                           0xFF, 0x41, 0x7A, 0x5B, 0x5D, 0x7C, 0x0A, 0x0B};
    const std::regex head(R"(^[0-2]\d:[0-5]\d:[0-5]\d \d+: .*)");
    const std::regex hexLine(R"(^([0-9A-F]{2} |   ){16} \| .{1,16}$)");
    // What stands at "C:\VanDvc32.log" before the start; NoKey: "OLD" too, and no LoggingLevel value.
    enum Log { Old, Directory, Link, NoKey };
    const struct Case {
        uint32_t level;
        Log log;
        bool entry, steps;
        int hexLines; // the command as given and as written, offline, online
    } cases[] = {
        {0x13, Old, true, true, 6},         {0x01, Old, true, false, 0},   {0x02, Old, false, true, 0},
        {0x10, Old, false, false, 6},       {0x20, Old, false, false, 0},  {0x00, Old, false, false, 0},
        {0x13, Directory, false, false, 0}, {0x13, Link, false, false, 0}, {0x00, NoKey, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.level) + " " + std::to_string(c.log));
        TestWorld world;
        if (c.log != NoKey) SetLoggingLevel(c.level);
        const Bytes precious(40, 0x11);
        WriteBytes(Host("C:\\precious"), precious);
        if (c.log == Old || c.log == NoKey) WriteBytes(Host("C:\\VanDvc32.log"), Bytes{'O', 'L', 'D', '\n'});
        if (c.log == Link) fs::create_symlink(Host("C:\\precious"), Host("C:\\VanDvc32.log"));
        if (c.log == Directory) fs::create_directories(Host("C:\\VanDvc32.log"));
        ASSERT_EQ(DVC_OK, DvcOpenPort("cmd.npa"));
        ASSERT_EQ(DVC_OK, DvcOffline("cmd.npa", true));
        ASSERT_EQ(DVC_OK, DvcSendCommand("cmd.npa", command.data(), command.size(), nullptr, nullptr));
        ASSERT_EQ(DVC_OK, DvcOffline("cmd.npa", false));
        ASSERT_EQ(DVC_OK, DvcClosePort("cmd.npa"));
        EXPECT_EQ(19u + 17u + 19u + 9u, ReadBytes("cmd.npa").size());
        EXPECT_EQ(precious, ReadBytes(Host("C:\\precious"))); // a planted link is not written through
        uint32_t stored = 0xDEAD;                             // a missing value is created
        EXPECT_TRUE(ReadLoggingLevel(&stored));
        EXPECT_EQ(c.level, stored);
        // A created key carries the access list: users, administrators and the system may change it.
        bool dacl = false;
        for (const auto& line : ReadLines(orbis::platform::Root() + "/registry.reg"))
            dacl |= line == ";@dacl=S-1-5-32-545:F003F,S-1-5-32-544:F003F,S-1-5-18:F003F";
        EXPECT_EQ(c.log == NoKey, dacl);

        auto messages = LogMessages();
        if (c.level == 0) {
            EXPECT_EQ(std::vector<std::string>{"OLD"}, messages); // neither written nor emptied
        }
        if (c.level == 0 || c.log != Old) continue;
        for (const auto& line : ReadLines(Host("C:\\VanDvc32.log")))
            EXPECT_TRUE(line.empty() || std::regex_match(line, head)) << line;
        EXPECT_EQ(c.entry, Logged("DvcOffline(cmd.npa, offline) - offline file is [offline.dat]"));
        EXPECT_EQ(c.steps, Logged("FileSendCommand(): response requested, tweaking command buffer"));
        EXPECT_EQ(c.hexLines, std::count_if(messages.begin(), messages.end(), [&](const std::string& m) {
                      return std::regex_match(m, hexLine);
                  }));
        EXPECT_FALSE(Logged("OLD"));
        // Printable ASCII shows as text; a short run keeps the columns, its text ends with its last byte.
        EXPECT_EQ(c.hexLines > 0,
                  Logged("A5 00 0E 50 30 20 7E 7F 80 FF 41 7A 5B 5D 7C 0A  | ...P0 ~...Az[]|."));
        EXPECT_EQ(c.hexLines > 0, Logged("0B" + std::string(46, ' ') + " | ."));
    }
}

namespace {

std::string Refused(const std::string& command, const std::string& name) {
    return "orbis-cli: " + command + ": '" + name + "' is not a printer port (LPTn or USBnnn, upper case); " +
           command + " never opens a file";
}

std::string HexArg(size_t size) {
    std::string text;
    for (unsigned char b : Command(size, 0x50))
        text += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    return text;
}

} // namespace

TEST(FrameCli, ExitStatusFilesAndMessages) {
    const struct Case {
        std::string arguments;
        int status;
        std::string error;  // the one stderr line, or "" for none
        size_t written = 0; // bytes in "a.npa" and "offline.dat" afterwards (no file: 0)
        int64_t level = -1; // what log-level leaves in the registry, -1: no value
    } cases[] = {
        {"write 'C:\\blocker\\settings.npa' " + HexArg(7), 6,
         "orbis-cli: DvcOpenPort(C:\\blocker\\settings.npa) failed: DVC_FAIL (-1)"},
        {"write a.npa " + HexArg(513), 6,
         "orbis-cli: DvcSendCommand(a.npa, command 1) failed: DVC_CMD_FAIL (-3)", 28},
        {"write a.npa A5XX", 2, "orbis-cli: bad hex command 'A5XX'"},
        {"send LPT1 10x0", 2, "orbis-cli: bad hex command '10x0'"},
        // Commands that only talk to printers never open (and empty) a file of that name.
        {"offline keep.npa", 2, Refused("offline", "keep.npa")},
        {"online lpt1", 2, Refused("online", "lpt1")},
        {"offline USB999", 3, "orbis-cli: DvcOpenPort(USB999) failed: DVC_FAIL (-1)"},
        {"log-level 0x13", 0, "", 0, 0x13},
        {"log-level 4294967295", 0, "", 0, 0xFFFFFFFF},
        {"log-level 4294967296", 2, ""},
        {"log-level -1", 2, ""},
        {"log-level 0x", 2, ""},
    };
    const char* bin = std::getenv("ORBIS_BIN_DIR"); // set by CTest
    const std::string program = std::string(bin ? bin : "bin") + "/orbis-cli";
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TestWorld world;
        WriteBytes(Host("C:\\blocker"), Bytes{1}); // a file where a directory is needed
        const Bytes kept(86, 0xA5);                // a saved command file nobody asked to write
        WriteBytes("keep.npa", kept);
        std::string line = "'" + program + "' " + c.arguments + " >../out 2>../err";
        int status = std::system(line.c_str());
        EXPECT_EQ(c.status, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        auto err = ReadLines("../err");
        ASSERT_EQ(c.status ? 1u : 0u, err.size());
        if (!c.error.empty()) {
            EXPECT_EQ(c.error, err[0]);
        }
        EXPECT_EQ(c.written, ReadBytes("a.npa").size());
        EXPECT_EQ(c.written, ReadBytes("offline.dat").size());
        EXPECT_EQ(kept, ReadBytes("keep.npa"));
        EXPECT_FALSE(std::filesystem::exists("lpt1"));
        uint32_t level = 0xDEAD;
        if (c.arguments.starts_with("log-level")) {
            EXPECT_EQ(c.level >= 0, ReadLoggingLevel(&level));
            EXPECT_EQ(c.level >= 0 ? c.level : 0xDEAD, level);
        }
    }
}
