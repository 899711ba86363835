#pragma once

// Names the calling thread as tools show it (top -H, /proc/PID/task/TID/comm, a debugger), so that
// a thread's own CPU time can be told apart from the rest of the process. At most 15 characters;
// a longer name is cut. A failure changes nothing and is not worth a log line.
void NameCurrentThread(const char* name);
