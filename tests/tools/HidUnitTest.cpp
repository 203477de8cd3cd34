#include "HidUnit.h"
#include "HidWire.h"
#include "linkhidsim.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace varnel::upssim;
using Bytes = std::vector<uint8_t>;

namespace {

struct Placement {
    uint8_t reportId;
    uint32_t bitOffset;
    uint32_t bits;
};

// Reads a report descriptor the way a host does, independent of how the
// simulator built it: (page << 16 | usage) -> where the feature field lies.
struct ParsedDescriptor {
    std::map<uint32_t, Placement> features;
    std::vector<uint32_t> applications; // page << 16 | usage of each application collection
    bool balanced = false;
};

ParsedDescriptor parse(const Bytes& d)
{
    ParsedDescriptor out;
    uint32_t page = 0, size = 0, count = 0;
    uint8_t reportId = 0;
    std::vector<uint32_t> usages;
    std::map<uint8_t, uint32_t> offsets;
    int depth = 0;
    for (std::size_t i = 0; i < d.size();) {
        const uint8_t prefix = d[i];
        const std::size_t n = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + n > d.size())
            return out;
        uint32_t value = 0;
        for (std::size_t k = 0; k < n; ++k)
            value |= uint32_t(d[i + 1 + k]) << (8 * k);
        switch (prefix & 0xFC) {
        case 0x04:
            page = value;
            break;
        case 0x08:
            usages.push_back(page << 16 | value);
            break;
        case 0x84:
            reportId = uint8_t(value);
            break;
        case 0x74:
            size = value;
            break;
        case 0x94:
            count = value;
            break;
        case 0xA0:
            if (value == 1 && !usages.empty())
                out.applications.push_back(usages.back());
            ++depth;
            usages.clear();
            break;
        case 0xC0:
            --depth;
            break;
        case 0xB0:
            for (uint32_t k = 0; k < count; ++k) {
                const uint32_t usage =
                    usages.empty() ? 0 : usages[std::min<std::size_t>(k, usages.size() - 1)];
                out.features[usage] = {reportId, offsets[reportId], size};
                offsets[reportId] += size;
            }
            usages.clear();
            break;
        default:
            break;
        }
        i += 1 + n;
    }
    out.balanced = depth == 0;
    return out;
}

struct Hid {
    UnitConfig config;
    std::ostringstream journalText;
    Journal journal{journalText, [] { return 0.0; }};
    PowerDeviceReports reports;
    std::unique_ptr<UnitState> state;
    std::unique_ptr<HidUnit> unit;
    ParsedDescriptor layout = parse(reports.descriptor());

    explicit Hid(FaultMode fault = FaultMode::None, uint32_t after = 0)
    {
        config.name = "hid1";
        config.protocol = UnitProtocol::Hid;
        config.configurationInfo = 0x1234;
        config.internalBatteryCount = 6;
        config.internalBatteryType = 2;
        config.externalBatteryCount = 0x0102;
        config.fault = fault;
        config.faultAfter = after;
        state = std::make_unique<UnitState>(config, &journal);
        unit = std::make_unique<HidUnit>(*state, &journal, reports);
    }
    Bytes ask(const Bytes& request)
    {
        Bytes reply;
        unit->handle(request, reply);
        return reply;
    }
    Bytes get(uint8_t id) { return ask({LINKHIDSIM_OP_GET_FEATURE, id, 64, 0}); }
    // Reads the usage's field through the descriptor, as linkhid does.
    uint32_t usage(uint16_t page, uint8_t id)
    {
        const Placement p = layout.features.at(uint32_t(page) << 16 | id);
        const Bytes reply = get(p.reportId);
        EXPECT_EQ(reply[1], LINKHIDSIM_OK);
        uint32_t value = 0;
        for (uint32_t b = 0; b < p.bits; ++b)
            value |= uint32_t(reply[3 + (p.bitOffset + b) / 8] >> ((p.bitOffset + b) % 8) & 1) << b;
        return value;
    }
    uint8_t set(uint16_t page, uint8_t id, uint32_t value)
    {
        const Placement p = layout.features.at(uint32_t(page) << 16 | id);
        Bytes report = get(p.reportId);
        report.erase(report.begin(), report.begin() + 3);
        for (uint32_t b = 0; b < p.bits; ++b) {
            const uint32_t bit = p.bitOffset + b;
            report[bit / 8] = uint8_t((report[bit / 8] & ~(1u << bit % 8)) | ((value >> b & 1) << bit % 8));
        }
        Bytes request{LINKHIDSIM_OP_SET_FEATURE, p.reportId};
        for (uint8_t b : report)
            request.push_back(b);
        const Bytes reply = ask(request);
        return reply.size() >= 2 ? reply[1] : 0xFF;
    }
};

// Usages as the unit documents them, not from hidusages.h, which the simulator takes.
constexpr uint16_t kVendor = 0xFFFF;

} // namespace

TEST(HidUnit, DescriptorIsAPowerDeviceCarryingEveryUsage)
{
    Hid h;
    ASSERT_TRUE(h.layout.balanced);
    ASSERT_EQ(h.layout.applications, (std::vector<uint32_t>{0x840004}));
    for (uint8_t usage = 96; usage <= 104; ++usage)
        EXPECT_TRUE(h.layout.features.count(uint32_t(kVendor) << 16 | usage)) << int(usage);
    EXPECT_TRUE(h.layout.features.count(0x8400FE));
    EXPECT_TRUE(h.layout.features.count(0x8400FD));
    EXPECT_EQ(h.layout.features.at(0xFFFF0068).bits, 16u);
    EXPECT_EQ(h.layout.features.at(0xFFFF0061).bits, 16u);
    // Each report's announced size agrees with what a get returns.
    for (const HidReport& report : h.reports.reports()) {
        const Bytes reply = h.get(report.id);
        EXPECT_EQ(reply.size(), 3 + report.byteSize) << int(report.id);
    }
}

TEST(HidUnit, ReadsAndWritesThroughTheDescriptorLayout)
{
    Hid h;
    EXPECT_EQ(h.usage(kVendor, 104), 0x1234u);
    EXPECT_EQ(h.usage(kVendor, 98), 6u);
    EXPECT_EQ(h.usage(kVendor, 96), 2u);
    EXPECT_EQ(h.usage(kVendor, 97), 0x0102u);

    EXPECT_EQ(h.set(kVendor, 97, 513), LINKHIDSIM_OK);
    EXPECT_EQ(h.set(kVendor, 103, 8), LINKHIDSIM_OK);
    for (uint8_t i = 0; i < 20; ++i) {
        EXPECT_EQ(h.set(kVendor, 99, i), LINKHIDSIM_OK);
        EXPECT_EQ(h.set(kVendor, 100, 100u + i), LINKHIDSIM_OK);
    }
    for (uint8_t j = 0; j < 9; ++j) {
        EXPECT_EQ(h.set(kVendor, 101, j), LINKHIDSIM_OK);
        EXPECT_EQ(h.set(kVendor, 102, 9u - j), LINKHIDSIM_OK);
    }
    EXPECT_EQ(h.usage(kVendor, 97), 513u);
    EXPECT_EQ(h.usage(kVendor, 103), 8u);
    h.set(kVendor, 99, 17);
    EXPECT_EQ(h.usage(kVendor, 100), 117u);
    h.set(kVendor, 101, 0);
    EXPECT_EQ(h.usage(kVendor, 102), 9u);

    const Bytes info = h.ask({LINKHIDSIM_OP_INFO});
    const Bytes expected{'I', 0, 0x09, 0x12, 0x01, 0x00};
    EXPECT_EQ(Bytes(info.begin(), info.begin() + 6), expected);
    EXPECT_EQ(std::string(info.begin() + 6, info.end()), std::string("Simulated Power\0SIM-UPS\0", 24));
}

TEST(HidUnit, RefusesBadReportsWithoutChangingAnything)
{
    Hid h;
    EXPECT_EQ(h.set(kVendor, 99, 20), LINKHIDSIM_ERR_REJECTED); // beyond the logical maximum
    EXPECT_EQ(h.set(kVendor, 104, 7), LINKHIDSIM_ERR_REJECTED); // read-only
    EXPECT_EQ(h.state->values().configurationInfo, 0x1234);
    EXPECT_EQ(h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x61, 1}), (Bytes{'S', LINKHIDSIM_ERR_IO})); // short
    EXPECT_EQ(h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x70, 1}), (Bytes{'S', LINKHIDSIM_ERR_NO_REPORT}));
    EXPECT_EQ(h.ask({LINKHIDSIM_OP_GET_FEATURE, 0x70, 64, 0}), (Bytes{'G', LINKHIDSIM_ERR_NO_REPORT}));
    EXPECT_EQ(h.ask({LINKHIDSIM_OP_GET_FEATURE, 0x60}), (Bytes{'G', LINKHIDSIM_ERR_IO}));
    // A get is cut to the caller's buffer, the report id counted.
    EXPECT_EQ(h.ask({LINKHIDSIM_OP_GET_FEATURE, 0x60, 2, 0}), (Bytes{'G', LINKHIDSIM_OK, 0x60, 0x34}));
    Bytes reply;
    EXPECT_EQ(h.unit->handle({0x7A}, reply), HidUnit::Outcome::Close);
    EXPECT_EQ(h.state->values().externalBatteryCount, 0x0102);
}

TEST(HidUnit, FaultModes)
{
    {
        Hid h(FaultMode::Silent, 3);
        EXPECT_EQ(h.set(kVendor, 103, 1), LINKHIDSIM_OK); // a get and a set
        Bytes reply;
        EXPECT_EQ(h.unit->handle({LINKHIDSIM_OP_GET_FEATURE, 0x60, 64, 0}, reply), HidUnit::Outcome::Reply);
        EXPECT_EQ(h.unit->handle({LINKHIDSIM_OP_GET_FEATURE, 0x60, 64, 0}, reply), HidUnit::Outcome::NoReply);
        // The enumeration still sees the device.
        EXPECT_EQ(h.unit->handle({LINKHIDSIM_OP_DESCRIPTOR}, reply), HidUnit::Outcome::Reply);
    }
    {
        Hid h(FaultMode::Reject);
        EXPECT_EQ(h.get(0x60), (Bytes{'G', LINKHIDSIM_ERR_REJECTED}));
        EXPECT_EQ(h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x67, 9}), (Bytes{'S', LINKHIDSIM_ERR_REJECTED}));
        EXPECT_EQ(h.state->values().cTableHighB, 5);
    }
    {
        Hid h(FaultMode::BadKind);
        EXPECT_EQ(h.get(0x67), (Bytes{'G', LINKHIDSIM_OK, 0x68, 5}));
        EXPECT_EQ(h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x67, 9}), (Bytes{'G', LINKHIDSIM_OK}));
    }
    {
        Hid h(FaultMode::Truncate);
        EXPECT_EQ(h.get(0x61), (Bytes{'G', LINKHIDSIM_OK, 0x61, 0x02}));
        EXPECT_EQ(h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x67, 9}), (Bytes{'S'}));
    }
    {
        Hid h(FaultMode::IgnoreWrites);
        EXPECT_EQ(h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x67, 9}), (Bytes{'S', LINKHIDSIM_OK}));
        EXPECT_EQ(h.get(0x67)[3], 5);
    }
    {
        Hid h(FaultMode::WrongValue);
        h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x63, 2});
        h.ask({LINKHIDSIM_OP_SET_FEATURE, 0x64, 50});
        EXPECT_EQ(h.get(0x64)[3], 51);
        EXPECT_NE(h.journalText.str().find(R"("field":"batteryTable","index":2,"value":50,"stored":51)"),
                  std::string::npos);
    }
}

TEST(HidWire, SplitsMessagesAndRefusesBadLengths)
{
    HidWire wire;
    Bytes stream = HidWire::encode({'I'});
    const Bytes second = HidWire::encode({'G', 0x60, 64, 0});
    stream.insert(stream.end(), second.begin(), second.end());
    ASSERT_TRUE(wire.feed(stream.data(), 7));
    Bytes message;
    ASSERT_TRUE(wire.next(message));
    EXPECT_EQ(message, Bytes{'I'});
    EXPECT_FALSE(wire.next(message));
    ASSERT_TRUE(wire.feed(stream.data() + 7, stream.size() - 7));
    ASSERT_TRUE(wire.next(message));
    EXPECT_EQ(message, (Bytes{'G', 0x60, 64, 0}));

    HidWire zero;
    const Bytes empty{0, 0, 0, 0};
    EXPECT_FALSE(zero.feed(empty.data(), empty.size()));
    HidWire huge;
    const Bytes tooLong{0x01, 0x10, 0, 0, 'I'}; // 4097
    EXPECT_FALSE(huge.feed(tooLong.data(), tooLong.size()));
    EXPECT_FALSE(huge.next(message));
}
