#pragma once

#include "platform/InactivityClock.h"
#include "platform/SocketHandle.h"

#include <cstdint>

namespace varnel {

enum class ConnectFailure { None, Unresolved, NoSocket, NoOptions, Refused };

// Opens the non-blocking IPv4 TCP connection both network clients start with.
class TcpConnector {
public:
    // On success `connection` holds the connected socket and `peer`, when given,
    // the address it reached; on failure both are left untouched.
    static ConnectFailure open(const char* host, int port, std::uint32_t timeoutSeconds,
                               SocketHandle& connection, const TransferBounds* bounds = nullptr,
                               Ipv4Endpoint* peer = nullptr);
};

} // namespace varnel
