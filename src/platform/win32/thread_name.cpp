#include "platform/thread_name.h"

#include <windows.h>


namespace {

using SetThreadDescriptionCall = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// SetThreadDescription came with Windows 10 1607; looked up at run time so that the program still
// starts where it is missing, and the thread is then simply left unnamed.
SetThreadDescriptionCall FindSetThreadDescription()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<SetThreadDescriptionCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetThreadDescription")));
}

}  // namespace

void NameCurrentThread(const char* name)
{
    const SetThreadDescriptionCall describe = FindSetThreadDescription();
    if (describe == nullptr) {
        return;
    }
    wchar_t wideName[16] = {};
    for (size_t index = 0; index < 15 && name[index] != '\0'; ++index) {
        wideName[index] = static_cast<unsigned char>(name[index]);
    }
    describe(GetCurrentThread(), wideName);
}
