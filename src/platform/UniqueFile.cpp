#include "platform/UniqueFile.h"

#include "platform/OwnerOnlySecurity.h"

#include <cerrno>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace varnel {

namespace {

constexpr int kAttempts = 100;

std::string randomTail()
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string tail(6, 'x');
    for (char& c : tail)
        c = letters[pick(generator)];
    return tail;
}

} // namespace

#ifndef _WIN32
int createUniqueFileIn(int folder, const std::string& prefix, FileAccess access, std::string& name)
{
    // O_EXCL never opens an existing file or follows a link; the mode is
    // given at creation, so the umask is never touched.
    const mode_t mode = access == FileAccess::ownerOnly ? 0600 : 0666;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = prefix + randomTail();
        const int fd =
            ::openat(folder, candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            name = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}
#endif

std::string createUniqueFile(const std::string& prefix, FileAccess access)
{
#ifdef _WIN32
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = prefix + randomTail();
        OwnerOnlySecurity security;
        SECURITY_ATTRIBUTES* attributes =
            access == FileAccess::ownerOnly ? security.attributes(false) : nullptr;
        if (access == FileAccess::ownerOnly && !attributes)
            return {};
        // CREATE_NEW fails on any existing name, a link included.
        const HANDLE file = CreateFileA(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, attributes,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return candidate;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            errno = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
                    : error == ERROR_DISK_FULL                                     ? ENOSPC
                                                                                   : EACCES;
            return {};
        }
    }
    errno = EEXIST;
    return {};
#else
    std::string name;
    const int fd = createUniqueFileIn(AT_FDCWD, prefix, access, name);
    if (fd < 0)
        return {};
    ::close(fd);
    return name;
#endif
}

} // namespace varnel
