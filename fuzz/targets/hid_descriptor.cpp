#include "HidFieldValue.h"
#include "HidReportDescriptor.h"
#include "support/FuzzInput.h"
#include "support/FuzzSetup.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace varnel;

namespace {

constexpr std::size_t valueCapacity = 256;

std::uint32_t littleEndian(const std::uint8_t* bytes, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count && i < 4; ++i)
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return value;
}

} // namespace

// Input: a 16-bit descriptor length, the descriptor, then the report data
// every parsed field is read from and written into.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    const std::size_t length = input.word();
    const std::string_view descriptor = input.bytes(length);
    const std::string_view tail = input.rest();

    linkhid::HidReportDescriptor layout;
    const bool parsed =
        layout.parse(reinterpret_cast<const std::uint8_t*>(descriptor.data()), descriptor.size());
    if (!parsed) {
        fuzz::require(layout.fieldCount() == 0 && !layout.error().empty());
        return 0;
    }
    fuzz::require(layout.fieldCount() <= linkhid::HidReportDescriptor::kMaxFields);

    std::vector<std::uint8_t> report(tail.begin(), tail.end());
    std::uint8_t value[valueCapacity];
    for (const auto& [key, field] : layout.allFields()) {
        fuzz::require(layout.featureField(key >> 16, key & 0xFFFF) != nullptr);
        const std::uint32_t reportBytes = layout.featureReportBytes(field.reportId);
        fuzz::require(reportBytes <= linkhid::HidReportDescriptor::kMaxReportBytes);
        fuzz::require(field.bitSize <= linkhid::HidReportDescriptor::kMaxFieldBits);
        // A field the parser kept lies inside its own report.
        fuzz::require(std::uint64_t{field.bitOffset} + field.bitSize <= std::uint64_t{reportBytes} * 8);

        const std::size_t got = linkhid::readField(field, report.data(), report.size(), value, sizeof value);
        fuzz::require(got <= sizeof value);
        if (got == 0)
            continue;
        // What is written must read back unchanged.
        std::uint32_t wanted = littleEndian(value, got) ^ 0x5A5A5A5Au;
        if (field.bitSize < 32)
            wanted &= (1u << field.bitSize) - 1u;
        fuzz::require(linkhid::writeField(field, report.data(), report.size(), wanted));
        fuzz::require(linkhid::readField(field, report.data(), report.size(), value, sizeof value) == got);
        fuzz::require(littleEndian(value, got) == wanted);
    }
    return 0;
}
