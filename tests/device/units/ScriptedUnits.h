#pragma once

// Units behind the test port library: the tests describe them here, upssim's
// unit classes answer for them, and the library adds what only a port library
// can get wrong, scripted replies, and a record of what it was sent. The
// library and the test executable are built together, so they share these
// types directly.

#include "HidUnit.h"
#include "SerialUnit.h"
#include "UnitState.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace linkhid {
class HidPort;
}

namespace varnel::scripted {

enum class Protocol { Hid, Framed, Text };

// What the port library itself does wrong, whatever the unit answers. The
// unit's own misbehaviour is its upssim fault (UnitConfig::fault, UnitState::setFault).
enum class Fault {
    None,
    OverlongReply, // claims more bytes than the caller's buffer holds
    EmptyReply,    // HID: a read that succeeds with no bytes
    Garbage,       // serial: bytes of no protocol at all instead of the unit's answer
    Trickle,       // serial: the answer arrives two bytes per read, as through a slow adapter
};

struct HidCall {
    bool set;
    std::uint32_t page;
    std::uint8_t usage;
    std::uint32_t value;
    bool operator==(const HidCall&) const = default;
};

struct LineSetting {
    std::uint32_t baud;
    char parity;
    std::uint32_t dataBits;
    std::uint32_t stopBits;
    std::uint32_t flags;
    bool operator==(const LineSetting&) const = default;
};

// Values apart from upssim's defaults, so a value read from upssim's own
// defaults instead of the unit's stands out.
inline upssim::UnitConfig scriptedValues()
{
    upssim::UnitConfig v;
    v.internalBatteryType = 1;
    v.externalBatteryCount = 3;
    v.cTableHighB = 4;
    v.batteryTable = {60, 55, 50, 45, 40, 36, 32, 29, 26, 23, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2};
    v.cTable = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    v.productName = "Scripted UPS";
    v.vendorName = "Scripted Maker";
    return v;
}

struct Unit {
    // Description, set by the test.
    std::string portName;
    Protocol protocol = Protocol::Hid;
    upssim::UnitConfig config = scriptedValues(); // read once, at the first open or state()
    Fault fault = Fault::None;
    bool opens = true;
    std::string openFailureReason; // given when the port does not open
    std::string descriptorVendor;  // names the enumeration reports, if any
    std::string descriptorProduct;
    int failWritesAfter = -1; // writes accepted before every further one fails; -1: never
    std::map<std::string, std::string> textReplies;            // text item -> exact reply
    std::map<std::uint8_t, std::vector<std::uint8_t>> replies; // framed command or HID usage -> raw reply
    std::map<std::uint8_t, std::uint32_t> hidLengths;          // HID usage -> reported length

    // The unit as it stands; later changes go through its write operations or setFault.
    upssim::UnitState& state()
    {
        if (!live)
            live = std::make_unique<upssim::UnitState>(config, nullptr);
        return *live;
    }
    const upssim::UnitConfig& values() { return state().values(); }

    // Record, kept by the library.
    std::vector<std::string> written;
    std::vector<HidCall> hidCalls;
    std::vector<LineSetting> lineSettings;
    int openCount = 0;
    int closeCount = 0;
    int writes = 0;

    // The library's side; the port goes first, it talks to the unit.
    std::unique_ptr<upssim::UnitState> live;
    std::unique_ptr<upssim::SerialUnit> serial;
    std::unique_ptr<upssim::HidUnit> hid;
    std::shared_ptr<linkhid::HidPort> hidPort;
    std::vector<std::uint8_t> pending;
};

struct Registry {
    std::vector<Unit> units;
};

} // namespace varnel::scripted

extern "C" varnel::scripted::Registry* ScriptedUnitRegistry(void);
using ScriptedUnitRegistryFn = varnel::scripted::Registry* (*)();
