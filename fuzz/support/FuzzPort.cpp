#include "FuzzPort.h"

#include <algorithm>

namespace varnel::fuzz {

namespace {

constexpr std::uint8_t overclaim = 0xFF;
constexpr std::uint8_t hidFailure = 0x80;

// The port functions are plain C calls that take only a handle, so the input
// of the one live port is kept here.
FuzzInput* current = nullptr;

std::uint32_t unitOpen(PortDescriptor*)
{
    return 1;
}

std::int32_t unitClose(std::uint32_t)
{
    return 1;
}

std::uint32_t unitRead(std::uint32_t, std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t)
{
    FuzzInput& input = *current;
    if (input.empty())
        return 0;
    const std::uint8_t length = input.byte();
    if (length == overclaim)
        return capacity + 1u + input.byte();
    return static_cast<std::uint32_t>(input.take(buffer, std::min<std::uint32_t>(length, capacity)));
}

std::uint32_t unitWrite(std::uint32_t, const std::uint8_t*, std::uint32_t count, std::uint32_t, std::uint32_t)
{
    return current->empty() ? 0 : count;
}

std::int32_t unitGetHid(std::uint32_t, std::uint32_t, std::uint8_t, std::uint32_t, std::uint8_t,
                        std::uint8_t* buffer, std::uint32_t* length)
{
    FuzzInput& input = *current;
    if (input.empty() || (input.byte() & hidFailure) != 0)
        return 0;
    std::uint32_t claimed = input.byte();
    if (claimed == overclaim)
        claimed = input.word();
    *length = claimed;
    input.take(buffer, std::min(claimed, FuzzPort::hidBufferSize));
    return 1;
}

std::int32_t unitSetHid(std::uint32_t, std::uint32_t, std::uint8_t, std::uint32_t, std::uint8_t,
                        std::uint32_t)
{
    return current->empty() ? 0 : 1;
}

std::uint32_t unitIsHid(std::uint32_t, std::uint32_t, std::uint8_t, std::uint32_t, std::uint8_t)
{
    return 1;
}

PortFunctions fuzzFunctions()
{
    PortFunctions functions;
    functions.open = unitOpen;
    functions.read = unitRead;
    functions.write = unitWrite;
    functions.close = unitClose;
    functions.getHid = unitGetHid;
    functions.setHid = unitSetHid;
    functions.isHid = unitIsHid;
    return functions;
}

} // namespace

FuzzPort::FuzzPort(FuzzInput& input, std::uint32_t transportCode) : CAnyPort(fuzzFunctions())
{
    current = &input;
    setTransport(transportCode);
}

FuzzPort::~FuzzPort()
{
    // The port closes in the base's destructor, after this.
    close();
    current = nullptr;
}

} // namespace varnel::fuzz
