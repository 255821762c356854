// Keeping a USB printer's stale output away from the next request. A USB
// printer keeps what it sends until the host reads it, across pipe closes and
// opens; a reply whose wait gave up, or the rest of one whose pipe failed, would
// otherwise be taken by the next request with the same command byte, and every
// reply after it would be one late.
#include "usb_internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

std::atomic<uint32_t> UsbRequestNumber{0};

namespace {

// Larger than a reply piece: the printer gives what it holds a transfer at a time.
constexpr DWORD kDrainRead = 4096;

// The printer whose wait gave up last, and when. Kept for the whole process (a
// reply may come after the library was shut down and started again).
std::mutex g_abandonedMutex;
std::string g_abandonedPath;
DWORD g_abandonedAt = 0;

// How much of the grace after the last wait given up on this printer is left.
DWORD GraceLeft(const char* devicePath) {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    if (g_abandonedPath != devicePath) return 0;
    DWORD since = GetTickCount() - g_abandonedAt;
    return since < USB_LATE_REPLY_GRACE_MS ? USB_LATE_REPLY_GRACE_MS - since : 0;
}

} // namespace

void UsbRequestAbandoned(const char* devicePath) {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    g_abandonedPath = devicePath;
    g_abandonedAt = GetTickCount();
}

uint32_t UsbDrainReadPipe(const char* devicePath) {
    HANDLE pipe = OpenUsbHandle(devicePath, "PIPE01");
    if (pipe == INVALID_HANDLE_VALUE) return 0;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<unsigned char> piece(kDrainRead);
    uint32_t dropped = 0;
    DWORD start = GetTickCount();
    while (event && GetTickCount() - start < USB_DRAIN_LIMIT_MS) {
        OVERLAPPED overlapped;
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event;
        ResetEvent(event);
        if (!ReadFileEx(pipe, piece.data(), kDrainRead, &overlapped, ReadPktDone)) break;
        // A printer holding something answers a read at once; one that stays
        // silent this long holds nothing. A piece that completes meanwhile still counts.
        // Shortly after a wait gave up, its reply may still be on its way: the
        // printer counts as empty only once that grace is over.
        DWORD asked = GetTickCount(), wait;
        DWORD quiet = std::max<DWORD>(USB_DRAIN_QUIET_MS, GraceLeft(devicePath));
        do {
            DWORD waited = GetTickCount() - asked;
            wait = WaitForSingleObjectEx(event, waited < quiet ? quiet - waited : 0, TRUE);
            // The completion routine of an earlier, cancelled read may run first.
        } while (wait == WAIT_IO_COMPLETION && WaitForSingleObject(event, 0) != WAIT_OBJECT_0);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_IO_COMPLETION) CancelIo(pipe);
        DWORD got = 0;
        if (!GetOverlappedResult(pipe, &overlapped, &got, TRUE) || got == 0) break;
        DvcLog(DVC_LOG_HEX, "UsbDrainReadPipe(): dropped what the printer held from before:\n");
        DvcLogHex(piece.data(), uint16_t(got));
        dropped += got;
    }
    if (event) CloseHandle(event);
    CloseHandle(pipe);
    if (dropped)
        DvcLog(DVC_LOG_STEPS, "UsbDrainReadPipe(): %u bytes the printer held from before, dropped\n",
               (unsigned)dropped);
    return dropped;
}

uint32_t UsbBeginRequest(const char* devicePath) {
    // A thread reading this printer takes in (and marks as older) a late reply
    // that comes during the grace after a wait gave up.
    if (DWORD grace = GraceLeft(devicePath)) {
        WaitForSingleObject(G_hTransactionInfo, INFINITE);
        bool reading = G_hReadThread && G_hReadThread == UsbReadThreadHandle && bExpectingResponse;
        ReleaseMutex(G_hTransactionInfo);
        if (reading) {
            DvcLog(DVC_LOG_STEPS, "UsbBeginRequest(): a wait gave up lately, %u ms for its reply\n",
                   (unsigned)grace);
            Sleep(grace);
        }
    }
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    // A thread that has been reading this printer all along has read (and
    // will mark as older) whatever the printer sent before now.
    bool reading = G_hReadThread && G_hReadThread == UsbReadThreadHandle && bExpectingResponse &&
                   std::strcmp(UsbReadPipePath, devicePath) == 0;
    bool otherThread = G_hReadThread && !reading;
    uint32_t request = ++UsbRequestNumber;
    ReleaseMutex(G_hTransactionInfo);

    // Nothing stored so far answers a request not yet written.
    UsbClearReplies();
    if (!reading) {
        // A thread told to end (the port was closed), one on another printer, or
        // the parallel one: ended before anything is written, so the cancel of its
        // read can cut only output nobody waits for. What the printer held while
        // nobody read is then read away.
        if (otherThread) DvcEndReadThread(RESPONSE_WAIT_TIMEOUT);
        UsbDrainReadPipe(devicePath);
    }
    DvcLog(DVC_LOG_STEPS, "UsbBeginRequest(): request %u\n", (unsigned)request);
    return request;
}
