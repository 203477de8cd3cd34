#include "platform/UniqueFile.h"

#ifdef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <vector>

namespace varnel {

namespace {
constexpr const char* kUniqueTail = "XXXXXX";
} // namespace

std::string createUniqueFile(const std::string& prefix)
{
    const std::string pattern = prefix + kUniqueTail;
#ifdef _WIN32
    // _mktemp_s only picks a name that is free now; the exclusive open makes
    // it ours, and a name taken in between is tried again with a fresh one.
    for (int attempt = 0; attempt < 26; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (_mktemp_s(name.data(), name.size()) != 0)
            return {};
        int fd = -1;
        if (_sopen_s(&fd, name.data(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                     _S_IREAD | _S_IWRITE) == 0) {
            _close(fd);
            return name.data();
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
#else
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        return {};
    // mkstemp keeps the file to its owner; the copy it becomes should be as
    // readable as any file this program writes directly.
    const mode_t mask = umask(0);
    umask(mask);
    const bool ok = fchmod(fd, 0666 & ~mask) == 0;
    close(fd);
    if (!ok) {
        unlink(name.data());
        return {};
    }
    return name.data();
#endif
}

} // namespace varnel
