#pragma once

#include "UnitState.h"

#include <cstdint>
#include <variant>
#include <vector>

namespace varnel::upssim {

struct HidField {
    uint16_t page;
    uint8_t usage;
    uint8_t bits;
    uint32_t logicalMax;
    bool writable;
    // A value of the unit's, or one that never changes (a string index, the charge).
    std::variant<UnitField, uint32_t> value;
    uint32_t bitOffset = 0; // within the report's data, after the report id
};

struct HidReport {
    uint8_t id;
    std::vector<HidField> fields;
    std::size_t byteSize = 0;
};

// The feature reports of a simulated UPS and the report descriptor that
// announces them: a Power Device application collection with the string
// indexes, a Power Summary with Battery System usages, and the vendor page
// 0xFFFF usages that hold the battery configuration.
class PowerDeviceReports {
public:
    PowerDeviceReports();

    const std::vector<uint8_t>& descriptor() const { return bytes; }
    const std::vector<HidReport>& reports() const { return layout; }
    const HidReport* find(uint8_t id) const;

private:
    void item(uint8_t prefix, uint32_t value, std::size_t size);
    void report(uint8_t id, std::vector<HidField> fields);

    std::vector<uint8_t> bytes;
    std::vector<HidReport> layout;
    uint16_t page = 0;
};

} // namespace varnel::upssim
