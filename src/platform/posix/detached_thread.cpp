#include "platform/detached_thread.h"

#include <pthread.h>

int StartDetachedThread(ThreadGroup* group, ThreadRoutine routine, void* argument)
{
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error != 0) {
        return error;
    }
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    {
        // Counted before the thread exists, so a waiter can never see it missing while it runs.
        std::lock_guard<std::mutex> hold(group->guard);
        ++group->running;
    }
    pthread_t thread;
    error = pthread_create(&thread, &attributes, routine, argument);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        LeaveThreadGroup(group);
    }
    return error;
}
