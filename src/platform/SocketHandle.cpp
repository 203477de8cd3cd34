#include "platform/SocketHandle.h"

#include <utility>

namespace varnel {

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

void SocketHandle::reset(SocketDescriptor socket)
{
    const SocketDescriptor old = std::exchange(descriptor, socket);
    if (old != invalidSocket && old != socket)
        SocketApi::current().close(old);
}

SocketDescriptor SocketHandle::release()
{
    return std::exchange(descriptor, invalidSocket);
}

} // namespace varnel
