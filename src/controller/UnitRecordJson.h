#pragma once

#include "controller/ConfigurationBackup.h"
#include "controller/ConfigurationUpdate.h"

#include <nlohmann/json_fwd.hpp>

#include <span>
#include <string>

namespace varnel {

class VarnelDevice;

// A unit's record in JSON, each member under the one name it has in backups
// and in varnelctl's documents alike: names as the characters of their bytes,
// numbers as numbers, tables as arrays. Each document keeps its own order of
// members, which scripts and stored backups rely on.
class UnitRecordJson {
public:
    // What tells the kind of unit first, then the values a computation writes.
    enum class Member {
        portName,
        vendorName,
        productName,
        configurationInfo,
        internalBatteryCount,
        internalBatteryType,
        externalBatteryCount,
        batteryTableValues,
        cTableValues,
        cTableHighB,
    };
    // How a backup lists them: what tells the kind of unit, then its values.
    static constexpr Member backupOrder[] = {Member::portName,
                                             Member::vendorName,
                                             Member::productName,
                                             Member::configurationInfo,
                                             Member::internalBatteryCount,
                                             Member::internalBatteryType,
                                             Member::externalBatteryCount,
                                             Member::batteryTableValues,
                                             Member::cTableValues,
                                             Member::cTableHighB};
    // How varnelctl lists a unit: as its scan line reads.
    static constexpr Member listingOrder[] = {Member::portName,
                                              Member::vendorName,
                                              Member::productName,
                                              Member::internalBatteryCount,
                                              Member::internalBatteryType,
                                              Member::externalBatteryCount,
                                              Member::configurationInfo,
                                              Member::batteryTableValues,
                                              Member::cTableValues,
                                              Member::cTableHighB};

    // The device's identity with `values` as its values, in the order given.
    static nlohmann::ordered_json encode(const VarnelDevice& device, const ConfigurationValues& values,
                                         std::span<const Member> order);
    // The values a computation writes, in the order they stand in a unit.
    static nlohmann::ordered_json encode(const ConfigurationValues& values);

    // A document read back strictly: false with `field` naming the first
    // member missing, of the wrong type or length, or out of range.
    static bool decode(const nlohmann::json& document, BackupRecord& record, std::string& field);
};

} // namespace varnel
