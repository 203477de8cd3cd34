#include "platform/DurableFile.h"

#include "platform/UniqueFile.h"

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

// Owns an open descriptor; closing is checked where it matters, by release().
class OpenFile {
public:
    explicit OpenFile(int fd) : fd(fd) {}
    ~OpenFile()
    {
        if (fd >= 0)
            closeDescriptor(fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int get() const { return fd; }
    bool close()
    {
        const int owned = fd;
        fd = -1;
        return closeDescriptor(owned) == 0;
    }

private:
    int fd;
};

// The temporary file goes again unless it was renamed or linked into place.
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

bool createFolder(const std::string& folder, std::string& reason)
{
#ifdef _WIN32
    if (_mkdir(folder.c_str()) == 0)
        return true;
    if (errno == EEXIST) {
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
        errno = ENOTDIR;
    }
#else
    struct stat info {};
    if (::mkdir(folder.c_str(), 0777) == 0 ||
        (errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)))
        return true;
    if (errno == EEXIST)
        errno = ENOTDIR;
#endif
    reason = systemReason(errno);
    return false;
}

DurableWrite writeNewFileDurably(const std::string& folder, const std::string& name,
                                 const std::string& content, std::string& reason)
{
    const std::string target = folder + "/" + name;
    TemporaryName temporary(createUniqueFile(folder + "/." + name + "."));
    if (temporary.get().empty()) {
        reason = systemReason(errno);
        return DurableWrite::failed;
    }
#ifdef _WIN32
    OpenFile file(_open(temporary.get().c_str(), _O_WRONLY | _O_BINARY));
    const bool flushed = file.get() >= 0 && writeAll(file.get(), content) && _commit(file.get()) == 0;
#else
    OpenFile file(::open(temporary.get().c_str(), O_WRONLY | O_CLOEXEC));
    const bool flushed = file.get() >= 0 && writeAll(file.get(), content) && ::fsync(file.get()) == 0;
#endif
    if (!flushed || !file.close()) {
        reason = systemReason(errno);
        return DurableWrite::failed;
    }

#ifdef _WIN32
    // Without MOVEFILE_REPLACE_EXISTING an existing file keeps its name.
    if (!MoveFileExA(temporary.get().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        char text[256] = {};
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                            nullptr, error, 0, text, sizeof text, nullptr);
        reason = length > 0 ? std::string(text, length) : "system error " + std::to_string(error);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
            reason.pop_back();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? DurableWrite::nameTaken
                                                                           : DurableWrite::failed;
    }
    temporary.keep();
#else
    // A hard link never replaces an existing file, as rename would.
    if (::link(temporary.get().c_str(), target.c_str()) != 0) {
        const int error = errno;
        reason = systemReason(error);
        if (error == EEXIST)
            return DurableWrite::nameTaken;
        // File systems without hard links (FAT on a stick, some shares): a
        // rename, once the name is seen to be free.
        if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != ENOSYS)
            return DurableWrite::failed;
        struct stat existing {};
        if (::lstat(target.c_str(), &existing) == 0)
            return DurableWrite::nameTaken;
        if (::rename(temporary.get().c_str(), target.c_str()) != 0) {
            reason = systemReason(errno);
            return DurableWrite::failed;
        }
        temporary.keep();
    }
    // The new name must itself survive a power cut, which only the folder's own flush ensures.
    // Some network and FUSE mounts cannot flush a folder at all (EINVAL): the
    // file itself is on the disk, and refusing every save there helps no one.
    OpenFile directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const bool folderFlushed = directory.get() >= 0 && (::fsync(directory.get()) == 0 || errno == EINVAL ||
                                                        errno == ENOTSUP || errno == EOPNOTSUPP);
    if (!folderFlushed) {
        reason = systemReason(errno);
        std::remove(target.c_str());
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
