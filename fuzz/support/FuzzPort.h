#pragma once

#include "FuzzInput.h"
#include "device/CAnyPort.h"

#include <cstdint>

namespace varnel::fuzz {

// A port whose unit answers with the fuzzer's bytes. No library is loaded.
//
// Serial read: one length byte, then that many reply bytes; 0xFF instead
// claims more bytes than the caller's buffer holds, as a broken library might.
// HID read: one status byte (high bit set: the call fails), one length byte
// (0xFF: a 16-bit length follows, so lengths beyond the buffer are claimed),
// then the value bytes. Writes succeed while input is left.
class FuzzPort : public CAnyPort {
public:
    FuzzPort(FuzzInput& input, std::uint32_t transportCode) : input(input) { setTransport(transportCode); }

    bool loadLibrary(std::uint32_t) override { return true; }
    bool unloadLibrary() override { return true; }
    bool portOpen(PortDescriptor*) override { return true; }
    bool portClose() override { return true; }
    std::uint32_t portRead(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t milliseconds) override;
    std::uint32_t portWrite(const std::uint8_t* data, std::uint32_t count, std::uint32_t milliseconds,
                            std::uint32_t flags) override;
    std::int32_t portGetHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                            std::uint8_t usageId, std::uint8_t* buffer, std::uint32_t* length) override;
    std::int32_t portSetHid(std::uint32_t reportId, std::uint8_t reportType, std::uint32_t usagePage,
                            std::uint8_t usageId, std::uint32_t value) override;
    std::uint32_t portIsHid(std::uint32_t, std::uint8_t, std::uint32_t, std::uint8_t) override { return 1; }

    // The buffer size every HID library promises to write into.
    static constexpr std::uint32_t hidBufferSize = 256;

private:
    FuzzInput& input;
};

} // namespace varnel::fuzz
