#pragma once

// Units behind the test port library: the tests describe them here, the
// library answers for them and records what it was sent. The library and the
// test executable are built together, so they share these types directly.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace varnel::scripted {

enum class Protocol { Hid, Framed, Text };

enum class Fault {
    None,
    Silent,        // never answers
    Rejects,       // refuses every request (HID: every call fails)
    WrongKind,     // framed replies of kind 3
    ShortReply,    // fewer bytes than the reply promises (HID: none at all)
    OverlongReply, // claims more bytes than the caller's buffer holds
    Garbage,       // bytes of no protocol at all
};

struct UnitState {
    std::uint32_t configurationInfo = 1;
    std::uint8_t internalCount = 2;
    std::uint8_t internalType = 1;
    std::uint16_t externalCount = 3;
    std::uint8_t cTableHighB = 4;
    std::vector<std::uint8_t> batteryTable{60, 55, 50, 45, 40, 36, 32, 29, 26, 23,
                                           20, 18, 16, 14, 12, 10, 8,  6,  4,  2};
    std::vector<std::uint8_t> cTable{9, 8, 7, 6, 5, 4, 3, 2, 1};
    std::string product = "Scripted UPS";
    std::string vendor = "Scripted Maker";
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

struct Unit {
    // Description, set by the test.
    std::string portName;
    Protocol protocol = Protocol::Hid;
    UnitState state;
    Fault fault = Fault::None;
    bool opens = true;
    std::string openFailureReason; // given when the port does not open
    std::string descriptorVendor;  // names the enumeration reports, if any
    std::string descriptorProduct;
    int failWritesAfter = -1;       // writes accepted before every further one fails; -1: never
    std::set<std::string> rejected; // text items answered with the rejection marker
    std::map<std::string, std::string> textPayloads;           // text item -> payload instead of the state
    std::map<std::uint8_t, std::vector<std::uint8_t>> replies; // framed command or HID usage -> raw reply
    std::map<std::uint8_t, std::uint32_t> hidLengths;          // HID usage -> reported length

    // Record, kept by the library.
    std::vector<std::string> written;
    std::vector<HidCall> hidCalls;
    std::vector<LineSetting> lineSettings;
    int openCount = 0;
    int closeCount = 0;
    std::vector<std::uint8_t> pending;
    std::uint8_t batteryIndex = 0;
    std::uint8_t cIndex = 0;
    int writes = 0;
};

struct Registry {
    std::vector<Unit> units;
};

} // namespace varnel::scripted

extern "C" varnel::scripted::Registry* ScriptedUnitRegistry(void);
using ScriptedUnitRegistryFn = varnel::scripted::Registry* (*)();
