#include "support/system_error_samples.h"

// Win32 numbers that reach the log through socket calls (a cancelled receive, a failed lookup): the
// number and then the system's message. Only the number is checked: Wine's message table words
// them differently from Windows' ("I/O operation aborted" against "The I/O operation has been
// aborted because of either a thread exit or an application request").
const SystemErrorSample SystemErrorSamples[kSystemErrorSamples] = {
    {995, "995 ", false},
    {2, "2 ", false},
};
