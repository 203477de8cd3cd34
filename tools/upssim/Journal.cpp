#include "Journal.h"

#include <cstdio>

namespace varnel::upssim {

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

std::string jsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

Journal::Journal(std::ostream& out, Clock clock) : out(out), clock(std::move(clock)) {}

namespace {

std::string timeField(double ms)
{
    char text[48];
    std::snprintf(text, sizeof text, "{\"t_ms\":%.3f", ms);
    return text;
}

} // namespace

void Journal::request(const std::string& unit, const char* protocol, const std::string& what,
                      const std::vector<uint8_t>& request, const std::vector<uint8_t>& reply, bool answered,
                      const char* fault)
{
    out << timeField(clock()) << ",\"unit\":" << jsonString(unit) << ",\"protocol\":\"" << protocol
        << "\",\"event\":\"request\",\"what\":" << jsonString(what) << ",\"request\":\"" << toHex(request)
        << "\",\"reply\":\"" << toHex(reply) << "\",\"answered\":" << (answered ? "true" : "false")
        << ",\"fault\":\"" << fault << "\"}" << std::endl;
}

void Journal::write(const std::string& unit, const char* field, int index, uint32_t value, uint32_t stored)
{
    out << timeField(clock()) << ",\"unit\":" << jsonString(unit) << ",\"event\":\"write\",\"field\":\""
        << field << "\"";
    if (index >= 0)
        out << ",\"index\":" << index;
    out << ",\"value\":" << value << ",\"stored\":" << stored << "}" << std::endl;
}

} // namespace varnel::upssim
