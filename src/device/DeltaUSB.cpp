#include "device/DeltaUSB.h"

#include "data/TableSizes.h"
#include "device/CAnyPort.h"
#include "platform/Sleep.h"
#include "settings/Log.h"

#include <hidusages.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <utility>

namespace varnel {

namespace {

constexpr std::uint32_t defaultPreSaveSleep = 3000;

// One reply buffer and count shared by all reads of a load.
class HidReader {
public:
    explicit HidReader(CAnyPort& port) : port(port) {}

    // A library that reports more bytes than the buffer holds has broken the
    // contract; its reply is not trusted.
    bool read(std::uint32_t page, std::uint8_t usage)
    {
        std::memset(returned, 0, sizeof returned);
        returnSize = 0;
        if (port.getHid(0, 0, page, usage, returned, &returnSize) == 0)
            return false;
        if (returnSize >= DeltaUSB::replyCapacity) {
            returnSize = 0;
            return false;
        }
        return true;
    }

    // A numeric usage that answered without a single byte gave no value.
    bool readValue(std::uint8_t usage) { return read(HID_PAGE_VENDOR, usage) && returnSize > 0; }

    std::uint8_t byte() const { return returned[0]; }
    std::uint32_t size() const { return returnSize; }
    // Bytes beyond what arrived were cleared, so a one-byte answer reads as its own value.
    std::uint32_t word() const { return static_cast<std::uint32_t>(returned[0] | (returned[1] << 8)); }
    std::string text()
    {
        returned[returnSize] = 0;
        return std::string(reinterpret_cast<const char*>(returned));
    }

private:
    CAnyPort& port;
    std::uint8_t returned[DeltaUSB::replyCapacity] = {};
    std::uint32_t returnSize = 0;
};

} // namespace

DeltaUSB::DeltaUSB()
{
    postReadSleep = 1500;
    postWriteSleep = 2000;
    preSaveSleep = defaultPreSaveSleep;
}

bool DeltaUSB::load(CAnyPort& port, const StatusCallback& callback, const I18N* messages)
{
    HidReader reader(port);
    const bool reporting = callback && messages;
    auto wait = [this]() { sleepMs(postReadSleep); };
    auto select = [&port](std::uint8_t usage, std::uint8_t index) {
        return port.setHid(0, 0, HID_PAGE_VENDOR, usage, index) != 0;
    };

    // The second read of a value follows the first at once; the pause is the
    // unit's time between one value and the next.
    auto byteOf = [&reader](std::uint8_t usage) {
        return [&reader, usage]() -> std::optional<std::uint8_t> {
            if (!reader.readValue(usage))
                return std::nullopt;
            return reader.byte();
        };
    };
    // A name that does not come is no name; that too must come the same twice.
    auto nameOf = [&reader](std::uint8_t usage) {
        return [&reader, usage]() -> std::optional<std::optional<std::string>> {
            if (!reader.read(HID_PAGE_POWER_DEVICE, usage))
                return std::optional<std::string>();
            return std::optional<std::string>(reader.text());
        };
    };

    // Whether this unit takes packs at all is the first read's to say; only then is it read again.
    if (!reader.readValue(HID_USAGE_CONFIGURATION))
        return false;
    std::optional<std::uint32_t> firstWord = reader.word();
    configurationInfo = *firstWord;
    if (!supportsExternalPacks()) {
        wait();
        return false;
    }
    auto word = [&]() -> std::optional<std::uint32_t> {
        if (firstWord)
            return std::exchange(firstWord, std::nullopt);
        if (!reader.readValue(HID_USAGE_CONFIGURATION))
            return std::nullopt;
        return reader.word();
    };
    if (!readAgreed(word, configurationInfo, callback, messages))
        return false;
    wait();
    if (!supportsExternalPacks())
        return false;
    reportFoundAndLoading(callback, messages);

    std::optional<std::string> name;
    if (productName.empty()) {
        if (!readAgreed(nameOf(HID_USAGE_PRODUCT), name, callback, messages))
            return false;
        if (name)
            setProductName(*name);
        wait();
    }
    if (vendorName.empty()) {
        if (!readAgreed(nameOf(HID_USAGE_MANUFACTURER), name, callback, messages))
            return false;
        if (name)
            setVendorName(*name);
    }
    wait();

    if (!readAgreed(byteOf(HID_USAGE_INTERNAL_COUNT), internalBatteryCount, callback, messages))
        return false;
    wait();
    if (!readAgreed(byteOf(HID_USAGE_INTERNAL_TYPE), internalBatteryType, callback, messages))
        return false;
    wait();
    if (identityOnly)
        return true;
    if (!reader.readValue(HID_USAGE_EXTERNAL_COUNT))
        return false;
    externalBatteryCount = static_cast<std::int32_t>(reader.word());
    // The unit's report says how wide its field is; the library refuses a
    // wider value only once the save is under way.
    largestExternalBatteryCount = reader.size() >= 2 ? 65535u : 255u;
    wait();
    if (!reader.readValue(HID_USAGE_C_TABLE_HIGH_B))
        return false;
    cTableHighB = reader.byte();
    wait();

    batteryTableValues.clear();
    for (std::uint8_t j = 0; j < batteryTableSize; ++j) {
        log() << "Reading Battery Table Value Index " << unsigned(j) << std::endl;
        if (!select(HID_USAGE_BATTERY_INDEX, j)) {
            log() << "Failed to set battery table index " << unsigned(j) << std::endl;
            return false;
        }
        if (!reader.readValue(HID_USAGE_BATTERY_VALUE)) {
            log() << "Failed to retrieve battery table value at index " << unsigned(j) << std::endl;
            return false;
        }
        batteryTableValues.push_back(reader.byte());
        if (reporting && j % 4 == 0)
            callback(".", 0);
    }
    cTableValues.clear();
    for (std::uint8_t i = 0; i < cTableSize; ++i) {
        if (!select(HID_USAGE_C_TABLE_INDEX, i)) {
            log() << "Failed to set C Table index " << unsigned(i) << std::endl;
            return false;
        }
        if (!reader.readValue(HID_USAGE_C_TABLE_VALUE)) {
            log() << "Failed to retrieve C Table value at index " << unsigned(i) << std::endl;
            return false;
        }
        cTableValues.push_back(reader.byte());
        if (reporting && i % 3 == 0)
            callback(".", 0);
    }
    return true;
}

bool DeltaUSB::save()
{
    if (!tablesComplete())
        return false;
    // Give the unit time to finish with the reads of the page before.
    sleepMs(preSaveSleep);

    CAnyPort port;
    if (!openForSave(port, "DeltaUSB"))
        return false;
    auto write = [&port](std::uint8_t usage, std::uint32_t value) {
        return port.setHid(0, 0, HID_PAGE_VENDOR, usage, value) != 0;
    };
    auto pause = [this]() { sleepMs(postWriteSleep); };

    if (!write(HID_USAGE_C_TABLE_HIGH_B, cTableHighB)) {
        log() << "Failed to save C Table High B Index for DeltaUSB device" << std::endl;
        return false;
    }
    pause();
    if (!write(HID_USAGE_EXTERNAL_COUNT, static_cast<std::uint32_t>(externalBatteryCount))) {
        log() << "Failed to save number of external batteries for DeltaUSB device" << std::endl;
        return false;
    }
    pause();
    for (std::uint8_t i = 0; i < batteryTableSize; ++i) {
        if (!write(HID_USAGE_BATTERY_INDEX, i)) {
            log() << "Failed to set battery table index " << unsigned(i) << std::endl;
            return false;
        }
        if (!write(HID_USAGE_BATTERY_VALUE, batteryTableValues[i])) {
            log() << "Failed to save battery table value at index " << unsigned(i) << std::endl;
            return false;
        }
    }
    pause();
    for (std::uint8_t j = 0; j < cTableSize; ++j) {
        if (!write(HID_USAGE_C_TABLE_INDEX, j)) {
            log() << "Failed to set C Table index " << unsigned(j) << std::endl;
            return false;
        }
        if (!write(HID_USAGE_C_TABLE_VALUE, cTableValues[j])) {
            log() << "Failed to save C Table value at index " << unsigned(j) << std::endl;
            return false;
        }
    }
    return true;
}

} // namespace varnel
