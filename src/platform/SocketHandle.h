#pragma once

#include "platform/SocketApi.h"

#include <UniqueHandle.h>

namespace varnel {

struct SocketHandleTraits {
    using Value = SocketDescriptor;
    static SocketDescriptor invalid() { return invalidSocket; }
    // Through the current SocketApi, so that tests see the close.
    static void close(SocketDescriptor socket) { SocketApi::current().close(socket); }
};

// Owns one socket.
using SocketHandle = linkport::UniqueHandle<SocketHandleTraits>;

} // namespace varnel
