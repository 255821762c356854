// Overlapped reads: ReadFileEx runs the object's blocking Read on a worker
// thread and completes like Windows: result in the OVERLAPPED, completion
// routine queued as an APC to the issuing thread, event signalled.
#include "io_handle.h"
#include "sync_state.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

namespace orbis::platform {

// All members under SyncMutex().
struct PendingRead {
    LPOVERLAPPED overlapped;
    void* buffer;
    LPOVERLAPPED_COMPLETION_ROUTINE routine;
    DWORD tid;
    bool done = false;
    bool workerLeftRead = false;
};

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;

// Reads still running, by their OVERLAPPED, for GetOverlappedResult.
std::unordered_map<LPOVERLAPPED, std::shared_ptr<PendingRead>>& Running() {
    static auto* map = new std::unordered_map<LPOVERLAPPED, std::shared_ptr<PendingRead>>;
    return *map;
}

// Completes a read once; later completions of the same read are ignored. Under SyncMutex().
void CompleteLocked(IoHandle* handle, const std::shared_ptr<PendingRead>& read, DWORD error, DWORD bytes,
                    const char* data) {
    if (read->done) return;
    read->done = true;
    if (bytes && data) std::memcpy(read->buffer, data, bytes);
    LPOVERLAPPED ov = read->overlapped;
    ov->Internal = error;
    ov->InternalHigh = bytes;
    auto it = Running().find(ov);
    if (it != Running().end() && it->second == read) Running().erase(it);
    if (handle) {
        auto& list = handle->pending;
        list.erase(std::remove(list.begin(), list.end(), read), list.end());
    }
    if (read->routine) {
        auto routine = read->routine;
        QueueApcLocked(read->tid, [routine, error, bytes, ov] { routine(error, bytes, ov); });
    }
    if (ov->hEvent) SetEventLocked(ov->hEvent);
    SyncChanged().notify_all();
}

} // namespace

void IoHandle::OnClose() {
    {
        std::lock_guard lock(SyncMutex());
        closed = true; // a ReadFile that looked the handle up just before fails now
    }
    CancelPending();
}

void IoHandle::CancelPending() {
    std::vector<std::shared_ptr<PendingRead>> reads;
    bool blocked;
    {
        std::lock_guard lock(SyncMutex());
        reads = pending;
        for (auto& read : reads)
            CompleteLocked(this, read, ERROR_OPERATION_ABORTED, 0, nullptr);
        blocked = blockingReads > 0;
    }
    if (reads.empty()) {
        if (blocked) io_->Cancel();
        return;
    }
    // The worker's Read may still be blocked; end it and give it a moment to leave,
    // so it does not take data meant for a later read. Its result is dropped.
    io_->Cancel();
    std::unique_lock lock(SyncMutex());
    SyncChanged().wait_for(lock, std::chrono::milliseconds(500), [&] {
        return std::all_of(reads.begin(), reads.end(), [](const auto& read) { return read->workerLeftRead; });
    });
}

} // namespace orbis::platform

using namespace orbis::platform;

BOOL ReadFileEx(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPOVERLAPPED lpOverlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
    auto handle = LookupIo(hFile);
    if (!handle) return FALSE;
    if (!lpOverlapped || (!lpBuffer && nNumberOfBytesToRead)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto read = std::make_shared<PendingRead>();
    read->overlapped = lpOverlapped;
    read->buffer = lpBuffer;
    read->routine = lpCompletionRoutine;
    read->tid = GetCurrentThreadId();
    {
        std::lock_guard lock(SyncMutex());
        lpOverlapped->Internal = kStatusPending;
        lpOverlapped->InternalHigh = 0;
        Running()[lpOverlapped] = read;
        handle->pending.push_back(read);
    }
    // The worker reads into its own buffer and copies under the lock, so nothing
    // is written to the caller's buffer once the read was cancelled or closed.
    std::shared_ptr<IoObject> io = handle->Io();
    std::weak_ptr<IoHandle> weakHandle = handle;
    try {
        std::thread([io, read, weakHandle, nNumberOfBytesToRead] {
            std::vector<char> data(nNumberOfBytesToRead);
            DWORD got = 0, error = ERROR_SUCCESS;
            bool ok = io->Read(data.data(), nNumberOfBytesToRead, &got, &error);
            auto owner = weakHandle.lock();
            std::lock_guard lock(SyncMutex());
            read->workerLeftRead = true;
            SyncChanged().notify_all();
            if (ok)
                CompleteLocked(owner.get(), read, ERROR_SUCCESS, std::min(got, nNumberOfBytesToRead),
                               data.data());
            else
                CompleteLocked(owner.get(), read, error ? error : ERROR_GEN_FAILURE, 0, nullptr);
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(SyncMutex());
        Running().erase(lpOverlapped);
        handle->pending.erase(std::remove(handle->pending.begin(), handle->pending.end(), read),
                              handle->pending.end());
        lpOverlapped->Internal = ERROR_NOT_ENOUGH_MEMORY;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                         BOOL bWait) {
    if (!lpOverlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error, bytes;
    {
        std::unique_lock lock(SyncMutex());
        for (;;) {
            auto it = Running().find(lpOverlapped);
            if (it == Running().end() || it->second->done) break;
            if (!bWait) {
                SetLastError(ERROR_IO_INCOMPLETE);
                return FALSE;
            }
            SyncChanged().wait(lock);
        }
        error = static_cast<DWORD>(lpOverlapped->Internal);
        bytes = static_cast<DWORD>(lpOverlapped->InternalHigh);
    }
    if (lpNumberOfBytesTransferred) *lpNumberOfBytesTransferred = bytes;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL CancelIo(HANDLE hFile) {
    auto handle = LookupIo(hFile);
    if (!handle) return FALSE;
    handle->CancelPending();
    return TRUE;
}
