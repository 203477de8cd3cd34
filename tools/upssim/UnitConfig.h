#pragma once

#include "data/TableSizes.h"

#include <array>
#include <cstdint>
#include <string>

namespace varnel::upssim {

enum class UnitProtocol { Framed, Text, Hid };

// What a misbehaving unit does once its fault sets in.
enum class FaultMode {
    None,
    Silent,       // stops answering
    Reject,       // refuses every request
    BadKind,      // answers with a reply of the wrong kind
    Truncate,     // answers with a reply cut short
    IgnoreWrites, // acknowledges writes but keeps its values
    WrongValue,   // stores each written value off by one
    Random,       // answers with random bytes of random length and acts on nothing
    FlipBit,      // flips the lowest bit of each value read, leaving a framed reply's checksum as it was
    OtherCommand, // a framed reply names another command than the request's
    BadLength,    // a text reply's length digits claim one byte more than it carries
    Swapped,      // is another unit from then on: another internal battery type and product name
};

constexpr std::size_t kMaxNameLength = 64;

struct UnitConfig {
    std::string name;
    UnitProtocol protocol = UnitProtocol::Framed;
    uint16_t configurationInfo = 1;
    uint8_t internalBatteryCount = 2;
    uint8_t internalBatteryType = 0;
    uint16_t externalBatteryCount = 0;
    std::array<uint8_t, batteryTableSize> batteryTable{120, 104, 90, 78, 68, 60, 53, 47, 42, 38,
                                                       34,  31,  28, 26, 24, 22, 20, 19, 18, 17};
    std::array<uint8_t, cTableSize> cTable{10, 20, 30, 40, 50, 60, 70, 80, 90};
    uint8_t cTableHighB = 5;
    std::string vendorName = "Simulated Power";
    std::string productName = "SIM-UPS";
    uint16_t usbVendorId = 0x1209;
    uint16_t usbProductId = 0x0001;
    FaultMode fault = FaultMode::None;
    uint32_t faultAfter = 0; // requests answered normally before the fault sets in
    uint32_t faultCount = 0; // requests the fault lasts before the unit recovers; 0 for good
    uint32_t faultSeed = 1;  // seeds the random replies, so a failing run can be repeated
};

const char* protocolName(UnitProtocol protocol);
const char* faultName(FaultMode mode);

} // namespace varnel::upssim
