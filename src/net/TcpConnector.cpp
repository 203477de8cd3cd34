#include "net/TcpConnector.h"

#include "net/HostAddress.h"
#include "platform/SocketIo.h"

namespace varnel {

ConnectFailure TcpConnector::open(const char* host, int port, std::uint32_t timeoutSeconds,
                                  SocketHandle& connection)
{
    Ipv4Endpoint peer;
    peer.address = HostAddress::convertHostAddress(host);
    peer.port = static_cast<std::uint16_t>(port);
    if (peer.address == unresolvedAddress)
        return ConnectFailure::Unresolved;
    SocketApi& api = SocketApi::current();
    SocketHandle fresh(api.openTcp());
    if (!fresh.valid())
        return ConnectFailure::NoSocket;
    if (!api.setReuseAddress(fresh.get()))
        return ConnectFailure::NoOptions;
    // Non-blocking before the connect, so an unreachable server costs the
    // inactivity limit rather than the system's much longer connect timeout.
    api.setNonBlocking(fresh.get());
    if (!SocketIo::connect(fresh.get(), peer, timeoutSeconds))
        return ConnectFailure::Refused;
    connection = std::move(fresh);
    return ConnectFailure::None;
}

} // namespace varnel
