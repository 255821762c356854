// One USB transaction: the command goes out on its own "PIPE00" handle, and the
// reply, when one is wanted, is taken from the slots the read thread fills.
#include "usb_internal.h"

#include <cstring>

namespace {

constexpr unsigned char kReplyRequested = 0x10;

// Starts the read thread unless one runs. Under G_hTransactionInfo, which the
// new thread takes first, so it cannot end before its handle is stored.
void StartReadThread() {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool ours = G_hReadThread && G_hReadThread == UsbReadThreadHandle;
    if (G_hReadThread &&
        (!ours || (!bExpectingResponse && std::strcmp(UsbReadPipePath, G_szDevicePath) != 0))) {
        // The read thread of a parallel port opened earlier in this run, or our
        // own thread told to end by a close, not yet ended and still reading
        // another printer's pipe: it is ended (its read cancelled) rather than
        // told to go on, and a fresh one starts. Ours on the same printer goes
        // on: a reply it is already reading must not be cut.
        ReleaseMutex(G_hTransactionInfo);
        DvcEndReadThread(RESPONSE_WAIT_TIMEOUT);
        WaitForSingleObject(G_hTransactionInfo, INFINITE);
    }
    if (G_hReadThread) {
        bExpectingResponse = true;
    } else {
        bExpectingResponse = true;
        unsigned threadId = 0;
        ResetEvent(G_hReadThreadEnded);
        G_hReadThread = (HANDLE)_beginthreadex(nullptr, 0, UsbReadPort, G_szDevicePath, 0, &threadId);
        UsbReadThreadHandle = G_hReadThread;
        DvcLog(DVC_LOG_STEPS,
               "UsbGetResponse: no G_hReadThread - started ReadThread and got hReadThread:%d\n",
               (int)(intptr_t)G_hReadThread);
    }
    ReleaseMutex(G_hTransactionInfo);
}

} // namespace

bool UsbIsUnsolicitedError(const unsigned char* packet, int32_t length) {
    return length >= 4 && (packet[3] & 0x80) && !(packet[3] & 0x10);
}

int UsbGetResponse(unsigned char* reply, uint32_t* replyLength, uint8_t command) {
    return UsbGetPacket(reply, replyLength, command, nullptr);
}

int UsbGetPacket(unsigned char* reply, uint32_t* replyLength, uint8_t command, const UsbPacketFilter& wanted,
                 uint32_t request) {
    DvcLog(DVC_LOG_STEPS, "UsbGetResponse() - command = %0X\n", command);
    StartReadThread();

    unsigned char taken[DVC_RESPONSE_SLOT];
    int32_t takenLength = 0;
    uint32_t takenRequest = 0;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= RESPONSE_WAIT_TIMEOUT ||
            WaitForSingleObject(G_hSemResponse, RESPONSE_WAIT_TIMEOUT - elapsed) != WAIT_OBJECT_0) {
            if (replyLength) *replyLength = 0;
            if (request) UsbRequestAbandoned(G_szDevicePath);
            DvcLog(
                DVC_LOG_STEPS,
                "UsbGetResponse() - RESPONSE_WAIT_TIMEOUT occured after %d ms, returning DVC_SEND_READFAIL\n",
                RESPONSE_WAIT_TIMEOUT);
            return DVC_SEND_READFAIL;
        }
        int slot = UsbTakeReply(taken, &takenLength, &takenRequest);
        if (slot < 0) {
            DvcLog(DVC_LOG_STEPS,
                   "UsbGetResponse() - Since LookAgain is true, we will look for a response\n");
            start = GetTickCount();
            continue;
        }
        DvcLog(DVC_LOG_STEPS, "UsbGetResponse() - found response in slot %d\n", slot);
        if (request && takenRequest != request) {
            // Its first piece came before this request was written.
            DvcLog(DVC_LOG_STEPS, "UsbGetResponse() - packet of request %u, not of %u: stale, dropped\n",
                   (unsigned)takenRequest, (unsigned)request);
            continue;
        }
        // A packet too large for its slot cannot be looked at; its waiter is told.
        if (!wanted || takenLength <= 0 || wanted(taken, takenLength)) break;
        DvcLog(DVC_LOG_STEPS, "UsbGetResponse() - packet %02X does not answer, dropped\n",
               takenLength >= 5 ? taken[4] : 0);
        DvcLogHex(taken, uint16_t(takenLength));
    }

    if (!reply) return DVC_OK;
    if (takenLength < 0 && takenLength != USB_SLOT_TOO_LARGE) {
        // A failure word left in a slot by the parallel side.
        if (replyLength) *replyLength = 0;
        return DVC_SEND_READFAIL;
    }
    if (!replyLength || takenLength == USB_SLOT_TOO_LARGE || uint32_t(takenLength) > *replyLength) {
        if (replyLength) *replyLength = 0;
        return DVC_RESPONSE_TOO_LARGE;
    }
    std::memcpy(reply, taken, size_t(takenLength));
    *replyLength = uint32_t(takenLength);
    return DVC_OK;
}

int UsbSendCommand(const char* devicePath, const unsigned char* command, uint16_t commandLength,
                   unsigned char* reply, uint32_t* replyLength) {
    if (commandLength > DVC_MAX_COMMAND) {
        DvcLog(DVC_LOG_STEPS, "UsbSendCommand(): command too large!\n");
        return DVC_CMD_FAIL;
    }
    unsigned char copy[DVC_MAX_COMMAND] = {};
    std::memcpy(copy, command, commandLength);
    bool replyRequested = commandLength > 3 && (copy[3] & kReplyRequested);
    if (!reply || !replyLength || *replyLength == 0) {
        reply = nullptr;
        if (replyLength) *replyLength = 0;
        if (replyRequested) DvcLog(DVC_LOG_STEPS, "UsbSendCommand(): no buffer but response requested!\n");
    }

    bool awaitsReply = reply || replyRequested;
    uint32_t request = awaitsReply ? UsbBeginRequest(devicePath) : 0;
    HANDLE pipe = OpenUsbHandle(devicePath, "PIPE00");
    if (pipe == INVALID_HANDLE_VALUE) return DVC_FAIL;

    int result = DVC_OK;
    if (G_NpaMode != NPA_ON) {
        DvcLog(DVC_LOG_STEPS, "UsbSendCommand(): NeedNPAStart = TRUE\n");
        int started = SendNPAStart(pipe);
        if (started != 0) {
            DvcLog(DVC_LOG_STEPS, "SendNPAStart() returned %d\n", started);
            CloseHandle(pipe);
            return DVC_SEND_WRITEFAIL;
        }
    }
    DWORD written = 0;
    if (!WriteFile(pipe, copy, commandLength, &written, nullptr) || written < commandLength) {
        if (replyLength) *replyLength = 0;
        CloseHandle(pipe);
        return DVC_SEND_WRITEFAIL;
    }
    DvcLog(DVC_LOG_STEPS, "Successfully wrote %d bytes\n", (int)written);
    if (awaitsReply) {
        // Only a reply to this command answers it: an unsolicited error, an alert or a
        // reply to another command that comes first is dropped, as on a parallel port.
        uint8_t awaited = commandLength > 4 ? copy[4] : 0;
        result = UsbGetPacket(
            reply, replyLength, awaited,
            [awaited](const unsigned char* packet, int32_t length) {
                return !UsbIsUnsolicitedError(packet, length) &&
                       (awaited == 0 || (length >= 5 && packet[4] == awaited));
            },
            request);
        DvcLog(DVC_LOG_STEPS, "UsbSendCommand(): after UsbGetResponse(), return code is %d\n", result);
    }
    CloseHandle(pipe);
    return result;
}
