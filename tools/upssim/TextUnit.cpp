#include "TextUnit.h"

#include <cstdio>

namespace varnel::upssim {

namespace {

constexpr std::size_t kHeader = 7; // "~00", type, three length digits
constexpr std::size_t kMaxQueryBody = 16;
constexpr std::size_t kMaxSave = 200;
// Longer than the 150 bytes a reader takes at once, so some noise spills into the next read.
constexpr std::size_t kLongestRandomReply = 200;
const std::string kRejected = "~00R000";
const std::string kAcknowledged = "~00A000";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the bytes so far can still begin a request.
bool plausibleStart(const std::string& text)
{
    static const char kPrefix[] = "~00";
    for (std::size_t i = 0; i < text.size() && i < kHeader; ++i) {
        if (i < 3 && text[i] != kPrefix[i])
            return false;
        if (i == 3 && text[i] != 'P' && text[i] != 'S')
            return false;
        if (i > 3 && !isDigit(text[i]))
            return false;
    }
    return true;
}

std::string threeDigits(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%03u", value);
    return text;
}

// "N;NNN;NNN..." with exactly `groups` values after the first, each 0 to 255.
bool parseGroups(const std::string& text, std::size_t groups, std::vector<uint8_t>& values)
{
    values.clear();
    std::size_t pos = 0;
    for (std::size_t n = 0; n <= groups; ++n) {
        if (n > 0) {
            if (pos >= text.size() || text[pos] != ';')
                return false;
            ++pos;
        }
        const std::size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && isDigit(text[pos]) && pos - start < 3)
            value = value * 10 + unsigned(text[pos++] - '0');
        if (pos == start || (pos < text.size() && isDigit(text[pos])) || value > 255)
            return false;
        values.push_back(static_cast<uint8_t>(value));
    }
    return pos == text.size();
}

} // namespace

std::vector<SerialAnswer> TextUnit::receive(const uint8_t* data, std::size_t size)
{
    pending.append(reinterpret_cast<const char*>(data), size);
    std::vector<SerialAnswer> answers;
    for (;;) {
        const std::size_t start = pending.find('~');
        pending.erase(0, start == std::string::npos ? pending.size() : start);
        if (pending.empty())
            break;
        if (!plausibleStart(pending)) {
            pending.erase(0, 1);
            continue;
        }
        if (pending.size() < kHeader)
            break;
        std::size_t total = 0;
        if (pending[3] == 'P') {
            const std::size_t length = std::stoul(pending.substr(4, 3));
            if (length > kMaxQueryBody) {
                pending.erase(0, 1);
                continue;
            }
            total = kHeader + length;
            if (pending.size() < total)
                break;
        } else {
            const std::size_t end = pending.find('\0', kHeader);
            if (end == std::string::npos) {
                if (pending.size() > kMaxSave)
                    pending.erase(0, 1);
                else
                    break;
                continue;
            }
            total = end + 1;
        }
        const std::string request = pending.substr(0, total);
        pending.erase(0, total);

        const FaultMode fault = state.beginRequest();
        std::string what;
        const std::string reply = answer(request, fault, what);
        SerialAnswer result;
        result.requestSize = request.size();
        result.reply.assign(reply.begin(), reply.end());
        if (journal)
            journal->request(state.name(), "text", what, std::vector<uint8_t>(request.begin(), request.end()),
                             result.reply, !reply.empty(), faultName(fault));
        answers.push_back(std::move(result));
    }
    return answers;
}

std::string TextUnit::answer(const std::string& request, FaultMode fault, std::string& what)
{
    const bool isSave = request[3] == 'S';
    const std::size_t length = std::stoul(request.substr(4, 3));
    std::string body = request.substr(kHeader, request.size() - kHeader - (isSave ? 1 : 0));
    what = std::string(1, request[3]) + " " + body.substr(0, 3);
    if (fault == FaultMode::Silent)
        return {};
    if (fault == FaultMode::Random) {
        const std::vector<uint8_t> noise = state.randomReply(kLongestRandomReply);
        return std::string(noise.begin(), noise.end());
    }
    if (fault == FaultMode::Reject || body.size() != length)
        return kRejected;

    std::string reply;
    if (isSave) {
        if (!save(body))
            return kRejected;
        reply = kAcknowledged;
    } else {
        const std::string payload = query(body);
        if (payload.empty() && body != "MOD" && body != "MNU")
            return kRejected;
        reply = "~00D" + threeDigits(unsigned(payload.size())) + payload;
    }
    // The text protocol has no reply kinds beyond the rejection letter: a reply
    // of the wrong kind is an acknowledgement where data was due, or data where
    // an acknowledgement was.
    if (fault == FaultMode::BadKind)
        return isSave ? "~00D000" : kAcknowledged;
    if (fault == FaultMode::FlipBit && reply.size() > kHeader)
        reply.back() = static_cast<char>(reply.back() ^ 0x01);
    if (fault == FaultMode::BadLength)
        reply.replace(4, 3, threeDigits(unsigned(reply.size() - kHeader + 1)));
    if (fault == FaultMode::Truncate) {
        const std::size_t payloadSize = reply.size() - kHeader;
        reply.resize(payloadSize == 0 ? 3 : kHeader + payloadSize / 2);
    }
    return reply;
}

std::string TextUnit::query(const std::string& body) const
{
    const UnitConfig& v = state.values();
    if (body == "CFI")
        return std::to_string(v.configurationInfo);
    if (body == "IBN")
        return threeDigits(v.internalBatteryCount) + ";" + threeDigits(v.internalBatteryType);
    if (body == "EBP") {
        std::string text = threeDigits(v.externalBatteryCount);
        for (uint8_t value : v.batteryTable)
            text += ";" + threeDigits(value);
        return text;
    }
    if (body == "CBP") {
        std::string text = std::to_string(v.cTableHighB);
        for (uint8_t value : v.cTable)
            text += ";" + threeDigits(value);
        return text;
    }
    if (body == "MOD")
        return v.productName;
    if (body == "MNU")
        return v.vendorName;
    return {};
}

// Nothing is stored unless the whole command is well formed.
bool TextUnit::save(const std::string& body)
{
    std::vector<uint8_t> values;
    const std::string item = body.substr(0, 3);
    if (item == "EBP" && parseGroups(body.substr(3), batteryTableSize, values)) {
        state.writeExternalBatteryCount(values[0]);
        for (std::size_t i = 0; i < batteryTableSize; ++i)
            state.writeBatteryEntry(i, values[i + 1]);
        return true;
    }
    if (item == "CBP" && parseGroups(body.substr(3), cTableSize, values)) {
        state.writeCTableHighB(values[0]);
        for (std::size_t i = 0; i < cTableSize; ++i)
            state.writeCTableEntry(i, values[i + 1]);
        return true;
    }
    return false;
}

} // namespace varnel::upssim
