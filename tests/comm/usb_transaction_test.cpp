// Commands and replies on an open USB port: what reaches "PIPE00", how the read
// thread hands replies and alerts over, offline and online, and how the thread
// ends when the port closes.
#include "support/comm_env.h"
#include "support/par_fake_port.h"
#include "support/usb_fake_printer.h"

#include "usb_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

using namespace commtest;

namespace {

const char kPort[] = "USB001";

struct OpenPrinter {
    TestWorld world;
    std::shared_ptr<FakeUsbPrinter> printer;
    OpenPrinter() {
        printer = FakeUsbPrinter::Attach(DevicePath("S1"), "MFG:Vantrel;CMD:VNPAP;MODEL:Laser 10;");
        AddPrinterInterface(DevicePath("S1"), 1, 1, "USB\\VID_0A5F&PID_0042\\S1");
        EXPECT_EQ(DvcOpenPort(kPort), DVC_OK);
    }
};

struct Sent {
    int result;
    Bytes reply;
};

Sent Send(const Bytes& command, uint32_t capacity = DVC_RESPONSE_SLOT, bool withBuffer = true,
          const char* port = kPort) {
    Bytes reply(std::max<uint32_t>(capacity, 1));
    uint32_t length = capacity;
    int result = DvcSendCommand(port, command.data(), uint16_t(command.size()),
                                withBuffer ? reply.data() : nullptr, &length);
    reply.resize(result == DVC_OK && withBuffer ? length : 0);
    if (result == DVC_SEND_READFAIL || result == DVC_RESPONSE_TOO_LARGE) {
        EXPECT_EQ(length, 0u);
    }
    return {result, reply};
}

// Answers each command with its scripted pieces, in order, once.
FakeUsbPrinter::Responder Script(std::vector<std::vector<Bytes>> answers) {
    auto queue = std::make_shared<std::vector<std::vector<Bytes>>>(std::move(answers));
    return [queue](const Bytes&, FakeUsbPrinter& printer) {
        if (queue->empty()) return;
        printer.QueueAll(queue->front());
        queue->erase(queue->begin());
    };
}

int StoredReplies() {
    WaitForSingleObject(G_hResponseMutex, INFINITE);
    int stored = (G_ResponseLen[0] != 0) + (G_ResponseLen[1] != 0) + (G_ResponseLen[2] != 0);
    ReleaseMutex(G_hResponseMutex);
    return stored;
}

TEST(UsbTransaction, CommandsAndReplies) {
    const Bytes query = Command(9, 0x50);
    const Bytes reply = Packet(0x10, 0xE0, Filler(20));
    const Bytes big = Packet(0x10, 0xE0, Filler(2043));  // 2048 bytes whole
    const Bytes huge = Packet(0x10, 0xE0, Filler(2044)); // 2049 bytes whole
    const Bytes one = Packet(0x10, 0xE0, {1}), two = Packet(0x10, 0xE0, {2}), three = Packet(0x90, 0xE0, {3});
    struct Step {
        Bytes command;
        uint32_t capacity;
        bool withBuffer;
        int result;
        Bytes reply;
        Bytes before = {};   // what the printer sends before the command is written
        bool reopen = false; // the port is closed before `before` comes and opened again after it
    };
    struct Case {
        const char* name;
        std::vector<std::vector<Bytes>> answers; // to each command
        std::vector<Step> steps;
        bool threadStarted = true;
        bool brokenPipe = false; // the first read fails
    } cases[] = {
        {"512 bytes without reply bit or buffer", {}, {{Command(512, 0x40), 0, false, DVC_OK, {}}}, false},
        {"513 bytes refused before any pipe opens",
         {},
         {{Command(513, 0x50), 2048, true, DVC_CMD_FAIL, {}}},
         false},
        {"reply in pieces of 1", {Split(reply, 1)}, {{query, 2048, true, DVC_OK, reply}}},
        {"reply requested without buffer is waited for and dropped",
         {{reply}, {one}},
         {{query, 2048, false, DVC_OK, {}}, {query, 2048, true, DVC_OK, one}}},
        {"capacity 0 counts as no buffer", {{reply}}, {{query, 0, true, DVC_OK, {}}}},
        {"2048 bytes fit", {Split(big, 32)}, {{query, 2048, true, DVC_OK, big}}},
        {"2049 bytes into 2048", {Split(huge, 32)}, {{query, 2048, true, DVC_RESPONSE_TOO_LARGE, {}}}},
        {"2049 bytes into a larger buffer still exceed the slot",
         {Split(huge, 32)},
         {{query, 4096, true, DVC_RESPONSE_TOO_LARGE, {}}}},
        {"reply larger than the buffer", {{reply}}, {{query, 10, true, DVC_RESPONSE_TOO_LARGE, {}}}},
        // A USB printer keeps its output until it is read, across closes and opens.
        {"output held from before the port opened is no reply",
         {{two}},
         {{query, 2048, true, DVC_OK, two, one}}},
        {"a reply after its wait gave up is not the next command's, nor one that came while closed",
         {{}, {three}, {one}},
         {{query, 2048, true, DVC_SEND_READFAIL, {}},
          {query, 2048, true, DVC_OK, three, one},
          {query, 2048, true, DVC_OK, one, two, true}}},
        {"a broken read pipe is reopened", {{reply}}, {{query, 2048, true, DVC_OK, reply}}, true, true},
        {"garbage gives an empty reply and a fresh pipe",
         {{Bytes{1, 2, 3, 4}, reply}},
         {{query, 2048, true, DVC_OK, reply}}},
        {"command error tossed: the waiter times out",
         {{Packet(0x98, 0xE0, {1})}},
         {{query, 2048, true, DVC_SEND_READFAIL, {}}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenPrinter open;
        FakeUsbPrinter::Responder script = Script(c.answers);
        if (c.brokenPipe)
            open.printer->SetResponder([script](const Bytes& command, FakeUsbPrinter& printer) {
                printer.QueueFailure(ERROR_GEN_FAILURE);
                script(command, printer);
            });
        else
            open.printer->SetResponder(script);
        int opensBefore = open.printer->WritePipeOpens();
        auto start = std::chrono::steady_clock::now();
        for (const auto& step : c.steps) {
            if (step.reopen) {
                EXPECT_EQ(DvcClosePort(kPort), DVC_OK);
                // Nothing reads the printer any more: what it sends now waits there.
                EXPECT_TRUE(Eventually(
                    [&] { return open.printer->BlockedReads() == 0 && open.printer->OpenReadPipes() == 0; }));
            }
            if (!step.before.empty()) {
                open.printer->Queue(step.before);
                // A read thread takes it in as it comes, long before the next command.
                if (ReadThreadRuns() && !step.reopen) {
                    EXPECT_TRUE(Eventually([] { return StoredReplies() == 1; }));
                }
            }
            if (step.reopen) {
                EXPECT_EQ(DvcOpenPort(kPort), DVC_OK);
            }
            Sent sent = Send(step.command, step.capacity, step.withBuffer);
            EXPECT_EQ(sent.result, step.result);
            EXPECT_EQ(sent.reply, step.reply);
        }
        // A failed read rests half a second before the pipe is opened again.
        if (c.brokenPipe) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        }
        // Every command written is behind an NPA start packet, on a write pipe of its own.
        int written = c.steps[0].result == DVC_CMD_FAIL ? 0 : int(c.steps.size());
        // An open tries the write pipe once.
        int reopens =
            int(std::count_if(c.steps.begin(), c.steps.end(), [](const Step& s) { return s.reopen; }));
        auto commands = open.printer->Commands();
        ASSERT_EQ(int(commands.size()), written);
        if (written) {
            EXPECT_EQ(commands[0], c.steps[0].command);
        }
        EXPECT_EQ(open.printer->StartPackets(), written);
        EXPECT_EQ(open.printer->WritePipeOpens() - opensBefore, written + reopens);
        EXPECT_EQ(ReadThreadRuns(), c.threadStarted);
        // Each reply's pipe is closed before the next opens (the platform lets go of it a moment later).
        EXPECT_TRUE(Eventually([&] { return open.printer->OpenReadPipes() <= 1; }));
    }
}

TEST(UsbTransaction, AlertsWaitForTheNextCaller) {
    OpenPrinter open;
    const Bytes query = Command(9, 0x50);
    open.printer->SetResponder(Script({{Packet(0x10, 0xE0, {1})}, {Packet(0x10, 0xE0, {2})}}));
    ASSERT_EQ(Send(query).reply, Packet(0x10, 0xE0, {1}));
    // Nobody waits: the alert is kept until the next wait takes it. A command's
    // wait drops it (as it drops an unsolicited error) and gets its own reply.
    const Bytes alert = Packet(0x00, 0xF0, {0xE7, 0x0C, 0x01, 0x01});
    open.printer->Queue(alert);
    open.printer->Queue(Packet(0x80, 0xE0, {9}));
    EXPECT_TRUE(Eventually([] { return StoredReplies() == 2; }));
    EXPECT_EQ(Send(query).reply, Packet(0x10, 0xE0, {2}));
    EXPECT_EQ(StoredReplies(), 0);

    // Three stored before anyone waits: one per wait, in the order they came.
    for (uint8_t i = 1; i <= 3; ++i)
        open.printer->Queue(Packet(0x00, 0xF0, {i}));
    ASSERT_TRUE(Eventually([] { return StoredReplies() == 3; }));
    for (uint8_t i = 1; i <= 3; ++i) {
        unsigned char packet[DVC_RESPONSE_SLOT];
        uint32_t length = sizeof packet;
        ASSERT_EQ(UsbGetResponse(packet, &length, 0), DVC_OK);
        EXPECT_EQ(Bytes(packet, packet + length), Packet(0x00, 0xF0, {i}));
    }
}

TEST(UsbTransaction, OfflineAndOnline) {
    auto reply = [](uint8_t ninth) { return Packet(0x10, 0xE0, {0xE7, 0x0C, 0x00, ninth}); };
    auto alert = [](uint8_t ninth) { return Packet(0x00, 0xF0, {0xE7, 0x0C, 0x00, ninth}); };
    const Bytes ack = Packet(0x10, 0xE0, {0x03, 0x00});
    struct Case {
        const char* name;
        bool offline;
        std::vector<Bytes> answer; // to the offline or online command
        int result;
        bool deregistered;
    } cases[] = {
        {"offline: response 1, alert 1", true, {reply(1), alert(1)}, DVC_OK, true},
        {"offline: response 1, alert 0", true, {reply(1), alert(0)}, DVC_REFUSED, false},
        {"offline: response 0", true, {reply(0), alert(1)}, DVC_REFUSED, false},
        {"online: response 1, alert 0", false, {reply(1), alert(0)}, DVC_OK, true},
        {"online: response 1, alert 1", false, {reply(1), alert(1)}, DVC_REFUSED, false},
        {"offline: alert 1 first, response 0", true, {alert(1), reply(0)}, DVC_REFUSED, false},
        {"offline: alert 1 first, response 1", true, {alert(1), reply(1)}, DVC_OK, true},
        {"offline: alert 0 first", true, {alert(0), reply(1)}, DVC_REFUSED, false},
        {"online: alert 0 first, response 1", false, {alert(0), reply(1)}, DVC_OK, true},
        {"online: alert 1 first", false, {alert(1), reply(0)}, DVC_REFUSED, false},
        {"another reply first", true, {Packet(0x10, 0xC1, {0, 0, 0, 1}), reply(1), alert(1)}, DVC_OK, true},
        {"an unsolicited error first", false, {Packet(0x80, 0xE0, {1}), alert(0), reply(1)}, DVC_OK, true},
        {"offline: response 1 and no alert", true, {reply(1)}, DVC_OK, true},
        {"online: response 1 and no alert", false, {reply(1)}, DVC_REFUSED, false},
        {"online: alert 0 and no response", false, {alert(0)}, DVC_REFUSED, false},
        {"offline: alert 1 and no response", true, {alert(1)}, DVC_OK, true},
        {"offline: silence", true, {}, DVC_SEND_READFAIL, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenPrinter open;
        open.printer->SetResponder(Script({{ack}, c.answer, {ack}}));
        EXPECT_EQ(DvcOffline(kPort, c.offline), c.result);
        std::vector<Bytes> expected = {kRegister, Hex("A5 00 06 50 E0 E7 0C 00 00")};
        expected[1][7] = c.offline;
        if (c.deregistered) expected.push_back(Hex("A5 00 04 50 E0 03 00"));
        EXPECT_EQ(open.printer->Commands(), expected);
        EXPECT_EQ(open.printer->StartPackets(), int(expected.size()));
    }
}

// The read thread never outlives the open port or the library: a read it is
// blocked in ends when the port closes, is replaced, or the library shuts down.
TEST(UsbTransaction, ClosingEndsABlockedRead) {
    struct Case {
        const char* name;
        std::function<void()> end;
        bool reopened;
    } cases[] = {
        {"close", [] { EXPECT_EQ(DvcClosePort(kPort), DVC_OK); }, false},
        {"shutdown", [] { DvcShutdown(); }, false},
        {"reopen", [] { EXPECT_EQ(DvcOpenPort(kPort), DVC_OK); }, true},
        // At once, before the old read has looked at the flag: it must not go on
        // waiting on the closed printer's pipe for the new one's replies.
        {"close, another printer opened at once",
         [] {
             EXPECT_EQ(DvcClosePort(kPort), DVC_OK);
             auto other = FakeUsbPrinter::Attach(DevicePath("S2"), "MFG:Vantrel;MODEL:Laser 10;");
             AddPrinterInterface(DevicePath("S2"), 2, 1, "USB\\VID_0A5F&PID_0042\\S2");
             other->SetResponder(Script({{Packet(0x10, 0xE0, {2})}}));
             EXPECT_EQ(DvcOpenPort("USB002"), DVC_OK);
             Sent sent = Send(Command(9, 0x50), DVC_RESPONSE_SLOT, true, "USB002");
             EXPECT_EQ(sent.result, DVC_OK);
             EXPECT_EQ(sent.reply, Packet(0x10, 0xE0, {2}));
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenPrinter open;
        open.printer->SetResponder(Script({{Packet(0x10, 0xE0, {1})}, {Packet(0x10, 0xE0, {2})}}));
        ASSERT_EQ(Send(Command(9, 0x50)).result, DVC_OK);
        ASSERT_TRUE(open.printer->WaitForBlockedRead(5000));
        c.end();
        EXPECT_TRUE(Eventually(
            [&] { return open.printer->BlockedReads() == 0 && open.printer->OpenReadPipes() == 0; }));
        if (c.reopened) {
            // The next command is answered as usual. The printer was read empty and
            // read all along, so nothing is read away first: one pipe for the reply,
            // one for the read after it.
            int readOpens = open.printer->ReadPipeOpens();
            Sent sent = Send(Command(9, 0x50));
            EXPECT_EQ(sent.result, DVC_OK);
            EXPECT_EQ(sent.reply, Packet(0x10, 0xE0, {2}));
            ASSERT_TRUE(open.printer->WaitForBlockedRead(5000));
            EXPECT_EQ(open.printer->ReadPipeOpens() - readOpens, 2);
        } else if (G_hTransactionInfo && G_szPortName[0] == '\0') {
            EXPECT_FALSE(ReadThreadRuns());
        }
    }
}

// A parallel port's read thread left from earlier in the run makes way for the USB one.
TEST(UsbTransaction, ParallelReadThreadGivesWay) {
    TestWorld world;
    const Bytes query = Command(9, 0x50);
    OpenLpt1(NPA_AUTO)->Feed(Packet(0x10, 0xE0, {1}));
    unsigned char reply[DVC_RESPONSE_SLOT];
    uint32_t length = sizeof reply;
    ASSERT_EQ(DvcSendCommand("LPT1", query.data(), uint16_t(query.size()), reply, &length), DVC_OK);
    ASSERT_TRUE(ReadThreadRuns());

    auto printer = FakeUsbPrinter::Attach(DevicePath("S1"), "MFG:Vantrel;MODEL:Laser 10;");
    AddPrinterInterface(DevicePath("S1"), 1, 1, "USB\\VID_0A5F&PID_0042\\S1");
    printer->SetResponder(Script({{Packet(0x10, 0xE0, {2})}}));
    ASSERT_EQ(DvcOpenPort(kPort), DVC_OK);
    Sent sent = Send(query);
    EXPECT_EQ(sent.result, DVC_OK);
    EXPECT_EQ(sent.reply, Packet(0x10, 0xE0, {2}));
}

} // namespace
