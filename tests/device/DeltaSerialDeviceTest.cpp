#include "device/DeltaSerialDevice.h"
#include "ScriptedPorts.h"
#include "device/CAnyPort.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace varnel {
namespace {

using scripted::Fault;
using scripted::Protocol;
using Bytes = std::vector<std::uint8_t>;

const std::string rejected = "~00R000";

// A text unit's answer carrying `payload`.
std::string answer(const std::string& payload)
{
    char header[8];
    std::snprintf(header, sizeof header, "~00D%03zu", payload.size());
    return header + payload;
}

class DeltaSerialDeviceTest : public ::testing::Test {
protected:
    bool load(scripted::Unit& unit, DeltaSerialDevice& device,
              std::uint32_t transport = PORT_TRANSPORT_SERIAL)
    {
        PortDescriptor d = test::ScriptedPorts::descriptor(PORT_TRANSPORT_SERIAL, unit);
        CAnyPort port;
        port.setTransport(PORT_TRANSPORT_SERIAL);
        EXPECT_TRUE(port.open(&d));
        d.transport = transport;
        port.setTransport(transport);
        device.setPortInfo(d);
        const bool loaded = device.load(port, status.callback(), &ports.messages());
        port.setTransport(PORT_TRANSPORT_SERIAL);
        EXPECT_TRUE(port.close());
        return loaded;
    }

    test::ScriptedPorts ports;
    test::SleepRecorder sleeps;
    test::StatusLog status;
};

TEST_F(DeltaSerialDeviceTest, LoadQueriesEachItemWithItsPausesAndNoProgressDots)
{
    auto& unit = ports.addSerial("ttyS0", Protocol::Text);
    unit.descriptorProduct = "From the port";
    unit.config.configurationInfo = 0x19;
    DeltaSerialDevice device;
    ASSERT_TRUE(load(unit, device));

    // What the computation rests on, and the names, are read twice.
    const std::vector<std::string> expected{"~00P003CFI", "~00P003CFI", "~00P003IBN", "~00P003IBN",
                                            "~00P003EBP", "~00P003CBP", "~00P003MOD", "~00P003MOD",
                                            "~00P003MNU", "~00P003MNU"};
    EXPECT_EQ(expected, unit.written);
    std::vector<std::uint32_t> pauses;
    for (int i = 0; i < 10; ++i)
        pauses.insert(pauses.end(), {750, 250});
    EXPECT_EQ(pauses, sleeps.durations());
    ASSERT_EQ(1u, status.entries.size());
    EXPECT_EQ(ports.text("msg.foundandloading"), status.entries[0].text);

    EXPECT_EQ(0x19u, device.getConfigurationInfo());
    EXPECT_EQ(2, device.getInternalBatteryCount());
    EXPECT_EQ(1, device.getInternalBatteryType());
    EXPECT_EQ(3, device.getExternalBatteryCount());
    EXPECT_EQ(4, device.getCTableHighB());
    EXPECT_EQ(test::bytes(unit.values().batteryTable), device.getBatteryTableValues());
    EXPECT_EQ(test::bytes(unit.values().cTable), device.getCTableValues());
    // The unit's own name wins over the port's.
    EXPECT_EQ("Scripted UPS", device.getProductName());
    EXPECT_EQ("Scripted Maker", device.getVendorName());
}

TEST_F(DeltaSerialDeviceTest, ValuesAreDecimalsSeparatedByAnyOneCharacterAndNothingElse)
{
    using Values = std::vector<std::uint32_t>;
    EXPECT_EQ((Values{2, 1}), DeltaSerialDevice::parseFields("002;001"));
    // Kept whole: whether 300 fits is the reader's to judge, not cut to 44 here.
    EXPECT_EQ((Values{300, 7, 9}), DeltaSerialDevice::parseFields(" 300,7 9\r"));
    EXPECT_EQ(std::nullopt, DeltaSerialDevice::parseFields("1;2;"));
    EXPECT_EQ(std::nullopt, DeltaSerialDevice::parseFields("5;x;6"));
    EXPECT_EQ(std::nullopt, DeltaSerialDevice::parseFields("5;-6"));
    EXPECT_EQ(Values{}, DeltaSerialDevice::parseFields(""));
    EXPECT_EQ(std::nullopt, DeltaSerialDevice::parseFields("abc"));
    EXPECT_EQ(17u, DeltaSerialDevice::parseNumber("  17abc"));
    EXPECT_EQ(0u, DeltaSerialDevice::parseNumber("x17"));
    EXPECT_EQ(0u, DeltaSerialDevice::parseNumber(""));
}

TEST_F(DeltaSerialDeviceTest, RepliesAgreeWithTheirLengthDigits)
{
    std::string data;
    bool rejected = false;
    auto parse = [&](const std::string& reply) {
        return DeltaSerialDevice::parseReply(reinterpret_cast<const std::uint8_t*>(reply.data()),
                                             static_cast<std::uint32_t>(reply.size()), data, rejected);
    };
    EXPECT_TRUE(parse("~00D007002;001"));
    EXPECT_EQ("002;001", data);
    EXPECT_FALSE(parse("~00D008002;001")); // a byte lost on the way
    EXPECT_FALSE(parse("~00D006002;001")); // a byte of something else
    EXPECT_FALSE(parse("~00Dx07002;001"));
    EXPECT_TRUE(parse("~00A000"));
}

TEST_F(DeltaSerialDeviceTest, SaveCommandsHaveTheirFixedLayout)
{
    DeltaSerialDevice device;
    device.setExternalBatteryCount(3);
    device.setBatteryTableValues(Bytes(20, 65));
    device.setCTableHighB(5);
    device.setCTableValues(Bytes(9, 7));
    std::string first = "~00S086EBP003";
    for (int i = 0; i < 20; ++i)
        first += ";065";
    first.push_back('\0');
    std::string second = "~00S040CBP5";
    for (int i = 0; i < 9; ++i)
        second += ";007";
    second.push_back('\0');
    EXPECT_EQ(first, device.buildBatteryTableCommand());
    EXPECT_EQ(94u, first.size());
    EXPECT_EQ(second, device.buildCTableCommand());
    EXPECT_EQ(48u, second.size());
    // Wider values are written in full.
    device.setExternalBatteryCount(1234);
    device.setCTableHighB(12);
    EXPECT_EQ(0, device.buildBatteryTableCommand().compare(0, 14, "~00S086EBP1234"));
    EXPECT_EQ(0, device.buildCTableCommand().compare(0, 12, "~00S040CBP12"));
}

TEST_F(DeltaSerialDeviceTest, RepliesTooShortWrongOrRejectedFailTheLoad)
{
    {
        // Seven bytes, not rejected: an empty payload, so no external packs.
        auto& unit = ports.addSerial("empty-cfi", Protocol::Text);
        unit.textReplies["CFI"] = answer("");
        DeltaSerialDevice device;
        EXPECT_FALSE(load(unit, device));
        EXPECT_EQ(0u, device.getConfigurationInfo());
        EXPECT_EQ(1u, unit.written.size());
    }
    {
        auto& unit = ports.addSerial("rejects-ibn", Protocol::Text);
        unit.textReplies["IBN"] = rejected;
        DeltaSerialDevice device;
        EXPECT_FALSE(load(unit, device));
        EXPECT_TRUE(ports.logHas("Command '~00P003IBN' was rejected by the DeltaSerialDevice"));
    }
    for (const char* payload : {"3;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19",
                                "3;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;18;19;20;21"}) {
        auto& unit = ports.addSerial(std::string("ebp-") + payload, Protocol::Text);
        unit.textReplies["EBP"] = answer(payload);
        DeltaSerialDevice device;
        EXPECT_FALSE(load(unit, device));
    }
    EXPECT_TRUE(ports.logHas(
        "Failed to return both external battery count and battery table values for Delta Serial Device"));
    {
        auto& unit = ports.addSerial("ibn-one", Protocol::Text);
        unit.textReplies["IBN"] = answer("2");
        DeltaSerialDevice device;
        EXPECT_FALSE(load(unit, device));
        EXPECT_TRUE(
            ports.logHas("Failed to return both internal battery count and type for Delta Serial Device"));
    }
    {
        auto& unit = ports.addSerial("cbp-nine", Protocol::Text);
        unit.textReplies["CBP"] = answer("1;2;3;4;5;6;7;8;9");
        DeltaSerialDevice device;
        EXPECT_FALSE(load(unit, device));
        EXPECT_TRUE(ports.logHas(
            "Failed to return both C High Table Index and C Table values for Delta Serial Device"));
    }
}

TEST_F(DeltaSerialDeviceTest, MisbehavingUnitsFailTheLoadCleanly)
{
    for (scripted::Unit* unit : ports.addMisbehaving(scripted::Protocol::Text)) {
        DeltaSerialDevice device;
        EXPECT_FALSE(load(*unit, device)) << unit->portName;
    }
    // A framed unit does not understand the text requests.
    auto& framed = ports.addSerial("framed", Protocol::Framed);
    DeltaSerialDevice device;
    EXPECT_FALSE(load(framed, device));
    auto& failing = ports.addSerial("write-fails", Protocol::Text);
    failing.failWritesAfter = 0;
    EXPECT_FALSE(load(failing, device));
    EXPECT_EQ(1u, failing.written.size());
}

TEST_F(DeltaSerialDeviceTest, APortOfAnotherTransportFailsEveryExchangeAtOnce)
{
    auto& unit = ports.addSerial("ttyS0", Protocol::Text);
    DeltaSerialDevice device;
    EXPECT_FALSE(load(unit, device, PORT_TRANSPORT_HID));
    EXPECT_TRUE(unit.written.empty());
    EXPECT_TRUE(sleeps.durations().empty());
}

class DeltaSerialSave : public DeltaSerialDeviceTest {
protected:
    void SetUp() override
    {
        auto& unit = ports.addSerial("ttyS0", Protocol::Text);
        ASSERT_TRUE(load(unit, device));
        unit.written.clear();
        device.setExternalBatteryCount(3);
        device.setBatteryTableValues(Bytes(20, 65));
        device.setCTableHighB(5);
        device.setCTableValues(Bytes(9, 7));
        saveStart = sleeps.durations().size();
    }
    scripted::Unit& unit() { return ports.serial().units[0]; }

    DeltaSerialDevice device;
    std::size_t saveStart = 0;
};

TEST_F(DeltaSerialSave, WritesBothCommandsOnALineSetOnce)
{
    ASSERT_TRUE(device.save());
    ASSERT_EQ(2u, unit().written.size());
    EXPECT_EQ(device.buildBatteryTableCommand(), unit().written[0]);
    EXPECT_EQ(device.buildCTableCommand(), unit().written[1]);
    EXPECT_EQ((std::vector<scripted::LineSetting>{{2400, 'N', 8, 1, 0}}), unit().lineSettings);
    EXPECT_EQ(Bytes(20, 65), test::bytes(unit().values().batteryTable));
    EXPECT_EQ(5, unit().values().cTableHighB);
    EXPECT_EQ((std::vector<std::uint32_t>{750, 250, 750, 250}),
              std::vector<std::uint32_t>(sleeps.durations().begin() + static_cast<std::ptrdiff_t>(saveStart),
                                         sleeps.durations().end()));
    EXPECT_EQ(unit().openCount, unit().closeCount);
}

TEST_F(DeltaSerialSave, NoiseOnTheLineIsNoAcknowledgement)
{
    // Long enough, and no rejection marker where one would stand: still not the unit's answer.
    unit().fault = Fault::Garbage;
    EXPECT_FALSE(device.save());
    EXPECT_TRUE(ports.logHas(
        "Failed to save both external battery count and battery table values for Delta Serial Device"));
    EXPECT_EQ(2u, unit().written.size()); // tried once more
    EXPECT_EQ(unit().openCount, unit().closeCount);
}

TEST_F(DeltaSerialSave, FailuresStopTheSaveAndCloseThePort)
{
    device.setBatteryTableValues(Bytes(19, 1));
    EXPECT_FALSE(device.save());
    EXPECT_TRUE(ports.logHas("There are only 19 values in the battery table!"));
    EXPECT_TRUE(unit().written.empty());
    EXPECT_EQ(1, unit().openCount);

    // A count its three digits cannot carry (from a hand-edited backup) is never sent.
    device.setBatteryTableValues(Bytes(20, 1));
    device.setExternalBatteryCount(1000);
    EXPECT_FALSE(device.save());
    EXPECT_TRUE(unit().written.empty());
    device.setExternalBatteryCount(3);

    unit().failWritesAfter = unit().writes;
    EXPECT_FALSE(device.save());
    EXPECT_EQ(2u, unit().written.size()); // tried once more
    EXPECT_TRUE(ports.logHas(
        "Failed to save both external battery count and battery table values for Delta Serial Device"));
    EXPECT_EQ(unit().openCount, unit().closeCount);

    unit().written.clear();
    unit().failWritesAfter = -1;
    unit().textReplies["CBP"] = rejected;
    EXPECT_FALSE(device.save());
    EXPECT_EQ(2u, unit().written.size());
    // The zero byte ending a save command stays out of the log.
    EXPECT_TRUE(ports.logHas("Command '~00S040CBP5;007;007;007;007;007;007;007;007;007' was rejected by the "
                             "DeltaSerialDevice"));
    EXPECT_TRUE(
        ports.logHas("Failed to save both C Table High B Index and C Table values for Delta Serial Device"));
}

} // namespace
} // namespace varnel
