#include "UnitState.h"

namespace varnel::upssim {

UnitState::UnitState(const UnitConfig& config, Journal* journal)
    : current(config), journalOut(journal), random(config.faultSeed)
{
}

std::vector<uint8_t> UnitState::randomReply(std::size_t longest)
{
    // Distributions differ between standard libraries; the generator's own output does not.
    const std::size_t length = longest <= 1 ? 1 : 1 + random() % longest;
    std::vector<uint8_t> bytes(length);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(random() >> 24);
    return bytes;
}

uint32_t UnitState::read(UnitField field) const
{
    switch (field) {
    case UnitField::Configuration:
        return current.configurationInfo;
    case UnitField::InternalCount:
        return current.internalBatteryCount;
    case UnitField::InternalType:
        return current.internalBatteryType;
    case UnitField::ExternalCount:
        return current.externalBatteryCount;
    case UnitField::HighB:
        return current.cTableHighB;
    case UnitField::BatteryIndex:
        return batteryIndex();
    case UnitField::BatteryValue:
        return batteryValue();
    case UnitField::CIndex:
        return cTableIndex();
    case UnitField::CValue:
        return cTableValue();
    }
    return 0;
}

bool UnitState::write(UnitField field, uint32_t value)
{
    switch (field) {
    case UnitField::ExternalCount:
        writeExternalBatteryCount(static_cast<uint16_t>(value));
        return true;
    case UnitField::HighB:
        writeCTableHighB(static_cast<uint8_t>(value));
        return true;
    case UnitField::BatteryIndex:
        return selectBatteryIndex(value);
    case UnitField::BatteryValue:
        writeBatteryValue(static_cast<uint8_t>(value));
        return true;
    case UnitField::CIndex:
        return selectCTableIndex(value);
    case UnitField::CValue:
        writeCTableValue(static_cast<uint8_t>(value));
        return true;
    default:
        return false;
    }
}

FaultMode UnitState::beginRequest()
{
    const bool recovered = current.faultCount != 0 && requests - current.faultAfter >= current.faultCount;
    fault = requests >= current.faultAfter && !recovered ? current.fault : FaultMode::None;
    // Another unit on the same port stays there once it has been plugged in.
    if (fault == FaultMode::Swapped && !swapped) {
        swapped = true;
        current.internalBatteryType = static_cast<uint8_t>(current.internalBatteryType ^ 1u);
        current.productName = current.productName.substr(0, kMaxNameLength - 6) + " (new)";
    }
    if (requests != UINT32_MAX)
        ++requests;
    return fault;
}

void UnitState::setFault(FaultMode mode, uint32_t after)
{
    current.fault = mode;
    current.faultAfter = after > UINT32_MAX - requests ? UINT32_MAX : requests + after;
}

uint32_t UnitState::stored(uint32_t old, uint32_t value, uint32_t mask) const
{
    if (fault == FaultMode::IgnoreWrites)
        return old;
    if (fault == FaultMode::WrongValue)
        return (value + 1) & mask;
    return value & mask;
}

void UnitState::journal(const char* field, int index, uint32_t value, uint32_t result)
{
    if (journalOut)
        journalOut->write(current.name, field, index, value, result);
}

// Index selections are how a unit is read at all, so no fault touches them.
bool UnitState::selectBatteryIndex(uint32_t index)
{
    if (index >= batteryTableSize)
        return false;
    selectedBattery = static_cast<uint8_t>(index);
    journal("batteryTableIndex", -1, index, index);
    return true;
}

bool UnitState::selectCTableIndex(uint32_t index)
{
    if (index >= cTableSize)
        return false;
    selectedCTable = static_cast<uint8_t>(index);
    journal("cTableIndex", -1, index, index);
    return true;
}

void UnitState::writeExternalBatteryCount(uint16_t value)
{
    current.externalBatteryCount = static_cast<uint16_t>(stored(current.externalBatteryCount, value, 0xFFFF));
    journal("externalBatteryCount", -1, value, current.externalBatteryCount);
}

void UnitState::writeCTableHighB(uint8_t value)
{
    current.cTableHighB = static_cast<uint8_t>(stored(current.cTableHighB, value, 0xFF));
    journal("cTableHighB", -1, value, current.cTableHighB);
}

void UnitState::writeBatteryEntry(std::size_t index, uint8_t value)
{
    if (index >= batteryTableSize)
        return;
    uint8_t& entry = current.batteryTable[index];
    entry = static_cast<uint8_t>(stored(entry, value, 0xFF));
    journal("batteryTable", static_cast<int>(index), value, entry);
}

void UnitState::writeCTableEntry(std::size_t index, uint8_t value)
{
    if (index >= cTableSize)
        return;
    uint8_t& entry = current.cTable[index];
    entry = static_cast<uint8_t>(stored(entry, value, 0xFF));
    journal("cTable", static_cast<int>(index), value, entry);
}

} // namespace varnel::upssim
