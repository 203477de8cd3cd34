#pragma once

#include "platform/SocketApi.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnel::fuzz {

// Sockets without a network: the first socket opened is the control (or only)
// connection and reads `control`. Every later one is a data connection and
// reads its own piece of `data`: a 16-bit length, then that many bytes. Each
// receive gives at most `chunk` bytes, so lines arrive split in every way.
// At the end of its stream a socket reads as closed, or as reset.
class FuzzSocketApi : public SocketApi {
public:
    FuzzSocketApi();
    ~FuzzSocketApi() override;
    FuzzSocketApi(const FuzzSocketApi&) = delete;
    FuzzSocketApi& operator=(const FuzzSocketApi&) = delete;

    void serve(std::string_view controlStream, std::string_view dataStream, std::size_t chunkLimit,
               bool resetAtEnd);

    SocketDescriptor openTcp() override;
    bool setReuseAddress(SocketDescriptor) override { return true; }
    bool setLingerOff(SocketDescriptor) override { return true; }
    bool setNonBlocking(SocketDescriptor) override { return true; }
    SocketError connect(SocketDescriptor, const Ipv4Endpoint&) override { return SocketError::None; }
    SocketError pendingError(SocketDescriptor) override { return SocketError::None; }
    bool bind(SocketDescriptor, const Ipv4Endpoint&) override { return true; }
    bool listen(SocketDescriptor, int) override { return true; }
    SocketDescriptor accept(SocketDescriptor socket) override;
    bool localEndpoint(SocketDescriptor socket, Ipv4Endpoint& local) override;
    SocketIoResult send(SocketDescriptor, const void*, std::size_t size) override;
    SocketIoResult receive(SocketDescriptor socket, void* data, std::size_t capacity) override;
    PollOutcome poll(SocketPollEntry* entries, std::size_t count, int timeoutMs) override;
    void close(SocketDescriptor) override {}
    std::uint32_t parseDottedAddress(const char*) override { return loopback; }
    std::uint32_t lookupHost(const char*) override { return loopback; }

private:
    static constexpr std::uint32_t loopback = 0x0100007Fu;
    static constexpr SocketDescriptor firstSocket = 100;

    SocketApi* previous = nullptr;
    std::string_view control;
    std::string_view data;
    std::string_view piece; // what the current data connection still carries
    SocketDescriptor pieceOwner = invalidSocket;
    std::size_t chunk = 0;
    bool reset = false;
    SocketDescriptor nextSocket = firstSocket;
};

} // namespace varnel::fuzz
