#pragma once

#include "data/RowMap.h"
#include "data/TableSizes.h"
#include "data/XmlReading.h"

#include <libxml/tree.h>

#include <cstdint>

namespace varnel {

// A table of the data file with one value per battery-table row, kept under
// its `index` attribute: the firmware scalars and the wattages. `Table` is the
// named class, which gives the row element and the attribute of its values.
template <typename Table> class IndexedRowTable {
public:
    IndexedRowTable() = default;
    explicit IndexedRowTable(xmlNode* element)
    {
        const auto key = XmlReading::numberAttribute(element, "index", refused);
        if (!key)
            return;
        index = *key;
        XmlReading::readRows(element, Table::rowElement, "rowIndex", Table::valueAttribute, rows, refused);
    }
    virtual ~IndexedRowTable() = default;

    bool isValid() const { return !refused && hasExactKeys(rows, 0, batteryTableSize - 1); }
    std::uint32_t getIndex() const { return index; }
    const RowMap& getRows() const { return rows; }

private:
    std::uint32_t index = 0;
    RowMap rows;
    bool refused = false; // a number in it did not fit
};

} // namespace varnel
