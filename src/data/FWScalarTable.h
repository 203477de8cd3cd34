#pragma once

#include "data/RowMap.h"
#include "data/TableSizes.h"

#include <libxml/tree.h>

#include <cstdint>

namespace varnel {

// Divisors the unit's firmware applies to the 20 battery-table entries.
class FWScalarTable {
public:
    FWScalarTable() = default;
    explicit FWScalarTable(xmlNode* element);
    virtual ~FWScalarTable() = default;

    bool isValid() const { return !refused && hasExactKeys(rows, 0, batteryTableSize - 1); }
    std::uint32_t getIndex() const { return index; }
    const RowMap& getRows() const { return rows; }

private:
    std::uint32_t index = 0;
    RowMap rows;
    bool refused = false; // a number in it did not fit
};

} // namespace varnel
