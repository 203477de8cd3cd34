#include "data/BatteryPack.h"

#include "data/XmlReading.h"

namespace varnel {

BatteryPack::BatteryPack(xmlNode* element)
{
    const auto type =
        XmlReading::numberAttribute(element, "batteryTypeIndex", refused, XmlReading::largestByte);
    if (!type)
        return;
    batteryTypeIndex = *type;
    const auto count = XmlReading::numberAttribute(element, "numberOfBatteries", refused);
    if (!count)
        return;
    numberOfBatteries = *count;
    auto packName = XmlReading::textAttribute(element, "name");
    if (!packName)
        return;
    name = std::move(*packName);
    if (auto part = XmlReading::textAttribute(element, "partNumber"))
        partNumber = std::move(*part);
}

} // namespace varnel
