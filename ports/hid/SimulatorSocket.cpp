#include "SimulatorSocket.h"

// What is the same on every platform; opening and the single calls are in
// SimulatorSocketLinux.cpp and windows/SimulatorSocketWin32.cpp.
namespace linkhid {

namespace {

// Makes `step` move the bytes until all are through: it answers as sendSome does.
template <typename Byte, typename Step> bool transferAll(Byte* data, size_t size, Step step)
{
    while (size > 0) {
        const std::ptrdiff_t moved = step(data, size);
        if (moved == 0)
            continue;
        if (moved < 0)
            return false;
        data += moved;
        size -= static_cast<size_t>(moved);
    }
    return true;
}

} // namespace

bool SimulatorSocket::sendAll(const uint8_t* data, size_t size)
{
    return transferAll(data, size, [this](const uint8_t* at, size_t left) { return sendSome(at, left); });
}

bool SimulatorSocket::receiveAll(uint8_t* data, size_t size, Deadline deadline)
{
    return transferAll(data, size, [this, deadline](uint8_t* at, size_t wanted) -> std::ptrdiff_t {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return -1;
        const int ready = waitReadable(left);
        return ready <= 0 ? ready : receiveSome(at, wanted);
    });
}

void SimulatorSocket::close()
{
    socket.reset();
}

bool SimulatorSocket::connected() const
{
    return socket.valid();
}

} // namespace linkhid
