#include "HidPort.h"

#include "HidFieldValue.h"
#include "hidusages.h"

#include <algorithm>
#include <cstring>

namespace linkhid {

std::unique_ptr<HidPort> HidPort::attach(std::unique_ptr<HidTransport> transport, std::string& reason)
{
    if (!transport) {
        reason = "no transport";
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    if (!transport->readDescriptor(bytes)) {
        reason = "the unit did not give its report descriptor: replug it and scan again";
        return nullptr;
    }
    HidReportDescriptor layout;
    if (!layout.parse(bytes.data(), bytes.size())) {
        reason = "the unit's report descriptor is malformed (" + layout.error() + ")";
        return nullptr;
    }
    if (!layout.isPowerDevice()) {
        reason = "this HID device is not a UPS (no power device collection)";
        return nullptr;
    }
    std::string manufacturer;
    std::string product;
    transport->readNames(manufacturer, product);
    return std::unique_ptr<HidPort>(
        new HidPort(std::move(transport), std::move(layout), std::move(manufacturer), std::move(product)));
}

HidPort::HidPort(std::unique_ptr<HidTransport> transport, HidReportDescriptor layout,
                 std::string manufacturer, std::string product)
    : transport(std::move(transport)), layout(std::move(layout)), manufacturerName(std::move(manufacturer)),
      productName(std::move(product))
{
}

bool HidPort::has(uint32_t usagePage, uint32_t usageId) const
{
    const std::string* name = nameFor(usagePage, usageId);
    if (name)
        return !name->empty();
    return layout.featureField(usagePage, usageId) != nullptr;
}

bool HidPort::readReport(const HidField& field, std::vector<uint8_t>& report)
{
    report.assign(1 + layout.featureReportBytes(field.reportId), 0);
    report[0] = field.reportId;
    const int got = transport->getFeature(report.data(), report.size());
    if (got < 1 || report[0] != field.reportId)
        return false;
    report.resize(static_cast<size_t>(got));
    // A short answer that still holds the field is fine; one that cuts it off is not.
    return static_cast<uint64_t>(field.bitOffset) + field.bitSize <= uint64_t{report.size() - 1} * 8;
}

bool HidPort::get(uint32_t usagePage, uint32_t usageId, uint8_t* out, uint32_t& length)
{
    if (!out)
        return false;
    std::lock_guard<std::mutex> guard(mutex);
    if (const std::string* name = nameFor(usagePage, usageId))
        return copyName(*name, out, length);
    const HidField* field = layout.featureField(usagePage, usageId);
    std::vector<uint8_t> report;
    if (!field || !readReport(*field, report))
        return false;
    const size_t bytes = readField(*field, report.data() + 1, report.size() - 1, out, kMaxValueBytes);
    if (bytes == 0)
        return false;
    length = static_cast<uint32_t>(bytes);
    return true;
}

bool HidPort::set(uint32_t usagePage, uint32_t usageId, uint32_t value)
{
    std::lock_guard<std::mutex> guard(mutex);
    const HidField* field = layout.featureField(usagePage, usageId);
    std::vector<uint8_t> report;
    // Other fields share the report: write back what the unit holds for them.
    if (!field || !readReport(*field, report))
        return false;
    if (!writeField(*field, report.data() + 1, report.size() - 1, value))
        return false;
    return transport->setFeature(report.data(), report.size());
}

} // namespace linkhid
