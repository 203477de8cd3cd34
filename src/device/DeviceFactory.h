#pragma once

#include "device/VarnelDevice.h"
#include "settings/StatusCallback.h"

#include <linkport.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace varnel {

class CAnyPort;
class I18N;

// The technician's pauses for a unit, in milliseconds; an absent one keeps the protocol's own.
struct DevicePauses {
    std::optional<std::uint32_t> read;
    std::optional<std::uint32_t> write;
    std::optional<std::uint32_t> beforeSave;

    void applyTo(VarnelDevice& device) const;
};

// Finds out which protocol the unit on an open port speaks and returns its
// loaded record, or null when no protocol class accepts the unit. The record
// has the pauses before it first reads the unit; with identityOnly it holds
// only what tells the unit from another.
std::unique_ptr<VarnelDevice> createDevice(CAnyPort& port, const PortDescriptor& descriptor,
                                           const StatusCallback& callback, const I18N* messages,
                                           const DevicePauses& pauses = {}, bool identityOnly = false);

} // namespace varnel
