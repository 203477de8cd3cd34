#include "SimulatorSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace linkhid {

bool SimulatorSocket::open(const std::string& address, int& error)
{
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    if (address.empty() || address.size() >= sizeof local.sun_path) {
        error = ENAMETOOLONG;
        return false;
    }
    std::memcpy(local.sun_path, address.c_str(), address.size() + 1);
    linkport::FileDescriptor opened(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!opened.valid() ||
        connect(opened.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = errno;
        return false;
    }
    error = 0;
    fd = std::move(opened);
    return true;
}

bool SimulatorSocket::sendAll(const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t sent = send(fd.get(), data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool SimulatorSocket::receiveAll(uint8_t* data, size_t size, Deadline deadline)
{
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pfd{fd.get(), POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        ssize_t got = recv(fd.get(), data, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

void SimulatorSocket::close()
{
    fd.reset();
}

bool SimulatorSocket::connected() const
{
    return fd.valid();
}

} // namespace linkhid
