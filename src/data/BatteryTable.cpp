#include "data/BatteryTable.h"

#include "data/TableSizes.h"
#include "data/XmlReading.h"

namespace varnel {

BatteryTable::BatteryTable(xmlNode* element)
{
    if (readAttributes(element))
        readChildren(element);
}

bool BatteryTable::readAttributes(xmlNode* element)
{
    for (auto [name, field] : {std::pair{"typeIndex", &typeIndex}, std::pair{"typeSize", &typeSize},
                               std::pair{"batteryWattageIndex", &batteryWattageIndex}}) {
        const auto value = XmlReading::numberAttribute(element, name);
        if (!value)
            return false;
        *field = *value;
    }
    for (auto [name, field] : {std::pair{"typeName", &typeName}, std::pair{"partNumber", &partNumber}}) {
        auto value = XmlReading::textAttribute(element, name);
        if (!value)
            return false;
        *field = std::move(*value);
    }
    return true;
}

void BatteryTable::readChildren(xmlNode* element)
{
    // Reading stops at the first malformed child; what came before is judged.
    for (xmlNode* child = element->children; child != nullptr; child = child->next) {
        if (XmlReading::isElementNamed(child, "Runtime") ||
            XmlReading::isElementNamed(child, "CTableValue")) {
            const bool runtime = XmlReading::isElementNamed(child, "Runtime");
            const auto key = XmlReading::numberAttribute(child, runtime ? "rowIndex" : "index");
            if (!key)
                return;
            const auto value = XmlReading::numberAttribute(child, runtime ? "time" : "value");
            if (!value)
                return;
            (runtime ? runtimes : cTableValues)[*key] = *value;
        } else if (XmlReading::isElementNamed(child, "CTableHighB")) {
            const auto value = XmlReading::numberContent(child);
            if (!value)
                return;
            cTableHighB = *value;
        }
    }
}

bool BatteryTable::isValid() const
{
    return typeIndex != 0 && typeSize != 0 && cTableHighB != 0 && !typeName.empty() && !partNumber.empty() &&
           hasExactKeys(runtimes, 0, batteryTableSize - 1) && hasExactKeys(cTableValues, 1, cTableSize);
}

} // namespace varnel
