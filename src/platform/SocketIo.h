#pragma once

#include "platform/InactivityClock.h"
#include "platform/SocketApi.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnel {

enum class TransferStatus {
    Done,     // bytes moved (a step) or every byte sent (sendAll)
    Closed,   // the peer closed the connection, or a send moved nothing
    TimedOut, // nothing moved before the inactivity limit
    Failed,   // a real socket error
};

struct TransferStep {
    TransferStatus status = TransferStatus::Failed;
    std::size_t count = 0;
};

// Sends and receives on non-blocking sockets, sleeping in poll while the socket
// cannot proceed, and giving up when nothing has moved for the clock's limit.
class SocketIo {
public:
    // One send or receive as soon as the socket allows; renews the clock on progress.
    static TransferStep sendSome(SocketDescriptor socket, const char* data, std::size_t size,
                                 InactivityClock& clock);
    static TransferStep receiveSome(SocketDescriptor socket, char* data, std::size_t capacity,
                                    InactivityClock& clock);
    // Sends every byte unless the peer stops taking them; Done only when all went out.
    static TransferStatus sendAll(SocketDescriptor socket, std::string_view data,
                                  std::uint32_t timeoutSeconds, const TransferBounds* bounds = nullptr);
    // Connects a socket already in non-blocking mode, waiting at most the limit.
    static bool connect(SocketDescriptor socket, const Ipv4Endpoint& peer, std::uint32_t timeoutSeconds,
                        const TransferBounds* bounds = nullptr);
    // Waits until the socket can be read (or written); false when the clock runs out or poll fails.
    static bool waitUntilReady(SocketDescriptor socket, bool forWrite, const InactivityClock& clock);
};

} // namespace varnel
