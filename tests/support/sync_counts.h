#pragma once

// What tests read of the platform's synchronisation objects: how many threads of a group still
// run, how many counts a semaphore holds. The server itself never needs to know.

#include "platform/counting_semaphore.h"
#include "platform/detached_thread.h"

int RunningThreadCount(ThreadGroup* group);
int SemaphoreCount(CountingSemaphore* semaphore);
