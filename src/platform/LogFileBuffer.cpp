#include "platform/LogFileBuffer.h"

#include <cerrno>
#include <cstring>

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

LogFileBuffer::~LogFileBuffer()
{
    if (fd < 0)
        return;
    sync();
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
}

bool LogFileBuffer::open(const std::string& path, std::string& reason)
{
#ifdef _WIN32
    // The link itself is opened, not what it points at, and then refused.
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = path + " cannot be opened (system error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    // A second name (a hard link) would make emptying the log empty someone's file.
    if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        info.nNumberOfLinks > 1 || GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        reason = path + " is a link or not a plain file; it is left alone";
        return false;
    }
    if (!SetEndOfFile(file)) {
        CloseHandle(file);
        reason = path + " cannot be emptied (system error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    // Text mode: a line ends in CR LF in the file.
    fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_TEXT | _O_APPEND);
    if (fd < 0) {
        CloseHandle(file);
        reason = path + " cannot be opened";
        return false;
    }
    setp(buffer, buffer + sizeof buffer);
    return true;
#else
    // Not emptied on opening: only once it is known to be a plain file (a
    // FIFO would not block either, thanks to O_NONBLOCK).
    const int opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (opened < 0) {
        reason = errno == ELOOP ? path + " is a symbolic link; it is not followed"
                                : path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    // A second name (a hard link) would make emptying the log empty someone's file.
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1) {
        ::close(opened);
        reason = path + " is not a plain file of its own; it is left alone";
        return false;
    }
    if (::ftruncate(opened, 0) != 0) {
        reason = path + ": " + std::strerror(errno);
        ::close(opened);
        return false;
    }
    fd = opened;
    setp(buffer, buffer + sizeof buffer);
    return true;
#endif
}

bool LogFileBuffer::writeOut(const char* text, std::size_t count)
{
    if (fd < 0)
        return false;
    while (count > 0) {
#ifdef _WIN32
        const int n = _write(fd, text, static_cast<unsigned>(count));
#else
        const ssize_t n = ::write(fd, text, count);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
#endif
        if (n <= 0)
            return false;
        text += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// Each line is in the file at the flush that ends it.
LogFileBuffer::int_type LogFileBuffer::overflow(int_type c)
{
    if (sync() != 0)
        return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int LogFileBuffer::sync()
{
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    const bool written = writeOut(pbase(), pending);
    setp(buffer, buffer + sizeof buffer);
    return written ? 0 : -1;
}

} // namespace varnel
