// ReadFileEx with completion routines, alertable waits, GetOverlappedResult,
// and ending blocked reads with CancelIo and CloseHandle.
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using orbis::platformtest::QueueDevice;

namespace {

struct Completion {
    int calls = 0;
    DWORD error = 0, bytes = 0, thread = 0;
    LPOVERLAPPED overlapped = nullptr;
};
thread_local Completion* completion = nullptr;
std::atomic<int> routinesOffThread{0};

void WINAPI Done(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
    if (!completion) { // runs on a thread that did not start the read
        ++routinesOffThread;
        return;
    }
    *completion = {completion->calls + 1, error, bytes, GetCurrentThreadId(), overlapped};
}

class Overlapped : public testing::Test {
  protected:
    void SetUp() override {
        device = std::make_shared<QueueDevice>();
        orbis::platform::DeviceOverride entry;
        entry.name = "\\\\?\\usb#vid_test#1";
        entry.usb = true;
        entry.open = [shared = device](const std::string& pipe,
                                       DWORD) -> std::shared_ptr<orbis::platform::IoObject> {
            return pipe == "PIPE01" ? shared : nullptr;
        };
        orbis::platform::RegisterDeviceOverride(entry);
        handle = CreateFileA("\\\\?\\usb#vid_test#1\\PIPE01", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::memset(&ov, 0, sizeof ov);
        ov.hEvent = event;
        std::memset(buffer, 'x', sizeof buffer);
        seen = Completion{};
        completion = &seen;
    }
    void TearDown() override {
        completion = nullptr;
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        CloseHandle(event);
        orbis::platform::ClearDeviceOverrides();
        EXPECT_EQ(routinesOffThread.load(), 0);
    }

    orbis::platformtest::TempRoot root;
    std::shared_ptr<QueueDevice> device;
    HANDLE handle = INVALID_HANDLE_VALUE, event = nullptr;
    OVERLAPPED ov;
    char buffer[32];
    Completion seen;
};

TEST_F(Overlapped, AlertableWaitRunsRoutineOnCallerAndResultCarriesError) {
    const struct Case {
        std::string data;
        DWORD failure, bytes;
    } cases[] = {
        {std::string("\xA5\x00\x03", 3), 0, 3}, {"", ERROR_CRC, 0}, {"", ERROR_DEVICE_NOT_CONNECTED, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        TearDown();
        SetUp();
        ASSERT_TRUE(ReadFileEx(handle, buffer, sizeof buffer, &ov, Done));
        std::thread feeder([&] {
            Sleep(30);
            c.failure ? device->Fail(c.failure) : device->Push(c.data);
        });
        EXPECT_EQ(WaitForSingleObjectEx(event, 20000, TRUE), WAIT_IO_COMPLETION);
        feeder.join();
        EXPECT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.thread, GetCurrentThreadId());
        EXPECT_EQ(seen.error, c.failure);
        EXPECT_EQ(seen.bytes, c.bytes);
        EXPECT_EQ(seen.overlapped, &ov);
        DWORD bytes = 99;
        SetLastError(0);
        EXPECT_EQ(GetOverlappedResult(handle, &ov, &bytes, TRUE), c.failure == 0);
        EXPECT_EQ(GetLastError(), c.failure);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(std::string(buffer, c.bytes + 1), c.data + 'x');
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0); // the event was signalled as well
    }
}

// A driver that ignores the cancel keeps its worker blocked: closing the handle on
// another thread still ends the read there, and late data never reaches the buffer.
// (A blocked ReadFile ended by CloseHandle is the host devices' test.)
TEST_F(Overlapped, CloseHandleEndsBlockedReadsOfAnotherThread) {
    device->IgnoreCancel();
    std::atomic<DWORD> error{0};
    std::thread reader([&] {
        Completion mine;
        completion = &mine;
        OVERLAPPED own{};
        own.hEvent = event;
        if (ReadFileEx(handle, buffer, sizeof buffer, &own, Done) &&
            WaitForSingleObjectEx(event, INFINITE, TRUE) == WAIT_IO_COMPLETION)
            error = mine.error;
        completion = nullptr;
    });
    EXPECT_TRUE(device->WaitForBlockedRead(20000));
    EXPECT_TRUE(CloseHandle(handle));
    handle = INVALID_HANDLE_VALUE;
    reader.join();
    EXPECT_EQ(error.load(), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(device->Cancels(), 1);
    device->Push("late data");
    Sleep(100);
    EXPECT_EQ(std::string(buffer, 4), "xxxx");
}

} // namespace
