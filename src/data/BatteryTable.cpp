#include "data/BatteryTable.h"

#include "data/TableSizes.h"
#include "data/XmlReading.h"

#include <tuple>

namespace varnel {

BatteryTable::BatteryTable(xmlNode* element)
{
    if (readAttributes(element))
        readChildren(element);
}

bool BatteryTable::readAttributes(xmlNode* element)
{
    // A type index names what a unit's one-byte battery type field can hold.
    for (auto [name, field, largest] :
         {std::tuple{"typeIndex", &typeIndex, XmlReading::largestByte},
          std::tuple{"typeSize", &typeSize, XmlReading::anyNumber},
          std::tuple{"batteryWattageIndex", &batteryWattageIndex, XmlReading::anyNumber}}) {
        const auto value = XmlReading::numberAttribute(element, name, refused, largest);
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
            const auto key = XmlReading::numberAttribute(child, runtime ? "rowIndex" : "index", refused);
            if (!key)
                return;
            // C table entries are copied to the unit byte for byte; runtimes are scaled down first.
            const auto value =
                XmlReading::numberAttribute(child, runtime ? "time" : "value", refused,
                                            runtime ? XmlReading::anyNumber : XmlReading::largestByte);
            if (!value)
                return;
            (runtime ? runtimes : cTableValues)[*key] = *value;
        } else if (XmlReading::isElementNamed(child, "CTableHighB")) {
            const auto value = XmlReading::numberContent(child, refused, XmlReading::largestByte);
            if (!value)
                return;
            cTableHighB = *value;
        }
    }
}

bool BatteryTable::isValid() const
{
    return !refused && typeIndex != 0 && typeSize != 0 && cTableHighB != 0 && !typeName.empty() &&
           !partNumber.empty() && hasExactKeys(runtimes, 0, batteryTableSize - 1) &&
           hasExactKeys(cTableValues, 1, cTableSize);
}

} // namespace varnel
