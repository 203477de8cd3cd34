#include "platform/SocketIo.h"

namespace varnel {

namespace {

bool mayRetry(SocketError error)
{
    return error == SocketError::WouldBlock || error == SocketError::Interrupted;
}

template <typename Call>
TransferStep step(SocketDescriptor socket, bool forWrite, InactivityClock& clock, Call call)
{
    while (!clock.expired()) {
        const SocketIoResult result = call();
        if (result.count > 0) {
            clock.renew();
            return {TransferStatus::Done, static_cast<std::size_t>(result.count)};
        }
        if (result.count == 0)
            return {TransferStatus::Closed, 0};
        if (!mayRetry(result.error))
            return {TransferStatus::Failed, 0};
        if (result.error == SocketError::WouldBlock && !SocketIo::waitUntilReady(socket, forWrite, clock) &&
            !clock.expired())
            return {TransferStatus::Failed, 0};
    }
    return {TransferStatus::TimedOut, 0};
}

} // namespace

bool SocketIo::waitUntilReady(SocketDescriptor socket, bool forWrite, const InactivityClock& clock)
{
    for (;;) {
        const int remaining = clock.remainingMs();
        if (remaining == 0)
            return false;
        SocketPollEntry entry;
        entry.socket = socket;
        entry.wantRead = !forWrite;
        entry.wantWrite = forWrite;
        switch (SocketApi::current().poll(&entry, 1, remaining)) {
        case PollOutcome::Ready:
            return true;
        case PollOutcome::Interrupted:
            continue;
        case PollOutcome::TimedOut:
            continue; // the clock decides, poll may wake a little early
        case PollOutcome::Failed:
            return false;
        }
    }
}

TransferStep SocketIo::sendSome(SocketDescriptor socket, const char* data, std::size_t size,
                                InactivityClock& clock)
{
    return step(socket, true, clock, [&] { return SocketApi::current().send(socket, data, size); });
}

TransferStep SocketIo::receiveSome(SocketDescriptor socket, char* data, std::size_t capacity,
                                   InactivityClock& clock)
{
    return step(socket, false, clock, [&] { return SocketApi::current().receive(socket, data, capacity); });
}

TransferStatus SocketIo::sendAll(SocketDescriptor socket, std::string_view data, std::uint32_t timeoutSeconds,
                                 const TransferBounds* bounds)
{
    InactivityClock clock(timeoutSeconds, bounds);
    while (!data.empty()) {
        const TransferStep sent = sendSome(socket, data.data(), data.size(), clock);
        if (sent.status != TransferStatus::Done)
            return sent.status;
        data.remove_prefix(sent.count);
    }
    return TransferStatus::Done;
}

bool SocketIo::connect(SocketDescriptor socket, const Ipv4Endpoint& peer, std::uint32_t timeoutSeconds,
                       const TransferBounds* bounds)
{
    SocketApi& api = SocketApi::current();
    SocketError error = api.connect(socket, peer);
    if (error == SocketError::Interrupted)
        error = SocketError::InProgress; // the connect goes on in the background
    if (error == SocketError::None)
        return true;
    if (error != SocketError::InProgress)
        return false;
    const InactivityClock clock(timeoutSeconds, bounds);
    return waitUntilReady(socket, true, clock) && api.pendingError(socket) == SocketError::None;
}

} // namespace varnel
