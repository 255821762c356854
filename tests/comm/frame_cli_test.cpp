// The orbis-cli program on the library: exit status, the files it writes or
// leaves alone, and one clear stderr line per failure.
#include "support/comm_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

using namespace commtest;

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
        {"probe ../keep.npa", 2, Refused("probe", "../keep.npa")},
        {"offline USB999", 3, "orbis-cli: DvcOpenPort(USB999) failed: DVC_FAIL (-1)"},
        {"log-level 0x13", 0, "", 0, 0x13},
        {"log-level 0X10", 0, "", 0, 0x10},
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
        WriteBytes("../keep.npa", kept);
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
        EXPECT_EQ(kept, ReadBytes("../keep.npa"));
        EXPECT_FALSE(std::filesystem::exists("lpt1"));
        uint32_t level = 0xDEAD;
        if (c.arguments.starts_with("log-level")) {
            EXPECT_EQ(c.level >= 0, ReadLoggingLevel(&level));
            EXPECT_EQ(c.level >= 0 ? c.level : 0xDEAD, level);
        }
    }
}
