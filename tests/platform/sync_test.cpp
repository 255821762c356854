// Mutexes, semaphores, events, waits, threads and alertable sleeps.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <tuple>

namespace {

DWORD ElapsedSince(DWORD start) {
    return GetTickCount() - start;
}

TEST(Semaphore, ReleaseRespectsMaximumAndReportsPreviousCount) {
    struct Case {
        LONG initial, maximum, release;
        BOOL ok;
        DWORD error;
        LONG previous;
        int takeableAfter; // waits that succeed at once afterwards
    };
    const Case cases[] = {
        {0, 1, 1, TRUE, 0, 0, 1},
        {1, 1, 1, FALSE, ERROR_TOO_MANY_POSTS, -1, 1}, // count unchanged
        {0, 3, 2, TRUE, 0, 0, 2},
        {2, 3, 2, FALSE, ERROR_TOO_MANY_POSTS, -1, 2},
        {0, 1, 0, FALSE, ERROR_INVALID_PARAMETER, -1, 0},
        {1, 5, 4, TRUE, 0, 1, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.initial << "/" << c.maximum << " +" << c.release);
        HANDLE sem = CreateSemaphoreA(nullptr, c.initial, c.maximum, nullptr);
        ASSERT_NE(sem, nullptr);
        LONG previous = -1;
        SetLastError(0);
        EXPECT_EQ(ReleaseSemaphore(sem, c.release, &previous), c.ok);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(previous, c.previous);
        int taken = 0;
        while (WaitForSingleObject(sem, 0) == WAIT_OBJECT_0)
            ++taken;
        EXPECT_EQ(taken, c.takeableAfter);
        EXPECT_TRUE(CloseHandle(sem));
    }
    SetLastError(0);
    EXPECT_EQ(CreateSemaphoreA(nullptr, 2, 1, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Mutex, OwnedByThreadReentrantAndReleasedOnlyByOwner) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); // re-entry: count 2

    auto otherThreadTries = [&] {
        DWORD wait = 0, release = 0, error = 0;
        std::thread([&] {
            release = ReleaseMutex(mutex);
            error = GetLastError();
            wait = WaitForSingleObject(mutex, 50);
            if (wait == WAIT_OBJECT_0) ReleaseMutex(mutex);
        }).join();
        return std::tuple{wait, release, error};
    };
    auto [wait1, release1, error1] = otherThreadTries();
    EXPECT_EQ(release1, FALSE);
    EXPECT_EQ(error1, ERROR_NOT_OWNER);
    EXPECT_EQ(wait1, WAIT_TIMEOUT);

    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(std::get<0>(otherThreadTries()), WAIT_TIMEOUT); // still held once
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(std::get<0>(otherThreadTries()), WAIT_OBJECT_0);

    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex)); // not owned any more
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    CloseHandle(mutex);
}

TEST(Mutex, OwnerThatEndsAbandonsIt) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); // abandonment reported once
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST(Event, ManualAndAutoResetAndTimeouts) {
    struct Case {
        BOOL manual, initial;
        DWORD first, second;
    };
    const Case cases[] = {
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

    // A time-out is honoured (never early), and a signal from another thread ends the wait.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 150), WAIT_TIMEOUT);
    EXPECT_GE(ElapsedSince(start), 140u);
    std::thread setter([&] {
        Sleep(50);
        SetEvent(event);
    });
    EXPECT_EQ(WaitForSingleObject(event, 20000), WAIT_OBJECT_0);
    setter.join();
    CloseHandle(event);
}

TEST(Handles, ClosedOrBogusHandlesFailCleanly) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    const HANDLE bogus[] = {event, nullptr, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x12345678)};
    for (HANDLE h : bogus) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_FALSE(ReleaseMutex(h));
        EXPECT_FALSE(ReleaseSemaphore(h, 1, nullptr));
        char buffer[4];
        DWORD n = 7;
        EXPECT_FALSE(ReadFile(h, buffer, 4, &n, nullptr));
        EXPECT_FALSE(WriteFile(h, buffer, 4, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    // An object of the wrong kind is refused too.
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    EXPECT_FALSE(SetEvent(semaphore));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(semaphore);
}

TEST(Handles, ClosingAnObjectAnotherThreadWaitsOnIsSafe) {
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    std::atomic<DWORD> result{12345};
    std::thread waiter([&] { result = WaitForSingleObject(semaphore, 300); });
    Sleep(50);
    EXPECT_TRUE(CloseHandle(semaphore));
    waiter.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

unsigned WINAPI ReturnArgument(void* arg) {
    Sleep(50);
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(arg));
}

unsigned WINAPI EndEarly(void* arg) {
    _endthreadex(77);
    *static_cast<int*>(arg) = 1; // never reached
    return 0;
}

TEST(Thread, HandleSignalledAtExitWithExitCode) {
    int touched = 0;
    struct Case {
        unsigned(WINAPI* start)(void*);
        void* arg;
        DWORD code;
    };
    const Case cases[] = {{ReturnArgument, reinterpret_cast<void*>(42), 42}, {EndEarly, &touched, 77}};
    for (const auto& c : cases) {
        unsigned id = 0;
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, c.start, c.arg, 0, &id));
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, 0u);
        EXPECT_NE(id, GetCurrentThreadId());
        DWORD code = 0;
        if (c.start == ReturnArgument) { // still sleeping
            EXPECT_TRUE(GetExitCodeThread(thread, &code));
            EXPECT_EQ(code, STILL_ACTIVE);
        }
        EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0); // stays signalled
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, c.code);
        EXPECT_TRUE(CloseHandle(thread));
    }
    EXPECT_EQ(touched, 0);
}

TEST(Time, TickCountAdvancesWithSleeps) {
    DWORD start = GetTickCount();
    Sleep(100);
    DWORD elapsed = ElapsedSince(start);
    EXPECT_GE(elapsed, 95u);
    EXPECT_LT(elapsed, 60000u);
    start = GetTickCount();
    EXPECT_EQ(SleepEx(80, TRUE), 0u); // nothing queued: a plain sleep
    EXPECT_GE(ElapsedSince(start), 75u);

    char text[9];
    ASSERT_EQ(_strtime(text), text);
    ASSERT_EQ(std::strlen(text), 8u);
    for (int i : {0, 1, 3, 4, 6, 7})
        EXPECT_TRUE(text[i] >= '0' && text[i] <= '9') << text;
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[5], ':');
}

} // namespace
