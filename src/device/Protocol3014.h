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

    // Whether the unit's replies end in a checksum: not known until one
    // arrives with a correct one, and from then on required of every reply.
    enum class ReplyChecksum { unknown, required };
    // parseReply, and the reply must answer `command` and, once the unit is
    // known to send one, carry a correct checksum; a first correct one makes it known.
    static bool checkReply(const std::uint8_t* reply, std::uint32_t length, std::uint8_t command,
                           ReplyChecksum& checksum, std::vector<std::uint8_t>& payload);

private:
    // One request and its reply, tried a second time when the first fails;
    // a probe is not tried again when nothing at all answered it.
    bool exchange(CAnyPort& port, const std::vector<std::uint8_t>& cmd, std::vector<std::uint8_t>& returned,
                  bool probe = false);
    bool exchangeOnce(CAnyPort& port, const std::vector<std::uint8_t>& cmd,
                      std::vector<std::uint8_t>& returned);

    ReplyChecksum checksum = ReplyChecksum::unknown;
    bool answered = false; // the last exchange received at least one byte
};

} // namespace varnel
