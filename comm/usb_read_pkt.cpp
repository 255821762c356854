// Reading the USB read pipe: one piece with an overlapped read and a completion
// routine, waited for alertably so the routine can run; one reply as the
// reassembly of such pieces.
#include "usb_internal.h"

#include <cstring>
#include <vector>

void WINAPI ReadPktDone(DWORD errorCode, DWORD bytesTransferred, LPOVERLAPPED overlapped) {}

BOOL UsbCloseReadPipe(HANDLE* readHandle) {
    if (*readHandle == INVALID_HANDLE_VALUE) return TRUE;
    // Withdraw the pipe from the cancel path before it is closed; a handle
    // value may be reused by the next open.
    if (G_hTransactionInfo) WaitForSingleObject(G_hTransactionInfo, INFINITE);
    if (G_hUsbReadPipe == *readHandle) G_hUsbReadPipe = INVALID_HANDLE_VALUE;
    if (G_hTransactionInfo) ReleaseMutex(G_hTransactionInfo);
    BOOL closed = CloseHandle(*readHandle);
    *readHandle = INVALID_HANDLE_VALUE;
    return closed;
}

namespace {

// The read thread is told to stop by clearing bExpectingResponse (closing or
// replacing the port, shutting down). Its read would otherwise last until the
// printer speaks again, so the wait looks at the flag now and then and cancels
// the read itself. Only the thread's own pipe, G_hUsbReadPipe, is watched.
constexpr DWORD kStopCheckMs = 200;

bool StopRequested(HANDLE readHandle) {
    if (!G_hTransactionInfo || readHandle != G_hUsbReadPipe) return false;
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool stop = !bExpectingResponse && G_hUsbReadPipe == readHandle;
    ReleaseMutex(G_hTransactionInfo);
    return stop;
}

DWORD WaitForPiece(HANDLE readHandle, HANDLE event) {
    for (;;) {
        DWORD wait = WaitForSingleObjectEx(event, kStopCheckMs, TRUE);
        // The completion routine of an earlier, cancelled read of this thread
        // runs at its next alertable wait; only our event tells that ours is done.
        if (wait == WAIT_IO_COMPLETION && WaitForSingleObject(event, 0) != WAIT_OBJECT_0) continue;
        if (wait != WAIT_TIMEOUT) return wait;
        if (StopRequested(readHandle)) CancelIo(readHandle); // completes the read as aborted
    }
}

void CloseAfterFailure(HANDLE* readHandle, DWORD error) {
    if (!UsbCloseReadPipe(readHandle)) {
        DvcLog(DVC_LOG_STEPS, "ReadPkt(): closing the read handle failed, error=%d\n", (int)GetLastError());
        return;
    }
    // A cancelled read is our own stop request, not a sick device: no pause.
    if (error != ERROR_OPERATION_ABORTED) Sleep(500);
}

// Takes the result of a completed read and copies it; a failure closes the pipe.
void TakeResult(HANDLE* readHandle, OVERLAPPED* overlapped, unsigned char* piece, unsigned char* destination,
                DWORD* bytesRead) {
    DWORD count = 0;
    if (GetOverlappedResult(*readHandle, overlapped, &count, TRUE)) {
        if (count > 0) {
            std::memcpy(destination, piece, count);
            *bytesRead = count;
        }
        return;
    }
    DWORD error = GetLastError();
    if (error == ERROR_CRC)
        DvcLog(DVC_LOG_STEPS, "ReadPkt(!Pending IO) got WAIT_IO_COMPLETION and ERROR_CRC lasterror from "
                              "ReadFileEx() - going to close read handle and return nothing\n");
    else
        DvcLog(DVC_LOG_STEPS, "ReadPkt(): after ReadFileEx(not pendingIO) call got lastError:%d\n",
               (int)error);
    CloseAfterFailure(readHandle, error);
}

// A read that was not taken must not write into our buffers after we free them.
void Drain(HANDLE readHandle, OVERLAPPED* overlapped) {
    DWORD count = 0;
    CancelIo(readHandle);
    GetOverlappedResult(readHandle, overlapped, &count, TRUE);
}

} // namespace

void ReadPkt(HANDLE* readHandle, unsigned char* destination, DWORD* bytesRead, DWORD size) {
    *bytesRead = 0;
    DvcLog(DVC_LOG_STEPS, "ReadPkt()\n");
    if (*readHandle == INVALID_HANDLE_VALUE) return;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = event;
    std::vector<unsigned char> piece(size ? size : 1, 0);

    if (ReadFileEx(*readHandle, piece.data(), size, &overlapped, ReadPktDone)) {
        DWORD wait = WaitForPiece(*readHandle, event);
        if (wait == WAIT_IO_COMPLETION || wait == WAIT_OBJECT_0) {
            TakeResult(readHandle, &overlapped, piece.data(), destination, bytesRead);
        } else if (wait == WAIT_FAILED) {
            DvcLog(DVC_LOG_STEPS, "ReadPkt(): WaitForSingleObjectEx failed with error: %d\n",
                   (int)GetLastError());
            Drain(*readHandle, &overlapped);
        } else {
            Drain(*readHandle, &overlapped);
        }
    } else {
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            if (WaitForPiece(*readHandle, event) == WAIT_OBJECT_0)
                TakeResult(readHandle, &overlapped, piece.data(), destination, bytesRead);
            else
                Drain(*readHandle, &overlapped);
        } else if (error == ERROR_CRC) {
            DvcLog(DVC_LOG_STEPS, "ReadPkt(Pending IO) got WAIT_IO_COMPLETION and ERROR_CRC lasterror from "
                                  "ReadFileEx() - going to close read handle and return nothing\n");
            CloseAfterFailure(readHandle, error);
        } else {
            DvcLog(DVC_LOG_STEPS, "ReadPkt(): after ReadFileEx() call got lastError:%d\n", (int)error);
            CloseAfterFailure(readHandle, error);
        }
    }
    if (event) CloseHandle(event);
}

// One reply read over the pipe, piece by piece with ReadPkt.
void UsbReadResponse(HANDLE* readHandle, unsigned char* reply, uint32_t* replyLength,
                     unsigned char* secondResBuf, uint32_t* secondResBufCurrentLen, DWORD maxRead) {
    UsbPieceReader read = [readHandle](unsigned char* destination, DWORD* got, DWORD size, bool* pipeDead) {
        ReadPkt(readHandle, destination, got, size);
        *pipeDead = *readHandle == INVALID_HANDLE_VALUE;
    };
    UsbReassemble(read, reply, replyLength, secondResBuf, secondResBufCurrentLen, maxRead);
}
