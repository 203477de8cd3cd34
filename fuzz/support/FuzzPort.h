#pragma once

#include "FuzzInput.h"
#include "device/CAnyPort.h"

#include <cstdint>

namespace varnel::fuzz {

// A port whose unit answers with the fuzzer's bytes, through port functions
// linked in instead of a loaded library. One such port exists at a time.
//
// Serial read: one length byte, then that many reply bytes; 0xFF instead
// claims more bytes than the caller's buffer holds, as a broken library might.
// HID read: one status byte (high bit set: the call fails), one length byte
// (0xFF: a 16-bit length follows, so lengths beyond the buffer are claimed),
// then the value bytes. Writes succeed while input is left.
class FuzzPort : public CAnyPort {
public:
    FuzzPort(FuzzInput& input, std::uint32_t transportCode);
    ~FuzzPort();

    // The buffer size every HID library promises to write into.
    static constexpr std::uint32_t hidBufferSize = 256;
};

} // namespace varnel::fuzz
