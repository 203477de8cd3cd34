#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <string>

namespace varnel {

// An orderable external pack: how many batteries of which type it holds.
class BatteryPack {
public:
    BatteryPack() = default;
    explicit BatteryPack(xmlNode* element);
    virtual ~BatteryPack() = default;

    bool isValid() const
    {
        return !refused && batteryTypeIndex != 0 && numberOfBatteries != 0 && !name.empty() &&
               !partNumber.empty();
    }

    std::uint32_t getBatteryTypeIndex() const { return batteryTypeIndex; }
    std::uint32_t getNumberOfBatteries() const { return numberOfBatteries; }
    const std::string& getName() const { return name; }
    const std::string& getPartNumber() const { return partNumber; }

private:
    std::uint32_t batteryTypeIndex = 0;
    std::uint32_t numberOfBatteries = 0;
    std::string name;
    std::string partNumber;
    bool refused = false; // a number in it did not fit
};

} // namespace varnel
