// A port library whose ports are the units a test describes. Built twice, as
// linkhid and as linkserial, each reporting its own transport.
#include "ScriptedUnits.h"

#include <framedcommands.h>
#include <hidusages.h>
#include <linkport.h>

#include "PerThreadText.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#ifndef SCRIPTED_TRANSPORT
#error "SCRIPTED_TRANSPORT names the transport this build reports"
#endif

using namespace varnel::scripted;

namespace {

Registry registry;
// Not thread_local: see PerThreadText.
linkport::PerThreadText failureReason;

const std::string garbage = "\x13\x37 no protocol at all \xff\xfe";

Unit* unitOf(std::uint32_t handle)
{
    if (handle == 0 || handle > registry.units.size())
        return nullptr;
    return &registry.units[handle - 1];
}

// Counts a write; false once the unit has been told to start failing.
bool acceptWrite(Unit& unit)
{
    if (unit.failWritesAfter >= 0 && unit.writes >= unit.failWritesAfter)
        return false;
    ++unit.writes;
    return true;
}

std::vector<std::uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> word(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF)};
}

// --- framed protocol -------------------------------------------------------

bool framedValue(Unit& unit, std::uint8_t command, std::vector<std::uint8_t>& value)
{
    UnitState& s = unit.state;
    switch (command) {
    case FRAMED_CMD_CONFIGURATION:
        value = word(s.configurationInfo);
        return true;
    case FRAMED_CMD_INTERNAL_COUNT:
        value = {s.internalCount};
        return true;
    case FRAMED_CMD_INTERNAL_TYPE:
        value = {s.internalType};
        return true;
    case FRAMED_CMD_EXTERNAL_COUNT:
        value = word(s.externalCount);
        return true;
    case FRAMED_CMD_C_TABLE_HIGH_B:
        value = {s.cTableHighB};
        return true;
    case FRAMED_CMD_BATTERY_VALUE:
        value = {unit.batteryIndex < s.batteryTable.size() ? s.batteryTable[unit.batteryIndex]
                                                           : std::uint8_t(0)};
        return true;
    case FRAMED_CMD_C_TABLE_VALUE:
        value = {unit.cIndex < s.cTable.size() ? s.cTable[unit.cIndex] : std::uint8_t(0)};
        return true;
    case FRAMED_CMD_PRODUCT_NAME:
        value = bytesOf(s.product);
        return true;
    case FRAMED_CMD_VENDOR_NAME:
        value = bytesOf(s.vendor);
        return true;
    default:
        return false;
    }
}

bool framedStore(Unit& unit, std::uint8_t command, const std::vector<std::uint8_t>& payload)
{
    UnitState& s = unit.state;
    if (payload.empty())
        return false;
    switch (command) {
    case FRAMED_CMD_BATTERY_INDEX:
        unit.batteryIndex = payload[0];
        return payload[0] < s.batteryTable.size();
    case FRAMED_CMD_BATTERY_VALUE:
        if (unit.batteryIndex >= s.batteryTable.size())
            return false;
        s.batteryTable[unit.batteryIndex] = payload[0];
        return true;
    case FRAMED_CMD_C_TABLE_INDEX:
        unit.cIndex = payload[0];
        return payload[0] < s.cTable.size();
    case FRAMED_CMD_C_TABLE_VALUE:
        if (unit.cIndex >= s.cTable.size())
            return false;
        s.cTable[unit.cIndex] = payload[0];
        return true;
    case FRAMED_CMD_C_TABLE_HIGH_B:
        s.cTableHighB = payload[0];
        return true;
    case FRAMED_CMD_EXTERNAL_COUNT:
        if (payload.size() < 2)
            return false;
        s.externalCount = static_cast<std::uint16_t>(payload[0] | (payload[1] << 8));
        return true;
    default:
        return false;
    }
}

void answerFramed(Unit& unit, const std::uint8_t* data, std::uint32_t count)
{
    if (count < 5 || data[0] != FRAMED_START || data[2] == 0 || count != data[2] + 4u)
        return; // not a frame of ours: a unit stays quiet
    std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i + 1 < count; ++i)
        sum = static_cast<std::uint8_t>(sum + data[i]);
    if (sum != data[count - 1])
        return;
    const std::uint8_t kind = data[1];
    const std::uint8_t command = data[3];
    const std::vector<std::uint8_t> payload(data + 4, data + count - 1);
    if (auto raw = unit.replies.find(command); raw != unit.replies.end()) {
        unit.pending = raw->second;
        return;
    }
    std::vector<std::uint8_t> value;
    std::uint8_t replyKind = 0;
    if (kind == FRAMED_KIND_READ && framedValue(unit, command, value))
        replyKind = FRAMED_KIND_VALUE;
    else if (kind == FRAMED_KIND_WRITE && framedStore(unit, command, payload))
        replyKind = FRAMED_KIND_ACCEPTED;
    else
        return;
    if (unit.fault == Fault::WrongKind)
        replyKind = FRAMED_KIND_READ;
    std::uint8_t length = static_cast<std::uint8_t>(value.size() + 1);
    if (unit.fault == Fault::ShortReply)
        length = static_cast<std::uint8_t>(length + 5);
    unit.pending = {FRAMED_START, replyKind, length, command};
    unit.pending.insert(unit.pending.end(), value.begin(), value.end());
}

// --- text protocol ---------------------------------------------------------

std::string joined(std::uint32_t first, const std::vector<std::uint8_t>& rest)
{
    std::string text = std::to_string(first);
    for (auto value : rest)
        text += ";" + std::to_string(value);
    return text;
}

bool textValue(const Unit& unit, const std::string& item, std::string& payload)
{
    if (auto found = unit.textPayloads.find(item); found != unit.textPayloads.end()) {
        payload = found->second;
        return true;
    }
    const UnitState& s = unit.state;
    if (item == "CFI")
        payload = std::to_string(s.configurationInfo);
    else if (item == "IBN")
        payload = joined(s.internalCount, {s.internalType});
    else if (item == "EBP")
        payload = joined(s.externalCount, s.batteryTable);
    else if (item == "CBP")
        payload = joined(s.cTableHighB, s.cTable);
    else if (item == "MOD")
        payload = s.product;
    else if (item == "MNU")
        payload = s.vendor;
    else
        return false;
    return true;
}

std::vector<unsigned> numbers(const std::string& text)
{
    std::vector<unsigned> values;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, ';');)
        values.push_back(static_cast<unsigned>(std::stoul(field.empty() ? "0" : field)));
    return values;
}

void textStore(Unit& unit, const std::string& body)
{
    const std::string item = body.substr(0, 3);
    const std::vector<unsigned> values = numbers(body.substr(3));
    UnitState& s = unit.state;
    if (item == "EBP" && values.size() == 21) {
        s.externalCount = static_cast<std::uint16_t>(values[0]);
        for (std::size_t i = 0; i < 20; ++i)
            s.batteryTable[i] = static_cast<std::uint8_t>(values[i + 1]);
    } else if (item == "CBP" && values.size() == 10) {
        s.cTableHighB = static_cast<std::uint8_t>(values[0]);
        for (std::size_t i = 0; i < 9; ++i)
            s.cTable[i] = static_cast<std::uint8_t>(values[i + 1]);
    }
}

void answerText(Unit& unit, const std::uint8_t* data, std::uint32_t count)
{
    std::string request(reinterpret_cast<const char*>(data), count);
    if (!request.empty() && request.back() == '\0')
        request.pop_back();
    if (request.size() < 10 || request.compare(0, 3, "~00") != 0)
        return;
    const char type = request[3];
    const std::string body = request.substr(7);
    const std::string item = body.substr(0, 3);
    std::string payload;
    if (unit.fault == Fault::Rejects || unit.rejected.count(item)) {
        unit.pending = bytesOf("~00R000");
        return;
    }
    if (type == 'P') {
        if (!textValue(unit, item, payload))
            return;
    } else if (type == 'S') {
        textStore(unit, body);
    } else {
        return;
    }
    char header[16];
    std::snprintf(header, sizeof header, "~00D%03u", static_cast<unsigned>(payload.size()));
    std::string reply = header + payload;
    if (unit.fault == Fault::ShortReply)
        reply = "~00";
    unit.pending = bytesOf(reply);
}

// --- HID -------------------------------------------------------------------

bool hidValue(Unit& unit, std::uint32_t page, std::uint8_t usage, std::vector<std::uint8_t>& value)
{
    const UnitState& s = unit.state;
    if (page == HID_PAGE_POWER_DEVICE) {
        const std::string& name = usage == HID_USAGE_PRODUCT        ? s.product
                                  : usage == HID_USAGE_MANUFACTURER ? s.vendor
                                                                    : std::string();
        if (name.empty())
            return false;
        value = bytesOf(name);
        return true;
    }
    if (page != HID_PAGE_VENDOR)
        return false;
    switch (usage) {
    case HID_USAGE_CONFIGURATION:
        value = word(s.configurationInfo);
        return true;
    case HID_USAGE_INTERNAL_COUNT:
        value = {s.internalCount};
        return true;
    case HID_USAGE_INTERNAL_TYPE:
        value = {s.internalType};
        return true;
    case HID_USAGE_EXTERNAL_COUNT:
        value = word(s.externalCount);
        return true;
    case HID_USAGE_C_TABLE_HIGH_B:
        value = {s.cTableHighB};
        return true;
    case HID_USAGE_BATTERY_VALUE:
        if (unit.batteryIndex >= s.batteryTable.size())
            return false;
        value = {s.batteryTable[unit.batteryIndex]};
        return true;
    case HID_USAGE_C_TABLE_VALUE:
        if (unit.cIndex >= s.cTable.size())
            return false;
        value = {s.cTable[unit.cIndex]};
        return true;
    default:
        return false;
    }
}

bool hidStore(Unit& unit, std::uint32_t page, std::uint8_t usage, std::uint32_t value)
{
    UnitState& s = unit.state;
    if (page != HID_PAGE_VENDOR)
        return false;
    const auto byte = static_cast<std::uint8_t>(value);
    switch (usage) {
    case HID_USAGE_BATTERY_INDEX:
        unit.batteryIndex = byte;
        return value < s.batteryTable.size();
    case HID_USAGE_BATTERY_VALUE:
        if (unit.batteryIndex >= s.batteryTable.size())
            return false;
        s.batteryTable[unit.batteryIndex] = byte;
        return true;
    case HID_USAGE_C_TABLE_INDEX:
        unit.cIndex = byte;
        return value < s.cTable.size();
    case HID_USAGE_C_TABLE_VALUE:
        if (unit.cIndex >= s.cTable.size())
            return false;
        s.cTable[unit.cIndex] = byte;
        return true;
    case HID_USAGE_C_TABLE_HIGH_B:
        s.cTableHighB = byte;
        return true;
    case HID_USAGE_EXTERNAL_COUNT:
        s.externalCount = static_cast<std::uint16_t>(value);
        return true;
    default:
        return false;
    }
}

} // namespace

extern "C" {

LINKPORT_EXPORT Registry* ScriptedUnitRegistry(void)
{
    return &registry;
}

uint32_t PortOpen(PortDescriptor* port)
{
    failureReason.clear();
    if (!port || port->size != sizeof(PortDescriptor) || port->transport != SCRIPTED_TRANSPORT ||
        !port->portName)
        return 0;
    for (std::size_t i = 0; i < registry.units.size(); ++i) {
        Unit& unit = registry.units[i];
        if (unit.portName != port->portName)
            continue;
        if (!unit.opens) {
            failureReason.set(unit.openFailureReason);
            return 0;
        }
        ++unit.openCount;
        unit.pending.clear();
        return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

const char* PortOpenFailureReason(void)
{
    return failureReason.get();
}

int32_t PortClose(uint32_t handle)
{
    Unit* unit = unitOf(handle);
    if (!unit)
        return 0;
    ++unit->closeCount;
    return 1;
}

uint32_t PortWrite(uint32_t handle, const uint8_t* data, uint32_t count, uint32_t, uint32_t)
{
    Unit* unit = unitOf(handle);
    if (!unit || !data)
        return 0;
    unit->written.emplace_back(reinterpret_cast<const char*>(data), count);
    unit->pending.clear();
    if (!acceptWrite(*unit))
        return 0;
    switch (unit->fault) {
    case Fault::Silent:
        return count;
    case Fault::Garbage:
        unit->pending = bytesOf(garbage);
        return count;
    default:
        break;
    }
    if (unit->protocol == Protocol::Framed)
        answerFramed(*unit, data, count);
    else if (unit->protocol == Protocol::Text)
        answerText(*unit, data, count);
    return count;
}

uint32_t PortRead(uint32_t handle, uint8_t* buffer, uint32_t capacity, uint32_t)
{
    Unit* unit = unitOf(handle);
    if (!unit || !buffer || unit->pending.empty())
        return 0;
    const auto available = static_cast<uint32_t>(unit->pending.size());
    const uint32_t copied = available < capacity ? available : capacity;
    std::memcpy(buffer, unit->pending.data(), copied);
    unit->pending.clear();
    // Claims more than it was allowed to give; the bytes beyond stay unwritten.
    if (unit->fault == Fault::OverlongReply)
        return capacity + 10;
    return copied;
}

void PortSet(uint32_t handle, uint32_t baud, char parity, uint32_t dataBits, uint32_t stopBits,
             uint32_t flags)
{
    if (Unit* unit = unitOf(handle))
        unit->lineSettings.push_back({baud, parity, dataBits, stopBits, flags});
}

uint32_t PortGetPin(uint32_t, uint32_t)
{
    return 0;
}
uint32_t PortSetPin(uint32_t, uint32_t, uint32_t)
{
    return 0;
}
uint32_t PortIsHid(uint32_t, uint32_t, uint8_t, uint32_t, uint8_t)
{
    return 0;
}

int32_t PortGetHid(uint32_t handle, uint32_t, uint8_t, uint32_t usagePage, uint8_t usageId, uint8_t* buffer,
                   uint32_t* length)
{
    Unit* unit = unitOf(handle);
    if (!unit || !buffer || !length)
        return 0;
    unit->hidCalls.push_back({false, usagePage, usageId, 0});
    if (unit->fault == Fault::Silent || unit->fault == Fault::Rejects)
        return 0;
    std::vector<uint8_t> value;
    if (auto raw = unit->replies.find(usageId); raw != unit->replies.end())
        value = raw->second;
    else if (!hidValue(*unit, usagePage, usageId, value))
        return 0;
    if (value.size() > 255)
        value.resize(255);
    std::memcpy(buffer, value.data(), value.size());
    *length = static_cast<uint32_t>(value.size());
    if (unit->fault == Fault::ShortReply)
        *length = 0;
    if (unit->fault == Fault::OverlongReply)
        *length = 256;
    if (auto forced = unit->hidLengths.find(usageId); forced != unit->hidLengths.end())
        *length = forced->second;
    return 1;
}

int32_t PortSetHid(uint32_t handle, uint32_t, uint8_t, uint32_t usagePage, uint8_t usageId, uint32_t value)
{
    Unit* unit = unitOf(handle);
    if (!unit)
        return 0;
    unit->hidCalls.push_back({true, usagePage, usageId, value});
    if (!acceptWrite(*unit))
        return 0;
    if (unit->fault == Fault::Silent || unit->fault == Fault::Rejects)
        return 0;
    return hidStore(*unit, usagePage, usageId, value) ? 1 : 0;
}

void PortEnumerate(PortEnumerateCallback callback, void* context)
{
    if (!callback)
        return;
    // By index: the callback opens ports, and the test may not add units meanwhile.
    for (std::size_t i = 0; i < registry.units.size(); ++i) {
        const Unit& unit = registry.units[i];
        PortDescriptor descriptor{};
        descriptor.size = sizeof(PortDescriptor);
        descriptor.transport = SCRIPTED_TRANSPORT;
        descriptor.portName = unit.portName.c_str();
        descriptor.libraryData20 = static_cast<uint32_t>(i);
        if (!unit.descriptorVendor.empty()) {
            descriptor.vendorName = unit.descriptorVendor.c_str();
            descriptor.vendorNameLength = static_cast<int32_t>(unit.descriptorVendor.size());
        }
        if (!unit.descriptorProduct.empty()) {
            descriptor.productName = unit.descriptorProduct.c_str();
            descriptor.productNameLength = static_cast<int32_t>(unit.descriptorProduct.size());
        }
        callback(&descriptor, context);
    }
}

} // extern "C"
