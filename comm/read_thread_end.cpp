// Ending the read thread before the objects it waits on go away.
#include "dvc_internal.h"

#include <algorithm>

// Cancelled under the mutex: the USB thread clears G_hUsbReadPipe under the
// same mutex before it closes the pipe, so the handle is never stale here.
static void CancelUsbRead() {
    if (G_hUsbReadPipe != INVALID_HANDLE_VALUE && G_hUsbReadPipe != nullptr) CancelIo(G_hUsbReadPipe);
}

static bool ReadThreadGone() {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool gone = G_hReadThread == nullptr;
    // Again on every poll: a read started just after the first cancel would block.
    if (!gone) CancelUsbRead();
    ReleaseMutex(G_hTransactionInfo);
    return gone;
}

bool DvcEndReadThread(DWORD timeoutMs) {
    if (!G_hTransactionInfo) return G_hReadThread == nullptr;

    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bExpectingResponse = false;
    bool running = G_hReadThread != nullptr;
    CancelUsbRead();
    ReleaseMutex(G_hTransactionInfo);

    if (!running) return true;
    // A parallel read thread waiting for its next request wakes and sees the flag.
    if (G_hSemGoRead) ReleaseSemaphore(G_hSemGoRead, 1, nullptr);

    // A cancelled or woken thread ends within a millisecond or so and says so
    // through the event; every USB close waits here. The wait is cut into short
    // pieces so a read started just after the cancel is cancelled again.
    DWORD start = GetTickCount();
    while (!ReadThreadGone()) {
        DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs) return false;
        WaitForSingleObject(G_hReadThreadEnded, std::min<DWORD>(10, timeoutMs - waited));
    }
    // A wake-up the thread did not consume must not start the next one early.
    if (G_hSemGoRead) WaitForSingleObject(G_hSemGoRead, 0);
    return true;
}
