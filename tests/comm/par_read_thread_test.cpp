// The read thread's life: late replies that must not answer the next request,
// ports that fail or go away, and ending when the library shuts down.
#include "support/comm_env.h"
#include "support/par_fake_port.h"

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

// A request whose caller gave up never costs the ones after it their replies:
// neither a late reply that comes before the next request, nor the thread still
// reading for the abandoned request when the next replies come at once.
TEST(ParReadThread, AbandonedRequestNeverAnswersOrStarvesTheNextOnes) {
    struct Case {
        const char* name;
        int lateMs; // when the first reply arrives, after the first request's 5 s wait; -1: never
        int gapMs;  // pause before the following requests
        int following;
    } cases[] = {
        {"late reply before the next request", 300, 1200, 1},
        {"no reply, the next requests follow at once", -1, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto port = OpenLpt1(NPA_AUTO);
        if (c.lateMs >= 0) {
            port->FeedPause(RESPONSE_WAIT_TIMEOUT + c.lateMs);
            port->Feed(Packet(0x10, 0xE0, {0xAA}));
        }
        Bytes reply;
        EXPECT_EQ(Send(&reply), DVC_SEND_READFAIL);
        std::this_thread::sleep_for(std::chrono::milliseconds(c.gapMs));
        auto answered = std::make_shared<unsigned char>(0);
        port->SetResponder([answered](const Bytes& written, FakeParallelPort& self) {
            if (written.size() == 7) self.Feed(Packet(0x10, 0xE0, {++*answered}));
        });
        for (unsigned char n = 1; n <= c.following; ++n) {
            EXPECT_EQ(Send(&reply), DVC_OK);
            EXPECT_EQ(reply, Packet(0x10, 0xE0, {n}));
        }
    }
}

TEST(ParReadThread, FailingPortDoesNotSpin) {
    struct Case {
        const char* name;
        bool partialFirst;
    } cases[] = {{"dead before the reply", false}, {"dies in the middle of a reply", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto port = OpenLpt1(NPA_AUTO);
        if (c.partialFirst) port->Feed({0xA5, 0x00, 0x20, 0x10, 0xE0, 1, 2});
        port->FeedDeath();
        Bytes reply;
        EXPECT_EQ(Send(&reply), DVC_SEND_READFAIL);
        // The thread backs off and then gives the port up instead of reading in a loop.
        EXPECT_TRUE(Eventually([] { return !ReadThreadRuns(); }));
        EXPECT_LT(port->Reads(), 60);
    }
}

TEST(ParReadThread, EndsWhenThePortIsClosedOrTheLibraryShutsDown) {
    struct Case {
        const char* name;
        bool close;
        bool silent; // the thread is still reading for a caller that gave up
    } cases[] = {
        {"closed while reading for nobody", true, true},
        {"shut down while waiting for a request", false, false},
        {"shut down while reading for nobody", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto port = OpenLpt1(NPA_AUTO);
        if (!c.silent) port->Feed(Packet(0x10, 0xE0, {1}));
        Bytes reply;
        EXPECT_EQ(Send(&reply), c.silent ? DVC_SEND_READFAIL : DVC_OK);
        EXPECT_TRUE(ReadThreadRuns());
        if (c.close) {
            EXPECT_EQ(DvcClosePort("LPT1"), DVC_OK);
            EXPECT_TRUE(Eventually([] { return !ReadThreadRuns(); }));
            EXPECT_EQ(port->OpenHandles(), 0);
            // The next request starts a new thread on the reopened port.
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
