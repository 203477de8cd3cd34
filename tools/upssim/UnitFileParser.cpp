#include "UnitFileParser.h"

#include "settings/NumberText.h"
#include "settings/Trim.h"

#include <set>

namespace varnel::upssim {

namespace {

struct ProtocolEntry {
    const char* name;
    UnitProtocol protocol;
};
constexpr ProtocolEntry kProtocols[] = {
    {"framed", UnitProtocol::Framed}, {"text", UnitProtocol::Text}, {"hid", UnitProtocol::Hid}};

struct FaultEntry {
    const char* name;
    FaultMode mode;
};
constexpr FaultEntry kFaults[] = {{"none", FaultMode::None},
                                  {"silent", FaultMode::Silent},
                                  {"reject", FaultMode::Reject},
                                  {"badkind", FaultMode::BadKind},
                                  {"truncate", FaultMode::Truncate},
                                  {"ignorewrites", FaultMode::IgnoreWrites},
                                  {"wrongvalue", FaultMode::WrongValue},
                                  {"random", FaultMode::Random},
                                  {"flipbit", FaultMode::FlipBit},
                                  {"othercommand", FaultMode::OtherCommand},
                                  {"badlength", FaultMode::BadLength},
                                  {"swapped", FaultMode::Swapped}};

// The simulator's own file: a whole value, decimal or 0x hexadecimal, nothing around it.
bool parseNumber(const std::string& text, uint32_t max, uint32_t& value)
{
    const auto parsed = varnel::parseNumber(text, {.hex = true, .whole = true, .largest = max});
    if (!parsed)
        return false;
    value = static_cast<uint32_t>(*parsed);
    return true;
}

template <std::size_t N> bool parseBytes(const std::string& text, std::array<uint8_t, N>& out)
{
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        uint32_t value = 0;
        if (count == N || !parseNumber(trim(text.substr(start, comma - start)), 255, value))
            return false;
        out[count++] = static_cast<uint8_t>(value);
        start = comma + 1;
    }
    return count == N;
}

bool validName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '_' || c == '.';
        if (!ok)
            return false;
    }
    return name != "." && name != "..";
}

// Names travel inside replies and zero-terminated texts: printable ASCII only.
bool validText(const std::string& text)
{
    if (text.size() > kMaxNameLength)
        return false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    }
    return true;
}

} // namespace

const char* protocolName(UnitProtocol protocol)
{
    for (const ProtocolEntry& entry : kProtocols) {
        if (entry.protocol == protocol)
            return entry.name;
    }
    return "?";
}

const char* faultName(FaultMode mode)
{
    for (const FaultEntry& entry : kFaults) {
        if (entry.mode == mode)
            return entry.name;
    }
    return "?";
}

bool UnitFileParser::fail(std::size_t line, const std::string& what)
{
    message = "line " + std::to_string(line) + ": " + what;
    return false;
}

bool UnitFileParser::parse(std::string_view text, std::vector<UnitConfig>& units)
{
    units.clear();
    message.clear();
    std::set<std::string> names;
    UnitConfig* current = nullptr;
    std::size_t currentLine = 0;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line = trim(text.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.compare(0, 6, "[unit ") != 0)
                return fail(lineNumber, "expected a section [unit NAME]");
            const std::string name = trim(line.substr(6, line.size() - 7));
            if (!validName(name))
                return fail(lineNumber, "unit name '" + name + "' must be letters, digits, '-', '_' or '.'");
            if (!names.insert(name).second)
                return fail(lineNumber, "unit '" + name + "' is described twice");
            if (current && !finish(*current, currentLine))
                return false;
            units.emplace_back();
            current = &units.back();
            current->name = name;
            currentLine = lineNumber;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            return fail(lineNumber, "expected KEY = VALUE");
        if (!current)
            return fail(lineNumber, "a key before the first [unit NAME] section");
        if (!setKey(*current, trim(line.substr(0, equals)), trim(line.substr(equals + 1)), lineNumber))
            return false;
    }
    if (current && !finish(*current, currentLine))
        return false;
    if (units.empty())
        return fail(lineNumber, "no [unit NAME] section");
    return true;
}

bool UnitFileParser::setKey(UnitConfig& unit, const std::string& key, const std::string& value,
                            std::size_t line)
{
    uint32_t number = 0;
    auto numeric = [&](uint32_t max) {
        if (parseNumber(value, max, number))
            return true;
        fail(line, "'" + key + "' needs a number from 0 to " + std::to_string(max) + ", not '" + value + "'");
        return false;
    };
    if (key == "protocol") {
        for (const ProtocolEntry& entry : kProtocols) {
            if (value == entry.name) {
                unit.protocol = entry.protocol;
                return true;
            }
        }
        return fail(line, "protocol '" + value + "' is not framed, text or hid");
    }
    if (key == "fault") {
        for (const FaultEntry& entry : kFaults) {
            if (value == entry.name) {
                unit.fault = entry.mode;
                return true;
            }
        }
        return fail(line,
                    "fault '" + value +
                        "' is not none, silent, reject, badkind, truncate, ignorewrites, wrongvalue, random, "
                        "flipbit, othercommand, badlength or swapped");
    }
    if (key == "battery.table") {
        if (!parseBytes(value, unit.batteryTable))
            return fail(line,
                        "battery.table needs " + std::to_string(batteryTableSize) + " comma-separated bytes");
        return true;
    }
    if (key == "c.table") {
        if (!parseBytes(value, unit.cTable))
            return fail(line, "c.table needs " + std::to_string(cTableSize) + " comma-separated bytes");
        return true;
    }
    if (key == "vendor" || key == "product") {
        if (!validText(value))
            return fail(line, key + " must be printable ASCII of at most 64 characters");
        (key == "vendor" ? unit.vendorName : unit.productName) = value;
        return true;
    }
    struct NumberKey {
        const char* key;
        uint32_t max;
    };
    static constexpr NumberKey kNumbers[] = {{"configuration", 0xFFFF},
                                             {"internal.count", 255},
                                             {"internal.type", 255},
                                             {"external.count", 0xFFFF},
                                             {"c.highb", 255},
                                             {"usb.vendor", 0xFFFF},
                                             {"usb.product", 0xFFFF},
                                             {"fault.after", 0xFFFFFFFFu},
                                             {"fault.count", 0xFFFFFFFFu},
                                             {"fault.seed", 0xFFFFFFFFu}};
    for (const NumberKey& entry : kNumbers) {
        if (key != entry.key)
            continue;
        if (!numeric(entry.max))
            return false;
        if (key == "configuration")
            unit.configurationInfo = static_cast<uint16_t>(number);
        else if (key == "internal.count")
            unit.internalBatteryCount = static_cast<uint8_t>(number);
        else if (key == "internal.type")
            unit.internalBatteryType = static_cast<uint8_t>(number);
        else if (key == "external.count")
            unit.externalBatteryCount = static_cast<uint16_t>(number);
        else if (key == "c.highb")
            unit.cTableHighB = static_cast<uint8_t>(number);
        else if (key == "usb.vendor")
            unit.usbVendorId = static_cast<uint16_t>(number);
        else if (key == "usb.product")
            unit.usbProductId = static_cast<uint16_t>(number);
        else if (key == "fault.after")
            unit.faultAfter = number;
        else if (key == "fault.count")
            unit.faultCount = number;
        else
            unit.faultSeed = number;
        return true;
    }
    return fail(line, "unknown key '" + key + "'");
}

bool UnitFileParser::finish(const UnitConfig& unit, std::size_t line)
{
    // The text protocol carries the external count as one three-digit byte.
    if (unit.protocol == UnitProtocol::Text && unit.externalBatteryCount > 255)
        return fail(line, "unit '" + unit.name + "': a text unit holds at most 255 external batteries");
    return true;
}

} // namespace varnel::upssim
