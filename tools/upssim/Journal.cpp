#include "Journal.h"

#include "settings/JsonText.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace varnel::upssim {

namespace {

std::string toHex(const std::vector<uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    return hex;
}

// To the microsecond: finer digits of the clock are noise.
double roundedMs(double ms)
{
    return std::round(ms * 1000.0) / 1000.0;
}

} // namespace

Journal::Journal(std::ostream& out, Clock clock) : out(out), clock(std::move(clock)) {}

void Journal::request(const std::string& unit, const char* protocol, const std::string& what,
                      const std::vector<uint8_t>& request, const std::vector<uint8_t>& reply, bool answered,
                      const char* fault)
{
    const nlohmann::ordered_json line{
        {"t_ms", roundedMs(clock())}, {"unit", narrowToUtf8(unit)}, {"protocol", protocol},
        {"event", "request"},         {"what", narrowToUtf8(what)}, {"request", toHex(request)},
        {"reply", toHex(reply)},      {"answered", answered},       {"fault", fault}};
    out << toAsciiJson(line) << std::endl;
}

void Journal::write(const std::string& unit, const char* field, int index, uint32_t value, uint32_t stored)
{
    nlohmann::ordered_json line{
        {"t_ms", roundedMs(clock())}, {"unit", narrowToUtf8(unit)}, {"event", "write"}, {"field", field}};
    if (index >= 0)
        line["index"] = index;
    line["value"] = value;
    line["stored"] = stored;
    out << toAsciiJson(line) << std::endl;
}

} // namespace varnel::upssim
