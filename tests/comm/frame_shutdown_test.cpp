// Shutting the library down while a read thread will not end: the objects it
// uses are left open rather than freed under it. (Threads that do end are
// covered by the parallel and USB read-thread tests.)
#include "support/comm_env.h"

#include "dvc.h"
#include "dvc_internal.h"

#include <gtest/gtest.h>

using namespace commtest;

namespace {
HANDLE gStuckEvent = nullptr;

unsigned WINAPI Stuck(void*) {
    WaitForSingleObject(gStuckEvent, INFINITE);
    return 0;
}
} // namespace

TEST(FrameShutdown, ThreadThatWillNotEndLeavesTheObjectsOpen) {
    TestWorld world;
    SetLoggingLevel(0x02);
    DvcInit();
    gStuckEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bExpectingResponse = true;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Stuck, nullptr, 0, nullptr));
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(G_hTransactionInfo, INFINITE);
    G_hReadThread = thread;
    ReleaseMutex(G_hTransactionInfo);

    DvcShutdown();
    EXPECT_TRUE(Logged("DvcShutdown() - read thread did not end, objects left open"));
    EXPECT_NE(nullptr, G_hTransactionInfo);
    EXPECT_NE(nullptr, G_hSemGoRead);
    EXPECT_FALSE(bExpectingResponse);
    // The objects are still usable: release the thread, then tidy up by hand.
    SetEvent(gStuckEvent);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    G_hReadThread = nullptr;
    EXPECT_TRUE(DvcEndReadThread(100));
    DvcShutdown();
    EXPECT_EQ(nullptr, G_hTransactionInfo);
    CloseHandle(thread);
    CloseHandle(gStuckEvent);
}
