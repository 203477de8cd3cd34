#include "controller/UnitRecordJson.h"

#include "data/TableSizes.h"
#include "device/VarnelDevice.h"
#include "settings/JsonText.h"

#include <nlohmann/json.hpp>

#include <iterator>

namespace varnel {

namespace {

// By member, in the order of UnitRecordJson::Member.
constexpr const char* memberNames[] = {"portName",
                                       "vendorName",
                                       "productName",
                                       "configurationInfo",
                                       "internalBatteryCount",
                                       "internalBatteryType",
                                       "externalBatteryCount",
                                       "batteryTableValues",
                                       "cTableValues",
                                       "cTableHighB"};
static_assert(std::size(memberNames) == static_cast<std::size_t>(UnitRecordJson::Member::cTableHighB) + 1);

const char* nameOf(UnitRecordJson::Member member)
{
    return memberNames[static_cast<std::size_t>(member)];
}

// The identity comes from the device, the values from `values`; without a
// device only the values are asked for.
nlohmann::ordered_json valueOf(UnitRecordJson::Member member, const VarnelDevice* device,
                               const ConfigurationValues& values)
{
    using Member = UnitRecordJson::Member;
    if (device == nullptr && member < Member::externalBatteryCount)
        return nullptr;
    switch (member) {
    case Member::portName:
        return narrowToUtf8(device->getPortName());
    case Member::vendorName:
        return narrowToUtf8(device->getVendorName());
    case Member::productName:
        return narrowToUtf8(device->getProductName());
    case Member::configurationInfo:
        return device->getConfigurationInfo();
    case Member::internalBatteryCount:
        return device->getInternalBatteryCount();
    case Member::internalBatteryType:
        return device->getInternalBatteryType();
    case Member::externalBatteryCount:
        return values.externalBatteryCount;
    case Member::batteryTableValues:
        return values.batteryTableValues;
    case Member::cTableValues:
        return values.cTableValues;
    case Member::cTableHighB:
        return values.cTableHighB;
    }
    return nullptr;
}

bool readNumber(const nlohmann::json& document, UnitRecordJson::Member member, std::uint64_t max,
                std::uint32_t& value)
{
    const auto found = document.find(nameOf(member));
    if (found == document.end() || !found->is_number_unsigned() || found->get<std::uint64_t>() > max)
        return false;
    value = static_cast<std::uint32_t>(found->get<std::uint64_t>());
    return true;
}

bool readTable(const nlohmann::json& document, UnitRecordJson::Member member, std::size_t size,
               std::vector<std::uint8_t>& table)
{
    const auto found = document.find(nameOf(member));
    if (found == document.end() || !found->is_array() || found->size() != size)
        return false;
    table.clear();
    for (const auto& entry : *found) {
        if (!entry.is_number_unsigned() || entry.get<std::uint64_t>() > 0xFF)
            return false;
        table.push_back(static_cast<std::uint8_t>(entry.get<std::uint64_t>()));
    }
    return true;
}

bool readText(const nlohmann::json& document, UnitRecordJson::Member member, std::string& text)
{
    const auto found = document.find(nameOf(member));
    if (found == document.end() || !found->is_string())
        return false;
    text = found->get<std::string>();
    return true;
}

} // namespace

nlohmann::ordered_json UnitRecordJson::encode(const VarnelDevice& device, const ConfigurationValues& values,
                                              std::span<const Member> order)
{
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    for (const Member member : order)
        document[nameOf(member)] = valueOf(member, &device, values);
    return document;
}

nlohmann::ordered_json UnitRecordJson::encode(const ConfigurationValues& values)
{
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    for (const Member member : {Member::externalBatteryCount, Member::batteryTableValues,
                                Member::cTableValues, Member::cTableHighB})
        document[nameOf(member)] = valueOf(member, nullptr, values);
    return document;
}

bool UnitRecordJson::decode(const nlohmann::json& document, BackupRecord& record, std::string& field)
{
    auto bad = [&field](Member member) {
        field = nameOf(member);
        return false;
    };
    BackupRecord read;
    if (!readText(document, Member::vendorName, read.vendorName))
        return bad(Member::vendorName);
    if (!readText(document, Member::productName, read.productName))
        return bad(Member::productName);
    readText(document, Member::portName, read.portName);
    if (!readNumber(document, Member::configurationInfo, 0xFFFFFFFFu, read.configurationInfo))
        return bad(Member::configurationInfo);
    if (!readNumber(document, Member::internalBatteryCount, 0xFF, read.internalBatteryCount))
        return bad(Member::internalBatteryCount);
    if (!readNumber(document, Member::internalBatteryType, 0xFF, read.internalBatteryType))
        return bad(Member::internalBatteryType);
    std::uint32_t external = 0;
    // The units carry the count in at most a word.
    if (!readNumber(document, Member::externalBatteryCount, 0xFFFF, external))
        return bad(Member::externalBatteryCount);
    read.values.externalBatteryCount = static_cast<std::int32_t>(external);
    if (!readTable(document, Member::batteryTableValues, batteryTableSize, read.values.batteryTableValues))
        return bad(Member::batteryTableValues);
    if (!readTable(document, Member::cTableValues, cTableSize, read.values.cTableValues))
        return bad(Member::cTableValues);
    std::uint32_t highB = 0;
    if (!readNumber(document, Member::cTableHighB, 0xFF, highB))
        return bad(Member::cTableHighB);
    read.values.cTableHighB = static_cast<std::uint8_t>(highB);
    record = std::move(read);
    return true;
}

} // namespace varnel
