// Offline and online on a parallel printer: the exchange that reaches the port
// and how the reply and the alert are judged in either order. (Bare commands in
// NPA_ON are checked against the printer program in the end-to-end tests.)
#include "support/comm_env.h"
#include "support/par_fake_port.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

using namespace commtest;

namespace {

const Bytes kDeregister = {0xA5, 0x00, 0x04, 0x50, 0xE0, 0x03, 0x00};

// What the printer sends after the offline or online command, in order.
enum Sent { Reply0, Reply1, Alert0, Alert1, OtherReply };
const Bytes kAnswers[] = {Packet(0x10, 0xE0, {0xE7, 0x0C, 0, 0}), Packet(0x10, 0xE0, {0xE7, 0x0C, 0, 1}),
                          Packet(0x00, 0xF0, {0x0C, 0, 0, 0}), Packet(0x00, 0xF0, {0x0C, 0, 0, 1}),
                          Packet(0x10, 0xE5, {0, 0, 0, 0})};

TEST(ParOffline, ReplyAndAlertAreJudged) {
    const struct Case {
        const char* name;
        bool offline;
        std::vector<Sent> sent;
        int result;
        bool deregistered;
    } cases[] = {
        {"offline: reply 1, alert 1", true, {Reply1, Alert1}, DVC_OK, true},
        {"online: reply 1, alert 0", false, {Reply1, Alert0}, DVC_OK, true},
        {"online: reply 1, alert 1", false, {Reply1, Alert1}, DVC_REFUSED, false},
        {"offline: reply 0", true, {Reply0, Alert1}, DVC_REFUSED, false},
        {"offline: reply 1, no alert", true, {Reply1}, DVC_OK, true},
        {"online: reply 1, no alert", false, {Reply1}, DVC_REFUSED, false},
        {"offline: alert 0 first", true, {Alert0, Reply1}, DVC_REFUSED, false},
        {"offline: alert 1 first, reply 0", true, {Alert1, Reply0}, DVC_REFUSED, false},
        {"offline: alert 1 first, reply 1", true, {Alert1, Reply1}, DVC_OK, true},
        {"offline: alert 1 first, no reply", true, {Alert1}, DVC_OK, true},
        {"online: alert 0 first, reply 1", false, {Alert0, Reply1}, DVC_OK, true},
        {"online: alert 0 first, no reply", false, {Alert0}, DVC_REFUSED, false},
        {"online: alert 1 first", false, {Alert1, Reply0}, DVC_REFUSED, false},
        {"other command byte first", true, {OtherReply}, DVC_OK, true},
        {"no answer at all", true, {}, DVC_SEND_READFAIL, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestWorld world;
        auto port = OpenLpt1(NPA_AUTO);
        port->SetResponder([sent = c.sent](const Bytes& written, FakeParallelPort& self) {
            if (written.size() == 7) self.Feed(Packet(0x10, 0xE0, {0x03, written[6]}));
            if (written.size() == 9)
                for (Sent s : sent)
                    self.Feed(kAnswers[s]);
        });
        EXPECT_EQ(DvcOffline("LPT1", c.offline), c.result);
        const Bytes command = {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x0C, uint8_t(c.offline), 0x00};
        std::vector<Bytes> expected = {kStart, kRegister, kStart, command};
        if (c.deregistered) expected.insert(expected.end(), {kStart, kDeregister});
        EXPECT_EQ(port->Writes(), expected);
    }
}

} // namespace
