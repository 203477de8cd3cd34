#pragma once

#include <winsock2.h>

#include <utility>

namespace linkhid {

// Owns one Winsock socket, closed when it goes.
class OwnedSocket {
public:
    OwnedSocket() = default;
    explicit OwnedSocket(SOCKET socket) : handle(socket) {}
    ~OwnedSocket() { reset(); }
    OwnedSocket(OwnedSocket&& other) noexcept : handle(std::exchange(other.handle, INVALID_SOCKET)) {}
    OwnedSocket& operator=(OwnedSocket&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle = std::exchange(other.handle, INVALID_SOCKET);
        }
        return *this;
    }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;

    SOCKET get() const { return handle; }
    bool valid() const { return handle != INVALID_SOCKET; }
    void reset()
    {
        if (handle != INVALID_SOCKET)
            closesocket(handle);
        handle = INVALID_SOCKET;
    }

private:
    SOCKET handle = INVALID_SOCKET;
};

} // namespace linkhid
