#include "platform/detached_thread.h"

void LeaveThreadGroup(ThreadGroup* group)
{
    std::lock_guard<std::mutex> hold(group->guard);
    --group->running;
    group->ended.notify_all();
}

void WaitThreadGroupEmpty(ThreadGroup* group)
{
    std::unique_lock<std::mutex> hold(group->guard);
    group->ended.wait(hold, [group] { return group->running == 0; });
}
