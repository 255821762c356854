// Overlapped reads: ReadFileEx hands the read to the object (StartRead), which
// completes it from the process's I/O loop, or, for an object with only a
// blocking Read, to the handle's one worker thread. Completion is as on
// Windows: result in the OVERLAPPED, completion routine queued as an APC to
// the issuing thread, event signalled.
#include "io_handle.h"
#include "sync_state.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

namespace orbis::platform {

namespace {
bool CompleteLocked(const std::shared_ptr<PendingRead>& read, DWORD error, DWORD bytes, const void* data);
}

// One overlapped read. All members but the constants under SyncMutex().
struct PendingRead : ReadRequest, std::enable_shared_from_this<PendingRead> {
    PendingRead(DWORD count, LPOVERLAPPED ov, void* buf, LPOVERLAPPED_COMPLETION_ROUTINE done,
                std::weak_ptr<IoHandle> owner)
        : ReadRequest(count), overlapped(ov), buffer(buf), routine(done), tid(GetCurrentThreadId()),
          handle(std::move(owner)) {}
    bool Deliver(DWORD error, const void* data, DWORD bytes) override {
        WakeAfterUnlock wakes;
        std::lock_guard lock(SyncMutex());
        return CompleteLocked(shared_from_this(), error, std::min(bytes, Count()), data);
    }
    bool Ended() const override {
        std::lock_guard lock(SyncMutex());
        return done;
    }
    DWORD Thread() const override { return tid; }

    const LPOVERLAPPED overlapped;
    void* const buffer;
    const LPOVERLAPPED_COMPLETION_ROUTINE routine;
    const DWORD tid;
    const std::weak_ptr<IoHandle> handle;
    bool done = false;
};

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;

// Reads still running, by their OVERLAPPED, for GetOverlappedResult.
std::unordered_map<LPOVERLAPPED, std::shared_ptr<PendingRead>>& Running() {
    static auto* map = new std::unordered_map<LPOVERLAPPED, std::shared_ptr<PendingRead>>;
    return *map;
}

// Completes a read once; false when it was completed before (nothing is written
// to the caller's buffer then). Under SyncMutex().
bool CompleteLocked(const std::shared_ptr<PendingRead>& read, DWORD error, DWORD bytes, const void* data) {
    if (read->done) return false;
    read->done = true;
    if (bytes && data) std::memcpy(read->buffer, data, bytes);
    LPOVERLAPPED ov = read->overlapped;
    ov->Internal = error;
    ov->InternalHigh = bytes;
    auto it = Running().find(ov);
    if (it != Running().end() && it->second == read) Running().erase(it);
    if (auto handle = read->handle.lock()) {
        auto& list = handle->pending;
        list.erase(std::remove(list.begin(), list.end(), read), list.end());
    }
    if (read->routine) {
        auto routine = read->routine;
        QueueApcLocked(read->tid, [routine, error, bytes, ov] { routine(error, bytes, ov); });
    }
    if (ov->hEvent) SetEventLocked(ov->hEvent);
    NotifyLocked(ov); // GetOverlappedResult
    return true;
}

// The worker of a handle whose object only reads blocking: serves its overlapped
// reads one after another until the handle is closed.
void ServeBlockingReads(std::shared_ptr<IoHandle> handle) {
    const std::shared_ptr<IoObject> io = handle->Io();
    std::vector<char> data;
    for (;;) {
        std::shared_ptr<PendingRead> read;
        {
            std::unique_lock lock(SyncMutex());
            handle->workerWake.wait(lock, [&] { return handle->closed || !handle->queued.empty(); });
            if (handle->queued.empty()) {
                handle->workerRunning = false;
                return;
            }
            read = std::move(handle->queued.front());
            handle->queued.pop_front();
            if (read->done) continue; // cancelled while it waited its turn
            handle->workerRead = read;
        }
        // Read into our own buffer: the caller's is written only under the lock,
        // and never once the read was cancelled or its handle closed.
        data.resize(read->Count());
        DWORD got = 0, error = ERROR_SUCCESS;
        bool ok = io->Read(data.data(), read->Count(), &got, &error);
        std::lock_guard lock(SyncMutex());
        handle->workerRead = nullptr;
        NotifyLocked(handle.get()); // CancelPending
        if (ok)
            CompleteLocked(read, ERROR_SUCCESS, std::min(got, read->Count()), data.data());
        else
            CompleteLocked(read, error ? error : ERROR_GEN_FAILURE, 0, nullptr);
    }
}

} // namespace

void IoHandle::OnClose() {
    {
        std::lock_guard lock(SyncMutex());
        closed = true; // a ReadFile or ReadFileEx that looked the handle up just before fails now
        workerWake.notify_all();
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
            CompleteLocked(read, ERROR_OPERATION_ABORTED, 0, nullptr);
        blocked = blockingReads > 0;
    }
    if (reads.empty() && !blocked) return;
    // The object drops the reads it holds; a blocking Read ends.
    io_->Cancel();
    // A worker's Read may still be blocked in a driver that ignores the cancel;
    // give it a moment to leave, so it does not take data meant for a later read.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    std::unique_lock lock(SyncMutex());
    while (workerRead && std::find(reads.begin(), reads.end(), workerRead) != reads.end())
        if (!WaitChangeLocked(lock, this, 0, deadline)) break;
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
    auto read = std::make_shared<PendingRead>(nNumberOfBytesToRead, lpOverlapped, lpBuffer,
                                              lpCompletionRoutine, handle);
    {
        std::lock_guard lock(SyncMutex());
        if (handle->closed) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        lpOverlapped->Internal = kStatusPending;
        lpOverlapped->InternalHigh = 0;
        Running()[lpOverlapped] = read;
        handle->pending.push_back(read);
    }
    // Not under the lock: the object may complete the read before it returns.
    if (handle->Io()->StartRead(read)) {
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    std::lock_guard lock(SyncMutex());
    handle->queued.push_back(read);
    if (handle->workerRunning) {
        handle->workerWake.notify_one();
    } else {
        try {
            std::thread(ServeBlockingReads, handle).detach();
            handle->workerRunning = true;
        } catch (const std::system_error&) {
            // The call fails: no routine, no event, as for a read that never started.
            handle->queued.pop_back();
            read->done = true;
            Running().erase(lpOverlapped);
            handle->pending.erase(std::remove(handle->pending.begin(), handle->pending.end(), read),
                                  handle->pending.end());
            lpOverlapped->Internal = ERROR_NOT_ENOUGH_MEMORY;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
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
            WaitChangeLocked(lock, lpOverlapped, 0, std::chrono::steady_clock::time_point::max());
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
