// ReadFileEx with completion routines, alertable waits and GetOverlappedResult,
// on a device whose reads end as a driver's do, and CloseHandle from another thread.
#include "support/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <unistd.h>

using orbis::platformtest::QueueDevice;

namespace {

struct Completion {
    int calls = 0;
    DWORD error = 0, bytes = 0;
    LPOVERLAPPED overlapped = nullptr;
};
thread_local Completion seen; // a routine run on another thread leaves this one's untouched

void WINAPI Done(DWORD error, DWORD bytes, LPOVERLAPPED overlapped) {
    seen = {seen.calls + 1, error, bytes, overlapped};
}

TEST(Overlapped, RoutineRunsOnceOnTheCallerAndResultCarriesTheError) {
    const struct Row {
        const char* how;
        std::string data;
        DWORD error;
        bool closed;      // the handle closed on another thread, by a driver that ignores the cancel
        bool whileAsleep; // the answer comes once the caller already sleeps, alertable
    } rows[] = {
        {"answered", std::string("\xA5\x00\x03", 3), 0, false, false},
        {"answered later", std::string("\xA5\x00\x03", 3), 0, false, true},
        {"crc error", "", ERROR_CRC, false, false},
        {"unplugged", "", ERROR_DEVICE_NOT_CONNECTED, false, false},
        {"closed", "", ERROR_OPERATION_ABORTED, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        auto device = std::make_shared<QueueDevice>();
        orbis::platform::DeviceOverride entry;
        entry.name = "\\\\?\\usb#vid_test#1";
        entry.usb = true;
        entry.open = [device](const std::string& pipe, DWORD) -> std::shared_ptr<orbis::platform::IoObject> {
            return pipe == "PIPE01" ? device : nullptr;
        };
        orbis::platform::RegisterDeviceOverride(entry);
        HANDLE handle = CreateFileA("\\\\?\\usb#vid_test#1\\PIPE01", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        seen = {};
        ASSERT_TRUE(ReadFileEx(handle, buffer, sizeof buffer, &ov, Done));
        EXPECT_TRUE(device->WaitForReads(1, 20000));
        if (row.closed) {
            device->IgnoreCancel();
            std::thread([&] { EXPECT_TRUE(CloseHandle(handle)); }).join();
        }
        std::thread answer([&, caller = gettid()] {
            if (row.closed) return;
            if (row.whileAsleep) EXPECT_TRUE(orbis::platformtest::WaitUntilAsleep(caller, 20000));
            device->Push(row.data, row.error);
        });
        if (!row.whileAsleep) answer.join();
        // Sleeping, not waiting on the event: only the queued routine can end the sleep early.
        const DWORD start = GetTickCount();
        EXPECT_EQ(row.whileAsleep ? SleepEx(20000, TRUE) : WaitForSingleObjectEx(ov.hEvent, 20000, TRUE),
                  WAIT_IO_COMPLETION);
        EXPECT_LT(GetTickCount() - start, 20000u); // woken by the completion, not the time-out
        if (answer.joinable()) answer.join();
        EXPECT_EQ(seen.calls, 1);
        EXPECT_EQ(seen.error, row.error);
        EXPECT_EQ(seen.bytes, row.data.size());
        EXPECT_EQ(seen.overlapped, &ov);
        EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), WAIT_OBJECT_0); // the event is signalled as well
        if (row.closed) {
            device->Push("late"); // taken by the still blocked driver, never written to the buffer
            EXPECT_TRUE(device->WaitForReads(0, 20000));
        } else {
            DWORD bytes = 99;
            SetLastError(0);
            EXPECT_EQ(GetOverlappedResult(handle, &ov, &bytes, TRUE), row.error == 0);
            EXPECT_EQ(GetLastError(), row.error);
            EXPECT_EQ(bytes, row.data.size());
            CloseHandle(handle);
        }
        EXPECT_EQ(std::string(buffer, row.data.size() + 4), row.data + "xxxx");
        CloseHandle(ov.hEvent);
        orbis::platform::ClearDeviceOverrides();
    }
}

} // namespace
