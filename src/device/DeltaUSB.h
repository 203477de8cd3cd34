#pragma once

#include "device/VarnelDevice.h"

#include <cstdint>

namespace varnel {

// A unit reached through the HID or USB port library: every value is one HID
// usage, the two tables are reached through an index usage and a value usage.
class DeltaUSB : public VarnelDevice {
public:
    DeltaUSB();

    bool load(CAnyPort& port, const StatusCallback& callback, const I18N* messages) override;
    bool save() override;

    // Capacity of the reply buffer handed to the port library.
    static constexpr std::uint32_t replyCapacity = 256;
};

} // namespace varnel
