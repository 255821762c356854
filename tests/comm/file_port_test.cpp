// The file port: command files and "offline.dat" byte for byte, the size limit,
// the reply-request flag, and the copying of the NT workaround's files.
#include "support/comm_env.h"

#include "dvc.h"
#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace commtest;

namespace {

Bytes Command(size_t size, unsigned char flags) {
    Bytes command(size, 0x00);
    if (size == 0) return command;
    command[0] = 0xA5;
    if (size > 2) {
        command[1] = static_cast<unsigned char>((size - 3) >> 8);
        command[2] = static_cast<unsigned char>(size - 3);
    }
    if (size > 3) command[3] = flags;
    if (size > 4) command[4] = 0x30;
    for (size_t i = 5; i < size; ++i)
        command[i] = static_cast<unsigned char>(i * 7);
    return command;
}

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
    };
    const Case cases[] = {
        {"C:\\out\\settings.npa", "C:\\out\\settings.npa", "C:\\out\\offline.dat"},
        {"C:/out/sub/settings.npa", "C:\\out\\sub\\settings.npa", "C:\\out\\sub\\offline.dat"},
        {"C:\\out/mixed\\x.npa", "C:\\out\\mixed\\x.npa", "C:\\out\\mixed\\offline.dat"},
        {"settings.npa", "settings.npa", "offline.dat"}, // bare name: the current directory
        {"usb001", "usb001", "offline.dat"},
    };
    const Bytes a = Command(7, 0x50), b = Command(9, 0x10), c = Command(12, 0x40);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.port);
        TestWorld world;
        auto directory = std::filesystem::path(Host(test.commandFile)).parent_path();
        if (!directory.empty()) std::filesystem::create_directories(directory);

        ASSERT_EQ(DVC_OK, DvcOpenPort(test.port));
        ASSERT_EQ(DVC_OK, DvcOffline(test.port, true));
        // The offline half goes only into "offline.dat".
        EXPECT_EQ(Concat({kStart, kOfflineFileCommand}), ReadBytes(Host(test.offlineFile)));
        EXPECT_EQ(0u, ReadBytes(Host(test.commandFile)).size());

        for (const auto& command : {a, b, c})
            ASSERT_EQ(DVC_OK, Send(test.port, command));
        ASSERT_EQ(DVC_OK, DvcOffline(test.port, false));
        ASSERT_EQ(DVC_OK, DvcClosePort(test.port));

        Bytes a40 = a, b00 = b;
        a40[3] = 0x40; // reply request cleared, everything else unchanged
        b00[3] = 0x00;
        Bytes expected = Concat({kStart, a40, kStart, b00, kStart, c, kStart, kOnlineFileCommand});
        ASSERT_EQ(113u, expected.size());
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
    };
    const Case cases[] = {
        {512, 0x50, DVC_OK, 0x40}, {513, 0x40, DVC_CMD_FAIL, 0}, {600, 0x10, DVC_CMD_FAIL, 0},
        {5, 0x90, DVC_OK, 0x80},   {4, 0x10, DVC_OK, 0x00},      {3, 0x00, DVC_OK, 0},
        {0, 0x00, DVC_OK, 0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.size);
        TestWorld world;
        Bytes command = Command(test.size, test.flags);
        const Bytes callerCopy = command;
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

        Bytes file = ReadBytes(Host("cmd.npa"));
        if (test.result != DVC_OK) {
            EXPECT_TRUE(file.empty()); // refused before anything is written
            continue;
        }
        Bytes expected = command;
        if (test.size > 3) expected[3] = test.flagsInFile;
        EXPECT_EQ(Concat({kStart, expected}), file);
    }
}

TEST(FilePort, OpeningEmptiesAnOlderLongerFile) {
    TestWorld world;
    WriteBytes(Host("C:\\old.npa"), Bytes(500, 0xEE));
    WriteBytes(Host("C:\\offline.dat"), Bytes(100, 0xEE));
    ASSERT_EQ(DVC_OK, DvcOpenPort("C:\\old.npa"));
    EXPECT_TRUE(ReadBytes(Host("C:\\old.npa")).empty());
    ASSERT_EQ(DVC_OK, DvcOffline("C:\\old.npa", true));
    ASSERT_EQ(DVC_OK, Send("C:\\old.npa", Command(7, 0x40)));
    DvcClosePort("C:\\old.npa");
    EXPECT_EQ(26u, ReadBytes(Host("C:\\old.npa")).size());
    EXPECT_EQ(Concat({kStart, kOfflineFileCommand}), ReadBytes(Host("C:\\offline.dat")));
}

TEST(FilePort, UnwritablePlacesFailWithoutWritingElsewhere) {
    TestWorld world;
    WriteBytes(Host("C:\\blocker"), Bytes{1}); // a file where a directory is needed
    EXPECT_EQ(DVC_FAIL, DvcOpenPort("C:\\blocker\\settings.npa"));
    EXPECT_EQ(DVC_NOT_OPEN, DvcOffline("C:\\blocker\\settings.npa", true));
    EXPECT_EQ(DVC_NOT_OPEN, Send("C:\\blocker\\settings.npa", Command(7, 0x40)));
    EXPECT_EQ('\0', G_szPortName[0]); // a failed open leaves no port open

    // "offline.dat" that cannot be created: DVC_FAIL, and the command file is untouched.
    std::filesystem::create_directories(Host("C:\\out\\offline.dat")); // a directory by that name
    ASSERT_EQ(DVC_OK, DvcOpenPort("C:\\out\\settings.npa"));
    EXPECT_EQ(DVC_FAIL, DvcOffline("C:\\out\\settings.npa", true));
    EXPECT_EQ('\0', G_szOfflineFile[0]);
    DvcClosePort("C:\\out\\settings.npa");
    EXPECT_TRUE(ReadBytes(Host("C:\\out\\settings.npa")).empty());

    // A full disk: every write fails, and the operations say so.
    ASSERT_EQ(DVC_OK, DvcOpenPort("/dev/full"));
    uint32_t replyLength = 99;
    EXPECT_EQ(DVC_SEND_WRITEFAIL, Send("/dev/full", Command(7, 0x40), nullptr, &replyLength));
    EXPECT_EQ(DVC_CMD_FAIL, DvcOffline("/dev/full", false));
    EXPECT_EQ(DVC_OK, DvcClosePort("/dev/full"));
}

// The NT-family workaround: on close, "offline.dat" goes to the port first,
// the command file 5 seconds later, and both files are removed.
TEST(FilePort, CopyFilesDeliversOfflineFileFirstThenCommandFile) {
    const Bytes offline = Concat({kStart, kOfflineFileCommand});
    const Bytes commands = Concat({kStart, Command(7, 0x40), kStart, kOnlineFileCommand});
    for (bool throughOpen : {true, false}) {
        SCOPED_TRACE(throughOpen ? "NT family: open, offline, command, online, close"
                                 : "state left by a workaround write");
        TestWorld world;
        auto port = RecordPort("LPT1");
        std::string offlineFile, commandFile;
        if (throughOpen) {
            WriteBytes(orbis::platform::Root() + "/windows-family", Hex("4E 54 0A")); // "NT"
            ASSERT_EQ(DVC_OPEN_UNIDIRECTIONAL, DvcOpenPort("LPT1"));
            ASSERT_EQ(DVC_OK, DvcOffline("LPT1", true));
            const Bytes command = Command(7, 0x50);
            ASSERT_EQ(DVC_OK, DvcSendCommand("LPT1", command.data(), command.size(), nullptr, nullptr));
            ASSERT_EQ(DVC_OK, DvcOffline("LPT1", false));
            offlineFile = G_szOfflineFile;
            commandFile = G_szCommandFile;
            EXPECT_TRUE(port->All().empty()); // collected, not sent yet
        } else {
            offlineFile = "C:\\Temp\\offline.dat";
            commandFile = "C:\\Temp\\VAN1.tmp";
            WriteBytes(Host(offlineFile), offline);
            WriteBytes(Host(commandFile), commands);
            DvcInit();
            std::strcpy(G_szPortName, "LPT1");
            std::strcpy(G_szOfflineFile, offlineFile.c_str());
            std::strcpy(G_szCommandFile, commandFile.c_str());
            G_bUnidirectional = true;
            G_hPort = INVALID_HANDLE_VALUE;
        }
        ASSERT_TRUE(Exists(Host(offlineFile)));
        ASSERT_TRUE(Exists(Host(commandFile)));

        EXPECT_EQ(DVC_OK, DvcClosePort("LPT1"));
        EXPECT_EQ(Concat({offline, commands}), port->All());
        {
            // The command file's first byte arrives no earlier than 5 s after the offline file's.
            std::lock_guard lock(port->mutex);
            ASSERT_FALSE(port->writes.empty());
            size_t offset = 0;
            auto secondAt = port->writes.front().at;
            for (const auto& write : port->writes) {
                if (offset >= offline.size()) {
                    secondAt = write.at;
                    break;
                }
                offset += write.bytes.size();
            }
            EXPECT_EQ(offline.size(), offset); // no write mixes the two files
            EXPECT_GE(secondAt - port->writes.front().at, std::chrono::milliseconds(4900));
        }
        EXPECT_FALSE(Exists(Host(offlineFile)));
        EXPECT_FALSE(Exists(Host(commandFile)));
        EXPECT_FALSE(G_bUnidirectional);
        EXPECT_EQ('\0', G_szCommandFile[0]);
        EXPECT_EQ('\0', G_szPortName[0]);
    }
}

TEST(FilePort, CopyLineTooLongIsRefusedAndFilesKept) {
    TestWorld world;
    auto port = RecordPort("LPT1");
    std::string dir = "C:\\" + std::string(240, 'd') + "\\";
    std::string offlineFile = dir + "offline.dat";
    std::string commandFile = dir + "VAN2.tmp";
    WriteBytes(Host(offlineFile), Concat({kStart, kOfflineFileCommand}));
    WriteBytes(Host(commandFile), Concat({kStart, kOnlineFileCommand}));

    DvcInit();
    // "copy /b " + 255 + " " + 260 characters: more than the 520-byte line holds.
    std::string name = "LPT" + std::string(257, '9');
    std::strcpy(G_szPortName, name.c_str());
    std::strcpy(G_szOfflineFile, offlineFile.c_str());
    std::strcpy(G_szCommandFile, commandFile.c_str());
    G_bUnidirectional = true;
    G_hPort = INVALID_HANDLE_VALUE;

    EXPECT_EQ(DVC_FAIL, DvcClosePort(name.c_str()));
    EXPECT_TRUE(port->All().empty());
    EXPECT_TRUE(Exists(Host(offlineFile))); // nothing is lost
    EXPECT_TRUE(Exists(Host(commandFile)));
}
