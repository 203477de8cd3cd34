#include "HidWire.h"

#include "linkhidsim.h"

namespace varnel::upssim {

namespace {

uint32_t lengthAt(const std::vector<uint8_t>& bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

} // namespace

bool HidWire::feed(const uint8_t* data, std::size_t size)
{
    if (broken)
        return false;
    pending.insert(pending.end(), data, data + size);
    if (pending.size() >= 4) {
        const uint32_t length = lengthAt(pending);
        if (length == 0 || length > LINKHIDSIM_MAX_PAYLOAD)
            broken = true;
    }
    return !broken;
}

bool HidWire::next(std::vector<uint8_t>& message)
{
    if (broken || pending.size() < 4)
        return false;
    const uint32_t length = lengthAt(pending);
    if (length == 0 || length > LINKHIDSIM_MAX_PAYLOAD) {
        broken = true;
        return false;
    }
    if (pending.size() < 4 + std::size_t(length))
        return false;
    message.assign(pending.begin() + 4, pending.begin() + 4 + length);
    pending.erase(pending.begin(), pending.begin() + 4 + length);
    return true;
}

std::vector<uint8_t> HidWire::encode(const std::vector<uint8_t>& payload)
{
    const auto n = static_cast<uint32_t>(payload.size());
    std::vector<uint8_t> bytes;
    bytes.reserve(payload.size() + 4);
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(n >> shift));
    for (uint8_t b : payload)
        bytes.push_back(b);
    return bytes;
}

} // namespace varnel::upssim
