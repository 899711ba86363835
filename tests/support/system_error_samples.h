#pragma once

// Error numbers that the platform layer may report and the WinSock table has no text for, with the
// words the log names them in: the system's own, which differ between the backends.
struct SystemErrorSample {
    int number;
    const char* words;   // as the log shows them after "ERROR: what : "
    bool wordsExact;     // false: the log shows `words` and then more of the system's own
};

inline constexpr int kSystemErrorSamples = 2;
extern const SystemErrorSample SystemErrorSamples[kSystemErrorSamples];
