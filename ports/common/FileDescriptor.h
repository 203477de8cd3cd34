#pragma once

#include "UniqueHandle.h"

#include <unistd.h>

namespace linkport {

struct FileDescriptorTraits {
    using Value = int;
    static int invalid() { return -1; }
    // The calls that give out descriptors answer a negative number for none.
    static int adopt(int fd) { return fd < 0 ? -1 : fd; }
    static void close(int fd) { ::close(fd); }
};

// Owns one file descriptor: a port library's open line, node or socket, or
// one of upssim's ptys and sockets.
using FileDescriptor = UniqueHandle<FileDescriptorTraits>;

} // namespace linkport
