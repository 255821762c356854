// The parallel read thread's life: late replies that must not answer the next
// request, ports that fail or go away, and ending with the port or the library.
#include "support/comm_env.h"
#include "support/fake_printer.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace commtest;

namespace {

int Send(Bytes* reply) {
    unsigned char buffer[2048];
    uint32_t length = sizeof buffer;
    int rc = DvcSendCommand("LPT1", kRegister.data(), 7, buffer, &length);
    reply->assign(buffer, buffer + (rc == DVC_OK ? length : 0));
    return rc;
}

TEST(ParReadThread, LateRepliesFailingPortsAndTheEnd) {
    enum Then { Follow, GiveUp, Close, Shutdown };
    const struct Case {
        const char* name;
        int lateMs;  // a reply this long after the first request's 5 s wait; -1: none
        Bytes ready; // what the printer has sent before the first request
        bool dies;   // then the port fails for good
        int result;  // of the first request
        Then then;
        int gapMs = 0, following = 0; // a pause, then requests that are answered at once
    } cases[] = {
        {"late reply before the next request", 300, {}, false, DVC_SEND_READFAIL, Follow, 1200, 1},
        {"no reply, the next requests follow at once", -1, {}, false, DVC_SEND_READFAIL, Follow, 0, 3},
        {"dead before the reply", -1, {}, true, DVC_SEND_READFAIL, GiveUp},
        {"dies in the middle of a reply",
         -1,
         {0xA5, 0x00, 0x20, 0x10, 0xE0, 1, 2},
         true,
         DVC_SEND_READFAIL,
         GiveUp},
        {"closed while reading for nobody", -1, {}, false, DVC_SEND_READFAIL, Close},
        {"shut down while waiting for a request", -1, Packet(0x10, 0xE0, {1}), false, DVC_OK, Shutdown},
        {"shut down while reading for nobody", -1, {}, false, DVC_SEND_READFAIL, Shutdown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto port = OpenLpt1(NPA_AUTO);
        if (c.lateMs >= 0) {
            port->FeedPause(RESPONSE_WAIT_TIMEOUT + c.lateMs);
            port->Feed(Packet(0x10, 0xE0, {0xAA}));
        }
        if (!c.ready.empty()) port->Feed(c.ready);
        if (c.dies) port->FeedDeath();
        Bytes reply;
        EXPECT_EQ(Send(&reply), c.result);
        if (!c.dies) {
            EXPECT_TRUE(ReadThreadRuns());
        }
        if (c.then == Follow) { // the request whose caller gave up never costs the next ones their replies
            std::this_thread::sleep_for(std::chrono::milliseconds(c.gapMs));
            auto answered = std::make_shared<unsigned char>(0);
            port->SetResponder([answered](const Bytes& written, FakePrinter& self) {
                if (written.size() == 7) self.Feed(Packet(0x10, 0xE0, {++*answered}));
            });
            for (unsigned char n = 1; n <= c.following; ++n) {
                EXPECT_EQ(Send(&reply), DVC_OK);
                EXPECT_EQ(reply, Packet(0x10, 0xE0, {n}));
            }
        } else if (c.then == GiveUp) { // it backs off, then gives the port up instead of reading in a loop
            EXPECT_TRUE(Eventually([] { return !ReadThreadRuns(); }));
            EXPECT_LT(port->Reads(), 60);
        } else if (c.then == Close) { // the next request starts a new thread on the reopened port
            EXPECT_EQ(DvcClosePort("LPT1"), DVC_OK);
            EXPECT_TRUE(Eventually([] { return !ReadThreadRuns(); }));
            EXPECT_EQ(port->OpenHandles(), 0);
            EXPECT_EQ(DvcOpenPort("LPT1"), DVC_OK);
            port->Feed(Packet(0x10, 0xE0, {0x42}));
            EXPECT_EQ(Send(&reply), DVC_OK);
            EXPECT_EQ(reply, Packet(0x10, 0xE0, {0x42}));
        } else {
            DvcShutdown();
            EXPECT_EQ(G_hReadThread, nullptr);
        }
    }
}

} // namespace
