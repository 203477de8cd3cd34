#include "data/BatteryWattageTable.h"

#include "data/XmlReading.h"

namespace varnel {

BatteryWattageTable::BatteryWattageTable(xmlNode* element)
{
    const auto key = XmlReading::numberAttribute(element, "index", refused);
    if (!key)
        return;
    index = *key;
    XmlReading::readRows(element, "Wattage", "rowIndex", "watts", rows, refused);
}

} // namespace varnel
