#pragma once

#include "Journal.h"
#include "PowerDeviceReports.h"
#include "UnitState.h"

namespace varnel::upssim {

// The unit side of linkhidsim.h: INFO, DESCRIPTOR and feature reports over
// the battery configuration in UnitState.
class HidUnit {
public:
    enum class Outcome { Reply, NoReply, Close };

    HidUnit(UnitState& state, Journal* journal, const PowerDeviceReports& reports)
        : state(state), journal(journal), reports(reports)
    {
    }

    // One request payload in; `reply` holds the reply payload when Reply.
    Outcome handle(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply);

private:
    std::vector<uint8_t> info() const;
    void getFeature(const std::vector<uint8_t>& request, FaultMode fault, std::vector<uint8_t>& reply);
    void setFeature(const std::vector<uint8_t>& request, FaultMode fault, std::vector<uint8_t>& reply);
    uint32_t fieldValue(const HidField& field) const;
    std::vector<uint8_t> pack(const HidReport& report) const;

    UnitState& state;
    Journal* journal;
    const PowerDeviceReports& reports;
};

} // namespace varnel::upssim
