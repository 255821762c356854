// Offline and online on a parallel and on a USB printer: the exchange that
// reaches the printer, and how its reply and alert are judged in either order.
#include "support/comm_env.h"
#include "support/fake_printer.h"

#include "dvc_internal.h"

#include <gtest/gtest.h>

using namespace commtest;

TEST(Offline, ReplyAndAlertAreJudgedOnEitherPort) {
    auto reply = [](uint8_t ninth) { return Packet(0x10, 0xE0, {0xE7, 0x0C, 0x00, ninth}); };
    auto alert = [](uint8_t ninth) { return Packet(0x00, 0xF0, {0xE7, 0x0C, 0x00, ninth}); };
    const struct Case {
        const char* name;
        bool offline;
        std::vector<Bytes> answer; // to the offline or online command
        int result;                // the alert is deregistered after success only
    } cases[] = {
        {"offline: response 1, alert 1", true, {reply(1), alert(1)}, DVC_OK},
        {"offline: response 1, alert 0", true, {reply(1), alert(0)}, DVC_REFUSED},
        {"offline: response 0", true, {reply(0), alert(1)}, DVC_REFUSED},
        {"online: response 1, alert 0", false, {reply(1), alert(0)}, DVC_OK},
        {"online: response 1, alert 1", false, {reply(1), alert(1)}, DVC_REFUSED},
        {"offline: alert 1 first, response 0", true, {alert(1), reply(0)}, DVC_REFUSED},
        {"offline: alert 1 first, response 1", true, {alert(1), reply(1)}, DVC_OK},
        {"offline: alert 0 first", true, {alert(0), reply(1)}, DVC_REFUSED},
        {"online: alert 0 first, response 1", false, {alert(0), reply(1)}, DVC_OK},
        {"online: alert 1 first", false, {alert(1), reply(0)}, DVC_REFUSED},
        {"another reply first", true, {Packet(0x10, 0xC1, {0, 0, 0, 1}), reply(1), alert(1)}, DVC_OK},
        {"an unsolicited error first", false, {Packet(0x80, 0xE0, {1}), alert(0), reply(1)}, DVC_OK},
        {"offline: response 1 and no alert", true, {reply(1)}, DVC_OK},
        {"online: response 1 and no alert", false, {reply(1)}, DVC_REFUSED},
        {"online: alert 0 and no response", false, {alert(0)}, DVC_REFUSED},
        {"offline: alert 1 and no response", true, {alert(1)}, DVC_OK},
        {"offline: silence", true, {}, DVC_SEND_READFAIL},
    };
    for (const auto& c : cases) {
        for (bool usb : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (usb ? " (USB)" : " (parallel)"));
            TestWorld world;
            auto printer = usb ? OpenUsb() : OpenLpt1(NPA_AUTO);
            // Registration for the alert and its end are acknowledged; the command gets the answer.
            printer->SetResponder([&c](const Bytes& written, FakePrinter& self) {
                if (written.size() == 7) self.Feed(Packet(0x10, 0xE0, {0x03, written[6]}));
                if (written.size() == 9) self.FeedAll(c.answer);
            });
            EXPECT_EQ(DvcOffline(usb ? "USB001" : "LPT1", c.offline), c.result);
            std::vector<Bytes> expected = {kRegister, {0xA5, 0x00, 0x06, 0x50, 0xE0, 0xE7, 0x0C, 0x00, 0x00}};
            expected[1][7] = c.offline;
            if (c.result == DVC_OK) expected.push_back({0xA5, 0x00, 0x04, 0x50, 0xE0, 0x03, 0x00});
            EXPECT_EQ(printer->Commands(), expected);
            EXPECT_EQ(printer->StartPackets(), int(expected.size())); // one before each command
        }
    }
}

TEST(Offline, AResponseLeftByARefusalIsReadAwayAtTheNextOpenOnUsb) {
    // An alert refusing the change leaves the response still to come; a USB printer keeps what
    // comes while the port is closed, and the next request must not take it for its own.
    auto reply = [](uint8_t ninth) { return Packet(0x10, 0xE0, {0xE7, 0x0C, 0x00, ninth}); };
    auto alert = [](uint8_t ninth) { return Packet(0x00, 0xF0, {0xE7, 0x0C, 0x00, ninth}); };
    TestWorld world;
    auto printer = OpenUsb();
    std::vector<Bytes> answer = {alert(0)};
    printer->SetResponder([&answer](const Bytes& written, FakePrinter& self) {
        if (written.size() == 7) self.Feed(Packet(0x10, 0xE0, {0x03, written[6]}));
        if (written.size() == 9) self.FeedAll(answer);
    });
    EXPECT_EQ(DvcOffline("USB001", true), DVC_REFUSED);
    EXPECT_EQ(DvcClosePort("USB001"), DVC_OK);
    EXPECT_TRUE(
        Eventually([&] { return printer->BlockedReads() == 0 && printer->OpenHandles("PIPE01") == 0; }));
    printer->Feed(reply(1)); // the refused offline's response, late
    EXPECT_EQ(DvcOpenPort("USB001"), DVC_OK);
    answer = {reply(1), alert(0)};
    EXPECT_EQ(DvcOffline("USB001", false), DVC_OK);
}
