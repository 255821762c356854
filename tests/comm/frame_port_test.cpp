// Port dispatch by name, the exact-name rule, reopening, and the operations on
// a port that is not open.
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc.h"
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
    struct Case {
        const char* name;
        DvcPortKind kind;
        const char* device; // for a file port: the parallel device the name reaches, else a plain file
    };
    const Case cases[] = {
        {"lpt1", DVC_PORT_FILE, "LPT1"}, // a file port, although the name opens the parallel device
        {"Lpt1", DVC_PORT_FILE, "LPT1"},       {"usb001", DVC_PORT_FILE, nullptr},
        {"LP", DVC_PORT_FILE, nullptr},        {"settings.npa", DVC_PORT_FILE, nullptr},
        {"LPTlog.txt", DVC_PORT_LPT, nullptr}, {"LPT1", DVC_PORT_LPT, nullptr},
        {"USB001", DVC_PORT_USB, nullptr},     {"USBstick.npa", DVC_PORT_USB, nullptr},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TestWorld world;
        auto lpt1 = FakeParallelPort::Attach("LPT1", "");
        EXPECT_EQ(test.kind, DvcKindOf(test.name));
        int rc = DvcOpenPort(test.name);
        if (test.kind != DVC_PORT_FILE) {
            // No such printer here: the printer branches fail and create no file.
            EXPECT_LT(rc, 0);
            EXPECT_FALSE(std::filesystem::exists(test.name));
            EXPECT_STREQ("", G_szPortName);
            continue;
        }
        // A file port: NPA start before the command, reply request cleared, nothing read.
        ASSERT_EQ(DVC_OK, rc);
        EXPECT_STREQ(test.name, G_szPortName);
        EXPECT_EQ(NPA_AUTO, G_NpaMode);
        EXPECT_EQ(DVC_OK, Send(test.name));
        EXPECT_EQ(DVC_OK, DvcClosePort(test.name));
        EXPECT_STREQ("", G_szPortName);
        EXPECT_EQ(INVALID_HANDLE_VALUE, G_hPort);
        Bytes sent = kRegister;
        sent[3] = 0x40;
        EXPECT_EQ(kStart + sent, test.device ? lpt1->All() : ReadBytes(test.name));
    }
}

TEST(FramePort, OnlyTheExactOpenNameReachesThePort) {
    struct Case {
        const char* name;
        int send, offline, close;
        bool stillOpen;
    };
    const Case cases[] = {
        {"c:\\out\\a.npa", DVC_NOT_OPEN, DVC_NOT_OPEN, DVC_OK, true},
        {"C:\\out\\a.npa ", DVC_NOT_OPEN, DVC_NOT_OPEN, DVC_OK, true},
        {"C:\\out\\a.npa", DVC_OK, DVC_OK, DVC_OK, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TestWorld world;
        SetLoggingLevel(0x01);
        std::filesystem::create_directories(Host("C:\\out"));
        ASSERT_EQ(DVC_OK, DvcOpenPort("C:\\out\\a.npa"));
        EXPECT_EQ(test.send, Send(test.name));
        EXPECT_EQ(test.offline, DvcOffline(test.name, false));
        EXPECT_EQ(test.close, DvcClosePort(test.name));
        EXPECT_EQ(test.stillOpen, G_szPortName[0] != '\0');
        size_t written = ReadBytes(Host("C:\\out\\a.npa")).size();
        if (test.send == DVC_NOT_OPEN) {
            EXPECT_EQ(0u, written); // nothing reached the file
            EXPECT_TRUE(Logged(std::string("port ") + test.name + " is not open"));
            EXPECT_TRUE(Logged(std::string("DvcOffline(") + test.name + ", online) - port is not open"));
        } else {
            EXPECT_EQ(19u + 7u + 19u + 9u, written);
        }
    }
}

TEST(FramePort, NothingOpen) {
    TestWorld world;
    for (const char* name : {"a.npa", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(DVC_NOT_OPEN, Send(name));
        EXPECT_EQ(DVC_NOT_OPEN, DvcOffline(name, true));
        EXPECT_EQ(DVC_OK, DvcClosePort(name));
    }
    EXPECT_FALSE(std::filesystem::exists("a.npa") || std::filesystem::exists("offline.dat"));
}

TEST(FramePort, OpeningAgainClosesTheOpenPortFirst) {
    TestWorld world;
    SetLoggingLevel(0x01);
    ASSERT_EQ(DVC_OK, DvcOpenPort("a.npa"));
    ASSERT_EQ(DVC_OK, Send("a.npa"));

    // Another name: the first is closed, so its handle no longer blocks it.
    ASSERT_EQ(DVC_OK, DvcOpenPort("b.npa"));
    EXPECT_TRUE(Logged("DvcOpenPort(b.npa) - currently open port [a.npa] will be closed"));
    EXPECT_EQ(DVC_NOT_OPEN, Send("a.npa"));
    EXPECT_EQ(DVC_OK, Send("b.npa"));
    HANDLE again =
        CreateFileA("a.npa", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);

    // A failed open still ends the open port.
    WriteBytes(Host("C:\\blocker"), Bytes{1});
    EXPECT_EQ(DVC_FAIL, DvcOpenPort("C:\\blocker\\c.npa"));
    EXPECT_STREQ("", G_szPortName);
    EXPECT_EQ(DVC_NOT_OPEN, Send("b.npa"));
    EXPECT_EQ(26u, ReadBytes("b.npa").size());
}
