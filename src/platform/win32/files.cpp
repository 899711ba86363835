#include "platform/files.h"

#include <windows.h>

#include <atomic>

#include "platform/win32/system_message.h"

namespace {

int WriteAll(HANDLE file, const char* bytes, size_t count)
{
    while (count > 0) {
        const DWORD part = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(file, bytes, part, &written, nullptr)) {
            return static_cast<int>(GetLastError());
        }
        bytes += written;
        count -= written;
    }
    return 0;
}

// The words the POSIX build gives for the file errors a user meets, so that both builds refuse a
// missing or forbidden file in the same sentence.
const char* PosixWordsOf(int number)
{
    switch (number) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "Permission denied";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return "File exists";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "No space left on device";
    case ERROR_WRITE_PROTECT:
        return "Read-only file system";
    case ERROR_FILENAME_EXCED_RANGE:
        return "File name too long";
    case ERROR_DIRECTORY:
        return "Not a directory";
    default:
        return nullptr;
    }
}

}  // namespace

int ReadWholeFile(const char* path, std::string* contents)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return static_cast<int>(GetLastError());
    }
    contents->clear();
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            int error = static_cast<int>(GetLastError());
            CloseHandle(file);
            return error;
        }
        if (got == 0) {
            break;
        }
        contents->append(buffer, got);
    }
    CloseHandle(file);
    return 0;
}

int WriteFileAtomically(const char* path, const std::string& contents)
{
    // Beside the target, so that the move stays within one volume and replaces it in one step; the
    // process number and a count keep two writers from sharing a temporary name.
    static std::atomic<unsigned> written{0};
    std::string temporary = std::string(path) + ".tmp." + std::to_string(GetCurrentProcessId()) + "." +
                            std::to_string(written.fetch_add(1, std::memory_order_relaxed));
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return static_cast<int>(GetLastError());
    }
    int error = WriteAll(file, contents.data(), contents.size());
    if (error == 0 && !FlushFileBuffers(file)) {
        error = static_cast<int>(GetLastError());
    }
    if (!CloseHandle(file) && error == 0) {
        error = static_cast<int>(GetLastError());
    }
    // WRITE_THROUGH: the move itself is on the disk before the call returns.
    if (error == 0 &&
        !MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = static_cast<int>(GetLastError());
    }
    if (error != 0) {
        DeleteFileA(temporary.c_str());
    }
    return error;
}

std::string FileErrorText(int number)
{
    if (const char* words = PosixWordsOf(number)) {
        return words;
    }
    char words[256];
    SystemMessageText(number, words, sizeof words);
    return words[0] != '\0' ? std::string(words) : "error " + std::to_string(number);
}
