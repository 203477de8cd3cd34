#include "device/DeltaUSB.h"
#include "ScriptedPorts.h"
#include "device/CAnyPort.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

using scripted::HidCall;
using Bytes = std::vector<std::uint8_t>;

// Usages as the unit documents them, not from hidusages.h: the class and the
// scripted unit both take that table, so only these numbers would catch a slip in it.
constexpr std::uint32_t vendor = 0xFFFF;

HidCall get(std::uint32_t page, std::uint8_t usage)
{
    return {false, page, usage, 0};
}
HidCall set(std::uint8_t usage, std::uint32_t value)
{
    return {true, vendor, usage, value};
}

class DeltaUSBTest : public ::testing::Test {
protected:
    // Loads the unit through a port opened the way discovery opens it.
    bool load(scripted::Unit& unit, DeltaUSB& device, bool withCallback = true)
    {
        const PortDescriptor d = test::ScriptedPorts::descriptor(PORT_TRANSPORT_HID, unit);
        PortDescriptor opened = d;
        CAnyPort port;
        port.setTransport(PORT_TRANSPORT_HID);
        EXPECT_TRUE(port.open(&opened));
        device.setPortInfo(d);
        const bool loaded = withCallback ? device.load(port, status.callback(), &ports.messages())
                                         : device.load(port, nullptr, &ports.messages());
        EXPECT_TRUE(port.close());
        return loaded;
    }

    test::ScriptedPorts ports;
    test::SleepRecorder sleeps;
    test::StatusLog status;
};

TEST_F(DeltaUSBTest, LoadReadsEveryUsageInOrderWithWaitsAndProgress)
{
    auto& unit = ports.addHid("hid-1");
    DeltaUSB device;
    ASSERT_TRUE(load(unit, device));

    // What the computation rests on, and the names, are read twice, one read after the other.
    std::vector<HidCall> expected{get(vendor, 104), get(vendor, 104), get(0x84, 254),  get(0x84, 254),
                                  get(0x84, 253),   get(0x84, 253),   get(vendor, 98), get(vendor, 98),
                                  get(vendor, 96),  get(vendor, 96),  get(vendor, 97), get(vendor, 103)};
    for (std::uint8_t j = 0; j < 20; ++j) {
        expected.push_back(set(99, j));
        expected.push_back(get(vendor, 100));
    }
    for (std::uint8_t i = 0; i < 9; ++i) {
        expected.push_back(set(101, i));
        expected.push_back(get(vendor, 102));
    }
    EXPECT_EQ(expected, unit.hidCalls);
    EXPECT_EQ(std::vector<std::uint32_t>(7, 1500), sleeps.durations());

    ASSERT_FALSE(status.entries.empty());
    EXPECT_EQ(ports.text("msg.foundandloading"), status.entries[0].text);
    EXPECT_EQ(1u, status.entries[0].newLine);
    EXPECT_EQ(8u, status.dots()); // 0, 4, 8, 12, 16 and 0, 3, 6
    EXPECT_EQ(9u, status.entries.size());

    EXPECT_EQ(1u, device.getConfigurationInfo());
    EXPECT_EQ("Scripted UPS", device.getProductName());
    EXPECT_EQ("Scripted Maker", device.getVendorName());
    EXPECT_EQ(2, device.getInternalBatteryCount());
    EXPECT_EQ(1, device.getInternalBatteryType());
    EXPECT_EQ(3, device.getExternalBatteryCount());
    EXPECT_EQ(4, device.getCTableHighB());
    EXPECT_EQ(test::bytes(unit.values().batteryTable), device.getBatteryTableValues());
    EXPECT_EQ(test::bytes(unit.values().cTable), device.getCTableValues());
    EXPECT_TRUE(ports.logHas("Reading Battery Table Value Index 19"));
}

TEST_F(DeltaUSBTest, NamesFromTheDescriptorAreNotAskedForAndSixteenBitValuesAreLowByteFirst)
{
    auto& unit = ports.addHid("hid-1");
    unit.descriptorVendor = "Port Vendor";
    unit.descriptorProduct = "Port Product";
    unit.config.externalBatteryCount = 300;
    unit.config.configurationInfo = 0x1F;
    DeltaUSB device;
    ASSERT_TRUE(load(unit, device, false));
    for (const auto& call : unit.hidCalls)
        EXPECT_NE(0x84u, call.page);
    // The wait after the vendor name stays even when it is not asked for.
    EXPECT_EQ(std::vector<std::uint32_t>(6, 1500), sleeps.durations());
    EXPECT_EQ("Port Vendor", device.getVendorName());
    EXPECT_EQ("Port Product", device.getProductName());
    EXPECT_EQ(300, device.getExternalBatteryCount());
    EXPECT_EQ(0x1Fu, device.getConfigurationInfo());
    EXPECT_TRUE(status.entries.empty());
}

TEST_F(DeltaUSBTest, UnitWithoutExternalPacksStopsAfterOneReadAndOneWait)
{
    auto& unit = ports.addHid("hid-1");
    unit.config.configurationInfo = 0;
    DeltaUSB device;
    EXPECT_FALSE(load(unit, device));
    EXPECT_EQ(1u, unit.hidCalls.size());
    EXPECT_EQ(std::vector<std::uint32_t>{1500}, sleeps.durations());
    EXPECT_TRUE(status.entries.empty());
}

TEST_F(DeltaUSBTest, NamesEndAtTheReportedLengthOrTheirFirstZero)
{
    auto& unit = ports.addHid("hid-1");
    unit.hidLengths[254] = 4;
    unit.replies[253] = {'A', 'B', 0, 'C'};
    DeltaUSB device;
    ASSERT_TRUE(load(unit, device));
    EXPECT_EQ("Scri", device.getProductName());
    EXPECT_EQ("AB", device.getVendorName());
}

TEST_F(DeltaUSBTest, RepliesTooLongForTheBufferAreFailedReads)
{
    {
        auto& unit = ports.addHid("config-256");
        unit.hidLengths[104] = 256;
        DeltaUSB device;
        EXPECT_FALSE(load(unit, device));
        EXPECT_EQ(0u, device.getConfigurationInfo());
    }
    {
        // A name read that fails is skipped, not fatal.
        auto& unit = ports.addHid("name-300");
        unit.hidLengths[254] = 300;
        DeltaUSB device;
        EXPECT_TRUE(load(unit, device));
        EXPECT_EQ("", device.getProductName());
    }
    {
        auto& unit = ports.addHid("value-1000");
        unit.hidLengths[102] = 1000;
        DeltaUSB device;
        EXPECT_FALSE(load(unit, device));
        EXPECT_TRUE(ports.logHas("Failed to retrieve C Table value at index 0"));
    }
}

TEST_F(DeltaUSBTest, MisbehavingUnitsFailTheLoadCleanly)
{
    for (scripted::Unit* unit : ports.addMisbehaving(scripted::Protocol::Hid)) {
        DeltaUSB device;
        EXPECT_FALSE(load(*unit, device)) << unit->portName;
    }
    auto& unit = ports.addHid("index-fails");
    unit.failWritesAfter = 3;
    DeltaUSB device;
    EXPECT_FALSE(load(unit, device));
    EXPECT_TRUE(ports.logHas("Failed to set battery table index 3"));
    EXPECT_EQ(HidCall(set(99, 3)), unit.hidCalls.back());
}

class DeltaUSBSave : public DeltaUSBTest {
protected:
    void SetUp() override
    {
        auto& unit = ports.addHid("hid-1");
        ASSERT_TRUE(load(unit, device));
        device.setCTableHighB(7);
        device.setExternalBatteryCount(300);
        Bytes table(20);
        for (std::uint8_t i = 0; i < 20; ++i)
            table[i] = static_cast<std::uint8_t>(100 + i);
        device.setBatteryTableValues(table);
        device.setCTableValues({11, 12, 13, 14, 15, 16, 17, 18, 19});
        unit.hidCalls.clear();
        status.entries.clear();
        saveStart = sleeps.durations().size();
    }
    scripted::Unit& unit() { return ports.hid().units[0]; }
    std::vector<std::uint32_t> saveSleeps() const
    {
        return {sleeps.durations().begin() + static_cast<std::ptrdiff_t>(saveStart),
                sleeps.durations().end()};
    }

    DeltaUSB device;
    std::size_t saveStart = 0;
};

TEST_F(DeltaUSBSave, WritesEveryUsageWithItsPauses)
{
    ASSERT_TRUE(device.save());
    std::vector<HidCall> expected{set(103, 7), set(97, 300)};
    for (std::uint8_t i = 0; i < 20; ++i) {
        expected.push_back(set(99, i));
        expected.push_back(set(100, 100u + i));
    }
    for (std::uint8_t j = 0; j < 9; ++j) {
        expected.push_back(set(101, j));
        expected.push_back(set(102, 11u + j));
    }
    EXPECT_EQ(expected, unit().hidCalls);
    EXPECT_EQ((std::vector<std::uint32_t>{3000, 2000, 2000, 2000}), saveSleeps());
    EXPECT_EQ(300, unit().values().externalBatteryCount);
    EXPECT_EQ(device.getBatteryTableValues(), test::bytes(unit().values().batteryTable));
    EXPECT_EQ(2, unit().openCount);
    EXPECT_EQ(2, unit().closeCount);
}

TEST_F(DeltaUSBSave, RefusesIncompleteTablesWithoutTouchingThePort)
{
    device.setBatteryTableValues(Bytes(21, 1));
    EXPECT_FALSE(device.save());
    device.setBatteryTableValues(Bytes(20, 1));
    device.setCTableValues(Bytes(8, 1));
    EXPECT_FALSE(device.save());
    EXPECT_TRUE(ports.logHas("There are only 21 values in the battery table!"));
    EXPECT_TRUE(ports.logHas("There are only 8 values in the C Table!"));
    EXPECT_EQ(1, unit().openCount);
    EXPECT_TRUE(saveSleeps().empty());
}

TEST_F(DeltaUSBSave, AFailedWriteStopsAtOnceAndClosesThePort)
{
    // High B, count, 40 battery table writes, C table entries 0 to 3; the index 4 fails.
    unit().failWritesAfter = static_cast<int>(unit().writes) + 2 + 40 + 8;
    EXPECT_FALSE(device.save());
    EXPECT_EQ(HidCall(set(101, 4)), unit().hidCalls.back());
    EXPECT_TRUE(ports.logHas("Failed to set C Table index 4"));
    EXPECT_EQ(2, unit().closeCount);

    unit().failWritesAfter = unit().writes;
    unit().hidCalls.clear();
    EXPECT_FALSE(device.save());
    EXPECT_EQ(1u, unit().hidCalls.size());
    EXPECT_TRUE(ports.logHas("Failed to save C Table High B Index for DeltaUSB device"));
}

TEST_F(DeltaUSBSave, APortThatDoesNotOpenIsReported)
{
    unit().opens = false;
    EXPECT_FALSE(device.save());
    EXPECT_TRUE(ports.logHas("Failed to open port hid-1 to save DeltaUSB information"));
    EXPECT_TRUE(unit().hidCalls.empty());
}

} // namespace
} // namespace varnel
