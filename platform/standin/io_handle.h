// The kernel object behind a file or device HANDLE: the IoObject plus the
// overlapped reads still running on it, so CancelIo and CloseHandle can end them.
// An object that starts reads itself (StartRead) completes them from the
// process's I/O loop; one that only reads blocking gets one worker thread per
// handle, which serves the handle's overlapped reads in order.
#pragma once

#include "io_object.h"
#include "kernel_object.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <vector>

namespace orbis::platform {

struct PendingRead; // overlapped_io.cpp

class IoHandle : public KernelObject {
  public:
    explicit IoHandle(std::shared_ptr<IoObject> io) : KernelObject(ObjectKind::File), io_(std::move(io)) {}
    const std::shared_ptr<IoObject>& Io() const { return io_; }
    // Ends every pending read with ERROR_OPERATION_ABORTED, including a ReadFile
    // blocked in another thread, so no thread waits forever on a closed handle.
    void CancelPending();
    void OnClose() override;

    std::vector<std::shared_ptr<PendingRead>> pending; // under SyncMutex()
    // The worker of an object with only a blocking Read; all under SyncMutex().
    std::deque<std::shared_ptr<PendingRead>> queued; // reads for the worker, in order
    std::shared_ptr<PendingRead> workerRead;         // the read the worker's Read is serving
    bool workerRunning = false;
    std::condition_variable workerWake;
    int blockingReads = 0; // ReadFile calls under way; under SyncMutex()
    bool closed = false;   // under SyncMutex()

  private:
    std::shared_ptr<IoObject> io_;
};

// The IoHandle of a file/device HANDLE, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<IoHandle> LookupIo(HANDLE handle);

} // namespace orbis::platform
