// Shutting the library down while a read thread lives: the thread is woken and
// waited for before the objects it uses are closed; a thread that will not end
// leaves the objects open rather than using freed ones.
#include "support/comm_env.h"

#include "dvc.h"
#include "dvc_internal.h"
#include "orbis_platform.h"
#include "platform/src/io_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>

using namespace commtest;

namespace {

// A USB pipe whose reads block until they are cancelled.
class BlockingPipe : public orbis::platform::IoObject {
  public:
    bool Read(void*, DWORD, DWORD* got, DWORD* error) override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return cancelled_; });
        cancelled_ = false;
        *got = 0;
        *error = ERROR_OPERATION_ABORTED;
        return false;
    }
    bool Write(const void*, DWORD count, DWORD* written, DWORD*) override {
        *written = count;
        return true;
    }
    void Cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
};

HANDLE gStuckEvent = nullptr;

// Ends as a read thread must: under G_hTransactionInfo, once bExpectingResponse is clear.
bool EndIfNotExpected() {
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    bool end = !bExpectingResponse;
    if (end) {
        G_hReadThread = nullptr;
        if (G_hUsbReadPipe != INVALID_HANDLE_VALUE) {
            CloseHandle(G_hUsbReadPipe);
            G_hUsbReadPipe = INVALID_HANDLE_VALUE;
        }
    }
    ReleaseMutex(G_hTransactionInfo);
    return end;
}

unsigned WINAPI ParallelLike(void*) {
    for (;;) {
        WaitForSingleObject(G_hSemGoRead, INFINITE); // waits for the next request
        if (EndIfNotExpected()) return 0;
    }
}

void WINAPI ReadDone(DWORD, DWORD, LPOVERLAPPED overlapped) {
    overlapped->Offset = 1;
}

unsigned WINAPI UsbLike(void*) {
    for (;;) {
        unsigned char piece[32];
        OVERLAPPED overlapped{};
        if (!ReadFileEx(G_hUsbReadPipe, piece, sizeof piece, &overlapped, ReadDone)) return 1;
        while (overlapped.Offset == 0)
            SleepEx(INFINITE, TRUE);
        if (EndIfNotExpected()) return 0;
    }
}

unsigned WINAPI Stuck(void*) {
    WaitForSingleObject(gStuckEvent, INFINITE);
    return 0;
}

} // namespace

TEST(FrameShutdown, ReadThreadEndsBeforeObjectsClose) {
    struct Case {
        const char* name;
        unsigned(WINAPI* thread)(void*);
        bool usb;
        bool ends;
    };
    const Case cases[] = {
        {"parallel thread waiting for a request", ParallelLike, false, true},
        {"USB thread blocked in a read", UsbLike, true, true},
        {"thread that never ends", Stuck, false, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TestWorld world;
        SetLoggingLevel(0x02);
        DvcInit();
        if (test.usb) {
            orbis::platform::DeviceOverride device;
            device.name = "\\\\?\\usb#vid_0000&pid_0000#test";
            device.usb = true;
            device.open = [](const std::string&, DWORD) { return std::make_shared<BlockingPipe>(); };
            orbis::platform::RegisterDeviceOverride(device);
            G_hUsbReadPipe = CreateFileA("\\\\?\\usb#vid_0000&pid_0000#test\\PIPE01", GENERIC_READ, 0,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, G_hUsbReadPipe);
        }
        gStuckEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        bExpectingResponse = true;
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, test.thread, nullptr, 0, nullptr));
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(G_hTransactionInfo, INFINITE);
        G_hReadThread = thread;
        ReleaseMutex(G_hTransactionInfo);
        Sleep(50); // let it block where it waits

        DvcShutdown();
        auto messages = LogMessages();
        bool leftOpen =
            std::find(messages.begin(), messages.end(),
                      "DvcShutdown() - read thread did not end, objects left open") != messages.end();
        EXPECT_EQ(!test.ends, leftOpen);
        EXPECT_EQ(test.ends, G_hTransactionInfo == nullptr);
        EXPECT_EQ(test.ends, G_hSemGoRead == nullptr);
        EXPECT_FALSE(bExpectingResponse);
        if (test.ends) {
            EXPECT_EQ(nullptr, G_hReadThread);
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
        } else {
            // The objects are still usable: release the thread, then tidy up by hand.
            SetEvent(gStuckEvent);
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
            G_hReadThread = nullptr;
            EXPECT_TRUE(DvcEndReadThread(100));
            DvcShutdown();
            EXPECT_EQ(nullptr, G_hTransactionInfo);
        }
        CloseHandle(thread);
        CloseHandle(gStuckEvent);
    }
}

TEST(FrameShutdown, EndReadThreadWithoutThreadReturnsAtOnceAndLeavesNoWakeUp) {
    TestWorld world;
    DvcInit();
    bExpectingResponse = true;
    EXPECT_TRUE(DvcEndReadThread(5000));
    EXPECT_FALSE(bExpectingResponse);
    // No stray count for the next read thread to find.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(G_hSemGoRead, 0));
}
