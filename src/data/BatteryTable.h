#pragma once

#include "data/RowMap.h"

#include <libxml/tree.h>

#include <cstdint>
#include <string>

namespace varnel {

// One battery type: its runtimes at the 20 loads, C table and high B index.
class BatteryTable {
public:
    BatteryTable() = default;
    explicit BatteryTable(xmlNode* element);
    virtual ~BatteryTable() = default;

    bool isValid() const;

    std::uint32_t getTypeIndex() const { return typeIndex; }
    std::uint32_t getTypeSize() const { return typeSize; }
    std::uint32_t getBatteryWattageIndex() const { return batteryWattageIndex; }
    std::uint32_t getCTableHighB() const { return cTableHighB; }
    const std::string& getTypeName() const { return typeName; }
    const std::string& getPartNumber() const { return partNumber; }
    const RowMap& getRuntimes() const { return runtimes; }
    const RowMap& getCTableValues() const { return cTableValues; }

private:
    bool readAttributes(xmlNode* element);
    void readChildren(xmlNode* element);

    std::uint32_t typeIndex = 0;
    std::uint32_t typeSize = 0;
    std::uint32_t batteryWattageIndex = 0;
    std::uint32_t cTableHighB = 0;
    std::string typeName;
    std::string partNumber;
    RowMap runtimes;
    RowMap cTableValues;
    bool refused = false; // a number in it did not fit
};

} // namespace varnel
