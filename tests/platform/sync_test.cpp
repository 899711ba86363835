#include <gtest/gtest.h>

#include <thread>

#include "platform/counting_semaphore.h"
#include "platform/detached_thread.h"
#include "platform/manual_reset_event.h"
#include "support/sync_counts.h"

namespace {

TEST(CountingSemaphoreTest, CountsWithinItsMaximum)
{
    CountingSemaphore semaphore;
    InitSemaphore(&semaphore, 0, 4);
    EXPECT_FALSE(TryAcquireSemaphore(&semaphore));
    for (int count = 1; count <= 4; ++count) {
        EXPECT_TRUE(ReleaseSemaphore(&semaphore));
        EXPECT_EQ(SemaphoreCount(&semaphore), count);
    }
    EXPECT_FALSE(ReleaseSemaphore(&semaphore));   // a fifth count is refused
    EXPECT_EQ(SemaphoreCount(&semaphore), 4);
    AcquireSemaphore(&semaphore);
    EXPECT_TRUE(TryAcquireSemaphore(&semaphore));
    EXPECT_EQ(SemaphoreCount(&semaphore), 2);
}

TEST(CountingSemaphoreTest, AcquireWaitsForARelease)
{
    CountingSemaphore semaphore;
    InitSemaphore(&semaphore, 0, 1);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ReleaseSemaphore(&semaphore);
    });
    AcquireSemaphore(&semaphore);
    EXPECT_EQ(SemaphoreCount(&semaphore), 0);
    releaser.join();
}

TEST(ManualResetEventTest, StaysSignalledUntilReset)
{
    ManualResetEvent event;
    EXPECT_FALSE(IsEventSignalled(&event));
    EXPECT_FALSE(WaitForEventFor(&event, 10));
    SetEvent(&event);
    EXPECT_TRUE(IsEventSignalled(&event));
    WaitForEvent(&event);
    WaitForEvent(&event);   // every waiter passes while it is signalled
    ResetEvent(&event);
    EXPECT_FALSE(IsEventSignalled(&event));
}

struct Gate {
    ManualResetEvent open;
};

ThreadGroup TestGroup;

void* WaitAtGateAndLeave(void* argument)
{
    WaitForEvent(&static_cast<Gate*>(argument)->open);
    LeaveThreadGroup(&TestGroup);
    return nullptr;
}

TEST(DetachedThreadTest, GroupCountsRunningThreadsDown)
{
    Gate gate;
    for (int thread = 0; thread < 3; ++thread) {
        ASSERT_EQ(StartDetachedThread(&TestGroup, WaitAtGateAndLeave, &gate), 0);
    }
    EXPECT_EQ(RunningThreadCount(&TestGroup), 3);
    SetEvent(&gate.open);
    WaitThreadGroupEmpty(&TestGroup);
    EXPECT_EQ(RunningThreadCount(&TestGroup), 0);
}

}  // namespace
