#pragma once

#include "hidusages.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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

protected:
    // The text a string usage stands for; null for any other usage.
    const std::string* nameFor(uint32_t usagePage, uint32_t usageId) const
    {
        if (usagePage != HID_PAGE_POWER_DEVICE)
            return nullptr;
        if (usageId == HID_USAGE_PRODUCT)
            return &product();
        if (usageId == HID_USAGE_MANUFACTURER)
            return &manufacturer();
        return nullptr;
    }
    // The string usages' fields hold USB string indexes; the texts are what
    // callers want. False for a unit without that text.
    static bool copyName(const std::string& name, uint8_t* out, uint32_t& length)
    {
        if (name.empty())
            return false;
        length = static_cast<uint32_t>(std::min<size_t>(name.size(), kMaxValueBytes));
        std::memcpy(out, name.data(), length);
        return true;
    }
};

} // namespace linkhid
