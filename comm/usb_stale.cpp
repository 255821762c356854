// Keeping a USB printer's stale output away from the next request. A USB
// printer keeps what it sends until the host reads it, across pipe closes and
// opens; a reply whose wait gave up, or the rest of one whose pipe failed, would
// otherwise be taken by the next request with the same command byte, and every
// reply after it would be one late.
#include "usb_internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
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

// The printers this process has read empty, and whose output has been read ever
// since: a read thread reads everything while the port is open, so between a
// close and the next open a printer sends nothing unasked unless a request's
// answer was still to come. Such printers need no drain at the next open.
std::set<std::string> g_readEmpty;

bool ReadEmpty(const char* devicePath) {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    return g_readEmpty.count(devicePath) != 0;
}

void SetReadEmpty(const char* devicePath, bool empty) {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    if (empty)
        g_readEmpty.insert(devicePath);
    else
        g_readEmpty.erase(devicePath);
}

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
    g_readEmpty.erase(devicePath);
}

void UsbOutputLeftUnread(const char* devicePath) {
    SetReadEmpty(devicePath, false);
}

void UsbForgetPrintersForTesting() {
    std::lock_guard<std::mutex> lock(g_abandonedMutex);
    g_readEmpty.clear();
}

bool UsbDrainReadPipe(const char* devicePath, uint32_t* droppedBytes) {
    uint32_t dropped = 0;
    if (droppedBytes) *droppedBytes = 0;
    HANDLE pipe = OpenUsbHandle(devicePath, "PIPE01");
    if (pipe == INVALID_HANDLE_VALUE) return false;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<unsigned char> piece(kDrainRead);
    bool silent = false;
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
        bool ranOut = wait != WAIT_OBJECT_0 && wait != WAIT_IO_COMPLETION;
        if (ranOut) CancelIo(pipe);
        DWORD got = 0;
        if (!GetOverlappedResult(pipe, &overlapped, &got, TRUE) || got == 0) {
            silent = ranOut; // a failed pipe tells nothing
            break;
        }
        DvcLog(DVC_LOG_HEX, "UsbDrainReadPipe(): dropped what the printer held from before:\n");
        DvcLogHex(piece.data(), uint16_t(got));
        dropped += got;
    }
    if (event) CloseHandle(event);
    CloseHandle(pipe);
    if (dropped)
        DvcLog(DVC_LOG_STEPS, "UsbDrainReadPipe(): %u bytes the printer held from before, dropped\n",
               (unsigned)dropped);
    if (droppedBytes) *droppedBytes = dropped;
    return silent;
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
    ReleaseMutex(G_hTransactionInfo);
    // A thread told to end (the port was closed), one on another printer, or the
    // parallel one is ended before the number is raised, so a piece it still
    // takes in is marked as older, and before anything is written, so the cancel
    // of its read can cut only output nobody waits for.
    if (otherThread) DvcEndReadThread(RESPONSE_WAIT_TIMEOUT);
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    uint32_t request = ++UsbRequestNumber;
    ReleaseMutex(G_hTransactionInfo);

    // Nothing stored so far answers a request not yet written.
    UsbClearReplies();
    // What the printer may hold while nobody read is read away: at its first
    // request in this process, and after an answer was left to come.
    if (!reading && ReadEmpty(devicePath))
        DvcLog(DVC_LOG_STEPS, "UsbBeginRequest(): printer read empty before, nothing left unread since\n");
    else if (!reading)
        SetReadEmpty(devicePath, UsbDrainReadPipe(devicePath));
    DvcLog(DVC_LOG_STEPS, "UsbBeginRequest(): request %u\n", (unsigned)request);
    return request;
}
