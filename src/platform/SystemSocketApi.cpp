#include "platform/SystemSocketApi.h"

#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace varnel {

namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
using SocketLength = int;
int lastSystemError()
{
    return WSAGetLastError();
}
SocketError classify(int code)
{
    switch (code) {
    case WSAEWOULDBLOCK:
        return SocketError::WouldBlock;
    case WSAEINTR:
        return SocketError::Interrupted;
    case WSAEINPROGRESS:
        return SocketError::InProgress;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return SocketError::Reset;
    default:
        return SocketError::Other;
    }
}
#else
using NativeSocket = int;
using SocketLength = socklen_t;
int lastSystemError()
{
    return errno;
}
SocketError classify(int code)
{
    if (code == EAGAIN || code == EWOULDBLOCK)
        return SocketError::WouldBlock;
    switch (code) {
    case EINTR:
        return SocketError::Interrupted;
    case EINPROGRESS:
        return SocketError::InProgress;
    case ECONNRESET:
    case EPIPE:
        return SocketError::Reset;
    default:
        return SocketError::Other;
    }
}
#endif

#ifdef MSG_NOSIGNAL
// A peer that went away must give an error, not a SIGPIPE that ends the wizard.
constexpr int sendFlags = MSG_NOSIGNAL;
#else
constexpr int sendFlags = 0;
#endif

NativeSocket native(SocketDescriptor socket)
{
    return static_cast<NativeSocket>(socket);
}

sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = endpoint.address;
    return address;
}

bool setIntOption(SocketDescriptor socket, int level, int name, int value)
{
    return setsockopt(native(socket), level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

} // namespace

SocketDescriptor SystemSocketApi::openTcp()
{
    NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
    if (s == INVALID_SOCKET)
        return invalidSocket;
#else
    if (s < 0)
        return invalidSocket;
#ifdef SO_NOSIGPIPE
    setIntOption(s, SOL_SOCKET, SO_NOSIGPIPE, 1);
#endif
#endif
    return static_cast<SocketDescriptor>(s);
}

bool SystemSocketApi::setReuseAddress(SocketDescriptor socket)
{
    return setIntOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
}

bool SystemSocketApi::setLingerOff(SocketDescriptor socket)
{
    linger off{};
    return setsockopt(native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off),
                      sizeof off) == 0;
}

bool SystemSocketApi::setNonBlocking(SocketDescriptor socket)
{
#ifdef _WIN32
    u_long on = 1;
    return ioctlsocket(native(socket), FIONBIO, &on) == 0;
#else
    const int flags = fcntl(native(socket), F_GETFL, 0);
    return flags >= 0 && fcntl(native(socket), F_SETFL, flags | O_NONBLOCK) == 0;
#endif
}

SocketError SystemSocketApi::connect(SocketDescriptor socket, const Ipv4Endpoint& peer)
{
    const sockaddr_in address = toSockaddr(peer);
    if (::connect(native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return SocketError::None;
    const SocketError error = classify(lastSystemError());
#ifdef _WIN32
    // Winsock reports a started non-blocking connect as would-block.
    if (error == SocketError::WouldBlock)
        return SocketError::InProgress;
#endif
    return error;
}

SocketError SystemSocketApi::pendingError(SocketDescriptor socket)
{
    int code = 0;
    SocketLength length = sizeof code;
    if (getsockopt(native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length) != 0)
        return classify(lastSystemError());
    return code == 0 ? SocketError::None : classify(code);
}

bool SystemSocketApi::bind(SocketDescriptor socket, const Ipv4Endpoint& local)
{
    const sockaddr_in address = toSockaddr(local);
    return ::bind(native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool SystemSocketApi::listen(SocketDescriptor socket, int backlog)
{
    return ::listen(native(socket), backlog) == 0;
}

SocketDescriptor SystemSocketApi::accept(SocketDescriptor socket)
{
    NativeSocket s = ::accept(native(socket), nullptr, nullptr);
#ifdef _WIN32
    return s == INVALID_SOCKET ? invalidSocket : static_cast<SocketDescriptor>(s);
#else
    return s < 0 ? invalidSocket : static_cast<SocketDescriptor>(s);
#endif
}

bool SystemSocketApi::localEndpoint(SocketDescriptor socket, Ipv4Endpoint& local)
{
    sockaddr_in address{};
    SocketLength length = sizeof address;
    if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET)
        return false;
    local.address = address.sin_addr.s_addr;
    local.port = ntohs(address.sin_port);
    return true;
}

SocketIoResult SystemSocketApi::send(SocketDescriptor socket, const void* data, std::size_t size)
{
#ifdef _WIN32
    const int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const int sent = ::send(native(socket), static_cast<const char*>(data), chunk, 0);
#else
    const ssize_t sent = ::send(native(socket), data, size, sendFlags);
#endif
    if (sent < 0)
        return {-1, classify(lastSystemError())};
    return {static_cast<std::int64_t>(sent), SocketError::None};
}

SocketIoResult SystemSocketApi::receive(SocketDescriptor socket, void* data, std::size_t capacity)
{
#ifdef _WIN32
    const int chunk = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
    const int got = ::recv(native(socket), static_cast<char*>(data), chunk, 0);
#else
    const ssize_t got = ::recv(native(socket), data, capacity, 0);
#endif
    if (got < 0)
        return {-1, classify(lastSystemError())};
    return {static_cast<std::int64_t>(got), SocketError::None};
}

PollOutcome SystemSocketApi::poll(SocketPollEntry* entries, std::size_t count, int timeoutMs)
{
#ifdef _WIN32
    std::vector<WSAPOLLFD> fds(count);
#else
    std::vector<pollfd> fds(count);
#endif
    for (std::size_t i = 0; i < count; ++i) {
        fds[i].fd = native(entries[i].socket);
        fds[i].events =
            static_cast<short>((entries[i].wantRead ? POLLIN : 0) | (entries[i].wantWrite ? POLLOUT : 0));
        fds[i].revents = 0;
    }
#ifdef _WIN32
    const int result = WSAPoll(fds.data(), static_cast<ULONG>(count), timeoutMs);
#else
    const int result = ::poll(fds.data(), static_cast<nfds_t>(count), timeoutMs);
#endif
    if (result < 0)
        return classify(lastSystemError()) == SocketError::Interrupted ? PollOutcome::Interrupted
                                                                       : PollOutcome::Failed;
    for (std::size_t i = 0; i < count; ++i)
        entries[i].ready = fds[i].revents != 0;
    return result == 0 ? PollOutcome::TimedOut : PollOutcome::Ready;
}

void SystemSocketApi::close(SocketDescriptor socket)
{
#ifdef _WIN32
    closesocket(native(socket));
#else
    ::close(native(socket));
#endif
}

std::uint32_t SystemSocketApi::parseDottedAddress(const char* text)
{
    return inet_addr(text);
}

std::uint32_t SystemSocketApi::lookupHost(const char* name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr)
        return unresolvedAddress;
    std::uint32_t address = unresolvedAddress;
    for (addrinfo* entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(found);
    return address;
}

} // namespace varnel
