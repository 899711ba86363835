#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

constexpr mode_t kNewFileMode = 0666;   // less what the umask takes away

int WriteAll(int fd, const char* bytes, size_t count)
{
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return 0;
}

// The folder that holds `path`, for flushing the rename to the disk.
std::string FolderOf(const std::string& path)
{
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A rename is on the disk once its folder is; a failure here loses nothing already renamed.
void FlushFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

int ReadWholeFile(const char* path, std::string* contents)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    contents->clear();
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int error = errno;
            close(fd);
            return error;
        }
        if (got == 0) {
            break;
        }
        contents->append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return 0;
}

int WriteFileAtomically(const char* path, const std::string& contents)
{
    // Beside the target, so that the rename stays within one file system and is atomic there; the
    // process number and a count keep two writers from sharing a temporary name. Created with the
    // mode any new file gets (the umask applies), not the private mode of a temporary file.
    static std::atomic<unsigned> written{0};
    std::string temporary = std::string(path) + ".tmp." + std::to_string(getpid()) + "." +
                            std::to_string(written.fetch_add(1, std::memory_order_relaxed));
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd < 0) {
        return errno;
    }
    int error = WriteAll(fd, contents.data(), contents.size());
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary.c_str(), path) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    FlushFolder(FolderOf(path));
    return 0;
}

std::string FileErrorText(int number)
{
    char description[128];
    // The GNU strerror_r: answers a pointer to the text, which may or may not be `description`.
    return strerror_r(number, description, sizeof description);
}
