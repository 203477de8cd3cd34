#include "device/DeltaSerialDevice.h"

#include "data/TableSizes.h"
#include "device/CAnyPort.h"
#include "platform/Sleep.h"
#include "settings/Log.h"
#include "settings/NumberText.h"

#include <serialline.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string_view>
#include <utility>

namespace varnel {

namespace {

constexpr const char* requestPrefix = "~00";
constexpr std::size_t prefixLength = 3;
constexpr const char* queryType = "P";
constexpr char rejectionMarker = 'R';
constexpr std::uint32_t readCapacity = 150;
constexpr std::uint32_t minimumReply = 4;
constexpr std::size_t payloadOffset = 7;
// Time for the rest of a spoilt reply to arrive before a request is tried again.
constexpr std::uint32_t staleReplyMs = 20;
// The class's pauses. The port's time limits follow the write pause but never
// fall below its default, which the longest request and reply need at 2400
// baud: a technician who shortens the pauses, to 0 even, shortens the waits,
// not the time the line takes to carry the bytes.
constexpr std::uint32_t defaultReadSleep = 250;
constexpr std::uint32_t defaultWriteSleep = 750;

// Request bodies of the items read from the unit.
constexpr const char* itemConfiguration = "CFI";
constexpr const char* itemInternal = "IBN";
constexpr const char* itemBatteryTable = "EBP";
constexpr const char* itemCTable = "CBP";
constexpr const char* itemProduct = "MOD";
constexpr const char* itemVendor = "MNU";

// Save headers: type "S", the body length, the item.
constexpr const char* saveBatteryTableHeader = "S086EBP";
constexpr const char* saveCTableHeader = "S040CBP";

std::string threeDigits(unsigned value)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03u", value);
    return digits;
}

} // namespace

DeltaSerialDevice::DeltaSerialDevice()
{
    postReadSleep = defaultReadSleep;
    postWriteSleep = defaultWriteSleep;
    // The save command carries the count in three digits.
    largestExternalBatteryCount = 999;
}

std::string DeltaSerialDevice::buildQuery(const std::string& type, const std::string& body)
{
    return requestPrefix + type + threeDigits(static_cast<unsigned>(body.size())) + body;
}

std::string DeltaSerialDevice::buildBatteryTableCommand() const
{
    std::string cmd = std::string(requestPrefix) + saveBatteryTableHeader +
                      threeDigits(static_cast<unsigned>(externalBatteryCount));
    for (std::uint8_t value : batteryTableValues)
        cmd += ";" + threeDigits(value);
    cmd.push_back('\0');
    return cmd;
}

std::string DeltaSerialDevice::buildCTableCommand() const
{
    std::string cmd = std::string(requestPrefix) + saveCTableHeader + std::to_string(unsigned(cTableHighB));
    for (std::uint8_t value : cTableValues)
        cmd += ";" + threeDigits(value);
    cmd.push_back('\0');
    return cmd;
}

std::optional<std::vector<std::uint32_t>> DeltaSerialDevice::parseFields(const std::string& payload)
{
    constexpr NumberRule field{.blanks = NumberRule::Blanks::Any,
                               .largest = std::numeric_limits<std::uint32_t>::max()};
    auto onlyBlanksFrom = [&payload](std::size_t pos) {
        for (; pos < payload.size(); ++pos)
            if (!std::isspace(static_cast<unsigned char>(payload[pos])) && payload[pos] != '\0')
                return false;
        return true;
    };
    std::vector<std::uint32_t> values;
    if (onlyBlanksFrom(0))
        return values;
    std::size_t pos = 0;
    for (;;) {
        const auto scan = scanNumber(payload, field, pos);
        if (!scan)
            return std::nullopt;
        values.push_back(static_cast<std::uint32_t>(scan->value));
        if (onlyBlanksFrom(scan->end))
            return values;
        // One separator, then the next value.
        pos = scan->end + 1;
    }
}

std::uint32_t DeltaSerialDevice::parseNumber(const std::string& payload)
{
    // As the data file's numbers, except that a payload without digits is the word 0.
    return static_cast<std::uint32_t>(
        varnel::parseNumber(payload, numberRules::unsignedConversion).value_or(0));
}

bool DeltaSerialDevice::parseReply(const std::uint8_t* reply, std::uint32_t length, std::string& data,
                                   bool& rejected)
{
    rejected = false;
    if (length < minimumReply)
        return false;
    // The unit answers with the prefix it was asked with; anything else is line noise,
    // and taking noise for an answer would report a save the unit never made.
    if (std::string_view(reinterpret_cast<const char*>(reply), prefixLength) != requestPrefix)
        return false;
    if (reply[3] == rejectionMarker) {
        rejected = true;
        return false;
    }
    data.clear();
    if (length > payloadOffset)
        data.assign(reinterpret_cast<const char*>(reply) + payloadOffset, length - payloadOffset);
    // A reply cut short, or with bytes of another run into it, says so in its
    // length digits. Only a reply that has them is held to them.
    if (length >= payloadOffset) {
        const auto promised = varnel::parseNumber(
            std::string_view(reinterpret_cast<const char*>(reply) + 4, 3), numberRules::digitsOnly);
        if (!promised || *promised != data.size())
            return false;
    }
    return true;
}

bool DeltaSerialDevice::exchange(CAnyPort& port, const std::string& cmd, std::string& data, bool probe)
{
    if (exchangeOnce(port, cmd, data))
        return true;
    if (port.getTransport() != PORT_TRANSPORT_SERIAL || refused || (probe && !answered))
        return false;
    // What is left of a spoilt reply must not be taken for the answer to the second try.
    std::uint8_t stale[readCapacity];
    for (int i = 0; i < 4 && port.read(stale, readCapacity, staleReplyMs) > 0; ++i) {
    }
    return exchangeOnce(port, cmd, data);
}

std::optional<std::vector<std::uint32_t>> DeltaSerialDevice::queryFields(CAnyPort& port, const char* item,
                                                                         std::size_t count,
                                                                         std::uint32_t largestFirst)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string data;
        if (!exchange(port, buildQuery(queryType, item), data))
            return std::nullopt;
        auto fields = parseFields(data);
        if (!fields || fields->size() != count)
            continue;
        bool fit = true;
        for (std::size_t i = 0; i < count; ++i)
            fit = fit && (*fields)[i] <= (i == 0 ? largestFirst : 255u);
        if (fit)
            return fields;
    }
    return std::vector<std::uint32_t>{};
}

bool DeltaSerialDevice::exchangeOnce(CAnyPort& port, const std::string& cmd, std::string& data)
{
    answered = false;
    refused = false;
    if (port.getTransport() != PORT_TRANSPORT_SERIAL)
        return false;
    const std::uint32_t timeLimit = std::max(postWriteSleep, defaultWriteSleep);
    sleepMs(postWriteSleep);
    const auto count = static_cast<std::uint32_t>(cmd.size());
    if (port.write(reinterpret_cast<const std::uint8_t*>(cmd.data()), count, timeLimit, 0) != count)
        return false;
    sleepMs(postReadSleep);
    std::uint8_t buffer[readCapacity] = {};
    const std::uint32_t received = port.read(buffer, readCapacity, timeLimit);
    // A library claiming more than the buffer holds has broken the contract.
    if (received > readCapacity)
        return false;
    answered = received > 0;
    bool rejected = false;
    if (parseReply(buffer, received, data, rejected))
        return true;
    refused = rejected;
    if (rejected) {
        // The save commands end in a zero byte that has no place in the log.
        const std::string shown = cmd.substr(0, cmd.find('\0'));
        log() << "Command '" << shown << "' was rejected by the DeltaSerialDevice" << std::endl;
    }
    return false;
}

bool DeltaSerialDevice::load(CAnyPort& port, const StatusCallback& callback, const I18N* messages)
{
    std::string data;
    // Whether this is a text unit at all is the first reply's to say; only then is it asked again.
    if (!exchange(port, buildQuery(queryType, itemConfiguration), data, true))
        return false;
    std::optional<std::uint32_t> firstWord = parseNumber(data);
    configurationInfo = *firstWord;
    if (!supportsExternalPacks())
        return false;
    auto word = [&]() -> std::optional<std::uint32_t> {
        if (firstWord)
            return std::exchange(firstWord, std::nullopt);
        if (!exchange(port, buildQuery(queryType, itemConfiguration), data))
            return std::nullopt;
        return parseNumber(data);
    };
    if (!readAgreed(word, configurationInfo, callback, messages))
        return false;
    if (!supportsExternalPacks())
        return false;
    reportFoundAndLoading(callback, messages);

    bool internalFailed = false;
    auto internal = [&]() -> std::optional<std::pair<std::uint8_t, std::uint8_t>> {
        const auto fields = queryFields(port, itemInternal, 2, 255);
        if (!fields)
            return std::nullopt;
        if (fields->size() != 2) {
            internalFailed = true;
            return std::nullopt;
        }
        return std::pair{static_cast<std::uint8_t>((*fields)[0]), static_cast<std::uint8_t>((*fields)[1])};
    };
    std::pair<std::uint8_t, std::uint8_t> countAndType;
    if (!readAgreed(internal, countAndType, callback, messages)) {
        if (internalFailed)
            log() << "Failed to return both internal battery count and type for Delta Serial Device"
                  << std::endl;
        return false;
    }
    internalBatteryCount = countAndType.first;
    internalBatteryType = countAndType.second;

    auto text = [&](const char* item) {
        return [&, item]() -> std::optional<std::string> {
            if (!exchange(port, buildQuery(queryType, item), data))
                return std::nullopt;
            return data;
        };
    };
    auto readNames = [&]() {
        std::string name;
        if (!readAgreed(text(itemProduct), name, callback, messages))
            return false;
        setProductName(name);
        if (!readAgreed(text(itemVendor), name, callback, messages))
            return false;
        setVendorName(name);
        return true;
    };
    if (identityOnly)
        return readNames();

    // The count goes back in three digits; the table entries are bytes.
    auto fields = queryFields(port, itemBatteryTable, batteryTableSize + 1, 999);
    if (!fields)
        return false;
    if (fields->empty()) {
        log()
            << "Failed to return both external battery count and battery table values for Delta Serial Device"
            << std::endl;
        return false;
    }
    externalBatteryCount = static_cast<std::int32_t>((*fields)[0]);
    batteryTableValues.assign(fields->begin() + 1, fields->end());

    fields = queryFields(port, itemCTable, cTableSize + 1, 255);
    if (!fields)
        return false;
    if (fields->empty()) {
        log() << "Failed to return both C High Table Index and C Table values for Delta Serial Device"
              << std::endl;
        return false;
    }
    cTableHighB = static_cast<std::uint8_t>((*fields)[0]);
    cTableValues.assign(fields->begin() + 1, fields->end());

    return readNames();
}

bool DeltaSerialDevice::save()
{
    if (!tablesComplete())
        return false;
    // The request carries the count in three digits: a larger one (a hand-edited
    // backup, say) would shift every field after it.
    if (externalBatteryCount < 0 ||
        static_cast<std::uint32_t>(externalBatteryCount) > largestExternalBatteryCount) {
        log() << "The external battery count " << externalBatteryCount
              << " does not fit the unit's field (at most " << largestExternalBatteryCount << ")"
              << std::endl;
        return false;
    }
    CAnyPort port;
    if (!openForSave(port, "DeltaSerialDevice"))
        return false;
    port.configureSerial(SERIAL_LINE_BAUD, SERIAL_LINE_PARITY, SERIAL_LINE_DATA_BITS, SERIAL_LINE_STOP_BITS,
                         0);
    std::string data;
    if (!exchange(port, buildBatteryTableCommand(), data)) {
        log() << "Failed to save both external battery count and battery table values for Delta Serial Device"
              << std::endl;
        return false;
    }
    if (!exchange(port, buildCTableCommand(), data)) {
        log() << "Failed to save both C Table High B Index and C Table values for Delta Serial Device"
              << std::endl;
        return false;
    }
    return true;
}

} // namespace varnel
