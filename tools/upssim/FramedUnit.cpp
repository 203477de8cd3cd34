#include "FramedUnit.h"

#include <algorithm>
#include <string>
#include <variant>

namespace varnel::upssim {

namespace {

// Requests carry at most two payload bytes; anything longer is line noise.
constexpr uint8_t kMaxRequestLength = 8;
// Longer than the 150 bytes a reader takes at once, so some noise spills into the next read.
constexpr std::size_t kLongestRandomReply = 200;

// A value of the unit, or one of its names (read as text).
using Target = std::variant<UnitField, const std::string UnitConfig::*>;

struct Command {
    uint8_t number;
    bool readable;
    bool writable;
    uint8_t size; // value bytes, low byte first; 0 for text
    Target target;
};

constexpr Command kCommands[] = {
    {FRAMED_CMD_CONFIGURATION, true, false, 2, UnitField::Configuration},
    {FRAMED_CMD_INTERNAL_COUNT, true, false, 1, UnitField::InternalCount},
    {FRAMED_CMD_INTERNAL_TYPE, true, false, 1, UnitField::InternalType},
    {FRAMED_CMD_EXTERNAL_COUNT, true, true, 2, UnitField::ExternalCount},
    {FRAMED_CMD_C_TABLE_HIGH_B, true, true, 1, UnitField::HighB},
    {FRAMED_CMD_BATTERY_INDEX, false, true, 1, UnitField::BatteryIndex},
    {FRAMED_CMD_BATTERY_VALUE, true, true, 1, UnitField::BatteryValue},
    {FRAMED_CMD_C_TABLE_INDEX, false, true, 1, UnitField::CIndex},
    {FRAMED_CMD_C_TABLE_VALUE, true, true, 1, UnitField::CValue},
    {FRAMED_CMD_PRODUCT_NAME, true, false, 0, &UnitConfig::productName},
    {FRAMED_CMD_VENDOR_NAME, true, false, 0, &UnitConfig::vendorName},
};

const Command* findCommand(uint8_t number)
{
    for (const Command& command : kCommands) {
        if (command.number == number)
            return &command;
    }
    return nullptr;
}

uint8_t checksum(const uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

std::vector<uint8_t> readValue(const Command& command, const UnitState& state)
{
    if (const auto* name = std::get_if<const std::string UnitConfig::*>(&command.target)) {
        const std::string& text = state.values().*(*name);
        return {text.begin(), text.end()};
    }
    const uint32_t value = state.read(std::get<UnitField>(command.target));
    std::vector<uint8_t> bytes;
    for (uint8_t i = 0; i < command.size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return bytes;
}

// The payload has the command's size: the request was checked against it.
bool writeValue(const Command& command, const std::vector<uint8_t>& payload, UnitState& state)
{
    const auto* field = std::get_if<UnitField>(&command.target);
    if (!field)
        return false;
    uint32_t value = 0;
    for (std::size_t i = 0; i < payload.size(); ++i)
        value |= static_cast<uint32_t>(payload[i]) << (8 * i);
    return state.write(*field, value);
}

} // namespace

std::vector<uint8_t> FramedUnit::frame(uint8_t kind, uint8_t command, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(payload.size() + 5);
    bytes.push_back(kStart);
    bytes.push_back(kind);
    bytes.push_back(static_cast<uint8_t>(payload.size() + 1));
    bytes.push_back(command);
    for (uint8_t b : payload)
        bytes.push_back(b);
    bytes.push_back(checksum(bytes.data(), bytes.size()));
    return bytes;
}

std::vector<SerialAnswer> FramedUnit::receive(const uint8_t* data, std::size_t size)
{
    pending.insert(pending.end(), data, data + size);
    std::vector<SerialAnswer> answers;
    for (;;) {
        auto start = std::find(pending.begin(), pending.end(), kStart);
        pending.erase(pending.begin(), start);
        // A start byte not followed by a request header is noise (a text request's '~' among others).
        if ((pending.size() >= 2 && pending[1] != kRead && pending[1] != kWrite) ||
            (pending.size() >= 3 && (pending[2] == 0 || pending[2] > kMaxRequestLength))) {
            pending.erase(pending.begin());
            continue;
        }
        if (pending.size() < 3 || pending.size() < std::size_t(pending[2]) + 4)
            break;
        const std::size_t total = std::size_t(pending[2]) + 4;
        std::vector<uint8_t> request(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(total));
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(total));

        const FaultMode fault = state.beginRequest();
        std::string what;
        SerialAnswer result;
        result.requestSize = total;
        result.reply = answer(request, fault, what);
        if (journal)
            journal->request(state.name(), "framed", what, request, result.reply, !result.reply.empty(),
                             faultName(fault));
        answers.push_back(std::move(result));
    }
    return answers;
}

std::vector<uint8_t> FramedUnit::answer(const std::vector<uint8_t>& request, FaultMode fault,
                                        std::string& what)
{
    const uint8_t kind = request[1];
    const uint8_t number = request[3];
    const std::vector<uint8_t> payload(request.begin() + 4, request.end() - 1);
    what = std::string(kind == kRead ? "read " : "write ") + std::to_string(number);
    if (fault == FaultMode::Silent)
        return {};
    if (fault == FaultMode::Random)
        return state.randomReply(kLongestRandomReply);
    const Command* command = findCommand(number);
    const bool valid = checksum(request.data(), request.size() - 1) == request.back() && command &&
                       (kind == kRead ? command->readable && payload.empty()
                                      : command->writable && payload.size() == command->size);
    if (!valid || fault == FaultMode::Reject)
        return frame(kRefused, number, {});

    std::vector<uint8_t> reply;
    if (kind == kRead) {
        reply = frame(kValue, number, readValue(*command, state));
    } else {
        if (!writeValue(*command, payload, state))
            return frame(kRefused, number, {});
        reply = frame(kAccepted, number, {});
    }
    if (fault == FaultMode::FlipBit && reply.size() > 5) {
        reply[4] ^= 0x01; // the checksum after the payload stays that of the true value
    } else if (fault == FaultMode::OtherCommand) {
        reply[3] = static_cast<uint8_t>(number + 1);
        reply.back() = checksum(reply.data(), reply.size() - 1);
    } else if (fault == FaultMode::BadKind) {
        reply[1] = kRead;
        reply.back() = checksum(reply.data(), reply.size() - 1);
    } else if (fault == FaultMode::Truncate) {
        // The header still promises the whole payload: the checksum and the last byte go missing.
        reply.resize(reply.size() - 2);
    }
    return reply;
}

} // namespace varnel::upssim
