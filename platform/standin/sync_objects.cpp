// Mutexes, semaphores and events with their Win32 ownership and count rules.
#include "sync_state.h"

#include <map>
#include <set>
#include <string>

namespace orbis::platform {
namespace {

class MutexObject : public Waitable {
  public:
    MutexObject();
    ~MutexObject() override;
    bool TryAcquire(DWORD tid, bool* abandoned) override {
        if (owner_ != 0 && owner_ != tid) return false;
        if (owner_ == tid) {
            ++count_;
            return true;
        }
        owner_ = tid;
        count_ = 1;
        *abandoned = abandoned_;
        abandoned_ = false;
        return true;
    }
    bool Release(DWORD tid) {
        if (owner_ != tid || count_ == 0) return false;
        if (--count_ == 0) {
            owner_ = 0;
            NotifyLocked(this);
        }
        return true;
    }
    void Abandon(DWORD tid) {
        if (owner_ != tid) return;
        owner_ = 0;
        count_ = 0;
        abandoned_ = true;
        NotifyLocked(this);
    }

  private:
    DWORD owner_ = 0;
    DWORD count_ = 0;
    bool abandoned_ = false;
};

class SemaphoreObject : public Waitable {
  public:
    SemaphoreObject(LONG initial, LONG maximum)
        : Waitable(ObjectKind::Semaphore), count_(initial), max_(maximum) {}
    bool TryAcquire(DWORD, bool*) override {
        if (count_ == 0) return false;
        --count_;
        return true;
    }
    bool Release(LONG n, LONG* previous) {
        if (n > max_ - count_) return false;
        *previous = count_;
        count_ += n;
        NotifyLocked(this);
        return true;
    }

  private:
    LONG count_;
    LONG max_;
};

class EventObject : public Waitable {
  public:
    EventObject(bool manual, bool initial)
        : Waitable(ObjectKind::Event), manual_(manual), signalled_(initial) {}
    bool TryAcquire(DWORD, bool*) override {
        if (!signalled_) return false;
        if (!manual_) signalled_ = false;
        return true;
    }
    void Set() {
        signalled_ = true;
        NotifyLocked(this);
    }
    void Reset() { signalled_ = false; }

  private:
    bool manual_;
    bool signalled_;
};

// Live mutexes, so a thread's end can abandon the ones it owns. Under SyncMutex().
std::set<MutexObject*>& LiveMutexes() {
    static auto* set = new std::set<MutexObject*>;
    return *set;
}

MutexObject::MutexObject() : Waitable(ObjectKind::Mutex) {
    std::lock_guard lock(SyncMutex());
    LiveMutexes().insert(this);
}

MutexObject::~MutexObject() {
    std::lock_guard lock(SyncMutex());
    LiveMutexes().erase(this);
}

// Named objects: a second create with the same name opens the first.
std::mutex namesMutex;
std::map<std::string, std::weak_ptr<Waitable>> names;

template <class T, class Make> HANDLE CreateNamed(LPCSTR name, ObjectKind kind, Make make) {
    if (!name || !*name) {
        SetLastError(ERROR_SUCCESS);
        return InsertHandle(make());
    }
    std::lock_guard lock(namesMutex);
    auto& slot = names[name];
    if (auto existing = slot.lock()) {
        if (existing->Kind() != kind) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        SetLastError(ERROR_ALREADY_EXISTS);
        return InsertHandle(existing);
    }
    std::shared_ptr<T> object = make();
    slot = object;
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(object);
}

} // namespace

void SetEventLocked(HANDLE event) {
    if (auto object = LookupAs<EventObject>(event, ObjectKind::Event)) object->Set();
}

void ThreadEnded(DWORD tid) {
    std::lock_guard lock(SyncMutex());
    for (MutexObject* mutex : LiveMutexes())
        mutex->Abandon(tid);
    DropApcsLocked(tid);
}

} // namespace orbis::platform

using namespace orbis::platform;

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    HANDLE handle =
        CreateNamed<MutexObject>(lpName, ObjectKind::Mutex, [] { return std::make_shared<MutexObject>(); });
    if (handle && bInitialOwner) {
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) WaitForSingleObject(handle, INFINITE);
        SetLastError(error);
    }
    return handle;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    auto mutex = LookupAs<MutexObject>(hMutex, ObjectKind::Mutex);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD tid = GetCurrentThreadId();
    WakeAfterUnlock wakes;
    std::lock_guard lock(SyncMutex());
    if (!mutex->Release(tid)) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount, LPCSTR lpName) {
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateNamed<SemaphoreObject>(lpName, ObjectKind::Semaphore, [&] {
        return std::make_shared<SemaphoreObject>(lInitialCount, lMaximumCount);
    });
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
    auto semaphore = LookupAs<SemaphoreObject>(hSemaphore, ObjectKind::Semaphore);
    if (!semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lReleaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LONG previous = 0;
    WakeAfterUnlock wakes;
    std::lock_guard lock(SyncMutex());
    if (!semaphore->Release(lReleaseCount, &previous)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (lpPreviousCount) *lpPreviousCount = previous;
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    return CreateNamed<EventObject>(lpName, ObjectKind::Event, [&] {
        return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE);
    });
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = LookupAs<EventObject>(hEvent, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    WakeAfterUnlock wakes;
    std::lock_guard lock(SyncMutex());
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = LookupAs<EventObject>(hEvent, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(SyncMutex());
    event->Reset();
    return TRUE;
}
