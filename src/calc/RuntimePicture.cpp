#include "calc/RuntimePicture.h"

#include "device/VarnelDevice.h"

#include <algorithm>

namespace varnel {

RuntimePicture::RuntimePicture(const ScalarTableMap& scalarTables, const WattageTableMap& wattageTables,
                               const VarnelDevice& device, const std::vector<std::uint8_t>& beforeTable,
                               const std::vector<std::uint8_t>& afterTable)
    : loads(batteryTableSize), multipliers(batteryTableSize, 1.0)
{
    // The firmware rounds runtime / divisor to a byte, so byte x divisor is
    // the runtime back to within half a divisor.
    if (const FWScalarTable* scalars = findTable(scalarTables, device.scalarTableIndex())) {
        const RowMap& rows = scalars->getRows();
        scaled = true;
        for (std::uint32_t row = 0; row < batteryTableSize && scaled; ++row) {
            const auto divisor = rows.find(row);
            scaled = divisor != rows.end() && divisor->second != 0;
            if (scaled)
                multipliers[row] = divisor->second;
        }
        if (!scaled)
            std::fill(multipliers.begin(), multipliers.end(), 1.0);
    }

    // A load axis needs each load once and in order; anything else is drawn by load point.
    if (const BatteryWattageTable* wattage = findTable(wattageTables, device.wattageTableIndex())) {
        const RowMap& rows = wattage->getRows();
        watts = hasExactKeys(rows, 0, batteryTableSize - 1);
        std::uint32_t previous = 0;
        for (std::uint32_t row = 0; row < batteryTableSize && watts; ++row) {
            const std::uint32_t load = rows.at(row);
            watts = load > previous;
            previous = load;
            loads[row] = load;
        }
    }
    if (!watts)
        for (std::uint32_t row = 0; row < batteryTableSize; ++row)
            loads[row] = row + 1;

    before = seriesOf(beforeTable);
    after = seriesOf(afterTable);
}

RuntimePicture::Series RuntimePicture::seriesOf(const std::vector<std::uint8_t>& table) const
{
    Series series;
    const std::size_t count = std::min(table.size(), batteryTableSize);
    for (std::size_t row = 0; row < count; ++row)
        series.push_back({loads[row], table[row] * multipliers[row]});
    return series;
}

void RuntimePicture::estimateWith(std::uint32_t internalBatteries, std::int64_t externalBatteries)
{
    estimate.clear();
    estimateBatteries = 0;
    if (!watts || !scaled || internalBatteries == 0 || externalBatteries <= 0 ||
        after.size() != batteryTableSize)
        return;
    const std::uint64_t allBatteries = internalBatteries + static_cast<std::uint64_t>(externalBatteries);
    const double share = static_cast<double>(internalBatteries) / static_cast<double>(allBatteries);
    for (const Point& point : after) {
        const double load = point.load * share;
        // Loads rise strictly, so the share lies in at most one span.
        for (std::size_t row = 0; row + 1 < after.size(); ++row) {
            const Point& low = after[row];
            const Point& high = after[row + 1];
            if (load < low.load || load > high.load)
                continue;
            const double part = (load - low.load) / (high.load - low.load);
            const double energy =
                low.value * low.load + part * (high.value * high.load - low.value * low.load);
            estimate.push_back({point.load, energy / load});
            break;
        }
    }
    if (!estimate.empty())
        estimateBatteries = allBatteries;
}

} // namespace varnel
