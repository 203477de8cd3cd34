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
    socket = std::move(opened);
    return true;
}

std::ptrdiff_t SimulatorSocket::sendSome(const uint8_t* data, size_t size)
{
    const ssize_t sent = send(socket.get(), data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR)
        return 0;
    return sent <= 0 ? -1 : sent;
}

std::ptrdiff_t SimulatorSocket::receiveSome(uint8_t* data, size_t size)
{
    const ssize_t got = recv(socket.get(), data, size, 0);
    if (got < 0 && errno == EINTR)
        return 0;
    return got <= 0 ? -1 : got;
}

int SimulatorSocket::waitReadable(std::chrono::microseconds left)
{
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(left);
    if (milliseconds.count() <= 0)
        return -1;
    pollfd pfd{socket.get(), POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(milliseconds.count()));
    if (ready < 0 && errno == EINTR)
        return 0;
    return ready <= 0 ? -1 : 1;
}

} // namespace linkhid
