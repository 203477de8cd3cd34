#include "SimulatorSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <climits>

namespace linkhid {

namespace {

// Once per library, never undone: the library may still hold sockets until it is unloaded.
int startWinsock()
{
    static const int result = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return result;
}

} // namespace

bool SimulatorSocket::isAddress(const std::string& text)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || text.size() - colon - 1 == 0 ||
        text.size() - colon - 1 > 5)
        return false;
    // Device paths start with "\\?\"; a drive path has its colon right after the letter.
    if (text.find('\\') != std::string::npos || text.find('/') != std::string::npos)
        return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(colon) + 1, text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

bool SimulatorSocket::open(const std::string& address, int& error)
{
    if (const int failed = startWinsock()) {
        error = failed;
        return false;
    }
    if (!isAddress(address)) {
        error = WSAEADDRNOTAVAIL;
        return false;
    }
    const size_t colon = address.rfind(':');
    const std::string host = address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (const int failed = getaddrinfo(host.c_str(), port.c_str(), &hints, &found)) {
        error = failed;
        return false;
    }
    // The first address that answers; the error of the last one that did not.
    error = WSAEADDRNOTAVAIL;
    for (const addrinfo* at = found; at; at = at->ai_next) {
        OwnedSocket opened(::socket(at->ai_family, at->ai_socktype, at->ai_protocol));
        if (!opened.valid() || connect(opened.get(), at->ai_addr, static_cast<int>(at->ai_addrlen)) != 0) {
            error = WSAGetLastError();
            continue;
        }
        // Requests are small and each waits for its reply: Nagle would only add delay.
        const BOOL noDelay = TRUE;
        setsockopt(opened.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof noDelay);
        socket = std::move(opened);
        error = 0;
        break;
    }
    freeaddrinfo(found);
    return socket.valid();
}

std::ptrdiff_t SimulatorSocket::sendSome(const uint8_t* data, size_t size)
{
    const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
    const int sent = send(socket.get(), reinterpret_cast<const char*>(data), chunk, 0);
    return sent <= 0 ? -1 : sent;
}

std::ptrdiff_t SimulatorSocket::receiveSome(uint8_t* data, size_t size)
{
    const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
    const int got = recv(socket.get(), reinterpret_cast<char*>(data), chunk, 0);
    return got <= 0 ? -1 : got;
}

int SimulatorSocket::waitReadable(std::chrono::microseconds left)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket.get(), &readable);
    timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
    return select(0, &readable, nullptr, nullptr, &wait) <= 0 ? -1 : 1;
}

} // namespace linkhid
