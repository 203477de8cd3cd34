#pragma once

#include "data/IndexedRowTable.h"

namespace varnel {

// Divisors the unit's firmware applies to the 20 battery-table entries.
class FWScalarTable : public IndexedRowTable<FWScalarTable> {
public:
    FWScalarTable() = default;
    explicit FWScalarTable(xmlNode* element) : IndexedRowTable(element) {}

    static constexpr const char* rowElement = "FWScalar";
    static constexpr const char* valueAttribute = "value";
};

} // namespace varnel
