#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace varnel::fuzz {

// Hands out the fuzzer's bytes front to back; an exhausted input reads as zeros.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool empty() const { return at >= size; }
    std::size_t remaining() const { return size - at; }

    std::uint8_t byte() { return empty() ? 0 : data[at++]; }
    std::uint16_t word()
    {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    std::uint32_t dword()
    {
        const std::uint32_t low = word();
        return low | (static_cast<std::uint32_t>(word()) << 16);
    }

    // Copies up to `count` bytes into `out`; returns how many there were.
    std::size_t take(std::uint8_t* out, std::size_t count)
    {
        const std::size_t n = std::min(count, remaining());
        if (n > 0)
            std::memcpy(out, data + at, n);
        at += n;
        return n;
    }
    std::string_view bytes(std::size_t count)
    {
        const std::size_t n = std::min(count, remaining());
        std::string_view piece(reinterpret_cast<const char*>(data + at), n);
        at += n;
        return piece;
    }
    std::string_view rest() { return bytes(remaining()); }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

} // namespace varnel::fuzz
