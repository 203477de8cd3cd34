#include "device/DeltaSerialDevice.h"

#include "data/TableSizes.h"
#include "device/CAnyPort.h"
#include "platform/Sleep.h"
#include "settings/Log.h"
#include "settings/NumberText.h"

#include <serialline.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <string_view>

namespace varnel {

namespace {

constexpr const char* requestPrefix = "~00";
constexpr std::size_t prefixLength = 3;
constexpr const char* queryType = "P";
constexpr char rejectionMarker = 'R';
constexpr std::uint32_t readCapacity = 150;
constexpr std::uint32_t minimumReply = 4;
constexpr std::size_t payloadOffset = 7;
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

std::vector<std::uint8_t> DeltaSerialDevice::parseValues(const std::string& payload)
{
    std::vector<std::uint8_t> tokens;
    // The trailing zero keeps the stream from reaching its end after the last value.
    std::istringstream in(payload + std::string(1, '\0'));
    while (in.good()) {
        long long value = 0;
        if (!(in >> value))
            break;
        tokens.push_back(static_cast<std::uint8_t>(value & 0xFF));
        char delim = 0;
        in >> delim;
    }
    return tokens;
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
    return true;
}

bool DeltaSerialDevice::exchange(CAnyPort& port, const std::string& cmd, std::string& data)
{
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
    bool rejected = false;
    if (parseReply(buffer, received, data, rejected))
        return true;
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
    if (!exchange(port, buildQuery(queryType, itemConfiguration), data))
        return false;
    configurationInfo = parseNumber(data);
    if (!supportsExternalPacks())
        return false;
    reportFoundAndLoading(callback, messages);

    if (!exchange(port, buildQuery(queryType, itemInternal), data))
        return false;
    std::vector<std::uint8_t> tokens = parseValues(data);
    if (tokens.size() != 2) {
        log() << "Failed to return both internal battery count and type for Delta Serial Device" << std::endl;
        return false;
    }
    internalBatteryCount = tokens[0];
    internalBatteryType = tokens[1];

    if (!exchange(port, buildQuery(queryType, itemBatteryTable), data))
        return false;
    tokens = parseValues(data);
    if (tokens.size() != batteryTableSize + 1) {
        log()
            << "Failed to return both external battery count and battery table values for Delta Serial Device"
            << std::endl;
        return false;
    }
    externalBatteryCount = tokens[0];
    batteryTableValues.assign(tokens.begin() + 1, tokens.end());

    if (!exchange(port, buildQuery(queryType, itemCTable), data))
        return false;
    tokens = parseValues(data);
    if (tokens.size() != cTableSize + 1) {
        log() << "Failed to return both C High Table Index and C Table values for Delta Serial Device"
              << std::endl;
        return false;
    }
    cTableHighB = tokens[0];
    cTableValues.assign(tokens.begin() + 1, tokens.end());

    if (!exchange(port, buildQuery(queryType, itemProduct), data))
        return false;
    setProductName(data);
    if (!exchange(port, buildQuery(queryType, itemVendor), data))
        return false;
    setVendorName(data);
    return true;
}

bool DeltaSerialDevice::save()
{
    if (batteryTableValues.size() != batteryTableSize) {
        log() << "There are only " << batteryTableValues.size() << " values in the battery table!"
              << std::endl;
        return false;
    }
    if (cTableValues.size() != cTableSize) {
        log() << "There are only " << cTableValues.size() << " values in the C Table!" << std::endl;
        return false;
    }
    CAnyPort port;
    if (portInfo)
        port.setTransport(portInfo->transport);
    if (!portInfo || !port.open(portInfo.get())) {
        log() << "Failed to open port " << portName << " to save DeltaSerialDevice information" << std::endl;
        return false;
    }
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
