#pragma once

#include "platform/SocketApi.h"

namespace varnel {

// Owns one socket and closes it (through the current SocketApi) when it goes.
class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(SocketDescriptor socket) : descriptor(socket) {}
    ~SocketHandle() { reset(); }
    SocketHandle(SocketHandle&& other) noexcept : descriptor(other.release()) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept;
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    SocketDescriptor get() const { return descriptor; }
    bool valid() const { return descriptor != invalidSocket; }
    // Closes the socket held, if any, and takes the new one.
    void reset(SocketDescriptor socket = invalidSocket);
    SocketDescriptor release();

private:
    SocketDescriptor descriptor = invalidSocket;
};

} // namespace varnel
