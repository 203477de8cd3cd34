#include "PowerDeviceReports.h"

#include "data/TableSizes.h"
#include "hidusages.h"

namespace varnel::upssim {

namespace {

// Short item prefixes (tag and type; the size code is added when emitted).
constexpr uint8_t kUsagePage = 0x04;
constexpr uint8_t kUsage = 0x08;
constexpr uint8_t kCollection = 0xA0;
constexpr uint8_t kEndCollection = 0xC0;
constexpr uint8_t kReportId = 0x84;
constexpr uint8_t kReportSize = 0x74;
constexpr uint8_t kReportCount = 0x94;
constexpr uint8_t kLogicalMinimum = 0x14;
constexpr uint8_t kLogicalMaximum = 0x24;
constexpr uint8_t kFeature = 0xB0;

constexpr uint8_t kApplication = 0x01;
constexpr uint8_t kPhysical = 0x00;
constexpr uint8_t kDataVariableAbsolute = 0x02;

// What the fixed fields report: the string indexes, a full battery, its runtime.
constexpr uint32_t kManufacturerString = 1;
constexpr uint32_t kProductString = 2;
constexpr uint32_t kSerialString = 3;
constexpr uint32_t kFullCharge = 100;
constexpr uint32_t kRunTimeSeconds = 1200;

// Logical extents are signed: 255 needs two bytes, 65535 four.
std::size_t signedSize(uint32_t value)
{
    return value <= 0x7F ? 1 : value <= 0x7FFF ? 2 : 4;
}

} // namespace

void PowerDeviceReports::item(uint8_t prefix, uint32_t value, std::size_t size)
{
    bytes.push_back(static_cast<uint8_t>(prefix | (size == 4 ? 3 : size)));
    for (std::size_t i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PowerDeviceReports::report(uint8_t id, std::vector<HidField> fields)
{
    item(kReportId, id, 1);
    uint32_t offset = 0;
    for (HidField& field : fields) {
        if (field.page != page) {
            page = field.page;
            item(kUsagePage, page, page > 0xFF ? 2 : 1);
        }
        item(kUsage, field.usage, 1);
        item(kLogicalMinimum, 0, 1);
        item(kLogicalMaximum, field.logicalMax, signedSize(field.logicalMax));
        item(kReportSize, field.bits, 1);
        item(kReportCount, 1, 1);
        item(kFeature, kDataVariableAbsolute, 1);
        field.bitOffset = offset;
        offset += field.bits;
    }
    layout.push_back({id, std::move(fields), (offset + 7) / 8});
}

PowerDeviceReports::PowerDeviceReports()
{
    constexpr uint16_t P = HID_PAGE_POWER_DEVICE;
    constexpr uint16_t B = HID_PAGE_BATTERY_SYSTEM;
    constexpr uint16_t V = HID_PAGE_VENDOR;
    page = P;
    item(kUsagePage, P, 1);
    item(kUsage, HID_USAGE_UPS, 1);
    item(kCollection, kApplication, 1);
    report(0x01, {{P, HID_USAGE_MANUFACTURER, 8, 255, false, kManufacturerString},
                  {P, HID_USAGE_PRODUCT, 8, 255, false, kProductString},
                  {P, HID_USAGE_SERIAL_NUMBER, 8, 255, false, kSerialString}});
    item(kUsage, HID_USAGE_POWER_SUMMARY, 1);
    item(kCollection, kPhysical, 1);
    report(0x02, {{B, HID_USAGE_REMAINING_CAPACITY, 8, 100, false, kFullCharge},
                  {B, HID_USAGE_RUN_TIME_TO_EMPTY, 16, 0xFFFF, false, kRunTimeSeconds}});
    bytes.push_back(kEndCollection);
    report(0x60, {{V, HID_USAGE_CONFIGURATION, 16, 0xFFFF, false, UnitField::Configuration},
                  {V, HID_USAGE_INTERNAL_COUNT, 8, 255, false, UnitField::InternalCount},
                  {V, HID_USAGE_INTERNAL_TYPE, 8, 255, false, UnitField::InternalType}});
    report(0x61, {{V, HID_USAGE_EXTERNAL_COUNT, 16, 0xFFFF, true, UnitField::ExternalCount}});
    report(0x63, {{V, HID_USAGE_BATTERY_INDEX, 8, batteryTableSize - 1, true, UnitField::BatteryIndex}});
    report(0x64, {{V, HID_USAGE_BATTERY_VALUE, 8, 255, true, UnitField::BatteryValue}});
    report(0x65, {{V, HID_USAGE_C_TABLE_INDEX, 8, cTableSize - 1, true, UnitField::CIndex}});
    report(0x66, {{V, HID_USAGE_C_TABLE_VALUE, 8, 255, true, UnitField::CValue}});
    report(0x67, {{V, HID_USAGE_C_TABLE_HIGH_B, 8, 255, true, UnitField::HighB}});
    bytes.push_back(kEndCollection);
}

const HidReport* PowerDeviceReports::find(uint8_t id) const
{
    for (const HidReport& r : layout) {
        if (r.id == id)
            return &r;
    }
    return nullptr;
}

} // namespace varnel::upssim
