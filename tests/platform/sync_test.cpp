// Mutexes, semaphores, events, waits, handles and alertable sleeps.
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>

using orbis::platformtest::WaitUntilAsleep;

namespace {

DWORD ElapsedSince(DWORD start) {
    return GetTickCount() - start;
}

TEST(Semaphore, ReleaseRespectsMaximumAndReportsPreviousCount) {
    const struct Case {
        LONG initial, maximum, release;
        DWORD error; // 0: the release succeeds
        LONG previous;
        int takeableAfter; // waits that succeed at once afterwards
    } cases[] = {
        {0, 1, 1, 0, 0, 1}, {1, 1, 1, ERROR_TOO_MANY_POSTS, -1, 1}, // count unchanged
        {0, 3, 2, 0, 0, 2}, {2, 3, 2, ERROR_TOO_MANY_POSTS, -1, 2}, {0, 1, 0, ERROR_INVALID_PARAMETER, -1, 0},
        {1, 5, 4, 0, 1, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.initial << "/" << c.maximum << " +" << c.release);
        HANDLE sem = CreateSemaphoreA(nullptr, c.initial, c.maximum, nullptr);
        LONG previous = -1;
        SetLastError(0);
        EXPECT_EQ(ReleaseSemaphore(sem, c.release, &previous), c.error == 0);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(previous, c.previous);
        int taken = 0;
        while (WaitForSingleObject(sem, 0) == WAIT_OBJECT_0)
            ++taken;
        EXPECT_EQ(taken, c.takeableAfter);
        EXPECT_TRUE(CloseHandle(sem));
    }
}

TEST(Mutex, OwnedByThreadReentrantReleasedOnlyByOwnerAndAbandoned) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); // re-entry: count 2
    // Another thread cannot release it, and gets it only once it is released twice.
    auto otherThreadWaits = [&] {
        DWORD wait = 0;
        std::thread([&] {
            EXPECT_FALSE(ReleaseMutex(mutex));
            EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
            wait = WaitForSingleObject(mutex, 50);
            if (wait == WAIT_OBJECT_0) ReleaseMutex(mutex);
        }).join();
        return wait;
    };
    EXPECT_EQ(otherThreadWaits(), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(otherThreadWaits(), WAIT_TIMEOUT); // still held once
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(otherThreadWaits(), WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex)); // not owned any more
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    // An owner that ends abandons it; that is reported once.
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(Event, ManualAndAutoResetAndTimeouts) {
    const struct Case {
        BOOL manual, initial;
        DWORD first, second;
    } cases[] = {
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const auto& c : cases) {
        HANDLE event = CreateEventA(nullptr, c.manual, c.initial, nullptr);
        EXPECT_EQ(WaitForSingleObject(event, 0), c.first);
        EXPECT_EQ(WaitForSingleObject(event, 0), c.second);
        EXPECT_TRUE(SetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
        CloseHandle(event);
    }
    // A time-out is honoured, never early; an alertable sleep with nothing queued is a plain one.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 150), WAIT_TIMEOUT);
    EXPECT_GE(ElapsedSince(start), 140u);
    start = GetTickCount();
    EXPECT_EQ(SleepEx(80, TRUE), 0u);
    EXPECT_GE(ElapsedSince(start), 75u);
    CloseHandle(event);
    char text[9]; // the time of day as the log writes it
    ASSERT_EQ(_strtime(text), text);
    std::string shape = text;
    for (char& ch : shape)
        ch = ch >= '0' && ch <= '9' ? '9' : ch;
    EXPECT_EQ(shape, "99:99:99") << text;
}

TEST(Waits, ASignalFromAnotherThreadEndsAWaitAlreadyAsleep) {
    const struct Row {
        const char* what;
        HANDLE (*make)(); // not signalled; a mutex owned by the signalling thread
        bool (*signal)(HANDLE);
    } rows[] = {
        {"semaphore", [] { return CreateSemaphoreA(nullptr, 0, 1, nullptr); },
         [](HANDLE h) { return ReleaseSemaphore(h, 1, nullptr) != FALSE; }},
        {"event", [] { return CreateEventA(nullptr, FALSE, FALSE, nullptr); },
         [](HANDLE h) { return SetEvent(h) != FALSE; }},
        {"mutex", [] { return CreateMutexA(nullptr, TRUE, nullptr); },
         [](HANDLE h) { return ReleaseMutex(h) != FALSE; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        HANDLE object = row.make();
        std::atomic<pid_t> tid{0};
        DWORD result = 12345, waited = 0;
        std::thread waiter([&] {
            tid = gettid();
            const DWORD start = GetTickCount();
            result = WaitForSingleObject(object, 20000);
            waited = ElapsedSince(start);
        });
        while (!tid)
            std::this_thread::yield();
        EXPECT_TRUE(WaitUntilAsleep(tid, 20000));
        EXPECT_TRUE(row.signal(object));
        waiter.join();
        EXPECT_EQ(result, WAIT_OBJECT_0);
        EXPECT_LT(waited, 20000u); // ended by the signal, not by the time-out
        CloseHandle(object);
    }
}

struct Started {
    HANDLE mutex;
    unsigned code;
    DWORD id = 0, errorAtStart = 99, took = 0;
};

unsigned WINAPI TakeMutexAndFail(void* raw) {
    auto* started = static_cast<Started*>(raw);
    started->id = GetCurrentThreadId();
    started->errorAtStart = GetLastError();
    started->took = WaitForSingleObject(started->mutex, 0); // kept: abandoned when the thread ends
    SetLastError(ERROR_ACCESS_DENIED);
    return started->code;
}

TEST(Threads, AThreadStartedAsAnotherEndsInheritsNothingFromIt) {
    // The protocol starts a thread at every open, right after the last one ended.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    Started runs[] = {{mutex, 7}, {mutex, 9}};
    for (auto& run : runs) {
        unsigned id = 0;
        auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, TakeMutexAndFail, &run, 0, &id));
        ASSERT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, run.code);
        EXPECT_EQ(run.id, id);
        EXPECT_EQ(run.errorAtStart, 0u);
        CloseHandle(thread);
    }
    EXPECT_NE(runs[0].id, runs[1].id);
    EXPECT_EQ(runs[0].took, WAIT_OBJECT_0);
    EXPECT_EQ(runs[1].took, WAIT_ABANDONED); // the first thread ended owning it
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(Handles, ClosedBogusOrWrongKindHandlesFailCleanly) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    for (HANDLE h : {event, HANDLE(nullptr), INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x12345678)}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_FALSE(SetEvent(h) || ReleaseMutex(h) || ReleaseSemaphore(h, 1, nullptr));
        char buffer[4];
        DWORD n = 7;
        EXPECT_FALSE(ReadFile(h, buffer, 4, &n, nullptr) || WriteFile(h, buffer, 4, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_FALSE(SetEvent(semaphore));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // Closing an object another thread waits on is safe: that wait times out.
    std::atomic<pid_t> tid{0};
    std::atomic<DWORD> result{12345};
    std::thread waiter([&] {
        tid = gettid();
        result = WaitForSingleObject(semaphore, 300);
    });
    while (!tid)
        std::this_thread::yield();
    WaitUntilAsleep(tid, 20000);
    EXPECT_TRUE(CloseHandle(semaphore));
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

} // namespace
