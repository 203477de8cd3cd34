#pragma once

#include "data/IndexedRowTable.h"

namespace varnel {

// The load in watts of each of the 20 battery-table rows.
class BatteryWattageTable : public IndexedRowTable<BatteryWattageTable> {
public:
    BatteryWattageTable() = default;
    explicit BatteryWattageTable(xmlNode* element) : IndexedRowTable(element) {}

    static constexpr const char* rowElement = "Wattage";
    static constexpr const char* valueAttribute = "watts";
};

} // namespace varnel
