#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace linkhid {

// Where one usage lives inside a feature report. Offsets count from the first
// data bit after the report id byte.
struct HidField {
    uint8_t reportId = 0;
    uint32_t bitOffset = 0;
    uint32_t bitSize = 0;
};

// The feature-report layout of one HID device, read from its report
// descriptor. Only what the port library needs: which feature report, bit
// offset and size carry a (usage page, usage id), how long each feature report
// is, and whether the device is a power device at all.
class HidReportDescriptor {
public:
    // Descriptors are capped by the kernel at this size.
    static constexpr size_t kMaxDescriptorBytes = 4096;
    // Longest feature report data we handle; it still fits one simulator message.
    static constexpr uint32_t kMaxReportBytes = 4093;
    // Wider fields could not be returned in the caller's 256-byte buffer.
    static constexpr uint32_t kMaxFieldBits = 255 * 8;
    static constexpr size_t kMaxFields = 16384;

    // False for a descriptor that cannot be trusted; error() says why and
    // nothing parsed so far is kept.
    bool parse(const uint8_t* data, size_t size);

    const HidField* featureField(uint32_t usagePage, uint32_t usageId) const;
    // Data bytes of a feature report (without the id byte); 0 if unknown.
    uint32_t featureReportBytes(uint8_t reportId) const;
    // An application collection on the Power Device or Battery System page.
    bool isPowerDevice() const { return powerDevice; }
    // The usage page of each top-level application collection, in order (0
    // for one without a usage): what the device says it is.
    const std::vector<uint32_t>& topLevelPages() const { return topLevel; }
    size_t fieldCount() const { return fields.size(); }
    // Keyed by usage page << 16 | usage id.
    const std::map<uint32_t, HidField>& allFields() const { return fields; }
    const std::string& error() const { return failure; }

private:
    std::map<uint32_t, HidField> fields;
    std::map<uint8_t, uint64_t> featureBits;
    bool powerDevice = false;
    std::vector<uint32_t> topLevel;
    std::string failure;
};

} // namespace linkhid
