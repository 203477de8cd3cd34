#pragma once

#include "data/BatteryCollections.h"

#include <cstdint>
#include <vector>

namespace varnel {

class VarnelDevice;

// A unit's runtime at its 20 load points before and after an update, as a
// technician reads it: the stored bytes multiplied back by the firmware
// scalars the unit divides by, against the loads of its wattage table. Both
// front ends draw their chart from these numbers.
class RuntimePicture {
public:
    struct Point {
        double load;
        double value;
        bool operator==(const Point&) const = default;
    };
    using Series = std::vector<Point>;

    // before and after are battery tables as the unit stores them; either may be empty.
    RuntimePicture(const ScalarTableMap& scalarTables, const WattageTableMap& wattageTables,
                   const VarnelDevice& device, const std::vector<std::uint8_t>& before,
                   const std::vector<std::uint8_t>& after);

    const Series& getBefore() const { return before; }
    const Series& getAfter() const { return after; }

    // The runtime the unit would give at its loads with external batteries
    // beside its internal ones, taking the new table as the runtime of the
    // internal ones: the load shared evenly over all, each share's runtime read
    // off the new table between its loads through the energy, as the
    // mixed-type computation averages. Only loads whose share falls within the
    // table's loads are worked out, and only with watts and scalars; with
    // nothing to add (no packs, no internal batteries) there is no estimate.
    void estimateWith(std::uint32_t internalBatteries, std::int64_t externalBatteries);
    const Series& getEstimate() const { return estimate; }
    std::uint64_t getEstimateBatteries() const { return estimateBatteries; }
    // False when the unit's scalars cannot undo the division (no table, a
    // row missing or 0): the values are then the stored bytes themselves.
    bool isScaled() const { return scaled; }
    // True: loads are the wattage table's watts; false: load points 1 to 20.
    bool hasWatts() const { return watts; }

private:
    Series seriesOf(const std::vector<std::uint8_t>& table) const;

    std::vector<double> loads;
    std::vector<double> multipliers;
    bool scaled = false;
    bool watts = false;
    Series before;
    Series after;
    Series estimate;
    std::uint64_t estimateBatteries = 0;
};

} // namespace varnel
