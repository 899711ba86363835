#include "platform/win32/system_message.h"

#include <windows.h>

void SystemMessageText(int number, char* text, int textSize)
{
    text[0] = '\0';
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(number), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text,
                                  static_cast<DWORD>(textSize), nullptr);
    if (length == 0) {
        length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(number), 0, text, static_cast<DWORD>(textSize), nullptr);
    }
    if (length == 0) {
        text[0] = '\0';
        return;
    }
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ' ||
                          text[length - 1] == '.')) {
        text[--length] = '\0';
    }
}
