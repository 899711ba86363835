#include "platform/winsock_error.h"

#include <cstdio>

#include "platform/win32/system_message.h"

void SystemErrorText(int number, char* text, int textSize)
{
    if (textSize <= 0) {
        return;
    }
    text[0] = '\0';
    // WinSock numbers reach the log straight from the system; one that the WinSock table has no text
    // for (such as 995, an aborted call) is a Win32 number with words of its own.
    if (number <= 0) {
        return;
    }
    char words[256];
    SystemMessageText(number, words, sizeof words);
    if (words[0] != '\0') {
        std::snprintf(text, static_cast<size_t>(textSize), "%d %s", number, words);
    }
}
