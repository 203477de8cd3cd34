#pragma once

#include "Journal.h"
#include "UnitConfig.h"

#include <cstdint>
#include <random>
#include <vector>

namespace varnel::upssim {

// A value of the battery configuration as the framed and the HID faces reach
// it: the tables one entry at a time, through the index selected last.
enum class UnitField {
    Configuration,
    InternalCount,
    InternalType,
    ExternalCount,
    HighB,
    BatteryIndex,
    BatteryValue,
    CIndex,
    CValue,
};

// The battery configuration a unit holds, shared by its three protocol faces,
// and its fault: every request goes through beginRequest, every write through
// one of the write operations, which apply the fault and journal the result.
class UnitState {
public:
    UnitState(const UnitConfig& config, Journal* journal);

    const UnitConfig& values() const { return current; }
    const std::string& name() const { return current.name; }

    // Counts the request and gives the fault in force for it.
    FaultMode beginRequest();
    // A fault that sets in while the unit runs, after `after` more requests.
    void setFault(FaultMode mode, uint32_t after = 0);
    uint32_t requestCount() const { return requests; }
    // Between 1 and `longest` bytes from the unit's seeded generator.
    std::vector<uint8_t> randomReply(std::size_t longest);

    uint8_t batteryIndex() const { return selectedBattery; }
    uint8_t cTableIndex() const { return selectedCTable; }
    uint8_t batteryValue() const { return current.batteryTable[selectedBattery]; }
    uint8_t cTableValue() const { return current.cTable[selectedCTable]; }

    // False (and nothing changes) for an index beyond the table.
    bool selectBatteryIndex(uint32_t index);
    bool selectCTableIndex(uint32_t index);

    uint32_t read(UnitField field) const;
    // False, and nothing changes, for a read-only field or an index beyond
    // its table; a wider value is cut to the field's width.
    bool write(UnitField field, uint32_t value);

    void writeExternalBatteryCount(uint16_t value);
    void writeCTableHighB(uint8_t value);
    void writeBatteryEntry(std::size_t index, uint8_t value);
    void writeCTableEntry(std::size_t index, uint8_t value);
    void writeBatteryValue(uint8_t value) { writeBatteryEntry(selectedBattery, value); }
    void writeCTableValue(uint8_t value) { writeCTableEntry(selectedCTable, value); }

private:
    uint32_t stored(uint32_t old, uint32_t value, uint32_t mask) const;
    void journal(const char* field, int index, uint32_t value, uint32_t result);

    UnitConfig current;
    Journal* journalOut;
    uint32_t requests = 0;
    FaultMode fault = FaultMode::None;
    uint8_t selectedBattery = 0;
    uint8_t selectedCTable = 0;
    bool swapped = false;
    std::mt19937 random;
};

} // namespace varnel::upssim
