#include "HidpPort.h"

#include "hidusages.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwchar>

namespace linkhid {

namespace {

// A layout with more mapped usages than this is not a UPS we can trust.
constexpr size_t kMaxValues = 16384;
// USB string descriptors hold at most 126 UTF-16 units; room to spare.
constexpr size_t kNameUnits = 256;

uint32_t key(uint32_t usagePage, uint32_t usageId)
{
    return usagePage << 16 | usageId;
}

bool onPowerPage(const HIDP_CAPS& caps)
{
    return caps.UsagePage == HID_PAGE_POWER_DEVICE || caps.UsagePage == HID_PAGE_BATTERY_SYSTEM;
}

std::string utf8(const wchar_t* text, size_t units)
{
    const int length = static_cast<int>(wcsnlen(text, units));
    if (length == 0)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return {};
    std::string converted(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, converted.data(), bytes, nullptr, nullptr);
    return converted;
}

// Device paths are case-insensitive and a mutex name may not hold a backslash.
std::string lockName(const std::string& path)
{
    std::string name = "Local\\varnel-hid-";
    for (char c : path)
        name += c == '\\' ? '#' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

std::unique_ptr<HidpPort> HidpPort::open(const std::string& path, unsigned long& error, std::string& reason)
{
    error = 0;
    reason.clear();
    linkport::OwnedHandle device(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                             nullptr));
    if (!device.valid()) {
        error = GetLastError();
        return nullptr;
    }
    // The system shares HID devices, so nothing stops a second program; two
    // interleaving index writes and value reads would corrupt both.
    SetLastError(ERROR_SUCCESS);
    linkport::OwnedHandle lock(CreateMutexA(nullptr, FALSE, lockName(path).c_str()));
    const DWORD lockError = GetLastError();
    if (!lock.valid() || lockError == ERROR_ALREADY_EXISTS) {
        error = lock.valid() ? ERROR_SHARING_VIOLATION : lockError;
        return nullptr;
    }
    PreparsedData layout;
    HIDP_CAPS caps{};
    if (!layout.load(device.get()) || HidP_GetCaps(layout.get(), &caps) != HIDP_STATUS_SUCCESS) {
        reason = "the unit did not give its report layout: replug it and scan again";
        return nullptr;
    }
    if (!onPowerPage(caps)) {
        reason = "this HID device is not a UPS (no power device collection)";
        return nullptr;
    }
    std::unique_ptr<HidpPort> port(new HidpPort(std::move(device), std::move(lock), std::move(layout)));
    port->featureBytes = caps.FeatureReportByteLength;
    if (!port->mapValues()) {
        reason = "the unit's feature reports cannot be mapped: replug it and scan again";
        return nullptr;
    }
    readNames(port->device.get(), port->manufacturerName, port->productName);
    return port;
}

HidpPort::HidpPort(linkport::OwnedHandle device, linkport::OwnedHandle lock, PreparsedData layout)
    : device(std::move(device)), lock(std::move(lock)), layout(std::move(layout))
{
}

bool HidpPort::isPowerDevice(HANDLE device)
{
    PreparsedData layout;
    HIDP_CAPS caps{};
    return layout.load(device) && HidP_GetCaps(layout.get(), &caps) == HIDP_STATUS_SUCCESS &&
           onPowerPage(caps);
}

void HidpPort::readNames(HANDLE device, std::string& manufacturer, std::string& product)
{
    wchar_t text[kNameUnits] = {};
    // One unit short of the buffer, so the text always ends in a zero.
    const ULONG bytes = sizeof text - sizeof text[0];
    manufacturer = HidD_GetManufacturerString(device, text, bytes) ? utf8(text, kNameUnits) : std::string();
    std::fill(std::begin(text), std::end(text), L'\0');
    product = HidD_GetProductString(device, text, bytes) ? utf8(text, kNameUnits) : std::string();
}

bool HidpPort::mapValues()
{
    HIDP_CAPS caps{};
    if (HidP_GetCaps(layout.get(), &caps) != HIDP_STATUS_SUCCESS)
        return false;
    USHORT count = caps.NumberFeatureValueCaps;
    if (count == 0)
        return true;
    std::vector<HIDP_VALUE_CAPS> found(count);
    if (HidP_GetValueCaps(HidP_Feature, found.data(), &count, layout.get()) != HIDP_STATUS_SUCCESS)
        return false;
    found.resize(std::min<size_t>(count, found.size()));
    for (const HIDP_VALUE_CAPS& cap : found) {
        // HidP_GetUsageValue carries at most 32 bits; no Varnel usage is wider.
        if (cap.BitSize == 0 || cap.BitSize > 32)
            continue;
        const Value value{cap.ReportID, cap.LinkCollection, cap.BitSize};
        // As with our own parser: the first field carrying a usage is the one used.
        if (!cap.IsRange) {
            values.emplace(key(cap.UsagePage, cap.NotRange.Usage), value);
            continue;
        }
        const uint32_t last =
            std::min<uint32_t>(cap.Range.UsageMax, uint32_t{cap.Range.UsageMin} + cap.ReportCount - 1);
        for (uint32_t usage = cap.Range.UsageMin; usage <= last && values.size() < kMaxValues; ++usage)
            values.emplace(key(cap.UsagePage, usage), value);
    }
    return true;
}

const HidpPort::Value* HidpPort::valueFor(uint32_t usagePage, uint32_t usageId) const
{
    if (usagePage > 0xFFFF || usageId > 0xFFFF)
        return nullptr;
    auto it = values.find(key(usagePage, usageId));
    return it == values.end() ? nullptr : &it->second;
}

bool HidpPort::has(uint32_t usagePage, uint32_t usageId) const
{
    if (const std::string* name = nameFor(usagePage, usageId))
        return !name->empty();
    return valueFor(usagePage, usageId) != nullptr;
}

bool HidpPort::readReport(const Value& value, std::vector<char>& report)
{
    if (featureBytes == 0)
        return false;
    report.assign(featureBytes, 0);
    report[0] = static_cast<char>(value.reportId);
    return HidD_GetFeature(device.get(), report.data(), featureBytes) &&
           static_cast<UCHAR>(report[0]) == value.reportId;
}

bool HidpPort::get(uint32_t usagePage, uint32_t usageId, uint8_t* out, uint32_t& length)
{
    if (!out)
        return false;
    std::lock_guard<std::mutex> guard(mutex);
    if (const std::string* name = nameFor(usagePage, usageId))
        return copyName(*name, out, length);
    const Value* value = valueFor(usagePage, usageId);
    std::vector<char> report;
    if (!value || !readReport(*value, report))
        return false;
    ULONG raw = 0;
    if (HidP_GetUsageValue(HidP_Feature, static_cast<USAGE>(usagePage), value->linkCollection,
                           static_cast<USAGE>(usageId), &raw, layout.get(), report.data(),
                           featureBytes) != HIDP_STATUS_SUCCESS)
        return false;
    const uint32_t bytes = (value->bitSize + 7u) / 8u;
    for (uint32_t i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(raw >> (8 * i));
    length = bytes;
    return true;
}

bool HidpPort::set(uint32_t usagePage, uint32_t usageId, uint32_t value)
{
    std::lock_guard<std::mutex> guard(mutex);
    const Value* field = valueFor(usagePage, usageId);
    // Truncating silently would store a different number than the caller asked for.
    if (!field || (field->bitSize < 32 && (value >> field->bitSize) != 0))
        return false;
    std::vector<char> report;
    // Other fields share the report: write back what the unit holds for them.
    if (!readReport(*field, report))
        return false;
    if (HidP_SetUsageValue(HidP_Feature, static_cast<USAGE>(usagePage), field->linkCollection,
                           static_cast<USAGE>(usageId), value, layout.get(), report.data(),
                           featureBytes) != HIDP_STATUS_SUCCESS)
        return false;
    return HidD_SetFeature(device.get(), report.data(), featureBytes);
}

} // namespace linkhid
