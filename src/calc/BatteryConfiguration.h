#pragma once

#include "data/BatteryCollections.h"
#include "data/TableSizes.h"
#include "settings/StatusCallback.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace varnel {

class I18N;
class MessageArg;
class VarnelDevice;

// Works out what a unit must store for the batteries it will have: the
// external count, the 20 battery-table bytes, the C table and the high B
// index. Reads the data file's tables; writes only the device record.
class BatteryConfiguration {
public:
    using WorkingSet = std::array<double, batteryTableSize>;
    // Battery type index to the number of batteries of that type.
    using TypeCounts = std::map<std::uint32_t, std::uint32_t>;

    static constexpr std::uint32_t noBatteryType = 4294967295u;

    BatteryConfiguration(const ScalarTableMap& scalarTables, const WattageTableMap& wattageTables,
                         const BatteryTableMap& batteryTables, const BatteryPackList& batteryPacks,
                         const I18N* messages);

    bool computeConfiguration(VarnelDevice& device, const std::vector<std::uint32_t>& batteryPackQuantities,
                              const StatusCallback& callback) const;
    // The battery table the unit would receive, worked out on a copy of its
    // record: the record stays as it is and nothing is shown or logged, so a
    // page can look ahead as often as the selection changes. The external
    // battery count it would receive, when asked for, comes with it.
    bool planBatteryTable(const VarnelDevice& device, const std::vector<std::uint32_t>& batteryPackQuantities,
                          std::vector<std::uint8_t>& batteryTable,
                          std::int32_t* externalBatteryCount = nullptr) const;
    std::uint32_t chooseCTableType(const TypeCounts& typesByQuantity) const;
    bool applyCTable(VarnelDevice& device, std::uint32_t batteryType, const StatusCallback& callback) const;

    bool computeSingleType(const VarnelDevice& device, WorkingSet& workingSet, std::uint32_t batteryType,
                           const StatusCallback& callback) const;
    bool computeMixedTypes(const VarnelDevice& device, WorkingSet& workingSet,
                           const TypeCounts& typesByQuantity, const StatusCallback& callback) const;
    bool accumulateType(WorkingSet& workingSet, std::uint32_t batteryType, std::uint32_t count,
                        std::uint32_t wattageIndex, const StatusCallback& callback) const;
    bool scaleToFirmware(WorkingSet& workingSet, std::uint32_t scalarIndex,
                         const StatusCallback& callback) const;
    void logValues(const WorkingSet& workingSet, const std::string& label) const;

private:
    // The catalogue text of a key; the key itself when the catalogue lacks it.
    std::string text(const char* key) const;
    std::string format(const char* key, std::initializer_list<MessageArg> args) const;
    // Failures of the computation: one log line, then shown.
    bool fail(const StatusCallback& callback, const std::string& message) const;
    void logAndShow(const StatusCallback& callback, const std::string& message) const;
    // Where the computation's log lines go.
    std::ostream& out() const;

    const ScalarTableMap& scalarTables;
    const WattageTableMap& wattageTables;
    const BatteryTableMap& batteryTables;
    const BatteryPackList& batteryPacks;
    const I18N* messages;
    std::ostream* logStream = nullptr; // null: varnel.log
};

} // namespace varnel
