#pragma once

#include "device/VarnelDevice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

// A unit on a serial port speaking the text protocol: "~00" requests naming a
// three-letter item, answered with decimal values separated by single characters.
class DeltaSerialDevice : public VarnelDevice {
public:
    DeltaSerialDevice();

    bool load(CAnyPort& port, const StatusCallback& callback, const I18N* messages) override;
    bool save() override;

    // "~00", the type, the body length in three digits, the body.
    static std::string buildQuery(const std::string& type, const std::string& body);
    // The two save commands, each ending in the zero byte the unit expects.
    std::string buildBatteryTableCommand() const;
    std::string buildCTableCommand() const;
    // Decimal values separated by any one character (blanks before each, and
    // after the last, allowed); nothing when anything else stands in the payload.
    static std::optional<std::vector<std::uint32_t>> parseFields(const std::string& payload);
    // Leading white space, an optional sign, digits up to the first other character; 0 without digits.
    static std::uint32_t parseNumber(const std::string& payload);
    // The payload of a reply, or false when it is too short, rejected, or
    // its three length digits disagree with the payload that arrived.
    static bool parseReply(const std::uint8_t* reply, std::uint32_t length, std::string& data,
                           bool& rejected);

private:
    // One request and its reply, tried a second time when the first fails
    // unless the unit refused it; a probe is not tried again when nothing at all answered it.
    bool exchange(CAnyPort& port, const std::string& cmd, std::string& data, bool probe = false);
    bool exchangeOnce(CAnyPort& port, const std::string& cmd, std::string& data);
    // A query whose reply must hold `count` values, the first at most
    // `largestFirst` and the others at most 255; asked once more when it does not.
    std::optional<std::vector<std::uint32_t>> queryFields(CAnyPort& port, const char* item, std::size_t count,
                                                          std::uint32_t largestFirst);

    bool answered = false; // the last exchange received at least one byte
    bool refused = false;  // and the unit rejected the request
};

} // namespace varnel
