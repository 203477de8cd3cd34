#include "HidReportDescriptor.h"

#include "hidusages.h"

#include <algorithm>
#include <vector>

namespace linkhid {

namespace {

enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };

enum MainTag : uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC
};

enum GlobalTag : uint8_t {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB
};

enum LocalTag : uint8_t { kUsage = 0x0, kUsageMinimum = 0x1, kUsageMaximum = 0x2 };

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kApplicationCollection = 0x01;
constexpr uint32_t kMainVariableBit = 0x02;
constexpr size_t kMaxPushDepth = 16;
constexpr size_t kMaxCollectionDepth = 64;
constexpr size_t kMaxUsagesPerItem = 1024;
constexpr uint8_t kShortItemDataBytes[4] = {0, 1, 2, 4};

struct GlobalState {
    uint32_t usagePage = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// A run of consecutive usage ids on one page; a single usage has first == last.
struct UsageRange {
    uint32_t page;
    uint32_t first;
    uint32_t last;
};

uint32_t key(uint32_t page, uint32_t usage)
{
    return (page << 16) | usage;
}

} // namespace

bool HidReportDescriptor::parse(const uint8_t* data, size_t size)
{
    fields.clear();
    featureBits.clear();
    powerDevice = false;
    topLevel.clear();
    failure.clear();
    auto fail = [this](const std::string& why) {
        fields.clear();
        featureBits.clear();
        powerDevice = false;
        topLevel.clear();
        failure = why;
        return false;
    };
    if (!data || size == 0)
        return fail("empty report descriptor");
    if (size > kMaxDescriptorBytes)
        return fail("report descriptor longer than 4096 bytes");

    GlobalState global;
    std::vector<GlobalState> pushed;
    std::vector<UsageRange> usages;
    bool haveMinimum = false;
    UsageRange pendingRange{0, 0, 0};
    size_t collectionDepth = 0;

    size_t pos = 0;
    while (pos < size) {
        const uint8_t prefix = data[pos++];
        if (prefix == kLongItemPrefix) {
            // Long items carry nothing we use; only their length matters.
            if (size - pos < 2)
                return fail("truncated long item");
            const size_t length = data[pos];
            pos += 2;
            if (size - pos < length)
                return fail("truncated long item");
            pos += length;
            continue;
        }
        const size_t dataBytes = kShortItemDataBytes[prefix & 0x3];
        const uint8_t type = (prefix >> 2) & 0x3;
        const uint8_t tag = prefix >> 4;
        if (size - pos < dataBytes)
            return fail("item at byte " + std::to_string(pos - 1) + " runs past the end");
        uint32_t value = 0;
        for (size_t i = 0; i < dataBytes; ++i)
            value |= static_cast<uint32_t>(data[pos + i]) << (8 * i);
        pos += dataBytes;

        if (type == kGlobal) {
            switch (tag) {
            case kUsagePage:
                global.usagePage = value & 0xFFFF;
                break;
            case kReportSize:
                global.reportSize = value;
                break;
            case kReportCount:
                global.reportCount = value;
                break;
            case kReportId:
                if (value == 0 || value > 0xFF)
                    return fail("report id " + std::to_string(value) + " out of range");
                global.reportId = static_cast<uint8_t>(value);
                break;
            case kPush:
                if (pushed.size() >= kMaxPushDepth)
                    return fail("global state pushed too deep");
                pushed.push_back(global);
                break;
            case kPop:
                if (pushed.empty())
                    return fail("pop without push");
                global = pushed.back();
                pushed.pop_back();
                break;
            default:
                break;
            }
        } else if (type == kLocal) {
            // A four-byte usage names its own page in the upper half.
            const uint32_t page = dataBytes == 4 ? value >> 16 : global.usagePage;
            const uint32_t id = value & 0xFFFF;
            if (tag == kUsage || tag == kUsageMaximum) {
                if (usages.size() >= kMaxUsagesPerItem)
                    return fail("too many usages before one item");
            }
            if (tag == kUsage) {
                usages.push_back({page, id, id});
            } else if (tag == kUsageMinimum) {
                pendingRange = {page, id, id};
                haveMinimum = true;
            } else if (tag == kUsageMaximum) {
                if (!haveMinimum)
                    return fail("usage maximum without minimum");
                if (id < pendingRange.first)
                    return fail("usage maximum below its minimum");
                pendingRange.last = id;
                usages.push_back(pendingRange);
                haveMinimum = false;
            }
        } else if (type == kMain) {
            if (tag == kCollection) {
                if (collectionDepth >= kMaxCollectionDepth)
                    return fail("collections nested too deep");
                if (collectionDepth == 0 && (value & 0xFF) == kApplicationCollection)
                    topLevel.push_back(usages.empty() ? 0 : usages.front().page);
                ++collectionDepth;
                if ((value & 0xFF) == kApplicationCollection && !usages.empty() &&
                    (usages.front().page == HID_PAGE_POWER_DEVICE ||
                     usages.front().page == HID_PAGE_BATTERY_SYSTEM))
                    powerDevice = true;
            } else if (tag == kEndCollection) {
                if (collectionDepth == 0)
                    return fail("end of a collection that was never opened");
                --collectionDepth;
            } else if (tag == kFeature) {
                uint64_t& bits = featureBits[global.reportId];
                const uint64_t start = bits;
                const uint64_t limit = static_cast<uint64_t>(kMaxReportBytes) * 8;
                const uint64_t itemBits = static_cast<uint64_t>(global.reportSize) * global.reportCount;
                bits = std::min(limit + 1, start + itemBits);
                const bool mapped = (value & kMainVariableBit) && global.reportSize > 0 &&
                                    global.reportSize <= kMaxFieldBits && !usages.empty();
                if (mapped) {
                    // Field i takes usage i; extra fields repeat the last usage, so only
                    // as many fields as there are usages can add a mapping.
                    uint64_t offset = start;
                    uint32_t index = 0;
                    size_t range = 0;
                    uint32_t next = usages[0].first;
                    while (index < global.reportCount && range < usages.size() &&
                           fields.size() < kMaxFields && offset + global.reportSize <= limit) {
                        fields.emplace(
                            key(usages[range].page, next),
                            HidField{global.reportId, static_cast<uint32_t>(offset), global.reportSize});
                        offset += global.reportSize;
                        ++index;
                        if (next < usages[range].last) {
                            ++next;
                        } else if (++range < usages.size()) {
                            next = usages[range].first;
                        }
                    }
                }
            }
            // Input and output reports are not ours; every main item ends the local state.
            usages.clear();
            haveMinimum = false;
        }
        // Reserved short items are skipped, as the kernel does.
    }
    // Unclosed collections change nothing we read, so they are tolerated.
    return true;
}

const HidField* HidReportDescriptor::featureField(uint32_t usagePage, uint32_t usageId) const
{
    if (usagePage > 0xFFFF || usageId > 0xFFFF)
        return nullptr;
    auto it = fields.find(key(usagePage, usageId));
    return it == fields.end() ? nullptr : &it->second;
}

uint32_t HidReportDescriptor::featureReportBytes(uint8_t reportId) const
{
    auto it = featureBits.find(reportId);
    if (it == featureBits.end())
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>((it->second + 7) / 8, kMaxReportBytes));
}

} // namespace linkhid
