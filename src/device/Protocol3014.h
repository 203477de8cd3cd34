#pragma once

#include "device/VarnelDevice.h"

#include <cstdint>
#include <vector>

namespace varnel {

// A unit on a serial port speaking the framed byte protocol.
class Protocol3014 : public VarnelDevice {
public:
    Protocol3014();

    bool load(CAnyPort& port, const StatusCallback& callback, const I18N* messages) override;
    bool save() override;

    // Frame: 7E, kind, payload length + 1, command, payload, additive checksum.
    static std::vector<std::uint8_t> buildFrame(std::uint8_t kind, std::uint8_t command,
                                                const std::vector<std::uint8_t>& payload);
    // A reply is accepted only when every promised payload byte arrived.
    static bool parseReply(const std::uint8_t* reply, std::uint32_t length,
                           std::vector<std::uint8_t>& payload);

private:
    bool exchange(CAnyPort& port, const std::vector<std::uint8_t>& cmd, std::vector<std::uint8_t>& returned);
};

} // namespace varnel
