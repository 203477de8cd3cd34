#pragma once

#include "HidReportDescriptor.h"
#include "HidTransport.h"
#include "HidUsageAccess.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace linkhid {

// One open HID power device: its transport, the layout read from its report
// descriptor and its names. Reaches usages by reading, and for writes
// modifying and writing back, the feature report that carries them.
class HidPort : public HidUsageAccess {
public:
    // Reads the descriptor and names; null, with `reason` set, for a unit that
    // is not a power device or whose descriptor cannot be read or trusted.
    static std::unique_ptr<HidPort> attach(std::unique_ptr<HidTransport> transport, std::string& reason);

    bool get(uint32_t usagePage, uint32_t usageId, uint8_t* out, uint32_t& length) override;
    bool set(uint32_t usagePage, uint32_t usageId, uint32_t value) override;
    bool has(uint32_t usagePage, uint32_t usageId) const override;

    const std::string& manufacturer() const override { return manufacturerName; }
    const std::string& product() const override { return productName; }

private:
    HidPort(std::unique_ptr<HidTransport> transport, HidReportDescriptor layout, std::string manufacturer,
            std::string product);
    // Reads the whole feature report holding `field` into `report` (id first);
    // false if the unit fails or answers too short to hold the field.
    bool readReport(const HidField& field, std::vector<uint8_t>& report);

    std::unique_ptr<HidTransport> transport;
    HidReportDescriptor layout;
    std::string manufacturerName;
    std::string productName;
    std::mutex mutex;
};

} // namespace linkhid
