#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel {

// Integer handle of a socket; INVALID_SOCKET on Windows reads as -1 here too.
using SocketDescriptor = std::intptr_t;
inline constexpr SocketDescriptor invalidSocket = -1;

// An IPv4 address in network byte order and a port in host byte order.
struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// The address a name resolves to when it cannot be resolved (INADDR_NONE).
inline constexpr std::uint32_t unresolvedAddress = 0xFFFFFFFFu;

enum class SocketError {
    None,
    WouldBlock,  // a non-blocking call that cannot proceed yet
    Interrupted, // a signal arrived; the call may simply be repeated
    InProgress,  // a non-blocking connect has started
    Reset,       // the peer reset the connection
    Other,
};

// Result of a send or receive: count is the bytes moved, or -1 with the reason.
struct SocketIoResult {
    std::int64_t count = 0;
    SocketError error = SocketError::None;
};

struct SocketPollEntry {
    SocketDescriptor socket = invalidSocket;
    bool wantRead = false;
    bool wantWrite = false;
    bool ready = false; // readable, writable, hung up or in error, as asked
};

enum class PollOutcome { Ready, TimedOut, Interrupted, Failed };

// Every system call of the network clients goes through here, so tests can put
// short sends, interruptions, would-block storms and resets in their way.
class SocketApi {
public:
    virtual ~SocketApi() = default;

    virtual SocketDescriptor openTcp() = 0;
    virtual bool setReuseAddress(SocketDescriptor socket) = 0;
    virtual bool setLingerOff(SocketDescriptor socket) = 0;
    virtual bool setNonBlocking(SocketDescriptor socket) = 0;
    // Returns SocketError::None when connected, InProgress on a non-blocking socket.
    virtual SocketError connect(SocketDescriptor socket, const Ipv4Endpoint& peer) = 0;
    // The outcome of a non-blocking connect once the socket became writable.
    virtual SocketError pendingError(SocketDescriptor socket) = 0;
    virtual bool bind(SocketDescriptor socket, const Ipv4Endpoint& local) = 0;
    virtual bool listen(SocketDescriptor socket, int backlog) = 0;
    virtual SocketDescriptor accept(SocketDescriptor socket) = 0;
    virtual bool localEndpoint(SocketDescriptor socket, Ipv4Endpoint& local) = 0;
    virtual SocketIoResult send(SocketDescriptor socket, const void* data, std::size_t size) = 0;
    virtual SocketIoResult receive(SocketDescriptor socket, void* data, std::size_t capacity) = 0;
    virtual PollOutcome poll(SocketPollEntry* entries, std::size_t count, int timeoutMs) = 0;
    virtual void close(SocketDescriptor socket) = 0;
    // Dotted IPv4 text to an address, or unresolvedAddress.
    virtual std::uint32_t parseDottedAddress(const char* text) = 0;
    // Name lookup to the first IPv4 address, or unresolvedAddress.
    virtual std::uint32_t lookupHost(const char* name) = 0;

    // The implementation in use: the operating system's unless a test installed another.
    static SocketApi& current();
    // Installs an implementation (null restores the system one); returns the previous one or null.
    static SocketApi* install(SocketApi* api);
};

} // namespace varnel
