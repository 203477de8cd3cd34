#pragma once

#include "Journal.h"
#include "SerialUnit.h"
#include "UnitState.h"

#include <framedcommands.h>

namespace varnel::upssim {

// The unit side of the 0x7E framed protocol. Requests: 7E kind(3 read, 4
// write) length(payload + 1) command payload checksum. Replies: kind 2 with
// the value for a read, kind 5 for an accepted write, kind 6 for a refusal.
class FramedUnit : public SerialUnit {
public:
    static constexpr uint8_t kStart = FRAMED_START;
    static constexpr uint8_t kRead = FRAMED_KIND_READ;
    static constexpr uint8_t kWrite = FRAMED_KIND_WRITE;
    static constexpr uint8_t kValue = FRAMED_KIND_VALUE;
    static constexpr uint8_t kAccepted = FRAMED_KIND_ACCEPTED;
    static constexpr uint8_t kRefused = FRAMED_KIND_REFUSED;

    FramedUnit(UnitState& state, Journal* journal) : state(state), journal(journal) {}

    std::vector<SerialAnswer> receive(const uint8_t* data, std::size_t size) override;
    void discardPartial() override { pending.clear(); }
    bool hasPartial() const override { return !pending.empty(); }

    static std::vector<uint8_t> frame(uint8_t kind, uint8_t command, const std::vector<uint8_t>& payload);

private:
    std::vector<uint8_t> answer(const std::vector<uint8_t>& request, FaultMode fault, std::string& what);

    UnitState& state;
    Journal* journal;
    std::vector<uint8_t> pending;
};

} // namespace varnel::upssim
