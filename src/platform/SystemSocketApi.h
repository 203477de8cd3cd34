#pragma once

#include "platform/SocketApi.h"

namespace varnel {

// The operating system's sockets: POSIX, or Winsock 2 under _WIN32.
class SystemSocketApi : public SocketApi {
public:
    SocketDescriptor openTcp() override;
    bool setReuseAddress(SocketDescriptor socket) override;
    bool setLingerOff(SocketDescriptor socket) override;
    bool setNonBlocking(SocketDescriptor socket) override;
    SocketError connect(SocketDescriptor socket, const Ipv4Endpoint& peer) override;
    SocketError pendingError(SocketDescriptor socket) override;
    bool bind(SocketDescriptor socket, const Ipv4Endpoint& local) override;
    bool listen(SocketDescriptor socket, int backlog) override;
    SocketDescriptor accept(SocketDescriptor socket) override;
    bool localEndpoint(SocketDescriptor socket, Ipv4Endpoint& local) override;
    SocketIoResult send(SocketDescriptor socket, const void* data, std::size_t size) override;
    SocketIoResult receive(SocketDescriptor socket, void* data, std::size_t capacity) override;
    PollOutcome poll(SocketPollEntry* entries, std::size_t count, int timeoutMs) override;
    void close(SocketDescriptor socket) override;
    std::uint32_t parseDottedAddress(const char* text) override;
    std::uint32_t lookupHost(const char* name) override;
};

} // namespace varnel
