#include "device/Protocol3014.h"
#include "ScriptedPorts.h"
#include "device/CAnyPort.h"

#include <gtest/gtest.h>

namespace varnel {

using Bytes = std::vector<std::uint8_t>;
using scripted::Protocol;

namespace {

std::string frame(std::uint8_t kind, std::uint8_t command, const Bytes& payload = {})
{
    const Bytes bytes = Protocol3014::buildFrame(kind, command, payload);
    return std::string(bytes.begin(), bytes.end());
}

class Protocol3014Unit : public ::testing::Test {
protected:
    bool load(scripted::Unit& unit, Protocol3014& device)
    {
        PortDescriptor d = test::ScriptedPorts::descriptor(PORT_TRANSPORT_SERIAL, unit);
        CAnyPort port;
        port.setTransport(PORT_TRANSPORT_SERIAL);
        EXPECT_TRUE(port.open(&d));
        device.setPortInfo(d);
        const bool loaded = device.load(port, status.callback(), &ports.messages());
        EXPECT_TRUE(port.close());
        return loaded;
    }

    test::ScriptedPorts ports;
    test::SleepRecorder sleeps;
    test::StatusLog status;
};

} // namespace

TEST_F(Protocol3014Unit, LoadReadsEveryCommandWithTwentyNineDotsAndNoSleeps)
{
    auto& unit = ports.addSerial("ttyS0", Protocol::Framed);
    unit.config.externalBatteryCount = 300;
    Protocol3014 device;
    ASSERT_TRUE(load(unit, device));
    // What the computation rests on is read twice.
    std::vector<std::string> expected{frame(3, 136), frame(3, 136), frame(3, 93), frame(3, 93),
                                      frame(3, 96),  frame(3, 96),  frame(3, 99), frame(3, 135)};
    for (std::uint8_t i = 0; i < 20; ++i) {
        expected.push_back(frame(4, 131, {i}));
        expected.push_back(frame(3, 132));
    }
    for (std::uint8_t i = 0; i < 9; ++i) {
        expected.push_back(frame(4, 133, {i}));
        expected.push_back(frame(3, 134));
    }
    expected.insert(expected.end(), {frame(3, 40), frame(3, 40), frame(3, 43), frame(3, 43)});
    EXPECT_EQ(expected, unit.written);
    EXPECT_TRUE(sleeps.durations().empty());
    EXPECT_EQ(29u, status.dots());
    EXPECT_EQ(ports.text("msg.foundandloading"), status.entries.at(0).text);
    EXPECT_EQ(300, device.getExternalBatteryCount());
    EXPECT_EQ(test::bytes(unit.values().batteryTable), device.getBatteryTableValues());
    EXPECT_EQ(test::bytes(unit.values().cTable), device.getCTableValues());
    EXPECT_EQ("Scripted UPS", device.getProductName());
    EXPECT_EQ("Scripted Maker", device.getVendorName());
}

TEST_F(Protocol3014Unit, RepliesArrivingInPiecesAreReadWhole)
{
    auto& unit = ports.addSerial("ttyS0", Protocol::Framed);
    unit.fault = scripted::Fault::Trickle;
    Protocol3014 device;
    ASSERT_TRUE(load(unit, device));
    EXPECT_EQ(test::bytes(unit.values().batteryTable), device.getBatteryTableValues());
    EXPECT_EQ("Scripted UPS", device.getProductName());
}

TEST_F(Protocol3014Unit, EmptyOrFailingNameRepliesKeepTheNamesFromThePort)
{
    auto& unit = ports.addSerial("ttyS0", Protocol::Framed);
    unit.descriptorProduct = "Port Product";
    unit.descriptorVendor = "Port Vendor";
    unit.replies[40] = {0x7E, 0x02, 0x01, 40};
    unit.replies[43] = {0x7E, 0x03, 0x01, 43, 'X'};
    Protocol3014 device;
    ASSERT_TRUE(load(unit, device));
    EXPECT_EQ("Port Product", device.getProductName());
    EXPECT_EQ("Port Vendor", device.getVendorName());
}

TEST_F(Protocol3014Unit, MisbehavingUnitsFailTheLoadCleanly)
{
    for (scripted::Unit* unit : ports.addMisbehaving(scripted::Protocol::Framed)) {
        Protocol3014 device;
        EXPECT_FALSE(load(*unit, device)) << unit->portName;
    }
    auto& text = ports.addSerial("text", Protocol::Text);
    Protocol3014 device;
    EXPECT_FALSE(load(text, device));

    // A configuration word needs two bytes.
    auto& narrow = ports.addSerial("narrow", Protocol::Framed);
    narrow.replies[136] = {0x7E, 0x02, 0x02, 136, 0x01};
    EXPECT_FALSE(load(narrow, device));

    auto& index = ports.addSerial("index", Protocol::Framed);
    index.replies[133] = {0x7E, 0x03, 0x01, 133};
    EXPECT_FALSE(load(index, device));
    EXPECT_TRUE(ports.logHas("Failed to set C Table index 0"));
}

TEST_F(Protocol3014Unit, SaveWritesEveryFrameAndStopsAtTheFirstFailure)
{
    auto& unit = ports.addSerial("ttyS0", Protocol::Framed);
    Protocol3014 device;
    ASSERT_TRUE(load(unit, device));
    unit.written.clear();
    device.setCTableHighB(6);
    device.setExternalBatteryCount(300);
    device.setBatteryTableValues(Bytes(20, 42));
    device.setCTableValues(Bytes(9, 3));
    ASSERT_TRUE(device.save());
    std::vector<std::string> expected{frame(4, 135, {6}), frame(4, 99, {0x2C, 0x01})};
    for (std::uint8_t i = 0; i < 20; ++i) {
        expected.push_back(frame(4, 131, {i}));
        expected.push_back(frame(4, 132, {42}));
    }
    for (std::uint8_t j = 0; j < 9; ++j) {
        expected.push_back(frame(4, 133, {j}));
        expected.push_back(frame(4, 134, {3}));
    }
    EXPECT_EQ(expected, unit.written);
    EXPECT_EQ((std::vector<scripted::LineSetting>{{2400, 'N', 8, 1, 0}}), unit.lineSettings);
    EXPECT_EQ(300, unit.values().externalBatteryCount);
    EXPECT_EQ(Bytes(9, 3), test::bytes(unit.values().cTable));
    EXPECT_TRUE(ports.logHas("Save: C Table[ 8 ] = 3"));
    EXPECT_TRUE(sleeps.durations().empty());

    // The C table index 0 is the 43rd write, tried twice; its failure is logged counting from 1.
    unit.written.clear();
    unit.failWritesAfter = unit.writes + 42;
    EXPECT_FALSE(device.save());
    EXPECT_EQ(44u, unit.written.size());
    EXPECT_TRUE(ports.logHas("Failed to set C Table index 1"));
    EXPECT_EQ(unit.openCount, unit.closeCount);
}

TEST(Protocol3014Test, RequestFramesCarryLengthAndChecksum)
{
    EXPECT_EQ((Bytes{0x7E, 0x03, 0x01, 0x88, 0x0A}), Protocol3014::buildFrame(3, 0x88, {}));
    EXPECT_EQ((Bytes{0x7E, 0x03, 0x01, 0x5D, 0xDF}), Protocol3014::buildFrame(3, 93, {}));
    EXPECT_EQ((Bytes{0x7E, 0x04, 0x02, 0x83, 0x05, 0x0C}), Protocol3014::buildFrame(4, 131, {5}));
    EXPECT_EQ((Bytes{0x7E, 0x04, 0x03, 0x63, 0x2C, 0x01, 0x15}),
              Protocol3014::buildFrame(4, 99, {0x2C, 0x01}));
}

TEST(Protocol3014Test, RepliesAreCheckedAndNeverReadPastWhatArrived)
{
    Bytes payload{9};
    const Bytes empty{0x7E, 0x02, 0x01, 0x88};
    EXPECT_TRUE(Protocol3014::parseReply(empty.data(), 4, payload));
    EXPECT_TRUE(payload.empty());
    const Bytes word{0x7E, 0x05, 0x03, 0x88, 0x01, 0x02};
    EXPECT_TRUE(Protocol3014::parseReply(word.data(), 6, payload));
    EXPECT_EQ((Bytes{1, 2}), payload);
    const Bytes wrongKind{0x7E, 0x03, 0x01, 0x88};
    EXPECT_FALSE(Protocol3014::parseReply(wrongKind.data(), 4, payload));
    const Bytes wrongStart{0x7F, 0x02, 0x01, 0x88};
    EXPECT_FALSE(Protocol3014::parseReply(wrongStart.data(), 4, payload));
    const Bytes shortReply{0x7E, 0x02, 0x10, 0x88, 0x01};
    EXPECT_FALSE(Protocol3014::parseReply(shortReply.data(), 5, payload));
    EXPECT_FALSE(Protocol3014::parseReply(empty.data(), 3, payload));
}

// A reply answers its own command; once a unit has sent one correct checksum,
// every later reply must carry one.
TEST(Protocol3014Test, RepliesEchoTheirCommandAndKeepTheChecksumTheUnitSends)
{
    using Checksum = Protocol3014::ReplyChecksum;
    const Bytes good = Protocol3014::buildFrame(2, 96, {7});
    Bytes flipped = good;
    flipped[4] ^= 0x01;
    const Bytes bare{0x7E, 0x02, 0x02, 96, 7};
    struct Case {
        Bytes reply;
        std::uint8_t command;
        Checksum before;
        bool accepted;
        Checksum after;
    };
    const Case cases[] = {
        {good, 96, Checksum::unknown, true, Checksum::required},
        {good, 93, Checksum::unknown, false, Checksum::unknown}, // another command's answer
        {bare, 96, Checksum::unknown, true, Checksum::unknown},  // a unit without checksums
        {flipped, 96, Checksum::unknown, true, Checksum::unknown},
        {flipped, 96, Checksum::required, false, Checksum::required},
        {bare, 96, Checksum::required, false, Checksum::required},
        {good, 96, Checksum::required, true, Checksum::required},
    };
    for (const Case& c : cases) {
        Checksum checksum = c.before;
        Bytes payload;
        EXPECT_EQ(c.accepted,
                  Protocol3014::checkReply(c.reply.data(), static_cast<std::uint32_t>(c.reply.size()),
                                           c.command, checksum, payload));
        EXPECT_EQ(c.after, checksum);
    }
}

TEST(Protocol3014Test, SaveRefusesWrongTableSizesWithoutAPort)
{
    Protocol3014 device;
    device.setBatteryTableValues(Bytes(19, 1));
    device.setCTableValues(Bytes(9, 1));
    EXPECT_FALSE(device.save());
    device.setBatteryTableValues(Bytes(20, 1));
    device.setCTableValues(Bytes(10, 1));
    EXPECT_FALSE(device.save());
}

} // namespace varnel
