#pragma once

#include <cstdint>

namespace varnel {

// Resolves a server name for the network clients.
class HostAddress {
public:
    // Dotted IPv4 text first, then a name lookup; network byte order, or
    // unresolvedAddress for a null, empty or unknown name.
    static std::uint32_t convertHostAddress(const char* name);
};

} // namespace varnel
