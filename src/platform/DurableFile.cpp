#include "platform/DurableFile.h"

#include "platform/OwnerOnlySecurity.h"
#include "platform/UniqueFile.h"

#include <UniqueHandle.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <direct.h>
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

std::string systemReason(int error)
{
    return std::strerror(error);
}

#ifdef _WIN32
int closeDescriptor(int fd)
{
    return _close(fd);
}
#else
int closeDescriptor(int fd)
{
    return ::close(fd);
}
#endif

struct OpenFileTraits {
    using Value = int;
    static int invalid() { return -1; }
    static int adopt(int fd) { return fd < 0 ? -1 : fd; }
    static void close(int fd) { closeDescriptor(fd); }
};

// Owns an open descriptor; closing is checked where it matters, by closeChecked.
using OpenFile = linkport::UniqueHandle<OpenFileTraits>;

bool closeChecked(OpenFile& file)
{
    return closeDescriptor(file.release()) == 0;
}

// The temporary file goes again unless it was renamed or linked into place.
#ifdef _WIN32
class TemporaryName {
public:
    explicit TemporaryName(std::string path) : path(std::move(path)) {}
    ~TemporaryName()
    {
        if (!path.empty())
            std::remove(path.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const std::string& get() const { return path; }
    void keep() { path.clear(); }

private:
    std::string path;
};

std::string windowsReason(DWORD error)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        error, 0, text, sizeof text, nullptr);
    std::string reason = length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
        reason.pop_back();
    return reason;
}
#else
class TemporaryName {
public:
    TemporaryName(int folder, std::string name) : folder(folder), name(std::move(name)) {}
    ~TemporaryName()
    {
        if (!name.empty())
            ::unlinkat(folder, name.c_str(), 0);
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    void keep() { name.clear(); }

private:
    int folder;
    std::string name;
};
#endif

bool writeAll(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
#ifdef _WIN32
        const int n = _write(fd, content.data() + done, static_cast<unsigned>(content.size() - done));
#else
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool createFolder(const std::string& folder, std::string& reason, FileAccess access)
{
#ifdef _WIN32
    OwnerOnlySecurity security;
    SECURITY_ATTRIBUTES* attributes = access == FileAccess::ownerOnly ? security.attributes(true) : nullptr;
    if (access == FileAccess::ownerOnly && !attributes) {
        reason = "the user's identity could not be read";
        return false;
    }
    if (CreateDirectoryA(folder.c_str(), attributes))
        return true;
    const DWORD error = GetLastError();
    const DWORD attributesFound = GetFileAttributesA(folder.c_str());
    if (error != ERROR_ALREADY_EXISTS || attributesFound == INVALID_FILE_ATTRIBUTES) {
        reason = windowsReason(error);
        return false;
    }
    if (attributesFound != INVALID_FILE_ATTRIBUTES && (attributesFound & FILE_ATTRIBUTE_REPARSE_POINT)) {
        reason = folder + " is a link; it is not followed";
        return false;
    }
    if (attributesFound != INVALID_FILE_ATTRIBUTES && (attributesFound & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    errno = ENOTDIR;
#else
    struct stat info {};
    if (::mkdir(folder.c_str(), access == FileAccess::ownerOnly ? 0700 : 0777) == 0)
        return true;
    if (errno == EEXIST && ::lstat(folder.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            reason = folder + " is a symbolic link; it is not followed";
            return false;
        }
        if (S_ISDIR(info.st_mode)) {
            // A folder an earlier version made for everyone to read.
            if (access == FileAccess::ownerOnly && (info.st_mode & 077) != 0 && info.st_uid == ::geteuid() &&
                ::chmod(folder.c_str(), info.st_mode & 0700) != 0) {
                reason = systemReason(errno);
                return false;
            }
            return true;
        }
        errno = ENOTDIR;
    }
#endif
    reason = systemReason(errno);
    return false;
}

DurableWrite writeNewFileDurably(const std::string& folder, const std::string& name,
                                 const std::string& content, std::string& reason)
{
#ifdef _WIN32
    const std::string target = folder + "/" + name;
    const DWORD folderAttributes = GetFileAttributesA(folder.c_str());
    if (folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        reason = folder + " is a link; it is not followed";
        return DurableWrite::failed;
    }
    TemporaryName temporary(createUniqueFile(folder + "/." + name + ".", FileAccess::ownerOnly));
    if (temporary.get().empty()) {
        reason = systemReason(errno);
        return DurableWrite::failed;
    }
    OpenFile file(_open(temporary.get().c_str(), _O_WRONLY | _O_BINARY));
    const bool flushed = file.get() >= 0 && writeAll(file.get(), content) && _commit(file.get()) == 0;
    if (!flushed || !closeChecked(file)) {
        reason = systemReason(errno);
        return DurableWrite::failed;
    }
    // Without MOVEFILE_REPLACE_EXISTING an existing file keeps its name.
    if (!MoveFileExA(temporary.get().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        reason = windowsReason(error);
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? DurableWrite::nameTaken
                                                                           : DurableWrite::failed;
    }
    temporary.keep();
#else
    // Everything below goes through the folder opened once: a link put in
    // its place, or in the file's, is never followed.
    OpenFile directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (directory.get() < 0) {
        reason = errno == ELOOP || errno == ENOTDIR
                     ? folder + " is not a folder (a symbolic link is not followed)"
                     : systemReason(errno);
        return DurableWrite::failed;
    }
    std::string temporaryName;
    OpenFile file(
        createUniqueFileIn(directory.get(), "." + name + ".", FileAccess::ownerOnly, temporaryName));
    if (file.get() < 0) {
        reason = systemReason(errno);
        return DurableWrite::failed;
    }
    TemporaryName temporary(directory.get(), temporaryName);
    const bool flushed = writeAll(file.get(), content) && ::fsync(file.get()) == 0;
    if (!flushed || !closeChecked(file)) {
        reason = systemReason(errno);
        return DurableWrite::failed;
    }

    // A hard link never replaces an existing file, as rename would.
    if (::linkat(directory.get(), temporaryName.c_str(), directory.get(), name.c_str(), 0) != 0) {
        const int error = errno;
        reason = systemReason(error);
        if (error == EEXIST)
            return DurableWrite::nameTaken;
        // File systems without hard links (FAT on a stick, some shares): a
        // rename, once the name is seen to be free.
        if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != ENOSYS)
            return DurableWrite::failed;
        struct stat existing {};
        if (::fstatat(directory.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
            return DurableWrite::nameTaken;
        if (::renameat(directory.get(), temporaryName.c_str(), directory.get(), name.c_str()) != 0) {
            reason = systemReason(errno);
            return DurableWrite::failed;
        }
        temporary.keep();
    }
    // The new name must itself survive a power cut, which only the folder's own flush ensures.
    // Some network and FUSE mounts cannot flush a folder at all (EINVAL): the
    // file itself is on the disk, and refusing every save there helps no one.
    const bool folderFlushed =
        ::fsync(directory.get()) == 0 || errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
    if (!folderFlushed) {
        reason = systemReason(errno);
        ::unlinkat(directory.get(), name.c_str(), 0);
        return DurableWrite::failed;
    }
#endif
    return DurableWrite::written;
}

UtcTime utcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

} // namespace varnel
