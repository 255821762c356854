// The file port: command files and "offline.dat" byte for byte, the size limit,
// the reply-request flag, and the copying of the NT workaround's files.
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc.h"
#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace commtest;
namespace fs = std::filesystem;

namespace {

int Send(const char* port, const Bytes& command, unsigned char* reply = nullptr,
         uint32_t* replyLength = nullptr) {
    return DvcSendCommand(port, command.data(), static_cast<uint16_t>(command.size()), reply, replyLength);
}

} // namespace

TEST(FilePort, SavedCommandFileAndOfflineFileHoldThePacketsByteForByte) {
    struct Case {
        const char* port;        // as the caller names it
        const char* commandFile; // where the packets land
        const char* offlineFile;
    } cases[] = {
        {"C:\\out\\settings.npa", "C:\\out\\settings.npa", "C:\\out\\offline.dat"},
        {"C:\\out/mixed\\x.npa", "C:\\out\\mixed\\x.npa", "C:\\out\\mixed\\offline.dat"},
        {"settings.npa", "settings.npa", "offline.dat"}, // bare name: the current directory
    };
    const Bytes a = Command(7, 0x50), b = Command(9, 0x10), c = Command(12, 0x40);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.port);
        TestWorld world;
        // Longer files from an earlier run: opening empties both.
        WriteBytes(Host(test.commandFile), Bytes(500, 0xEE));
        WriteBytes(Host(test.offlineFile), Bytes(100, 0xEE));
        ASSERT_EQ(DVC_OK, DvcOpenPort(test.port));
        ASSERT_EQ(DVC_OK, DvcOffline(test.port, true));
        // The offline half goes only into "offline.dat".
        EXPECT_EQ(kStart + kOfflineFileCommand, ReadBytes(Host(test.offlineFile)));
        EXPECT_EQ(0u, ReadBytes(Host(test.commandFile)).size());
        for (const auto& command : {a, b, c})
            ASSERT_EQ(DVC_OK, Send(test.port, command));
        ASSERT_EQ(DVC_OK, DvcOffline(test.port, false));
        ASSERT_EQ(DVC_OK, DvcClosePort(test.port));

        Bytes a40 = a, b00 = b;
        a40[3] = 0x40; // reply request cleared, everything else unchanged
        b00[3] = 0x00;
        Bytes expected = kStart + a40 + kStart + b00 + kStart + c + kStart + kOnlineFileCommand;
        EXPECT_EQ(expected, ReadBytes(Host(test.commandFile)));
        EXPECT_EQ(28u, ReadBytes(Host(test.offlineFile)).size());
    }
}

TEST(FilePort, CommandLengthLimitAndReplyRequest) {
    struct Case {
        size_t size;
        unsigned char flags;
        int result;
        unsigned char flagsInFile; // when written
    } cases[] = {
        {512, 0x50, DVC_OK, 0x40}, {513, 0x40, DVC_CMD_FAIL, 0}, {5, 0x90, DVC_OK, 0x80},
        {4, 0x10, DVC_OK, 0x00},   {3, 0x00, DVC_OK, 0},         {0, 0x00, DVC_OK, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.size);
        TestWorld world;
        const Bytes command = Command(test.size, test.flags), callerCopy = command;
        unsigned char reply[2048];
        std::memset(reply, 0x5A, sizeof reply);
        uint32_t replyLength = 777;
        ASSERT_EQ(DVC_OK, DvcOpenPort("cmd.npa"));
        EXPECT_EQ(test.result, Send("cmd.npa", command, reply, &replyLength));
        EXPECT_EQ(callerCopy, command); // the caller's buffer is never changed
        // No reply from a file: buffer and length keep what they held on entry.
        EXPECT_EQ(777u, replyLength);
        EXPECT_EQ(0x5A, reply[0]);
        DvcClosePort("cmd.npa");

        Bytes expected = command;
        if (test.size > 3) expected[3] = test.flagsInFile;
        // Refused before anything is written.
        EXPECT_EQ(test.result == DVC_OK ? kStart + expected : Bytes{}, ReadBytes(Host("cmd.npa")));
    }
}

TEST(FilePort, UnwritablePlacesFailWithoutWritingElsewhere) {
    TestWorld world;
    WriteBytes(Host("C:\\blocker"), Bytes{1}); // a file where a directory is needed
    EXPECT_EQ(DVC_FAIL, DvcOpenPort("C:\\blocker\\settings.npa"));
    EXPECT_EQ(DVC_NOT_OPEN, Send("C:\\blocker\\settings.npa", Command(7, 0x40)));
    EXPECT_EQ('\0', G_szPortName[0]); // a failed open leaves no port open

    // "offline.dat" that cannot be created: DVC_FAIL, and the command file is untouched.
    fs::create_directories(Host("C:\\out\\offline.dat")); // a directory by that name
    ASSERT_EQ(DVC_OK, DvcOpenPort("C:\\out\\settings.npa"));
    EXPECT_EQ(DVC_FAIL, DvcOffline("C:\\out\\settings.npa", true));
    DvcClosePort("C:\\out\\settings.npa");
    EXPECT_TRUE(ReadBytes(Host("C:\\out\\settings.npa")).empty());

    // A link planted at the command file or at "offline.dat" is not written through.
    const Bytes precious(40, 0x11);
    WriteBytes(Host("C:\\precious"), precious);
    fs::create_directories(Host("C:\\links"));
    fs::create_symlink(Host("C:\\precious"), Host("C:\\links\\linked.npa"));
    fs::create_symlink(Host("C:\\precious"), Host("C:\\links\\offline.dat"));
    EXPECT_EQ(DVC_FAIL, DvcOpenPort("C:\\links\\linked.npa"));
    ASSERT_EQ(DVC_OK, DvcOpenPort("C:\\links\\settings.npa"));
    EXPECT_EQ(DVC_FAIL, DvcOffline("C:\\links\\settings.npa", true));
    DvcClosePort("C:\\links\\settings.npa");
    EXPECT_EQ(precious, ReadBytes(Host("C:\\precious")));

    // A full disk: every write fails, and the operations say so.
    ASSERT_EQ(DVC_OK, DvcOpenPort("/dev/full"));
    EXPECT_EQ(DVC_SEND_WRITEFAIL, Send("/dev/full", Command(7, 0x40)));
    EXPECT_EQ(DVC_CMD_FAIL, DvcOffline("/dev/full", false));
    EXPECT_EQ(DVC_OK, DvcClosePort("/dev/full"));
}

// The NT-family workaround: the port is opened write-only and the commands
// collected in a temporary file; on close, "offline.dat" goes to the port first,
// the command file 5 seconds later, and both files are removed.
TEST(FilePort, CopyFilesDeliversOfflineFileFirstThenCommandFile) {
    TestWorld world;
    auto port = FakeParallelPort::Attach("LPT1", "");
    WriteBytes(orbis::platform::Root() + "/windows-family", Hex("4E 54 0A")); // "NT"
    ASSERT_EQ(DVC_OPEN_UNIDIRECTIONAL, DvcOpenPort("LPT1"));
    EXPECT_TRUE(G_bUnidirectional);
    EXPECT_EQ(NPA_AUTO, G_NpaMode);
    EXPECT_STREQ("", G_szDeviceId);
    EXPECT_EQ(0, port->OpenHandles());
    EXPECT_NE(std::string::npos, fs::path(Host(G_szCommandFile)).filename().string().find("LPT"));
    EXPECT_EQ(0u, fs::file_size(Host(G_szCommandFile)));
    ASSERT_EQ(DVC_OK, DvcOffline("LPT1", true));
    ASSERT_EQ(DVC_OK, Send("LPT1", Command(7, 0x50)));
    ASSERT_EQ(DVC_OK, DvcOffline("LPT1", false));
    const std::string offlineFile = Host(G_szOfflineFile), commandFile = Host(G_szCommandFile);
    EXPECT_TRUE(port->Writes().empty()); // collected, not sent yet
    ASSERT_TRUE(fs::exists(offlineFile) && fs::exists(commandFile));

    EXPECT_EQ(DVC_OK, DvcClosePort("LPT1"));
    const Bytes offline = kStart + kOfflineFileCommand;
    EXPECT_EQ(offline + kStart + Command(7, 0x40) + kStart + kOnlineFileCommand, port->All());
    // No write mixes the two files, and the command file's first byte comes at least 5 s later.
    auto writes = port->Writes();
    auto times = port->WriteTimes();
    size_t offset = 0, second = 0;
    while (second < writes.size() && offset < offline.size())
        offset += writes[second++].size();
    EXPECT_EQ(offline.size(), offset);
    ASSERT_LT(second, times.size());
    EXPECT_GE(times[second] - times[0], std::chrono::milliseconds(4900));
    EXPECT_FALSE(fs::exists(offlineFile) || fs::exists(commandFile));
    EXPECT_FALSE(G_bUnidirectional);
    EXPECT_EQ('\0', G_szPortName[0]);
}

// Only a port the close can copy to opens the workaround: otherwise the settings
// would be collected and deleted unsent while the caller saw success.
TEST(FilePort, WorkaroundNeedsAPortTheCopyReaches) {
    TestWorld world;
    auto port = FakeParallelPort::Attach("LPT1", "");
    WriteBytes(orbis::platform::Root() + "/windows-family", Hex("4E 54 0A")); // "NT"
    for (const char* name : {"LPT1 extra", "LPT2"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(DVC_FAIL, DvcOpenPort(name));
        EXPECT_FALSE(G_bUnidirectional);
        EXPECT_TRUE(!fs::exists(Host("C:\\Temp")) || fs::is_empty(Host("C:\\Temp"))); // no file left
    }
    EXPECT_EQ(DVC_OPEN_UNIDIRECTIONAL, DvcOpenPort("LPT1:"));
    EXPECT_EQ(0, port->OpenHandles());
    EXPECT_TRUE(port->Writes().empty());
}
