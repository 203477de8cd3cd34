// A port library whose ports are the units a test describes. Built twice, as
// linkhid and as linkserial, each reporting its own transport.
#include "ScriptedUnits.h"

#include "FramedUnit.h"
#include "HidPort.h"
#include "TextUnit.h"

#include <framedcommands.h>
#include <linkhidsim.h>
#include <linkport.h>

#include "PerThreadText.h"

#include <algorithm>
#include <cstring>

#ifndef SCRIPTED_TRANSPORT
#error "SCRIPTED_TRANSPORT names the transport this build reports"
#endif

using namespace varnel::scripted;
namespace upssim = varnel::upssim;

namespace {

Registry registry;
// Not thread_local: see PerThreadText.
linkport::PerThreadText failureReason;

const std::string garbage = "\x13\x37 no protocol at all \xff\xfe";
const upssim::PowerDeviceReports reports;

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

// linkhid's own port code over the unit's answers, without the socket between them.
class UnitTransport : public linkhid::HidTransport {
public:
    explicit UnitTransport(upssim::HidUnit& unit) : unit(unit) {}

    bool readDescriptor(std::vector<std::uint8_t>& descriptor) override
    {
        return ask({LINKHIDSIM_OP_DESCRIPTOR}, descriptor);
    }
    void readNames(std::string& manufacturer, std::string& product) override
    {
        std::vector<std::uint8_t> info;
        manufacturer.clear();
        product.clear();
        if (!ask({LINKHIDSIM_OP_INFO}, info) || info.size() < 4)
            return;
        // The vendor and product ids, then the two texts, each ended by a zero.
        const std::string texts(info.begin() + 4, info.end());
        manufacturer = texts.c_str();
        if (manufacturer.size() < texts.size())
            product = texts.c_str() + manufacturer.size() + 1;
    }
    int getFeature(std::uint8_t* report, std::size_t length) override
    {
        std::vector<std::uint8_t> data;
        if (!ask({LINKHIDSIM_OP_GET_FEATURE, report[0], static_cast<std::uint8_t>(length),
                  static_cast<std::uint8_t>(length >> 8)},
                 data) ||
            data.empty() || data.size() > length)
            return -1;
        std::memcpy(report, data.data(), data.size());
        return static_cast<int>(data.size());
    }
    bool setFeature(const std::uint8_t* report, std::size_t length) override
    {
        std::vector<std::uint8_t> request(length + 1, LINKHIDSIM_OP_SET_FEATURE);
        std::memcpy(request.data() + 1, report, length);
        std::vector<std::uint8_t> none;
        return ask(request, none);
    }

private:
    // The reply's data when the unit answered this request with success.
    bool ask(const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& data)
    {
        std::vector<std::uint8_t> reply;
        if (unit.handle(request, reply) != upssim::HidUnit::Outcome::Reply || reply.size() < 2 ||
            reply[0] != request[0] || reply[1] != LINKHIDSIM_OK)
            return false;
        data.assign(reply.begin() + 2, reply.end());
        return true;
    }

    upssim::HidUnit& unit;
};

// Makes the unit's protocol side on its first open; a HID port is attached
// afresh at every open, as linkhid does. False with `reason` set when the port cannot be had.
bool attach(Unit& unit, std::string& reason)
{
    upssim::UnitState& state = unit.state();
    if (unit.protocol != Protocol::Hid) {
        if (!unit.serial && unit.protocol == Protocol::Framed)
            unit.serial = std::make_unique<upssim::FramedUnit>(state, nullptr);
        else if (!unit.serial)
            unit.serial = std::make_unique<upssim::TextUnit>(state, nullptr);
        unit.serial->discardPartial();
        return true;
    }
    if (!unit.hid)
        unit.hid = std::make_unique<upssim::HidUnit>(state, nullptr, reports);
    unit.hidPort = linkhid::HidPort::attach(std::make_unique<UnitTransport>(*unit.hid), reason);
    return unit.hidPort != nullptr;
}

// The exact reply the test scripted for this request, if there is one.
bool scriptedReply(const Unit& unit, const std::uint8_t* data, std::uint32_t count,
                   std::vector<std::uint8_t>& reply)
{
    if (unit.protocol == Protocol::Framed && count >= 5 && data[0] == FRAMED_START) {
        auto raw = unit.replies.find(data[3]);
        if (raw == unit.replies.end())
            return false;
        reply = raw->second;
        return true;
    }
    // "~00", the type, three length digits, then the item.
    const std::string request(reinterpret_cast<const char*>(data), count);
    if (unit.protocol != Protocol::Text || count < 10 || request.compare(0, 3, "~00") != 0)
        return false;
    auto raw = unit.textReplies.find(request.substr(7, 3));
    if (raw == unit.textReplies.end())
        return false;
    reply.assign(raw->second.begin(), raw->second.end());
    return true;
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
        std::string reason = unit.openFailureReason;
        if (!unit.opens || !attach(unit, reason)) {
            failureReason.set(reason);
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
    if (unit->fault == Fault::Garbage)
        unit->pending.assign(garbage.begin(), garbage.end());
    else if (!scriptedReply(*unit, data, count, unit->pending) && unit->serial)
        for (const upssim::SerialAnswer& answer : unit->serial->receive(data, count))
            unit->pending.insert(unit->pending.end(), answer.reply.begin(), answer.reply.end());
    return count;
}

uint32_t PortRead(uint32_t handle, uint8_t* buffer, uint32_t capacity, uint32_t)
{
    Unit* unit = unitOf(handle);
    if (!unit || !buffer || unit->pending.empty())
        return 0;
    auto available = static_cast<uint32_t>(unit->pending.size());
    if (unit->fault == Fault::Trickle && available > 2)
        available = 2;
    const uint32_t copied = available < capacity ? available : capacity;
    std::memcpy(buffer, unit->pending.data(), copied);
    if (unit->fault == Fault::Trickle)
        unit->pending.erase(unit->pending.begin(), unit->pending.begin() + copied);
    else
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
    if (auto raw = unit->replies.find(usageId); raw != unit->replies.end()) {
        *length = static_cast<uint32_t>(std::min<std::size_t>(raw->second.size(), 255));
        std::memcpy(buffer, raw->second.data(), *length);
    } else if (!unit->hidPort || !unit->hidPort->get(usagePage, usageId, buffer, *length)) {
        return 0;
    }
    if (unit->fault == Fault::EmptyReply)
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
    return unit->hidPort && unit->hidPort->set(usagePage, usageId, value) ? 1 : 0;
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
