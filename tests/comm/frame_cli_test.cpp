// The orbis-cli program on the library: exit status, files it writes, and one
// clear stderr line per failure.
#include "support/comm_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

using namespace commtest;

namespace {

struct CliRun {
    int status;
    std::vector<std::string> out, err;
};

CliRun Cli(const std::string& world, const std::string& arguments) {
    // CTest names the folder the programs are built into.
    const char* bin = std::getenv("ORBIS_BIN_DIR");
    std::string program = std::string(bin ? bin : "bin") + "/orbis-cli";
    if (!std::filesystem::exists(program)) {
        ADD_FAILURE() << program << " not found (is ORBIS_BIN_DIR set and orbis-cli built?)";
        return {-1, {}, {}};
    }
    std::string out = world + "/cli.out", err = world + "/cli.err";
    std::string line = "'" + program + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
    int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadLines(out), ReadLines(err)};
}

std::string Refused(const std::string& command, const std::string& name) {
    return "orbis-cli: " + command + ": '" + name + "' is not a printer port (LPTn or USBnnn, upper case); " +
           command + " never opens a file";
}

std::string HexArg(size_t size, unsigned char flags) {
    return HexText(Command(size, flags));
}

} // namespace

TEST(FrameCli, SubcommandsExitStatusFilesAndMessages) {
    struct Case {
        const char* name;
        std::string arguments;
        int status;
        std::string errorStart; // the one stderr line, or "" for none
        const char* commandFile;
        size_t commandSize;
        const char* offlineFile;
        size_t offlineSize;
    };
    const std::string three = HexArg(7, 0x50) + " " + HexArg(9, 0x50) + " " + HexArg(12, 0x40);
    const Case cases[] = {
        {"write where no file can be", "write 'C:\\blocker\\settings.npa' " + three, 6,
         "orbis-cli: DvcOpenPort(C:\\blocker\\settings.npa) failed: DVC_FAIL (-1)", nullptr, 0, nullptr, 0},
        {"write a command too long", "write a.npa " + HexArg(513, 0x40), 6,
         "orbis-cli: DvcSendCommand(a.npa, command 1) failed: DVC_CMD_FAIL (-3)", "a.npa", 28, "offline.dat",
         28},
        {"write bad hex", "write a.npa A5XX", 2, "orbis-cli: bad hex command 'A5XX'", nullptr, 0, nullptr, 0},
        // Commands that only talk to printers never open (and empty) a file of that name.
        {"offline on a file", "offline keep.npa", 2, Refused("offline", "keep.npa"), nullptr, 0, nullptr, 0},
        {"online on lower case", "online lpt1", 2, Refused("online", "lpt1"), nullptr, 0, nullptr, 0},
        {"probe on a path", "probe ../keep.npa", 2, Refused("probe", "../keep.npa"), nullptr, 0, nullptr, 0},
        {"query on COM1", "query COM1", 2, Refused("query", "COM1"), nullptr, 0, nullptr, 0},
        {"0x inside a command", "send LPT1 10x0", 2, "orbis-cli: bad hex command '10x0'", nullptr, 0, nullptr,
         0},
        {"no such printer", "offline USB999", 3, "orbis-cli: DvcOpenPort(USB999) failed: DVC_FAIL (-1)",
         nullptr, 0, nullptr, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TestWorld world;
        WriteBytes(Host("C:\\blocker"), Bytes{1});
        const Bytes kept(86, 0xA5); // a saved command file nobody asked to write
        WriteBytes("./keep.npa", kept);
        WriteBytes("../keep.npa", kept);
        CliRun run = Cli(world.cwd() + "/..", test.arguments);
        EXPECT_EQ(test.status, run.status);
        if (!test.errorStart.empty()) {
            ASSERT_EQ(1u, run.err.size());
            EXPECT_EQ(test.errorStart, run.err[0]);
        } else {
            EXPECT_TRUE(run.err.empty()) << run.err[0];
        }
        if (test.commandFile) {
            EXPECT_EQ(test.commandSize, ReadBytes(Host(test.commandFile)).size());
        }
        if (test.offlineFile) {
            EXPECT_EQ(test.offlineSize, ReadBytes(Host(test.offlineFile)).size());
        }
        EXPECT_EQ(kept, ReadBytes("./keep.npa"));
        EXPECT_EQ(kept, ReadBytes("../keep.npa"));
        EXPECT_FALSE(std::filesystem::exists("lpt1") || std::filesystem::exists("COM1"));
    }
}

TEST(FrameCli, LogLevelSetsTheRegistryValue) {
    struct Case {
        const char* argument;
        int status;
        uint32_t level; // in the registry afterwards (when status is 0)
    };
    const Case cases[] = {
        {"0x13", 0, 0x13},    {"19", 0, 19}, {"0X10", 0, 0x10}, {"0", 0, 0},  {"4294967295", 0, 0xFFFFFFFF},
        {"4294967296", 2, 0}, {"-1", 2, 0},  {"abc", 2, 0},     {"0x", 2, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.argument);
        TestWorld world;
        CliRun run = Cli(world.cwd() + "/..", std::string("log-level ") + test.argument);
        EXPECT_EQ(test.status, run.status);
        uint32_t level = 0xDEAD;
        if (test.status == 0) {
            ASSERT_TRUE(ReadLoggingLevel(&level));
            EXPECT_EQ(test.level, level);
            EXPECT_EQ("S-1-5-32-545:F003F,S-1-5-32-544:F003F,S-1-5-18:F003F",
                      RecordedDacl("HKEY_LOCAL_MACHINE\\SOFTWARE\\VANTREL\\VANDVC"));
        } else {
            EXPECT_FALSE(ReadLoggingLevel(&level));
            EXPECT_EQ(1u, run.err.size());
        }
    }
}
