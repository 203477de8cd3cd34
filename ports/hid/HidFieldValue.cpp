#include "HidFieldValue.h"

#include <cstring>

namespace linkhid {

namespace {

bool inside(const HidField& field, size_t size)
{
    return field.bitSize > 0 && static_cast<uint64_t>(field.bitOffset) + field.bitSize <= uint64_t{size} * 8;
}

bool bitAt(const uint8_t* data, uint64_t bit)
{
    return (data[bit / 8] >> (bit % 8)) & 1u;
}

} // namespace

size_t readField(const HidField& field, const uint8_t* data, size_t size, uint8_t* out, size_t capacity)
{
    if (!data || !out || !inside(field, size))
        return 0;
    const size_t bytes = (field.bitSize + 7) / 8;
    if (bytes > capacity)
        return 0;
    std::memset(out, 0, bytes);
    for (uint32_t i = 0; i < field.bitSize; ++i) {
        if (bitAt(data, uint64_t{field.bitOffset} + i))
            out[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
    return bytes;
}

bool writeField(const HidField& field, uint8_t* data, size_t size, uint32_t value)
{
    if (!data || !inside(field, size))
        return false;
    // Truncating silently would store a different number than the caller asked for.
    if (field.bitSize < 32 && (value >> field.bitSize) != 0)
        return false;
    for (uint32_t i = 0; i < field.bitSize; ++i) {
        const uint64_t bit = uint64_t{field.bitOffset} + i;
        const bool set = i < 32 && ((value >> i) & 1u);
        const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
        data[bit / 8] = set ? (data[bit / 8] | mask) : (data[bit / 8] & ~mask);
    }
    return true;
}

} // namespace linkhid
