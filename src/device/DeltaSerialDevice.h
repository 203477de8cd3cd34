#pragma once

#include "device/VarnelDevice.h"

#include <cstdint>
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
    // Decimal values separated by any one character; each keeps its low 8 bits.
    static std::vector<std::uint8_t> parseValues(const std::string& payload);
    // Leading white space, an optional sign, digits up to the first other character; 0 without digits.
    static std::uint32_t parseNumber(const std::string& payload);
    // The payload of a reply, or false when it is too short or rejected.
    static bool parseReply(const std::uint8_t* reply, std::uint32_t length, std::string& data,
                           bool& rejected);

private:
    bool exchange(CAnyPort& port, const std::string& cmd, std::string& data);
};

} // namespace varnel
