#include "calc/BatteryConfiguration.h"

#include "device/VarnelDevice.h"
#include "settings/CatalogueText.h"
#include "settings/Log.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {
// 2 to the 63rd: from here on a double no longer converts to a signed 64-bit integer.
constexpr double int64Limit = 9223372036854775808.0;

void show(const StatusCallback& callback, const std::string& message)
{
    if (callback)
        callback(message.c_str(), 1);
}

// What a failure message says for a value that had no sound integer form.
std::uint32_t valueForMessage(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= int64Limit)
        return 4294967295u;
    if (value < -int64Limit)
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
}
// What the computation reads of a unit, in a record that never reaches one.
class PlannedRecord : public VarnelDevice {
public:
    explicit PlannedRecord(const VarnelDevice& unit)
    {
        setInternalBatteryCount(unit.getInternalBatteryCount());
        setInternalBatteryType(unit.getInternalBatteryType());
        setConfigurationInfo(unit.getConfigurationInfo());
        setLargestExternalBatteryCount(unit.getLargestExternalBatteryCount());
    }
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override { return false; }
};
} // namespace

BatteryConfiguration::BatteryConfiguration(const ScalarTableMap& scalarTables,
                                           const WattageTableMap& wattageTables,
                                           const BatteryTableMap& batteryTables,
                                           const BatteryPackList& batteryPacks, const I18N* messages)
    : scalarTables(scalarTables), wattageTables(wattageTables), batteryTables(batteryTables),
      batteryPacks(batteryPacks), messages(messages)
{
}

std::string BatteryConfiguration::text(const char* key) const
{
    return catalogueText(messages, key, Missing::Key);
}

std::string BatteryConfiguration::format(const char* key, std::initializer_list<MessageArg> args) const
{
    return catalogueFormat(messages, key, args, Missing::Key);
}

std::ostream& BatteryConfiguration::out() const
{
    return logStream ? *logStream : log();
}

void BatteryConfiguration::logAndShow(const StatusCallback& callback, const std::string& message) const
{
    out() << message << std::endl;
    show(callback, message);
}

bool BatteryConfiguration::fail(const StatusCallback& callback, const std::string& message) const
{
    logAndShow(callback, message);
    return false;
}

bool BatteryConfiguration::computeConfiguration(VarnelDevice& device,
                                                const std::vector<std::uint32_t>& batteryPackQuantities,
                                                const StatusCallback& callback) const
{
    TypeCounts typesByQuantity;

    if (device.getInternalBatteryCount() == 0) {
        const std::string message = text("msg.nointernalbatteries");
        show(callback, message);
        out() << message << std::endl;
    } else {
        const std::uint32_t type = device.getInternalBatteryType();
        const std::uint32_t count = device.getInternalBatteryCount();
        if (const BatteryTable* table = findTable(batteryTables, type)) {
            logAndShow(callback, format("msg.internalbatteries", {count, table->getTypeName()}));
            typesByQuantity[type] += count;
        } else {
            logAndShow(callback, format("msg.batterytypenotfound", {type}));
        }
    }

    if (batteryPackQuantities.empty()) {
        device.setExternalBatteryCount(0);
        logAndShow(callback, text("msg.noexternalbatteries"));
    } else {
        // Summed wide: a pack of 32772 batteries twice over must be refused, not wrap to 8.
        std::uint64_t externalTotal = 0;
        const std::uint64_t largest = device.getLargestExternalBatteryCount();
        // A selection beyond the packs the file describes names no pack.
        const std::size_t packCount = std::min(batteryPackQuantities.size(), batteryPacks.size());
        for (std::size_t k = 0; k < packCount; ++k) {
            const std::uint32_t quantity = batteryPackQuantities[k];
            if (quantity == 0)
                continue;
            const BatteryPack& pack = *batteryPacks[k];
            const std::uint32_t type = pack.getBatteryTypeIndex();
            const std::uint64_t wide = std::uint64_t{pack.getNumberOfBatteries()} * quantity;
            externalTotal += wide;
            if (externalTotal > largest)
                return fail(
                    callback,
                    format("msg.externalcounttoolarge",
                           {static_cast<std::uint32_t>(std::min<std::uint64_t>(externalTotal, 4294967295u)),
                            static_cast<std::uint32_t>(largest)}));
            const auto added = static_cast<std::uint32_t>(wide);
            // Kept whole: a count cut to 8 bits would weigh the types wrongly.
            typesByQuantity[type] += added;
            if (const BatteryTable* table = findTable(batteryTables, type))
                logAndShow(callback, format("msg.externalbatteries", {added, table->getTypeName()}));
            else
                logAndShow(callback, format("msg.batterytypenotfound", {type}));
        }
        device.setExternalBatteryCount(static_cast<std::int32_t>(externalTotal));
    }

    WorkingSet workingSet{};
    std::uint32_t cTableType = noBatteryType;
    if (typesByQuantity.size() == 1) {
        cTableType = typesByQuantity.begin()->first;
        if (!computeSingleType(device, workingSet, cTableType, callback))
            return false;
    } else {
        if (!computeMixedTypes(device, workingSet, typesByQuantity, callback))
            return false;
        cTableType = chooseCTableType(typesByQuantity);
    }

    if (!applyCTable(device, cTableType, callback))
        return false;

    logValues(workingSet, text("label.computedruntimevalues"));

    std::vector<std::uint8_t> tmpVector;
    tmpVector.reserve(batteryTableSize);
    for (const double value : workingSet)
        tmpVector.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value)));
    device.setBatteryTableValues(std::move(tmpVector));

    std::ostream& stream = out();
    stream << text("msg.ctablevalues") << ": ";
    const std::vector<std::uint8_t>& cTable = device.getCTableValues();
    for (std::size_t i = 0; i < cTable.size(); ++i)
        stream << (i ? ", " : "") << static_cast<unsigned>(cTable[i]);
    stream << std::endl;
    out() << text("msg.chightablevalue") << ": " << static_cast<unsigned>(device.getCTableHighB())
          << std::endl;
    return true;
}

bool BatteryConfiguration::planBatteryTable(const VarnelDevice& device,
                                            const std::vector<std::uint32_t>& batteryPackQuantities,
                                            std::vector<std::uint8_t>& batteryTable,
                                            std::int32_t* externalBatteryCount) const
{
    PlannedRecord record(device);
    std::ostream discard(nullptr);
    BatteryConfiguration quiet(*this);
    quiet.logStream = &discard;
    if (!quiet.computeConfiguration(record, batteryPackQuantities, nullptr))
        return false;
    batteryTable = record.getBatteryTableValues();
    if (externalBatteryCount != nullptr)
        *externalBatteryCount = record.getExternalBatteryCount();
    return true;
}

std::uint32_t BatteryConfiguration::chooseCTableType(const TypeCounts& typesByQuantity) const
{
    std::vector<std::uint32_t> typesInRunning;
    std::uint32_t largest = 0;
    for (const auto& [type, count] : typesByQuantity) {
        if (count > largest) {
            largest = count;
            typesInRunning.assign(1, type);
        } else if (count == largest) {
            typesInRunning.push_back(type);
        }
    }
    if (typesInRunning.size() == 1)
        return typesInRunning.front();

    std::vector<std::uint32_t> finalists;
    std::uint32_t smallest = 4294967295u;
    for (const std::uint32_t type : typesInRunning) {
        const BatteryTable* table = findTable(batteryTables, type);
        if (!table)
            continue;
        if (table->getTypeSize() < smallest) {
            smallest = table->getTypeSize();
            finalists.assign(1, type);
        } else if (table->getTypeSize() == smallest) {
            finalists.push_back(type);
        }
    }
    return finalists.empty() ? noBatteryType : finalists.front();
}

bool BatteryConfiguration::applyCTable(VarnelDevice& device, std::uint32_t batteryType,
                                       const StatusCallback& callback) const
{
    const BatteryTable* table = findTable(batteryTables, batteryType);
    if (!table)
        return fail(callback, format("msg.batterytypenotfound", {batteryType}));

    std::vector<std::uint8_t> tmpVector;
    for (const auto& [entry, value] : table->getCTableValues())
        tmpVector.push_back(static_cast<std::uint8_t>(value));
    device.setCTableValues(std::move(tmpVector));
    device.setCTableHighB(static_cast<std::uint8_t>(table->getCTableHighB()));
    return true;
}

bool BatteryConfiguration::computeSingleType(const VarnelDevice& device, WorkingSet& workingSet,
                                             std::uint32_t batteryType, const StatusCallback& callback) const
{
    out() << text("msg.singlebatterytype") << std::endl;
    const BatteryTable* table = findTable(batteryTables, batteryType);
    if (!table)
        return fail(callback, format("msg.batterytypenotfound", {batteryType}));

    const RowMap& runtimes = table->getRuntimes();
    for (std::uint32_t row = 0; row < batteryTableSize; ++row) {
        const auto runtime = runtimes.find(row);
        if (runtime == runtimes.end())
            return fail(callback, format("msg.noruntimeentry", {row}));
        workingSet[row] = runtime->second;
    }
    logValues(workingSet, text("label.noninterpolatedvalues"));
    return scaleToFirmware(workingSet, device.scalarTableIndex(), callback);
}

bool BatteryConfiguration::computeMixedTypes(const VarnelDevice& device, WorkingSet& workingSet,
                                             const TypeCounts& typesByQuantity,
                                             const StatusCallback& callback) const
{
    out() << text("msg.interpolating") << std::endl;
    const std::uint32_t wattageIndex = device.wattageTableIndex();

    std::uint32_t total = 0;
    for (const auto& [type, count] : typesByQuantity) {
        if (!accumulateType(workingSet, type, count, wattageIndex, callback))
            return false;
        total += count;
    }
    // Nothing counted: there is no mean to take.
    if (total == 0)
        return fail(callback, text("msg.nobatteries"));

    // Round half up. A mean energy can pass 2^31 (the products are 32-bit
    // unsigned), so it is cut in 64 bits, where every such value fits.
    for (double& value : workingSet)
        value = static_cast<double>(static_cast<std::int64_t>(value / total + 0.5));
    logValues(workingSet, text("label.interpolatedvalues"));

    const BatteryWattageTable* wattage = findTable(wattageTables, wattageIndex);
    if (!wattage)
        return fail(callback, format("msg.nowattagetable", {wattageIndex}));
    const RowMap& watts = wattage->getRows();
    for (std::uint32_t row = 0; row < batteryTableSize; ++row) {
        const auto load = watts.find(row);
        if (load == watts.end())
            return fail(callback, format("msg.nowattageentry", {row}));
        if (load->second == 0)
            return fail(callback, format("msg.zerowattage", {row}));
        workingSet[row] = workingSet[row] / load->second;
    }
    logValues(workingSet, text("label.interpolatedtimes"));
    return scaleToFirmware(workingSet, device.scalarTableIndex(), callback);
}

bool BatteryConfiguration::accumulateType(WorkingSet& workingSet, std::uint32_t batteryType,
                                          std::uint32_t count, std::uint32_t wattageIndex,
                                          const StatusCallback& callback) const
{
    const BatteryTable* table = findTable(batteryTables, batteryType);
    if (!table)
        return fail(callback, format("msg.batterytypenotfound", {batteryType}));
    if (table->getBatteryWattageIndex() != wattageIndex)
        return fail(callback,
                    format("msg.wattagetablemismatch", {wattageIndex, table->getBatteryWattageIndex()}));
    const BatteryWattageTable* wattage = findTable(wattageTables, wattageIndex);
    if (!wattage)
        return fail(callback, format("msg.nowattagetable", {wattageIndex}));

    const RowMap& watts = wattage->getRows();
    const RowMap& runtimes = table->getRuntimes();
    for (std::uint32_t row = 0; row < batteryTableSize; ++row) {
        const auto load = watts.find(row);
        if (load == watts.end())
            return fail(callback, format("msg.nowattageentry", {row}));
        const auto runtime = runtimes.find(row);
        if (runtime == runtimes.end())
            return fail(callback, format("msg.noruntimeentry", {row}));
        // Unsigned 32-bit arithmetic wraps; the units' tables were built that way.
        const std::uint32_t energy = runtime->second * load->second * count;
        workingSet[row] += static_cast<double>(energy);
    }
    return true;
}

bool BatteryConfiguration::scaleToFirmware(WorkingSet& workingSet, std::uint32_t scalarIndex,
                                           const StatusCallback& callback) const
{
    const FWScalarTable* scalars = findTable(scalarTables, scalarIndex);
    if (!scalars)
        return fail(callback, format("msg.noscalartable", {scalarIndex}));
    const RowMap scalarValues = scalars->getRows();

    for (std::uint32_t row = 0; row < batteryTableSize; ++row) {
        const auto divisor = scalarValues.find(row);
        if (divisor == scalarValues.end())
            return fail(callback, format("msg.noscalarentry", {row}));
        if (divisor->second == 0)
            return fail(callback, format("msg.zeroscalar", {row}));
        const double rounded = workingSet[row] / divisor->second + 0.5;
        // Converting a double outside the 64-bit range is undefined: out of range.
        const bool convertible = std::isfinite(rounded) && rounded < int64Limit && rounded >= -int64Limit;
        const std::uint32_t result =
            convertible ? static_cast<std::uint32_t>(static_cast<std::int64_t>(rounded)) : 4294967295u;
        if (result > 255)
            return fail(callback, format("msg.badscaledvalue",
                                         {valueForMessage(workingSet[row]), divisor->second, result}));
        workingSet[row] = result;
    }
    return true;
}

void BatteryConfiguration::logValues(const WorkingSet& workingSet, const std::string& label) const
{
    std::ostream& stream = out();
    stream << label << ": ";
    for (std::size_t i = 0; i < workingSet.size(); ++i)
        stream << (i ? ", " : "") << workingSet[i];
    stream << std::endl;
    out() << std::endl;
}

} // namespace varnel
