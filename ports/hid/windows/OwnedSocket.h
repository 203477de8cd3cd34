#pragma once

#include "UniqueHandle.h"

#include <winsock2.h>

namespace linkhid {

struct OwnedSocketTraits {
    using Value = SOCKET;
    static SOCKET invalid() { return INVALID_SOCKET; }
    static void close(SOCKET socket) { closesocket(socket); }
};

// Owns one Winsock socket.
using OwnedSocket = linkport::UniqueHandle<OwnedSocketTraits>;

} // namespace linkhid
