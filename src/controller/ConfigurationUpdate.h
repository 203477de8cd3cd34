#pragma once

#include "settings/StatusCallback.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

class VarnelDevice;

// The values the computation writes into a unit's record, as they stand in it.
struct ConfigurationValues {
    std::int32_t externalBatteryCount = 0;
    std::vector<std::uint8_t> batteryTableValues;
    std::vector<std::uint8_t> cTableValues;
    std::uint8_t cTableHighB = 0;

    static ConfigurationValues of(const VarnelDevice& device);
    void applyTo(VarnelDevice& device) const;
    bool operator==(const ConfigurationValues&) const = default;
};

// Whether an update only computes or goes on into the unit.
enum class UpdateMode { computeOnly, write };

// How far an update got; each stage is reached only through the one before.
enum class UpdateOutcome {
    computeFailed, // nothing reached the unit
    computed,      // computing only: the record holds the new values, the unit its old ones
    unitChanged,   // the unit on the port is not the one read, or did not answer: nothing reached it
    backupFailed,  // the unit's values could not be kept in a backup, so nothing reached the unit
    saveFailed,    // the unit did not take the new values
    notValidated,  // saved, but what was read back differs
    validated,     // saved, read back and the same
};

struct ConfigurationUpdate {
    UpdateOutcome outcome = UpdateOutcome::computeFailed;
    ConfigurationValues before; // the record as the scan read it
    ConfigurationValues after;  // the record once the computation ran
    std::string backupPath;     // the backup written before the save, if any
    // What the check after the save read from the unit, when it got that far.
    std::optional<ConfigurationValues> readBack;
    // How writing the backup's values back went, when the technician asked for it.
    std::optional<UpdateOutcome> restored;

    bool computed() const { return outcome != UpdateOutcome::computeFailed; }
    bool saved() const
    {
        return outcome == UpdateOutcome::notValidated || outcome == UpdateOutcome::validated;
    }
    bool validated() const { return outcome == UpdateOutcome::validated; }
};

// The steps of an update that reach the computation or the unit, each
// standing in for the controller's own where it is set.
struct UpdateSteps {
    std::function<bool(VarnelDevice&, const std::vector<std::uint32_t>&, const StatusCallback&)> compute;
    std::function<bool(const VarnelDevice&)> identify;
    std::function<bool(VarnelDevice&)> save;
    std::function<bool(VarnelDevice&, const StatusCallback&)> validate;
};

} // namespace varnel
