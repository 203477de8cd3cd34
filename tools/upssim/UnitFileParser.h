#pragma once

#include "UnitConfig.h"

#include <string>
#include <string_view>
#include <vector>

namespace varnel::upssim {

// Reads a unit file:
//
//   # comment
//   [unit line1]
//   protocol = framed            framed | text | hid
//   configuration = 0x0001       16-bit configuration word (bit 0: external packs)
//   internal.count = 2
//   internal.type = 0
//   external.count = 0           up to 65535 (255 on a text unit)
//   battery.table = 120,104,...  20 bytes
//   c.table = 10,20,...          9 bytes
//   c.highb = 5
//   vendor = Simulated Power
//   product = SIM-UPS
//   usb.vendor = 0x1209          HID units only
//   usb.product = 0x0001
//   fault = none                 none | silent | reject | badkind | truncate | ignorewrites | wrongvalue
//   fault.after = 0              requests answered normally first
//
// Numbers are decimal or 0x hexadecimal. Keys left out keep their defaults.
class UnitFileParser {
public:
    // On failure returns false with `error` naming the line.
    bool parse(std::string_view text, std::vector<UnitConfig>& units);
    const std::string& error() const { return message; }

private:
    bool fail(std::size_t line, const std::string& what);
    bool setKey(UnitConfig& unit, const std::string& key, const std::string& value, std::size_t line);
    bool finish(const UnitConfig& unit, std::size_t line);

    std::string message;
};

} // namespace varnel::upssim
