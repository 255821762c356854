// Threads, thread ids, sleeps and the tick count.
#include "device_problem.h"
#include "sync_state.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits.h>
#include <mutex>
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
    bool keep; // a default stack: the host thread may serve later starts
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

// A thread that has finished waits a little for the next start before it ends:
// the protocol starts a read thread at every port open, and creating and ending
// a thread costs more than the read itself. The Windows thread (its handle, id,
// exit code, mutexes, APCs) still ends when its function returns; only the host
// thread is kept, and it ends after kIdleKeep without a new start.
constexpr auto kIdleKeep = std::chrono::milliseconds(200);
constexpr size_t kMaxIdle = 2;

struct IdleThreads {
    std::mutex mutex;
    std::condition_variable started;
    std::deque<StartInfo*> starts; // handed over, not yet taken
    size_t idle = 0;               // threads waiting for a start
};

IdleThreads*& Idle() {
    static IdleThreads* idle = [] {
        // A child of fork() has none of the parent's waiting threads.
        pthread_atfork(nullptr, nullptr, [] { Idle() = new IdleThreads; });
        return new IdleThreads; // never destroyed: waiting threads outlive main()
    }();
    return idle;
}

// Gives the start to a waiting thread; false when none waits.
bool HandToIdle(StartInfo* info) {
    IdleThreads& pool = *Idle();
    std::lock_guard lock(pool.mutex);
    if (pool.idle <= pool.starts.size()) return false;
    pool.starts.push_back(info);
    pool.started.notify_one();
    return true;
}

StartInfo* WaitForStart() {
    IdleThreads& pool = *Idle();
    std::unique_lock lock(pool.mutex);
    if (pool.idle >= kMaxIdle) return nullptr;
    ++pool.idle;
    pool.started.wait_for(lock, kIdleKeep, [&] { return !pool.starts.empty(); });
    --pool.idle;
    if (pool.starts.empty()) return nullptr;
    StartInfo* info = pool.starts.front();
    pool.starts.pop_front();
    return info;
}

void Run(std::unique_ptr<StartInfo> info) {
    // As a new thread: its own id, no last error, no open cause of a previous run.
    threadRecord.id = info->id;
    SetLastError(ERROR_SUCCESS);
    ForgetThreadOpenCause();
    pendingExitCode = 0;
    Finisher finisher{info->thread, &pendingExitCode};
    pendingExitCode = info->start(info->arg);
}

void* Trampoline(void* raw) {
    auto* info = static_cast<StartInfo*>(raw);
    const bool keep = info->keep;
    for (; info; info = keep ? WaitForStart() : nullptr)
        Run(std::unique_ptr<StartInfo>(info));
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
    auto* info = new StartInfo{start_address, arglist, thread, AllocateThreadId(), stack_size == 0};
    HANDLE handle = InsertHandle(thread);
    const DWORD newId = info->id;
    if (!stack_size && HandToIdle(info)) {
        if (thrdaddr) *thrdaddr = newId;
        return reinterpret_cast<uintptr_t>(handle);
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_size)
        pthread_attr_setstacksize(&attr, stack_size < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stack_size);
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
