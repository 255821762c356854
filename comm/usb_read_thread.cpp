// UsbReadPort: the USB read thread. It reads "PIPE01" continuously, one reply
// per pipe open, and drops every reply and alert into the reply slots.
#include "usb_internal.h"

#include <cstdio>
#include <vector>

HANDLE UsbReadThreadHandle = nullptr;
char UsbReadPipePath[256] = {};

namespace {

// Opens the next read pipe under G_hTransactionInfo, which the caller holds.
// A cleared bExpectingResponse ends the thread, so no pipe is opened for it.
HANDLE OpenNextPipe() {
    if (!bExpectingResponse) return INVALID_HANDLE_VALUE;
    HANDLE pipe = OpenUsbHandle(G_szDevicePath, "PIPE01");
    if (pipe != INVALID_HANDLE_VALUE) {
        G_hUsbReadPipe = pipe;
        std::snprintf(UsbReadPipePath, sizeof UsbReadPipePath, "%s", G_szDevicePath);
    }
    return pipe;
}

void Store(const unsigned char* reply, uint32_t length, bool alert, uint32_t request) {
    int slot = UsbStoreReply(reply, length, request);
    if (slot < 0) {
        DvcLog(DVC_LOG_STEPS, "UsbReadPort() - all reply slots are full, dropping the %s\n",
               alert ? "alert" : "response");
    } else if (length > DVC_RESPONSE_SLOT) {
        DvcLog(DVC_LOG_STEPS, "UsbReadPort() - %u bytes do not fit slot %d, the waiter is told so\n",
               (unsigned)length, slot);
    } else if (alert) {
        DvcLog(DVC_LOG_STEPS, "UsbReadPort() - saving alert in slot %d\n", slot);
    } else {
        DvcLog(DVC_LOG_STEPS, "UsbReadPort() - saving response in slot %d\n", slot);
    }
    ReleaseSemaphore(G_hSemResponse, 1, nullptr);
}

} // namespace

unsigned WINAPI UsbReadPort(void* devicePath) {
    std::vector<unsigned char> reply(USB_ASSEMBLY_SIZE, 0);
    std::vector<unsigned char> secondResBuf(USB_HOLD_SIZE, 0);
    uint32_t secondResBufCurrentLen = 0;
    uint32_t heldRequest = 0; // the request number of the piece the holding buffer came from

    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    HANDLE pipe = OpenNextPipe();
    while (pipe != INVALID_HANDLE_VALUE) {
        ReleaseMutex(G_hTransactionInfo);
        // UsbReadResponse's reading, with every piece marked by the request
        // number current when it came; the reply belongs to its first piece's.
        bool first = secondResBufCurrentLen == 0;
        uint32_t request = heldRequest, lastRequest = heldRequest;
        UsbPieceReader read = [&](unsigned char* destination, DWORD* got, DWORD size, bool* pipeDead) {
            ReadPkt(&pipe, destination, got, size);
            *pipeDead = pipe == INVALID_HANDLE_VALUE;
            if (*got == 0) return;
            lastRequest = UsbRequestNumber.load();
            if (first) request = lastRequest;
            first = false;
        };
        uint32_t replyLength = USB_ASSEMBLY_SIZE;
        UsbReassemble(read, reply.data(), &replyLength, secondResBuf.data(), &secondResBufCurrentLen,
                      USB_READ_PIECE);
        heldRequest = lastRequest;
        if (replyLength == 0) {
            DvcLog(DVC_LOG_STEPS, "returned from UsbReadResponse with responseBufLen=%d\n", (int)replyLength);
        } else if (replyLength >= 5 && (reply[4] & 0xF0) == 0xF0) {
            DvcLog(DVC_LOG_STEPS, "UsbReadPort(): It's an alert!\n");
            Store(reply.data(), replyLength, true, request);
        } else {
            DvcLog(DVC_LOG_STEPS, "UsbReadPort(): It's a response!\n");
            if (replyLength >= 4 && (reply[3] & 0x88) == 0x88)
                DvcLog(DVC_LOG_STEPS, "UsbReadPort(): It's a command error, tossing.\n");
            else
                Store(reply.data(), replyLength, false, request);
        }
        // Closed in every case (unless a failed read closed it already) so no
        // pipe is left behind when the next one opens.
        UsbCloseReadPipe(&pipe);
        WaitForSingleObject(G_hTransactionInfo, INFINITE);
        pipe = OpenNextPipe();
    }
    // Still holding G_hTransactionInfo: the handle is reset before a waiter can
    // look, so the next wait starts a fresh thread. Everything the thread logs
    // comes first: once the handle is null, DvcShutdown may free what DvcLog uses.
    DvcLog(DVC_LOG_STEPS,
           "UsbReadPort(), couldn't open port or no one is expecting a response, exiting...\n");
    HANDLE self = G_hReadThread;
    if (self && CloseHandle(self))
        DvcLog(DVC_LOG_STEPS, "UsbReadPort(), Closed G_hReadThread\n");
    else
        DvcLog(DVC_LOG_STEPS, "UsbReadPort(), Error:%d Closing G_hReadThread:%d\n", (int)GetLastError(),
               (int)(intptr_t)self);
    DvcLog(DVC_LOG_STEPS, "UsbReadPort(), going to call _endthreadex  after setting handle to NULL\n");
    G_hReadThread = nullptr;
    UsbReadThreadHandle = nullptr;
    SetEvent(G_hReadThreadEnded);
    ReleaseMutex(G_hTransactionInfo);
    return 0;
}
