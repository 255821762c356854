// Port dispatch by name, the exact-name rule, reopening, the operations on a
// port that is not open, and a shutdown whose read thread will not end.
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace commtest;

namespace {

int Send(const char* port) {
    return DvcSendCommand(port, kRegister.data(), kRegister.size(), nullptr, nullptr);
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
        auto lpt1 = FakeParallelPort::Attach("LPT1", "");
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
