#include "net/TcpConnector.h"

#include "net/HostAddress.h"
#include "platform/SocketIo.h"

namespace varnel {

namespace {

struct ConnectText {
    ConnectFailure failure;
    const char* text;
};

constexpr ConnectText connectTexts[] = {
    {ConnectFailure::Unresolved, "Failed to resolve server address "},
    {ConnectFailure::NoSocket, "Failed to create socket to host"},
    {ConnectFailure::NoOptions, "Failed to set socket options"},
    {ConnectFailure::Refused, "Failed to connect to server"},
};

} // namespace

ConnectFailure TcpConnector::open(const char* host, int port, std::uint32_t timeoutSeconds,
                                  SocketHandle& connection, const TransferBounds* bounds, Ipv4Endpoint* peer)
{
    Ipv4Endpoint server;
    server.address = HostAddress::convertHostAddress(host);
    server.port = static_cast<std::uint16_t>(port);
    if (server.address == unresolvedAddress)
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
    if (!SocketIo::connect(fresh.get(), server, timeoutSeconds, bounds))
        return ConnectFailure::Refused;
    connection = std::move(fresh);
    if (peer != nullptr)
        *peer = server;
    return ConnectFailure::None;
}

std::string TcpConnector::failureText(ConnectFailure failure, const char* host)
{
    std::string text;
    for (const auto& entry : connectTexts)
        if (entry.failure == failure)
            text = entry.text;
    if (failure == ConnectFailure::Unresolved && host)
        text += host;
    return text;
}

} // namespace varnel
