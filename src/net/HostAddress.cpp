#include "net/HostAddress.h"

#include "platform/SocketApi.h"

namespace varnel {

std::uint32_t HostAddress::convertHostAddress(const char* name)
{
    if (name == nullptr || *name == '\0')
        return unresolvedAddress;
    SocketApi& api = SocketApi::current();
    const std::uint32_t dotted = api.parseDottedAddress(name);
    if (dotted != unresolvedAddress)
        return dotted;
    return api.lookupHost(name);
}

} // namespace varnel
