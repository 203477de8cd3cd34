#include "FuzzSocketApi.h"

#include <algorithm>
#include <cstring>

namespace varnel::fuzz {

FuzzSocketApi::FuzzSocketApi() : previous(SocketApi::install(this)) {}

FuzzSocketApi::~FuzzSocketApi()
{
    SocketApi::install(previous);
}

void FuzzSocketApi::serve(std::string_view controlStream, std::string_view dataStream, std::size_t chunkLimit,
                          bool resetAtEnd)
{
    control = controlStream;
    data = dataStream;
    chunk = chunkLimit == 0 ? 1 : chunkLimit;
    reset = resetAtEnd;
    nextSocket = firstSocket;
    piece = {};
    pieceOwner = invalidSocket;
}

SocketDescriptor FuzzSocketApi::openTcp()
{
    return nextSocket++;
}

SocketDescriptor FuzzSocketApi::accept(SocketDescriptor)
{
    return nextSocket++;
}

bool FuzzSocketApi::localEndpoint(SocketDescriptor socket, Ipv4Endpoint& local)
{
    local.address = loopback;
    local.port = static_cast<std::uint16_t>(2000 + socket);
    return true;
}

SocketIoResult FuzzSocketApi::send(SocketDescriptor, const void*, std::size_t size)
{
    return {static_cast<std::int64_t>(size), SocketError::None};
}

SocketIoResult FuzzSocketApi::receive(SocketDescriptor socket, void* out, std::size_t capacity)
{
    if (socket != firstSocket && socket != pieceOwner) {
        std::size_t length = 0;
        for (int i = 0; i < 2 && !data.empty(); ++i) {
            length |= static_cast<std::size_t>(static_cast<unsigned char>(data.front())) << (8 * i);
            data.remove_prefix(1);
        }
        piece = data.substr(0, length);
        data.remove_prefix(piece.size());
        pieceOwner = socket;
    }
    std::string_view& stream = socket == firstSocket ? control : piece;
    if (stream.empty())
        return reset ? SocketIoResult{-1, SocketError::Reset} : SocketIoResult{0, SocketError::None};
    const std::size_t n = std::min({capacity, chunk, stream.size()});
    std::memcpy(out, stream.data(), n);
    stream.remove_prefix(n);
    return {static_cast<std::int64_t>(n), SocketError::None};
}

PollOutcome FuzzSocketApi::poll(SocketPollEntry* entries, std::size_t count, int)
{
    for (std::size_t i = 0; i < count; ++i)
        entries[i].ready = true;
    return PollOutcome::Ready;
}

} // namespace varnel::fuzz
