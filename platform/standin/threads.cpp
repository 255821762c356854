// Threads, thread ids, sleeps and the tick count.
#include "sync_state.h"

#include <atomic>
#include <chrono>
#include <limits.h>
#include <pthread.h>
#include <thread>

namespace orbis::platform {
namespace {

class ThreadObject : public Waitable {
  public:
    ThreadObject() : Waitable(ObjectKind::Thread) {}
    bool TryAcquire(DWORD, bool*) override { return done; }
    bool done = false;             // under SyncMutex()
    DWORD exitCode = STILL_ACTIVE; // under SyncMutex()
};

// Thread identity: a small number per thread, and the hook that abandons the
// thread's mutexes when it ends, whoever created the thread.
DWORD AllocateThreadId() {
    static std::atomic<DWORD> next{0x104};
    return next.fetch_add(4);
}

struct ThreadRecord {
    DWORD id = AllocateThreadId();
    ~ThreadRecord() { ThreadEnded(id); }
};

thread_local ThreadRecord threadRecord;

struct StartInfo {
    unsigned(WINAPI* start)(void*);
    void* arg;
    std::shared_ptr<ThreadObject> thread;
    DWORD id;
};

thread_local unsigned pendingExitCode = 0;

// Marks the thread finished on return and on _endthreadex (pthread_exit unwinds through here).
struct Finisher {
    std::shared_ptr<ThreadObject> thread;
    unsigned* code;
    ~Finisher() {
        ThreadEnded(GetCurrentThreadId());
        std::lock_guard lock(SyncMutex());
        thread->exitCode = *code;
        thread->done = true;
        NotifyLocked(thread.get());
    }
};

void* Trampoline(void* raw) {
    std::unique_ptr<StartInfo> info(static_cast<StartInfo*>(raw));
    threadRecord.id = info->id;
    Finisher finisher{info->thread, &pendingExitCode};
    pendingExitCode = info->start(info->arg);
    return nullptr;
}

} // namespace
} // namespace orbis::platform

using namespace orbis::platform;

DWORD GetCurrentThreadId(void) {
    return threadRecord.id;
}

uintptr_t _beginthreadex(void*, unsigned stack_size, unsigned(WINAPI* start_address)(void*), void* arglist,
                         unsigned, unsigned* thrdaddr) {
    if (!start_address) {
        errno = EINVAL;
        return 0;
    }
    auto thread = std::make_shared<ThreadObject>();
    auto* info = new StartInfo{start_address, arglist, thread, AllocateThreadId()};
    HANDLE handle = InsertHandle(thread);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_size)
        pthread_attr_setstacksize(&attr, stack_size < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stack_size);
    const DWORD newId = info->id;
    pthread_t id;
    int rc = pthread_create(&id, &attr, Trampoline, info);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete info;
        RemoveHandle(handle);
        errno = rc;
        return 0;
    }
    if (thrdaddr) *thrdaddr = newId;
    return reinterpret_cast<uintptr_t>(handle);
}

void _endthreadex(unsigned retval) {
    pendingExitCode = retval;
    pthread_exit(nullptr);
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = LookupAs<ThreadObject>(hThread, ObjectKind::Thread);
    if (!thread || !lpExitCode) {
        SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(SyncMutex());
    *lpExitCode = thread->exitCode;
    return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount(void) {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
