#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnel::upssim {

// One complete request seen on the line and what the unit sends back
// (nothing at all when it stays silent).
struct SerialAnswer {
    std::size_t requestSize = 0;
    std::vector<uint8_t> reply;
};

// A unit on a serial line: bytes in as they arrive, answers out.
class SerialUnit {
public:
    virtual ~SerialUnit() = default;
    virtual std::vector<SerialAnswer> receive(const uint8_t* data, std::size_t size) = 0;
    // A request left half-sent for too long is dropped, as a unit's receive timer would.
    virtual void discardPartial() = 0;
    virtual bool hasPartial() const = 0;
};

} // namespace varnel::upssim
