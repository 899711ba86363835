#pragma once

#include "platform/detached_thread.h"

// The listener and every client thread: tear-down waits until all of them have returned.
extern ThreadGroup ServerThreads;
