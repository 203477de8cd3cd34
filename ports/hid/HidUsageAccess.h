#pragma once

#include <cstdint>
#include <string>

namespace linkhid {

// What the port library asks of an open HID power device, whoever maps its
// usages to report bits: our descriptor parser (hidraw, simulated units) or,
// on Windows, the system's own report parser.
class HidUsageAccess {
public:
    // Values go back in a 256-byte buffer whose length must stay below 256.
    static constexpr uint32_t kMaxValueBytes = 255;

    virtual ~HidUsageAccess() = default;

    // On success `out` holds the value least significant byte first and
    // `length` its byte count (at most kMaxValueBytes); the string usages give
    // the product and manufacturer texts.
    virtual bool get(uint32_t usagePage, uint32_t usageId, uint8_t* out, uint32_t& length) = 0;
    virtual bool set(uint32_t usagePage, uint32_t usageId, uint32_t value) = 0;
    virtual bool has(uint32_t usagePage, uint32_t usageId) const = 0;

    virtual const std::string& manufacturer() const = 0;
    virtual const std::string& product() const = 0;
};

} // namespace linkhid
