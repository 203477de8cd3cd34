#pragma once

#include "Journal.h"
#include "SerialUnit.h"
#include "UnitState.h"

#include <string>

namespace varnel::upssim {

// The unit side of the "~00" text protocol. Queries "~00P" + three-digit body
// length + body (CFI, IBN, EBP, CBP, MOD, MNU) are answered "~00D" + length +
// payload; saves "~00S" + length + body + a zero byte are acknowledged
// "~00A000"; anything refused gets "~00R000".
class TextUnit : public SerialUnit {
public:
    TextUnit(UnitState& state, Journal* journal) : state(state), journal(journal) {}

    std::vector<SerialAnswer> receive(const uint8_t* data, std::size_t size) override;
    void discardPartial() override { pending.clear(); }
    bool hasPartial() const override { return !pending.empty(); }

private:
    std::string answer(const std::string& request, FaultMode fault, std::string& what);
    std::string query(const std::string& body) const;
    bool save(const std::string& body);

    UnitState& state;
    Journal* journal;
    std::string pending;
};

} // namespace varnel::upssim
