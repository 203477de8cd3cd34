#include "device/Protocol3014.h"

#include "data/TableSizes.h"
#include "device/CAnyPort.h"
#include "settings/Log.h"

#include <framedcommands.h>
#include <serialline.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>

namespace varnel {

namespace {

constexpr std::uint8_t replyKinds[] = {FRAMED_KIND_VALUE, FRAMED_KIND_ACCEPTED};
constexpr std::uint32_t readCapacity = 150;
// This protocol does not pause: the two values are only the port's time
// limits, and the defaults are what a frame and its reply need at 2400 baud.
// A setting below them (0, say, to go faster) must not leave the unit too
// little time to answer, so they are the floor.
constexpr std::uint32_t defaultReadLimit = 300;
constexpr std::uint32_t defaultWriteLimit = 2500;

const std::vector<std::uint8_t> noPayload;
// Time for the rest of a spoilt reply to arrive before a request is tried again.
constexpr std::uint32_t staleReplyMs = 20;

} // namespace

Protocol3014::Protocol3014()
{
    postReadSleep = defaultReadLimit;
    postWriteSleep = defaultWriteLimit;
}

std::vector<std::uint8_t> Protocol3014::buildFrame(std::uint8_t kind, std::uint8_t command,
                                                   const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> frame;
    frame.reserve(payload.size() + 5);
    frame.push_back(FRAMED_START);
    frame.push_back(kind);
    frame.push_back(static_cast<std::uint8_t>(payload.size() + 1));
    frame.push_back(command);
    for (auto byte : payload)
        frame.push_back(byte);
    std::uint8_t sum = 0;
    for (auto byte : frame)
        sum = static_cast<std::uint8_t>(sum + byte);
    frame.push_back(sum);
    return frame;
}

bool Protocol3014::parseReply(const std::uint8_t* reply, std::uint32_t length,
                              std::vector<std::uint8_t>& payload)
{
    if (length < 4 || reply[0] != FRAMED_START)
        return false;
    bool kindOk = false;
    for (auto kind : replyKinds)
        kindOk = kindOk || reply[1] == kind;
    if (!kindOk)
        return false;
    payload.clear();
    const std::uint32_t promised = reply[2] > 0 ? reply[2] - 1u : 0u;
    if (promised > length - 4)
        return false;
    if (promised > 0)
        payload.assign(reply + 4, reply + 4 + promised);
    return true;
}

bool Protocol3014::checkReply(const std::uint8_t* reply, std::uint32_t length, std::uint8_t command,
                              ReplyChecksum& checksum, std::vector<std::uint8_t>& payload)
{
    if (!parseReply(reply, length, payload))
        return false;
    // A reply to another request (a late one, or a corrupted command byte) is no answer to this one.
    if (reply[3] != command)
        return false;
    const std::uint32_t end = 4 + static_cast<std::uint32_t>(payload.size());
    std::uint8_t sum = 0;
    for (std::uint32_t i = 0; i < end; ++i)
        sum = static_cast<std::uint8_t>(sum + reply[i]);
    const bool correct = end < length && reply[end] == sum;
    if (checksum == ReplyChecksum::required)
        return correct;
    if (correct)
        checksum = ReplyChecksum::required;
    return true;
}

bool Protocol3014::exchange(CAnyPort& port, const std::vector<std::uint8_t>& cmd,
                            std::vector<std::uint8_t>& returned, bool probe)
{
    if (exchangeOnce(port, cmd, returned))
        return true;
    // An empty port, or one whose unit speaks another protocol, is not asked twice.
    if (port.getTransport() != PORT_TRANSPORT_SERIAL || (probe && !answered))
        return false;
    // What is left of a spoilt reply must not be taken for the answer to the second try.
    std::uint8_t stale[readCapacity];
    for (int i = 0; i < 4 && port.read(stale, readCapacity, staleReplyMs) > 0; ++i) {
    }
    return exchangeOnce(port, cmd, returned);
}

bool Protocol3014::exchangeOnce(CAnyPort& port, const std::vector<std::uint8_t>& cmd,
                                std::vector<std::uint8_t>& returned)
{
    answered = false;
    if (port.getTransport() != PORT_TRANSPORT_SERIAL || cmd.size() < 4)
        return false;
    const auto count = static_cast<std::uint32_t>(cmd.size());
    if (port.write(cmd.data(), count, std::max(postWriteSleep, defaultWriteLimit), 0) != count)
        return false;
    std::uint8_t buffer[readCapacity] = {};
    const std::uint32_t limit = std::max(postReadSleep, defaultReadLimit);
    std::uint32_t received = port.read(buffer, readCapacity, limit);
    // A reply may come in pieces (a USB adapter's latency timer, a busy unit):
    // once it has begun, wait for the rest its header promises instead of taking
    // a cut frame and leaving its tail to spoil the next exchange.
    while (received > 0 && received < readCapacity && (received < 3 || received < buffer[2] + 3u)) {
        const std::uint32_t more = port.read(buffer + received, readCapacity - received, limit);
        if (more == 0 || more > readCapacity - received)
            break;
        received += more;
    }
    if (received > readCapacity)
        return false;
    answered = received > 0;
    // The checksum follows the payload: wait for it too, once the unit is known to send one.
    if (checksum == ReplyChecksum::required && received >= 3 && received < buffer[2] + 4u &&
        received < readCapacity) {
        const std::uint32_t more = port.read(buffer + received, readCapacity - received, limit);
        if (more <= readCapacity - received)
            received += more;
    }
    return checkReply(buffer, received, cmd[3], checksum, returned);
}

bool Protocol3014::load(CAnyPort& port, const StatusCallback& callback, const I18N* messages)
{
    std::vector<std::uint8_t> returned;
    // Every value read must be as wide as the field it fills.
    auto readValue = [&](std::uint8_t command, std::size_t width) {
        return exchange(port, buildFrame(FRAMED_KIND_READ, command, noPayload), returned) &&
               returned.size() >= width;
    };
    auto select = [&](std::uint8_t command, std::uint8_t index) {
        return exchange(port, buildFrame(FRAMED_KIND_WRITE, command, {index}), returned);
    };
    auto word = [&]() { return static_cast<std::uint32_t>(returned[0] | (returned[1] << 8)); };
    const bool reporting = callback && messages;

    auto agreedWord = [&](std::uint8_t command) {
        return [&, command]() -> std::optional<std::uint32_t> {
            if (!readValue(command, 2))
                return std::nullopt;
            return word();
        };
    };
    auto agreedByte = [&](std::uint8_t command) {
        return [&, command]() -> std::optional<std::uint8_t> {
            if (!readValue(command, 1))
                return std::nullopt;
            return returned[0];
        };
    };
    // A name that does not come is no name; that too must come the same twice.
    auto agreedName = [&](std::uint8_t command) {
        return [&, command]() -> std::optional<std::optional<std::string>> {
            if (!readValue(command, 1))
                return std::optional<std::string>();
            return std::optional<std::string>(std::string(returned.begin(), returned.end()));
        };
    };

    // Whether this is a framed unit at all is the first read's to say; only then is it read again.
    if (!exchange(port, buildFrame(FRAMED_KIND_READ, FRAMED_CMD_CONFIGURATION, noPayload), returned, true) ||
        returned.size() < 2)
        return false;
    const std::uint32_t firstWord = word();
    configurationInfo = firstWord;
    if (!supportsExternalPacks())
        return false;
    bool asked = false;
    if (!readAgreed(
            [&]() -> std::optional<std::uint32_t> {
                if (!asked) {
                    asked = true;
                    return firstWord;
                }
                return agreedWord(FRAMED_CMD_CONFIGURATION)();
            },
            configurationInfo, callback, messages))
        return false;
    if (!supportsExternalPacks())
        return false;
    reportFoundAndLoading(callback, messages);
    if (!readAgreed(agreedByte(FRAMED_CMD_INTERNAL_COUNT), internalBatteryCount, callback, messages))
        return false;
    if (!readAgreed(agreedByte(FRAMED_CMD_INTERNAL_TYPE), internalBatteryType, callback, messages))
        return false;
    auto readNames = [&]() {
        std::optional<std::string> name;
        if (!readAgreed(agreedName(FRAMED_CMD_PRODUCT_NAME), name, callback, messages))
            return false;
        if (name)
            setProductName(*name);
        if (!readAgreed(agreedName(FRAMED_CMD_VENDOR_NAME), name, callback, messages))
            return false;
        if (name)
            setVendorName(*name);
        return true;
    };
    if (identityOnly)
        return readNames();
    if (!readValue(FRAMED_CMD_EXTERNAL_COUNT, 2))
        return false;
    externalBatteryCount = static_cast<std::int32_t>(word());
    if (!readValue(FRAMED_CMD_C_TABLE_HIGH_B, 1))
        return false;
    cTableHighB = returned[0];

    batteryTableValues.clear();
    for (std::uint8_t i = 0; i < batteryTableSize; ++i) {
        if (!select(FRAMED_CMD_BATTERY_INDEX, i)) {
            log() << "Failed to set battery table index " << unsigned(i) << std::endl;
            return false;
        }
        if (!readValue(FRAMED_CMD_BATTERY_VALUE, 1)) {
            log() << "Failed to retrieve battery table value at index " << unsigned(i) << std::endl;
            return false;
        }
        batteryTableValues.push_back(returned[0]);
        if (reporting)
            callback(".", 0);
    }
    cTableValues.clear();
    for (std::uint8_t i = 0; i < cTableSize; ++i) {
        if (!select(FRAMED_CMD_C_TABLE_INDEX, i)) {
            log() << "Failed to set C Table index " << unsigned(i) << std::endl;
            return false;
        }
        if (!readValue(FRAMED_CMD_C_TABLE_VALUE, 1)) {
            log() << "Failed to retrieve C Table value at index " << unsigned(i) << std::endl;
            return false;
        }
        cTableValues.push_back(returned[0]);
        if (reporting)
            callback(".", 0);
    }
    return readNames();
}

bool Protocol3014::save()
{
    if (!tablesComplete())
        return false;
    CAnyPort port;
    if (!openForSave(port, "Protocol3014"))
        return false;
    port.configureSerial(SERIAL_LINE_BAUD, SERIAL_LINE_PARITY, SERIAL_LINE_DATA_BITS, SERIAL_LINE_STOP_BITS,
                         0);
    std::vector<std::uint8_t> returned;
    auto writeValue = [&](std::uint8_t command, const std::vector<std::uint8_t>& payload) {
        return exchange(port, buildFrame(FRAMED_KIND_WRITE, command, payload), returned);
    };
    if (!writeValue(FRAMED_CMD_C_TABLE_HIGH_B, {cTableHighB})) {
        log() << "Failed to save C Table High B Index for Protocol3014 device" << std::endl;
        return false;
    }
    const auto count = static_cast<std::uint32_t>(externalBatteryCount);
    if (!writeValue(FRAMED_CMD_EXTERNAL_COUNT, {static_cast<std::uint8_t>(count & 0xFFu),
                                                static_cast<std::uint8_t>((count >> 8) & 0xFFu)})) {
        log() << "Failed to save Number of External Battery Packs for Protocol3014 device" << std::endl;
        return false;
    }
    for (std::uint8_t i = 0; i < batteryTableSize; ++i) {
        if (!writeValue(FRAMED_CMD_BATTERY_INDEX, {i})) {
            log() << "Failed to set battery table index " << unsigned(i) << std::endl;
            return false;
        }
        if (!writeValue(FRAMED_CMD_BATTERY_VALUE, {batteryTableValues[i]})) {
            log() << "Failed to save battery table value at index " << unsigned(i) << std::endl;
            return false;
        }
    }
    for (std::uint8_t j = 0; j < cTableSize; ++j) {
        if (!writeValue(FRAMED_CMD_C_TABLE_INDEX, {j})) {
            log() << "Failed to set C Table index " << unsigned(j) + 1 << std::endl;
            return false;
        }
        log() << "Save: C Table[ " << unsigned(j) << " ] = " << unsigned(cTableValues[j]) << std::endl;
        if (!writeValue(FRAMED_CMD_C_TABLE_VALUE, {cTableValues[j]})) {
            log() << "Failed to save C Table value at index " << unsigned(j) + 1 << std::endl;
            return false;
        }
    }
    return true;
}

} // namespace varnel
