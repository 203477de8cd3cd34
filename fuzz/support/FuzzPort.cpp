#include "FuzzPort.h"

#include <algorithm>

namespace varnel::fuzz {

namespace {

constexpr std::uint8_t overclaim = 0xFF;
constexpr std::uint8_t hidFailure = 0x80;

} // namespace

std::uint32_t FuzzPort::portRead(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t)
{
    if (input.empty())
        return 0;
    const std::uint8_t length = input.byte();
    if (length == overclaim)
        return capacity + 1u + input.byte();
    return static_cast<std::uint32_t>(input.take(buffer, std::min<std::uint32_t>(length, capacity)));
}

std::uint32_t FuzzPort::portWrite(const std::uint8_t*, std::uint32_t count, std::uint32_t, std::uint32_t)
{
    return input.empty() ? 0 : count;
}

std::int32_t FuzzPort::portGetHid(std::uint32_t, std::uint8_t, std::uint32_t, std::uint8_t,
                                  std::uint8_t* buffer, std::uint32_t* length)
{
    if (input.empty() || (input.byte() & hidFailure) != 0)
        return 0;
    std::uint32_t claimed = input.byte();
    if (claimed == overclaim)
        claimed = input.word();
    *length = claimed;
    input.take(buffer, std::min(claimed, hidBufferSize));
    return 1;
}

std::int32_t FuzzPort::portSetHid(std::uint32_t, std::uint8_t, std::uint32_t, std::uint8_t, std::uint32_t)
{
    return input.empty() ? 0 : 1;
}

} // namespace varnel::fuzz
