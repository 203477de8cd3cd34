#include "ScriptedPorts.h"
#include "controller/VarnelController.h"
#include "device/CAnyPort.h"
#include "device/DeltaSerialDevice.h"
#include "device/DeltaUSB.h"
#include "device/DeviceFactory.h"
#include "device/Protocol3014.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

using scripted::Protocol;
using upssim::FaultMode;

std::unique_ptr<VarnelDevice> createOn(scripted::Unit& unit, std::uint32_t libraryTransport,
                                       std::uint32_t descriptorTransport)
{
    PortDescriptor d = test::ScriptedPorts::descriptor(libraryTransport, unit);
    CAnyPort port;
    port.setTransport(libraryTransport);
    EXPECT_TRUE(port.open(&d));
    d.transport = descriptorTransport;
    auto device = createDevice(port, d, nullptr, nullptr);
    EXPECT_TRUE(port.close());
    return device;
}

class DeviceFactoryTest : public ::testing::Test {
protected:
    test::ScriptedPorts ports;
    test::SleepRecorder sleeps;
};

TEST_F(DeviceFactoryTest, SerialPortsTryTheFramedProtocolFirstOnALineSetOnce)
{
    auto& framed = ports.addSerial("framed", Protocol::Framed);
    auto device = createOn(framed, PORT_TRANSPORT_SERIAL, PORT_TRANSPORT_SERIAL);
    EXPECT_NE(nullptr, dynamic_cast<Protocol3014*>(device.get()));
    EXPECT_EQ(1u, framed.lineSettings.size());

    auto& text = ports.addSerial("text", Protocol::Text);
    device = createOn(text, PORT_TRANSPORT_SERIAL, PORT_TRANSPORT_SERIAL);
    EXPECT_NE(nullptr, dynamic_cast<DeltaSerialDevice*>(device.get()));
    EXPECT_EQ((std::vector<scripted::LineSetting>{{2400, 'N', 8, 1, 0}}), text.lineSettings);
    ASSERT_GE(text.written.size(), 2u);
    EXPECT_EQ(std::string("\x7E\x03\x01\x88\x0A"), text.written[0]);
    EXPECT_EQ("~00P003CFI", text.written[1]);

    auto& silent = ports.addSerial("silent", Protocol::Text);
    silent.config.fault = FaultMode::Silent;
    EXPECT_EQ(nullptr, createOn(silent, PORT_TRANSPORT_SERIAL, PORT_TRANSPORT_SERIAL));
    EXPECT_EQ(2u, silent.written.size());
}

// One reply spoilt on the line: the values the computation rests on come out
// right, or the unit is given up with the reason; never a wrong battery type.
TEST_F(DeviceFactoryTest, OneSpoiltReplyIsReadAgainOrTheUnitIsGivenUp)
{
    struct Case {
        Protocol protocol;
        std::uint32_t transport;
        std::uint32_t after; // requests before the one spoilt
        bool found;
    };
    // The first internal type read of a framed unit: its checksum fails. The
    // first internal read of a text unit: the second and third agree. The
    // second of three that never agree twice in a row: the internal read of a
    // text unit, the configuration word of a HID one.
    const Case cases[] = {
        {Protocol::Framed, PORT_TRANSPORT_SERIAL, 4, true},
        {Protocol::Text, PORT_TRANSPORT_SERIAL, 2, true},
        {Protocol::Text, PORT_TRANSPORT_SERIAL, 3, false},
        {Protocol::Hid, PORT_TRANSPORT_HID, 1, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        auto& unit = c.protocol == Protocol::Hid ? ports.addHid("flip" + std::to_string(n++))
                                                 : ports.addSerial("flip" + std::to_string(n++), c.protocol);
        unit.config.fault = FaultMode::FlipBit;
        unit.config.faultAfter = c.after;
        unit.config.faultCount = 1;
        unit.config.internalBatteryType = 2;
        auto device = createOn(unit, c.transport, c.transport);
        ASSERT_EQ(device != nullptr, c.found);
        if (device)
            EXPECT_EQ(device->getInternalBatteryType(), 2);
        else
            EXPECT_TRUE(
                ports.logHas("The unit on " + unit.portName + " gives changing answers: check the cable"));
    }
}

TEST_F(DeviceFactoryTest, EveryOtherTransportGetsTheHidProtocol)
{
    auto& unit = ports.addHid("hid");
    for (std::uint32_t transport : {PORT_TRANSPORT_HID, PORT_TRANSPORT_USB}) {
        auto device = createOn(unit, PORT_TRANSPORT_HID, transport);
        EXPECT_NE(nullptr, dynamic_cast<DeltaUSB*>(device.get()));
        // The class defaults stay until discovery applies the settings.
        EXPECT_EQ(1500u, device->getPostReadSleep());
    }
    EXPECT_TRUE(unit.lineSettings.empty());
    auto& withoutPacks = ports.addHid("without-packs");
    withoutPacks.config.configurationInfo = 0;
    EXPECT_EQ(nullptr, createOn(withoutPacks, PORT_TRANSPORT_HID, PORT_TRANSPORT_HID));
}

class Discovery : public ::testing::Test {
protected:
    void start(const std::string& extraSettings = "")
    {
        test::writeFile("varnel.ini", "locale.name = English\nlocale.strings = en\n" + extraSettings);
        ASSERT_TRUE(controller.init(nullptr));
    }
    std::vector<std::unique_ptr<VarnelDevice>>& scan()
    {
        return controller.scanForDevices(status.callback());
    }

    test::ScriptedPorts ports;
    test::SleepRecorder sleeps;
    test::StatusLog status;
    VarnelController controller;
};

TEST_F(Discovery, HidUnitsComeFirstInLibraryOrderAndEachPortIsLogged)
{
    ports.addSerial("ttyS0", Protocol::Text);
    ports.addHid("hid-a");
    ports.addHid("hid-b").descriptorProduct = "Second";
    auto& refusing = ports.addSerial("ttyS1", Protocol::Text);
    refusing.opens = false;
    refusing.openFailureReason = "permission denied: add yourself to the dialout group";
    ports.addSerial("ttyS2", Protocol::Framed).config.configurationInfo = 2;
    start();

    auto& devices = scan();
    ASSERT_EQ(3u, devices.size());
    EXPECT_EQ("hid-a", devices[0]->getPortName());
    EXPECT_EQ("hid-b", devices[1]->getPortName());
    EXPECT_EQ("Second", devices[1]->getProductName());
    EXPECT_EQ("ttyS0", devices[2]->getPortName());
    EXPECT_NE(nullptr, dynamic_cast<DeltaSerialDevice*>(devices[2].get()));

    EXPECT_EQ(ports.text("label.scanusb"), status.entries.front().text);
    std::vector<std::string> shown;
    for (const auto& entry : status.entries)
        if (entry.newLine == 1 && entry.text != ports.text("msg.foundandloading"))
            shown.push_back(entry.text);
    const std::string found = ports.text("label.devicediscovered");
    EXPECT_EQ((std::vector<std::string>{ports.text("label.scanusb"), found, found,
                                        ports.text("label.scanserial"), found}),
              shown);

    EXPECT_TRUE(ports.logHas("Checking port 'hid-a'"));
    EXPECT_TRUE(ports.logHas("Device Discovered:"));
    const auto lines = ports.logLines();
    const auto refused = std::find(lines.begin(), lines.end(), "Could not open port 'ttyS1'");
    ASSERT_NE(lines.end(), refused);
    ASSERT_NE(lines.end(), refused + 1);
    EXPECT_EQ("permission denied: add yourself to the dialout group", *(refused + 1));
    EXPECT_TRUE(ports.logHas("Device on port 'ttyS2' does not support external battery packs"));
    // Every port opened was closed again, and the unit's port is not held.
    for (auto* registry : {&ports.hid(), &ports.serial()})
        for (const auto& unit : registry->units)
            EXPECT_EQ(unit.openCount, unit.closeCount) << unit.portName;
}

TEST_F(Discovery, AKeyTheCatalogueLacksIsShownAsTheKeyByEveryProtocolAsByTheController)
{
    // A message file of another language that has not caught up with the program.
    test::writeFile("varnelstrings.xx", "label.page3 = Geraete\n");
    test::writeFile("varnel.ini", "locale.name = English\nlocale.strings = xx\n");
    ASSERT_TRUE(controller.init(nullptr));
    ports.addHid("hid");
    ports.addSerial("framed", Protocol::Framed);
    ports.addSerial("text", Protocol::Text);
    ASSERT_EQ(3u, scan().size());

    std::vector<std::string> lines;
    for (const auto& entry : status.entries)
        if (entry.newLine == 1)
            lines.push_back(entry.text);
    const std::vector<std::string> expected{
        "label.scanusb",       "msg.foundandloading",    "label.devicediscovered", // DeltaUSB
        "label.scanserial",    "msg.foundandloading",    "label.devicediscovered", // Protocol3014
        "msg.foundandloading", "label.devicediscovered",                           // DeltaSerialDevice
    };
    EXPECT_EQ(expected, lines);
}

TEST_F(Discovery, ASecondScanStartsFromAnEmptyList)
{
    ports.addHid("hid-a");
    ports.addHid("hid-b");
    start();
    EXPECT_EQ(2u, scan().size());
    ports.hid().units[0].state().setFault(FaultMode::Silent);
    auto& devices = scan();
    ASSERT_EQ(1u, devices.size());
    EXPECT_EQ("hid-b", devices[0]->getPortName());
}

TEST_F(Discovery, PausesComeFromTheSettingsByTransport)
{
    ports.addHid("hid");
    ports.addSerial("ttyS0", Protocol::Framed);
    start();
    auto& devices = scan();
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ(1000u, devices[0]->getPostReadSleep());
    EXPECT_EQ(2500u, devices[0]->getPostWriteSleep());
    EXPECT_EQ(250u, devices[1]->getPostReadSleep());
    EXPECT_EQ(750u, devices[1]->getPostWriteSleep());
}

// A slow unit is read at its technician's pace from the first request on,
// and so is every later exchange: the save's rest and the validation's wait too.
TEST_F(Discovery, TheSettingsPausesHoldFromTheScansOwnReadsOn)
{
    ports.addHid("hid");
    start("hid.post.read.sleep = 1234\nhid.post.write.sleep = 77\nhid.pre.save.sleep = 11\n"
          "validation.settle.sleep = 22\n");
    auto& devices = scan();
    ASSERT_EQ(1u, devices.size());
    std::vector<std::uint32_t> scanPauses = sleeps.durations();
    ASSERT_FALSE(scanPauses.empty());
    EXPECT_EQ(std::vector<std::uint32_t>(scanPauses.size(), 1234u), scanPauses);

    VarnelDevice& device = *devices[0];
    device.setBatteryTableValues(std::vector<std::uint8_t>(20, 3));
    device.setCTableValues(std::vector<std::uint8_t>(9, 4));
    const std::size_t saveStart = sleeps.durations().size();
    ASSERT_TRUE(device.save());
    EXPECT_EQ((std::vector<std::uint32_t>{11, 77, 77, 77}),
              std::vector<std::uint32_t>(sleeps.durations().begin() + static_cast<std::ptrdiff_t>(saveStart),
                                         sleeps.durations().end()));
    const std::size_t validationStart = sleeps.durations().size();
    ASSERT_TRUE(controller.validateUpdate(device, nullptr));
    const std::vector<std::uint32_t> validation(
        sleeps.durations().begin() + static_cast<std::ptrdiff_t>(validationStart), sleeps.durations().end());
    ASSERT_GT(validation.size(), 1u);
    EXPECT_EQ(22u, validation[0]);
    EXPECT_EQ(std::vector<std::uint32_t>(validation.size() - 1, 1234u),
              std::vector<std::uint32_t>(validation.begin() + 1, validation.end()));
}

TEST_F(Discovery, PauseTextsConvertUpToTheFirstNonDigit)
{
    ports.addHid("hid");
    ports.addSerial("ttyS0", Protocol::Framed);
    start("hid.post.read.sleep = 300ms\nhid.post.write.sleep = x5\n"
          "serial.post.read.sleep = -1\nserial.post.write.sleep =   42\n");
    auto& devices = scan();
    ASSERT_EQ(2u, devices.size());
    EXPECT_EQ(300u, devices[0]->getPostReadSleep());
    EXPECT_EQ(2000u, devices[0]->getPostWriteSleep()); // the class default
    EXPECT_EQ(300u, devices[1]->getPostReadSleep());   // a negative pause is refused
    EXPECT_EQ(42u, devices[1]->getPostWriteSleep());
}

class Validation : public Discovery {
protected:
    // Scans, saves new values into the one unit and clears what was recorded so far.
    VarnelDevice& saved(Protocol protocol)
    {
        if (protocol == Protocol::Hid)
            ports.addHid("unit");
        else
            ports.addSerial("unit", protocol);
        start();
        auto& devices = scan();
        EXPECT_EQ(1u, devices.size());
        VarnelDevice& device = *devices.at(0);
        std::vector<std::uint8_t> table(20);
        for (std::uint8_t i = 0; i < 20; ++i)
            table[i] = static_cast<std::uint8_t>(200 - i);
        device.setBatteryTableValues(table);
        device.setCTableValues({1, 1, 2, 3, 5, 8, 13, 21, 34});
        device.setCTableHighB(2);
        device.setExternalBatteryCount(6);
        EXPECT_TRUE(device.save());
        status.entries.clear();
        return device;
    }
    scripted::Unit& unit()
    {
        return ports.hid().units.empty() ? ports.serial().units[0] : ports.hid().units[0];
    }
    bool validate(VarnelDevice& device) { return controller.validateUpdate(device, status.callback()); }
    std::vector<std::string> shown() const
    {
        std::vector<std::string> texts;
        for (const auto& entry : status.entries)
            texts.push_back(entry.text);
        return texts;
    }
};

TEST_F(Validation, AMatchingReadBackValidatesOnEveryProtocol)
{
    for (Protocol protocol : {Protocol::Hid, Protocol::Framed, Protocol::Text}) {
        ports.hid().units.clear();
        ports.serial().units.clear();
        VarnelDevice& device = saved(protocol);
        const std::size_t before = sleeps.durations().size();
        EXPECT_TRUE(validate(device)) << int(protocol);
        EXPECT_TRUE(status.entries.empty());
        EXPECT_EQ(6000u, sleeps.durations().at(before));
        EXPECT_TRUE(ports.logHas("Validating the device update"));
        EXPECT_TRUE(ports.logHas("Device Read for Validation"));
        EXPECT_EQ(unit().openCount, unit().closeCount);
    }
}

TEST_F(Validation, TheReadBackKeepsTheNamesOfTheRecord)
{
    VarnelDevice& device = saved(Protocol::Hid);
    unit().hidCalls.clear();
    EXPECT_TRUE(validate(device));
    for (const auto& call : unit().hidCalls)
        EXPECT_NE(0x84u, call.page);
}

TEST_F(Validation, TheFirstDifferenceInTheFixedOrderIsReported)
{
    VarnelDevice& device = saved(Protocol::Hid);
    unit().state().writeCTableHighB(9);
    unit().state().writeBatteryEntry(3, 0);
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(std::vector<std::string>{ports.text("msg.validatefailed.ctablehighb")}, shown());
    EXPECT_TRUE(ports.logHas(ports.text("msg.validatefailed.ctablehighb")));

    status.entries.clear();
    unit().state().writeCTableHighB(2);
    unit().state().writeBatteryEntry(3, 200 - 3);
    unit().state().writeBatteryEntry(5, 0);
    unit().state().writeBatteryEntry(12, 0);
    EXPECT_FALSE(validate(device));
    ASSERT_EQ(1u, shown().size());
    EXPECT_EQ("Battery table entry 5 read back differs from the one written.", shown()[0]);
    EXPECT_TRUE(ports.logHas(shown()[0]));

    status.entries.clear();
    unit().state().writeBatteryEntry(5, 200 - 5);
    unit().state().writeBatteryEntry(12, 200 - 12);
    unit().state().writeCTableEntry(8, 0);
    unit().state().writeExternalBatteryCount(7);
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(std::vector<std::string>{ports.text("msg.validatefailed.externalbatterycount")}, shown());

    status.entries.clear();
    unit().state().writeExternalBatteryCount(6);
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(std::vector<std::string>{"C table entry 8 read back differs from the one written."}, shown());
}

// The tables were worked out for one unit: another on the port, or one
// whose configuration word or batteries read differently, is no validation.
TEST_F(Validation, TheUnitsIdentityIsComparedTooAndChecksBeforeASave)
{
    VarnelDevice& device = saved(Protocol::Framed);
    EXPECT_TRUE(controller.identifyUnit(device));
    unit().state().setFault(FaultMode::Swapped);
    EXPECT_FALSE(controller.identifyUnit(device));
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(shown(), std::vector<std::string>{ports.text("msg.validatefailed.unit")});
}

TEST_F(Validation, TableLengthsAreComparedFirstAndLogged)
{
    VarnelDevice& device = saved(Protocol::Framed);
    device.setBatteryTableValues(std::vector<std::uint8_t>(21, 1));
    EXPECT_FALSE(validate(device));
    const std::string text = ports.text("msg.validatefailed.batterytablesize");
    EXPECT_EQ(std::vector<std::string>{text}, shown());
    EXPECT_TRUE(ports.logHas(text + " 21 != 20"));

    status.entries.clear();
    device.setBatteryTableValues(std::vector<std::uint8_t>(20, 1));
    device.setCTableValues({});
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(std::vector<std::string>{ports.text("msg.validatefailed.ctablesize")}, shown());
}

TEST_F(Validation, AUnitThatIsGoneOrSilentFailsTheValidation)
{
    VarnelDevice& device = saved(Protocol::Text);
    unit().state().setFault(FaultMode::Silent);
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(std::vector<std::string>{ports.text("msg.validatefailed.nodevice")}, shown());

    status.entries.clear();
    unit().opens = false;
    EXPECT_FALSE(validate(device));
    EXPECT_EQ(std::vector<std::string>{ports.text("msg.validatefailed.open")}, shown());
    EXPECT_EQ(unit().openCount, unit().closeCount);
    EXPECT_EQ(1u, controller.getDevices().size());
}

} // namespace
} // namespace varnel
