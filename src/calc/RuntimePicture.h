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
};

} // namespace varnel
