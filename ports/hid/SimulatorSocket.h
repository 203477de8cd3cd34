#pragma once

#ifdef _WIN32
#include "OwnedSocket.h"
#else
#include "FileDescriptor.h"
#endif

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace linkhid {

// The byte stream to one simulated unit: a Unix stream socket, or on Windows
// (which has no Unix sockets to speak of) loopback TCP at "host:port".
class SimulatorSocket {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // False with `error` set (an errno value; a Winsock code on Windows) when
    // nothing listens there.
    bool open(const std::string& address, int& error);
    bool sendAll(const uint8_t* data, size_t size);
    // False if the bytes have not all come by `deadline` or the peer hung up.
    bool receiveAll(uint8_t* data, size_t size, Deadline deadline);
    void close();
    bool connected() const;

#ifdef _WIN32
    // "host:port" names a simulated unit; anything else is a device path.
    static bool isAddress(const std::string& text);
#endif

private:
    // One call of the system's each, made by the platform's own source file:
    // the bytes moved, 0 when a signal cut the call short (make it again), or
    // -1 when the stream failed or the peer hung up.
    std::ptrdiff_t sendSome(const uint8_t* data, size_t size);
    std::ptrdiff_t receiveSome(uint8_t* data, size_t size);
    // 1 when bytes wait, 0 when a signal cut the wait short, -1 when none came
    // within `left` or the wait failed.
    int waitReadable(std::chrono::microseconds left);

#ifdef _WIN32
    OwnedSocket socket;
#else
    linkport::FileDescriptor socket;
#endif
};

} // namespace linkhid
