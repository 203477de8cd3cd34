#pragma once

#include "platform/InactivityClock.h"
#include "platform/SocketHandle.h"

#include <cstdint>
#include <string>

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
    // What both clients leave in their response for a failure: an address that
    // did not resolve is named (`host` may be null).
    static std::string failureText(ConnectFailure failure, const char* host);
};

} // namespace varnel
