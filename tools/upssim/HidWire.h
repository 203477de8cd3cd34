#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnel::upssim {

// The length-prefixed messages of linkhidsim.h, one connection's worth.
class HidWire {
public:
    // False once the peer has sent a length outside the bounds: the
    // connection is broken and must be closed.
    bool feed(const uint8_t* data, std::size_t size);
    // Takes the next complete message, if there is one.
    bool next(std::vector<uint8_t>& message);

    static std::vector<uint8_t> encode(const std::vector<uint8_t>& payload);

private:
    std::vector<uint8_t> pending;
    bool broken = false;
};

} // namespace varnel::upssim
