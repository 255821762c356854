// Ports by name (dispatch, the exact name, reopening, ports not open, a shutdown whose read
// thread will not end) and the file port: its files byte for byte, the size limit, the
// reply-request flag, places that cannot be written, and the NT workaround's copying.
#include "support/comm_env.h"
#include "support/fake_printer.h"

#include "dvc_internal.h"
#include "orbis_platform.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace commtest;
namespace fs = std::filesystem;

namespace {

const Bytes kOfflineFileCommand = {0xA5, 0x00, 0x06, 0x40, 0xE0, 0xE7, 0x0C, 0x01, 0x00};
const Bytes kOnlineFileCommand = {0xA5, 0x00, 0x06, 0x40, 0xE0, 0xE7, 0x0C, 0x00, 0x00};

int Send(const char* port, const Bytes& command = kRegister, unsigned char* reply = nullptr,
         uint32_t* length = nullptr) {
    return DvcSendCommand(port, command.data(), static_cast<uint16_t>(command.size()), reply, length);
}

} // namespace

TEST(FramePort, KindFollowsTheFirstThreeCharactersCaseSensitively) {
    const struct Case {
        const char* name;
        DvcPortKind kind;
        bool reachesLpt1; // a file port whose name opens the parallel device
    } cases[] = {
        {"lpt1", DVC_PORT_FILE, true},         {"usb001", DVC_PORT_FILE, false},
        {"LP", DVC_PORT_FILE, false},          {"settings.npa", DVC_PORT_FILE, false},
        {"LPTlog.txt", DVC_PORT_LPT, false},   {"USB001", DVC_PORT_USB, false},
        {"USBstick.npa", DVC_PORT_USB, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto lpt1 = FakePrinter::Attach("LPT1", "");
        EXPECT_EQ(c.kind, DvcKindOf(c.name));
        int rc = DvcOpenPort(c.name);
        if (c.kind != DVC_PORT_FILE) { // no such printer here, and no file made
            EXPECT_LT(rc, 0);
            EXPECT_FALSE(std::filesystem::exists(c.name));
            continue;
        }
        // A file port: NPA start before the command, reply request cleared, nothing read.
        ASSERT_EQ(DVC_OK, rc);
        EXPECT_EQ(DVC_OK, Send(c.name));
        EXPECT_EQ(DVC_OK, DvcClosePort(c.name));
        EXPECT_EQ(INVALID_HANDLE_VALUE, G_hPort);
        Bytes sent = kRegister;
        sent[3] = 0x40;
        EXPECT_EQ(kStart + sent, c.reachesLpt1 ? lpt1->All() : ReadBytes(c.name));
    }
}

TEST(FramePort, OnlyTheExactOpenNameReachesThePort) {
    const struct Case {
        const char* open; // the port open, if any
        const char* name; // the one the calls give
        int result;       // of the command and of going online
    } cases[] = {
        {"C:\\out\\a.npa", "c:\\out\\a.npa", DVC_NOT_OPEN},
        {"C:\\out\\a.npa", "C:\\out\\a.npa ", DVC_NOT_OPEN},
        {"C:\\out\\a.npa", "C:\\out\\a.npa", DVC_OK},
        {nullptr, "C:\\out\\a.npa", DVC_NOT_OPEN},
        {nullptr, "", DVC_NOT_OPEN},
        {nullptr, nullptr, DVC_NOT_OPEN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "null");
        TestWorld world;
        std::filesystem::create_directories(Host("C:\\out"));
        if (c.open) {
            ASSERT_EQ(DVC_OK, DvcOpenPort(c.open));
        }
        EXPECT_EQ(c.result, Send(c.name));
        EXPECT_EQ(c.result, DvcOffline(c.name, false));
        EXPECT_EQ(DVC_OK, DvcClosePort(c.name)); // another name's close leaves the port open
        EXPECT_EQ(c.open && c.result != DVC_OK, G_szPortName[0] != '\0');
        EXPECT_EQ(c.result == DVC_OK ? 19u + 7u + 19u + 9u : 0u, ReadBytes(Host("C:\\out\\a.npa")).size());
    }
}

TEST(FramePort, OpeningAgainClosesTheOpenPortFirst) {
    TestWorld world;
    ASSERT_EQ(DVC_OK, DvcOpenPort("a.npa"));
    ASSERT_EQ(DVC_OK, Send("a.npa"));
    // Another name: the first is closed, so its handle no longer blocks it.
    ASSERT_EQ(DVC_OK, DvcOpenPort("b.npa"));
    EXPECT_EQ(DVC_NOT_OPEN, Send("a.npa"));
    EXPECT_EQ(DVC_OK, Send("b.npa"));
    HANDLE again =
        CreateFileA("a.npa", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    CloseHandle(again);
    // A failed open still ends the open port.
    WriteBytes(Host("C:\\blocker"), Bytes{1});
    EXPECT_EQ(DVC_FAIL, DvcOpenPort("C:\\blocker\\c.npa"));
    EXPECT_EQ(DVC_NOT_OPEN, Send("b.npa"));
    EXPECT_EQ(26u, ReadBytes("b.npa").size());
}

// The objects a read thread that will not end waits on are left open, not freed under it.
TEST(FramePort, ShutdownLeavesTheObjectsOfAThreadThatWillNotEnd) {
    TestWorld world;
    DvcInit();
    static HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto stuck = [](void*) -> unsigned { return WaitForSingleObject(release, INFINITE); };
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, stuck, nullptr, 0, nullptr));
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    G_hReadThread = thread;
    bExpectingResponse = true;
    ReleaseMutex(G_hTransactionInfo);
    DvcShutdown();
    EXPECT_NE(nullptr, G_hTransactionInfo);
    EXPECT_NE(nullptr, G_hSemGoRead);
    EXPECT_FALSE(bExpectingResponse);
    // Still usable: the thread ends once released, and the next shutdown frees them.
    SetEvent(release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    G_hReadThread = nullptr;
    DvcShutdown();
    EXPECT_EQ(nullptr, G_hTransactionInfo);
    CloseHandle(thread);
}

TEST(FilePort, CommandFileAndOfflineFileHoldThePacketsByteForByte) {
    const struct Case {
        const char *port, *commandFile, *offlineFile; // as the caller names it, then where its files land
    } cases[] = {
        {"C:\\out\\settings.npa", "C:\\out\\settings.npa", "C:\\out\\offline.dat"},
        {"C:\\out/mixed\\x.npa", "C:\\out\\mixed\\x.npa", "C:\\out\\mixed\\offline.dat"},
        {"settings.npa", "settings.npa", "offline.dat"}, // bare name: the current directory
    };
    const struct Sent {
        size_t size;
        int result;
        unsigned char flags, flagsInFile; // the reply request cleared, everything else unchanged
    } commands[] = {
        {512, DVC_OK, 0x50, 0x40}, {513, DVC_CMD_FAIL, 0x40, 0}, {5, DVC_OK, 0x90, 0x80},
        {4, DVC_OK, 0x10, 0x00},   {3, DVC_OK, 0x00, 0},         {0, DVC_OK, 0x00, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        TestWorld world;
        // Longer files from an earlier run: opening empties both.
        WriteBytes(Host(c.commandFile), Bytes(500, 0xEE));
        WriteBytes(Host(c.offlineFile), Bytes(100, 0xEE));
        ASSERT_EQ(DVC_OK, DvcOpenPort(c.port));
        ASSERT_EQ(DVC_OK, DvcOffline(c.port, true)); // the offline half goes only into "offline.dat"
        EXPECT_EQ(kStart + kOfflineFileCommand, ReadBytes(Host(c.offlineFile)));
        EXPECT_EQ(0u, ReadBytes(Host(c.commandFile)).size());
        Bytes expected;
        for (const auto& sent : commands) {
            const Bytes command = Command(sent.size, sent.flags), callerCopy = command;
            unsigned char reply[4] = {0x5A};
            uint32_t length = 777;
            EXPECT_EQ(sent.result, Send(c.port, command, reply, &length)) << sent.size;
            EXPECT_EQ(callerCopy, command);
            EXPECT_EQ(777u, length); // no reply from a file: buffer and length keep what they held
            EXPECT_EQ(0x5A, reply[0]);
            if (sent.result != DVC_OK) continue; // refused before anything is written
            expected = expected + kStart + command;
            if (sent.size > 3) expected[expected.size() - sent.size + 3] = sent.flagsInFile;
        }
        ASSERT_EQ(DVC_OK, DvcOffline(c.port, false));
        ASSERT_EQ(DVC_OK, DvcClosePort(c.port));
        EXPECT_EQ(expected + kStart + kOnlineFileCommand, ReadBytes(Host(c.commandFile)));
        EXPECT_EQ(28u, ReadBytes(Host(c.offlineFile)).size());
    }
}

TEST(FilePort, UnwritablePlacesFailWithoutWritingElsewhere) {
    TestWorld world;
    WriteBytes(Host("C:\\blocker"), Bytes{1}); // a file where a directory is needed
    EXPECT_EQ(DVC_FAIL, DvcOpenPort("C:\\blocker\\settings.npa"));
    EXPECT_EQ(DVC_NOT_OPEN, Send("C:\\blocker\\settings.npa", Command(7, 0x40)));
    // "offline.dat" that cannot be created (a directory by that name): the command file stays untouched.
    fs::create_directories(Host("C:\\out\\offline.dat"));
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
    auto port = FakePrinter::Attach("LPT1", "");
    WriteBytes(orbis::platform::Root() + "/windows-family", Bytes{'N', 'T'});
    // Only a port the close can copy to opens the workaround: otherwise the
    // settings would be collected and deleted unsent while the caller saw success.
    for (const char* name : {"LPT1 extra", "LPT2"}) {
        EXPECT_EQ(DVC_FAIL, DvcOpenPort(name));
        EXPECT_TRUE(!fs::exists(Host("C:\\Temp")) || fs::is_empty(Host("C:\\Temp"))) << name;
    }
    ASSERT_EQ(DVC_OPEN_UNIDIRECTIONAL, DvcOpenPort("LPT1"));
    EXPECT_EQ(0, port->OpenHandles());
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
    EXPECT_EQ('\0', G_szPortName[0]);
}
