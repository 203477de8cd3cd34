#include "HidUnit.h"

#include "linkhidsim.h"

#include <cstdio>
#include <variant>

namespace varnel::upssim {

namespace {

// Several times the largest feature report, well inside the wire's payload limit.
constexpr std::size_t kLongestRandomReply = 64;

uint32_t extract(const std::vector<uint8_t>& data, uint32_t offset, uint8_t bits)
{
    uint32_t value = 0;
    for (uint8_t i = 0; i < bits; ++i) {
        const uint32_t bit = offset + i;
        if (data[bit / 8] >> (bit % 8) & 1)
            value |= 1u << i;
    }
    return value;
}

void insert(std::vector<uint8_t>& data, uint32_t offset, uint8_t bits, uint32_t value)
{
    for (uint8_t i = 0; i < bits; ++i) {
        const uint32_t bit = offset + i;
        if (value >> i & 1)
            data[bit / 8] = static_cast<uint8_t>(data[bit / 8] | 1u << (bit % 8));
    }
}

std::string describe(const char* op, uint8_t id)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s 0x%02x", op, id);
    return text;
}

} // namespace

uint32_t HidUnit::fieldValue(const HidField& field) const
{
    if (const auto* fixed = std::get_if<uint32_t>(&field.value))
        return *fixed;
    return state.read(std::get<UnitField>(field.value));
}

std::vector<uint8_t> HidUnit::pack(const HidReport& report) const
{
    std::vector<uint8_t> data(report.byteSize, 0);
    for (const HidField& field : report.fields)
        insert(data, field.bitOffset, field.bits, fieldValue(field));
    return data;
}

std::vector<uint8_t> HidUnit::info() const
{
    const UnitConfig& v = state.values();
    std::vector<uint8_t> reply{LINKHIDSIM_OP_INFO,
                               LINKHIDSIM_OK,
                               static_cast<uint8_t>(v.usbVendorId),
                               static_cast<uint8_t>(v.usbVendorId >> 8),
                               static_cast<uint8_t>(v.usbProductId),
                               static_cast<uint8_t>(v.usbProductId >> 8)};
    reply.insert(reply.end(), v.vendorName.begin(), v.vendorName.end());
    reply.push_back(0);
    reply.insert(reply.end(), v.productName.begin(), v.productName.end());
    reply.push_back(0);
    return reply;
}

HidUnit::Outcome HidUnit::handle(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply)
{
    reply.clear();
    if (request.empty())
        return Outcome::Close;
    const uint8_t op = request[0];
    std::string what;
    FaultMode fault = FaultMode::None;
    switch (op) {
    case LINKHIDSIM_OP_INFO:
        // What the kernel knows of a plugged-in device: no fault reaches it.
        what = "info";
        reply = info();
        break;
    case LINKHIDSIM_OP_DESCRIPTOR:
        what = "descriptor";
        reply = {op, LINKHIDSIM_OK};
        reply.insert(reply.end(), reports.descriptor().begin(), reports.descriptor().end());
        break;
    case LINKHIDSIM_OP_GET_FEATURE:
        fault = state.beginRequest();
        what = describe("get", request.size() > 1 ? request[1] : 0);
        getFeature(request, fault, reply);
        break;
    case LINKHIDSIM_OP_SET_FEATURE:
        fault = state.beginRequest();
        what = describe("set", request.size() > 1 ? request[1] : 0);
        setFeature(request, fault, reply);
        break;
    default:
        if (journal)
            journal->request(state.name(), "hid", "unknown", request, {}, false, "none");
        return Outcome::Close;
    }
    if (journal)
        journal->request(state.name(), "hid", what, request, reply, !reply.empty(), faultName(fault));
    return reply.empty() ? Outcome::NoReply : Outcome::Reply;
}

void HidUnit::getFeature(const std::vector<uint8_t>& request, FaultMode fault, std::vector<uint8_t>& reply)
{
    const uint8_t op = LINKHIDSIM_OP_GET_FEATURE;
    if (fault == FaultMode::Silent)
        return;
    if (fault == FaultMode::Random) {
        reply = state.randomReply(kLongestRandomReply);
        return;
    }
    if (request.size() != 4) {
        reply = {op, LINKHIDSIM_ERR_IO};
        return;
    }
    const HidReport* report = reports.find(request[1]);
    const std::size_t length = request[2] | std::size_t(request[3]) << 8;
    if (fault == FaultMode::Reject) {
        reply = {op, LINKHIDSIM_ERR_REJECTED};
        return;
    }
    if (!report) {
        reply = {op, LINKHIDSIM_ERR_NO_REPORT};
        return;
    }
    if (length == 0) {
        reply = {op, LINKHIDSIM_ERR_IO};
        return;
    }
    std::vector<uint8_t> data = pack(*report);
    if (data.size() > length - 1)
        data.resize(length - 1);
    if (fault == FaultMode::Truncate && !data.empty())
        data.pop_back();
    if (fault == FaultMode::FlipBit && !data.empty())
        data[0] ^= 0x01;
    const uint8_t id = fault == FaultMode::BadKind ? static_cast<uint8_t>(report->id + 1) : report->id;
    reply = {op, LINKHIDSIM_OK, id};
    reply.insert(reply.end(), data.begin(), data.end());
}

void HidUnit::setFeature(const std::vector<uint8_t>& request, FaultMode fault, std::vector<uint8_t>& reply)
{
    const uint8_t op = LINKHIDSIM_OP_SET_FEATURE;
    if (fault == FaultMode::Silent)
        return;
    if (fault == FaultMode::Random) {
        reply = state.randomReply(kLongestRandomReply);
        return;
    }
    if (request.size() < 2) {
        reply = {op, LINKHIDSIM_ERR_IO};
        return;
    }
    if (fault == FaultMode::Reject) {
        reply = {op, LINKHIDSIM_ERR_REJECTED};
        return;
    }
    const HidReport* report = reports.find(request[1]);
    if (!report) {
        reply = {op, LINKHIDSIM_ERR_NO_REPORT};
        return;
    }
    const std::vector<uint8_t> data(request.begin() + 2, request.end());
    if (data.size() != report->byteSize) {
        reply = {op, LINKHIDSIM_ERR_IO};
        return;
    }
    // All or nothing: a report that changes a read-only field or leaves a
    // field's logical range is refused before anything is stored.
    for (const HidField& field : report->fields) {
        const uint32_t value = extract(data, field.bitOffset, field.bits);
        if ((!field.writable && value != fieldValue(field)) || value > field.logicalMax) {
            reply = {op, LINKHIDSIM_ERR_REJECTED};
            return;
        }
    }
    for (const HidField& field : report->fields) {
        if (!field.writable)
            continue;
        const uint32_t value = extract(data, field.bitOffset, field.bits);
        if (const auto* unitField = std::get_if<UnitField>(&field.value))
            state.write(*unitField, value);
    }
    if (fault == FaultMode::BadKind)
        reply = {LINKHIDSIM_OP_GET_FEATURE, LINKHIDSIM_OK};
    else if (fault == FaultMode::Truncate)
        reply = {op};
    else
        reply = {op, LINKHIDSIM_OK};
}

} // namespace varnel::upssim
