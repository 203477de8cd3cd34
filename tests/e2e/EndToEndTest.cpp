// The controller against the real port libraries and a real upssim: what a
// technician's run does, from the scan to the validated update.
#include "SimulatedSite.h"

#include "device/CAnyPort.h"
#include "device/DeltaSerialDevice.h"
#include "device/DeltaUSB.h"
#include "device/Protocol3014.h"
#include "device/VarnelDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

using varnel::CAnyPort;
using varnel::DeltaSerialDevice;
using varnel::DeltaUSB;
using varnel::Protocol3014;
using varnel::VarnelDevice;
using varnel::test::JournalWrite;
using varnel::test::packsOf;
using varnel::test::SimulatedSite;

namespace {

struct UnitKind {
    const char* protocol;
    const char* name;
    std::uint32_t transport;
};

const UnitKind kKinds[] = {
    {"hid", "usb-ups", PORT_TRANSPORT_HID},
    {"framed", "rack-ups", PORT_TRANSPORT_SERIAL},
    {"text", "tower-ups", PORT_TRANSPORT_SERIAL},
};

// A unit that fits the sample data file: it takes external packs and names
// a scalar table, a wattage table and an internal battery type the file has.
std::string unitSection(const std::string& name, const std::string& protocol, const std::string& extra = "")
{
    return "[unit " + name + "]\nprotocol = " + protocol +
           "\nconfiguration = 0x0003\ninternal.count = 2\ninternal.type = 2\nexternal.count = 0\n"
           "vendor = Simulated Power\nproduct = SIM " +
           name + "\n" + extra;
}

bool isClassFor(const VarnelDevice& device, const std::string& protocol)
{
    if (protocol == "hid")
        return dynamic_cast<const DeltaUSB*>(&device) != nullptr;
    if (protocol == "framed")
        return dynamic_cast<const Protocol3014*>(&device) != nullptr;
    return dynamic_cast<const DeltaSerialDevice*>(&device) != nullptr;
}

std::string portPath(const SimulatedSite& site, const UnitKind& kind)
{
    return site.dir(kind.transport == PORT_TRANSPORT_HID ? std::string(kind.name) + ".sock" : kind.name);
}

// Every value the record holds reached the unit, and nothing else did.
void expectJournalHolds(const SimulatedSite& site, const std::string& unit, const VarnelDevice& device)
{
    varnel::test::expectJournalHolds(site.writes(unit), unit, device);
}

void PrintTo(const UnitKind& kind, std::ostream* out)
{
    *out << kind.protocol;
}

class EachProtocol : public ::testing::TestWithParam<UnitKind> {};

} // namespace

TEST_P(EachProtocol, DiscoversSavesAndValidatesItsUnit)
{
    const UnitKind& kind = GetParam();
    SimulatedSite site(unitSection(kind.name, kind.protocol));
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto& controller = site.controller();

    auto& devices = controller.scanForDevices(site.callback());
    ASSERT_EQ(devices.size(), 1u) << site.simulatorOutput();
    VarnelDevice& device = *devices[0];
    EXPECT_TRUE(isClassFor(device, kind.protocol));
    EXPECT_EQ(device.getPortName(), portPath(site, kind));
    EXPECT_EQ(device.getProductName(), std::string("SIM ") + kind.name);
    EXPECT_EQ(device.getVendorName(), "Simulated Power");
    EXPECT_EQ(device.getInternalBatteryCount(), 2);
    EXPECT_EQ(device.getInternalBatteryType(), 2);
    EXPECT_EQ(device.getExternalBatteryCount(), 0);
    EXPECT_EQ(device.getBatteryTableValues().size(), 20u);
    EXPECT_EQ(device.getCTableValues().size(), 9u);
    // The pauses come from this run's settings, not the class defaults.
    const bool hid = kind.transport == PORT_TRANSPORT_HID;
    EXPECT_EQ(device.getPostReadSleep(), hid ? 110u : 150u);
    EXPECT_EQ(device.getPostWriteSleep(), hid ? 120u : 200u);
    EXPECT_TRUE(site.logHas("Checking port '" + portPath(site, kind) + "'"));
    EXPECT_TRUE(site.logHas("Device Discovered:"));
    EXPECT_NE(
        std::find(site.statusTexts().begin(), site.statusTexts().end(), site.text("label.devicediscovered")),
        site.statusTexts().end());

    const std::vector<std::uint8_t> before = device.getBatteryTableValues();
    ASSERT_TRUE(controller.computeConfiguration(device, packsOf(controller, 3, 2), nullptr));
    EXPECT_EQ(device.getExternalBatteryCount(), 16);
    EXPECT_NE(device.getBatteryTableValues(), before);
    ASSERT_TRUE(device.save()) << site.simulatorOutput();
    expectJournalHolds(site, kind.name, device);

    EXPECT_TRUE(controller.validateUpdate(device, site.callback()));
    EXPECT_TRUE(site.logHas("Device Read for Validation"));
}

TEST_P(EachProtocol, SavesAndValidatesWithEveryPauseAtZero)
{
    // A technician in a hurry sets every pause to 0; the replies still take
    // their time on a 2400-baud line.
    const UnitKind& kind = GetParam();
    const std::string settings = "locale.name = English\nlocale.strings = en\n"
                                 "hid.post.read.sleep = 0\nhid.post.write.sleep = 0\n"
                                 "serial.post.read.sleep = 0\nserial.post.write.sleep = 0\n";
    SimulatedSite site(unitSection(kind.name, kind.protocol), {"--pace-2400"}, settings);
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto& controller = site.controller();
    auto& devices = controller.scanForDevices(nullptr);
    ASSERT_EQ(devices.size(), 1u) << site.simulatorOutput();
    VarnelDevice& device = *devices[0];
    ASSERT_EQ(device.getPostReadSleep(), 0u);
    ASSERT_EQ(device.getPostWriteSleep(), 0u);

    ASSERT_TRUE(controller.computeConfiguration(device, packsOf(controller, 3, 2), nullptr));
    ASSERT_TRUE(device.save()) << site.simulatorOutput();
    expectJournalHolds(site, kind.name, device);
    EXPECT_TRUE(controller.validateUpdate(device, nullptr));
}

TEST(EndToEnd, MixOnSeveralPortsIsListedHidFirstAndEachUnitGetsItsOwnValues)
{
    // Serial units listed before the HID ones in the file: the scan order must not follow it.
    const std::string units = unitSection("line-a", "text") + unitSection("line-b", "framed") +
                              unitSection("line-c", "text") + unitSection("hid-a", "hid") +
                              unitSection("hid-b", "hid");
    SimulatedSite site(units);
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto& controller = site.controller();

    auto& devices = controller.scanForDevices(nullptr);
    const std::vector<std::pair<std::string, std::string>> expected{{"hid-a.sock", "hid"},
                                                                    {"hid-b.sock", "hid"},
                                                                    {"line-a", "text"},
                                                                    {"line-b", "framed"},
                                                                    {"line-c", "text"}};
    ASSERT_EQ(devices.size(), expected.size()) << site.simulatorOutput();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(devices[i]->getPortName(), site.dir(expected[i].first));
        EXPECT_TRUE(isClassFor(*devices[i], expected[i].second)) << expected[i].first;
    }

    // A different pack count per unit, so a value landing on the wrong unit shows.
    for (std::size_t i = 0; i < devices.size(); ++i) {
        ASSERT_TRUE(controller.computeConfiguration(*devices[i], packsOf(controller, 1, std::uint32_t(i + 1)),
                                                    nullptr));
        ASSERT_TRUE(devices[i]->save()) << expected[i].first;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        std::string unit = expected[i].first;
        unit = unit.substr(0, unit.find(".sock"));
        EXPECT_EQ(devices[i]->getExternalBatteryCount(), static_cast<std::int32_t>(8 * (i + 1)));
        expectJournalHolds(site, unit, *devices[i]);
        EXPECT_TRUE(controller.validateUpdate(*devices[i], nullptr)) << unit;
    }
}

// Lines that answer nothing are tried beside the units, not one after the
// other: the units still come in the order of their ports, and the log and
// the status texts read as if each port had been tried alone, in turn.
TEST(EndToEnd, SilentLinesBesideUnitsKeepThePortOrderAndEachPortsLinesTogether)
{
    const std::string silent = "fault = silent\n";
    const std::vector<std::string> ports{"quiet-1", "line-a", "quiet-2", "quiet-3", "line-b", "quiet-4"};
    const std::string units = unitSection("quiet-1", "text", silent) + unitSection("line-a", "text") +
                              unitSection("quiet-2", "framed", silent) +
                              unitSection("quiet-3", "text", silent) + unitSection("line-b", "framed") +
                              unitSection("quiet-4", "framed", silent);
    SimulatedSite site(units);
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();

    auto& devices = site.controller().scanForDevices(site.callback());
    ASSERT_EQ(devices.size(), 2u) << site.simulatorOutput();
    EXPECT_EQ(devices[0]->getPortName(), site.dir("line-a"));
    EXPECT_TRUE(isClassFor(*devices[0], "text"));
    EXPECT_EQ(devices[1]->getPortName(), site.dir("line-b"));
    EXPECT_TRUE(isClassFor(*devices[1], "framed"));

    // The log from the first port on, cut where each port's check begins.
    std::vector<std::vector<std::string>> blocks;
    for (const std::string& line : site.logLines()) {
        if (line.rfind("Checking port '", 0) == 0)
            blocks.emplace_back();
        if (!blocks.empty())
            blocks.back().push_back(line);
    }
    ASSERT_EQ(blocks.size(), ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string path = site.dir(ports[i]);
        const std::vector<std::string>& block = blocks[i];
        EXPECT_EQ(block.front(), "Checking port '" + path + "'");
        for (const std::string& other : ports) {
            for (const std::string& line : block) {
                if (other != ports[i]) {
                    EXPECT_EQ(line.find(site.dir(other)), std::string::npos) << ports[i] << ": " << line;
                }
            }
        }
        const bool unit = ports[i].rfind("line-", 0) == 0;
        const std::string last =
            unit ? "\tPort Name                     = " + path
                 : "Device on port '" + path + "' does not support external battery packs";
        EXPECT_NE(std::find(block.begin(), block.end(), last), block.end()) << ports[i];
        if (!unit) {
            EXPECT_EQ(block.back(), last);
        }
    }

    std::vector<std::string> shown;
    for (const std::string& text : site.statusTexts())
        if (text != ".")
            shown.push_back(text);
    const std::string found = site.text("msg.foundandloading");
    const std::string discovered = site.text("label.devicediscovered");
    EXPECT_EQ(shown, (std::vector<std::string>{site.text("label.scanusb"), site.text("label.scanserial"),
                                               found, discovered, found, discovered}));
}

TEST_P(EachProtocol, UnitStoringWrongValuesFailsValidation)
{
    const UnitKind& kind = GetParam();
    SimulatedSite site(unitSection(kind.name, kind.protocol, "fault = wrongvalue\n"));
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto& controller = site.controller();
    auto& devices = controller.scanForDevices(nullptr);
    ASSERT_EQ(devices.size(), 1u) << kind.protocol;
    VarnelDevice& device = *devices[0];
    ASSERT_TRUE(controller.computeConfiguration(device, packsOf(controller, 2, 1), nullptr));
    // The unit acknowledges every write; only the read-back can tell.
    ASSERT_TRUE(device.save()) << kind.protocol;

    EXPECT_FALSE(controller.validateUpdate(device, site.callback())) << kind.protocol;
    // The high B index is compared before the tables, and it came back one too high.
    const std::string failure = site.text("msg.validatefailed.ctablehighb");
    ASSERT_FALSE(site.statusTexts().empty());
    EXPECT_EQ(site.statusTexts().back(), failure) << kind.protocol;
    EXPECT_TRUE(site.logHas(failure)) << kind.protocol;
    for (const JournalWrite& write : site.writes(kind.name)) {
        if (write.field == "cTableHighB") {
            EXPECT_EQ(write.stored, write.value + 1);
        }
    }
}

TEST_P(EachProtocol, UnitFallingSilentMidSaveFailsTheSaveAndTheValidation)
{
    const UnitKind& kind = GetParam();
    // A first run counts the requests of a scan, so the unit takes the
    // first value of the save and answers nothing after it (a HID set is
    // a get and a set of its report).
    std::size_t scanRequests = 0;
    {
        SimulatedSite probe(unitSection(kind.name, kind.protocol));
        ASSERT_TRUE(probe.ready()) << probe.simulatorOutput();
        ASSERT_EQ(probe.controller().scanForDevices(nullptr).size(), 1u) << kind.protocol;
        scanRequests = probe.requests(kind.name);
    }
    const std::string fault = "fault = silent\nfault.after = " +
                              std::to_string(scanRequests + (kind.transport == PORT_TRANSPORT_HID ? 2 : 1)) +
                              "\n";
    SimulatedSite site(unitSection(kind.name, kind.protocol, fault));
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto& controller = site.controller();
    auto& devices = controller.scanForDevices(nullptr);
    ASSERT_EQ(devices.size(), 1u) << kind.protocol;
    VarnelDevice& device = *devices[0];
    ASSERT_TRUE(controller.computeConfiguration(device, packsOf(controller, 2, 1), nullptr));

    EXPECT_FALSE(device.save()) << kind.protocol;
    std::size_t valuesWritten = 0;
    for (const JournalWrite& write : site.writes(kind.name))
        valuesWritten += write.field.find("Index") == std::string::npos ? 1 : 0;
    EXPECT_GT(valuesWritten, 0u) << kind.protocol;
    EXPECT_LT(valuesWritten, 20u + 9u + 2u) << kind.protocol;

    EXPECT_FALSE(controller.validateUpdate(device, site.callback())) << kind.protocol;
    ASSERT_FALSE(site.statusTexts().empty());
    EXPECT_EQ(site.statusTexts().back(), site.text("msg.validatefailed.nodevice")) << kind.protocol;
}

TEST(EndToEnd, SecondOpenerOfALineIsRefusedWithTheReasonLogged)
{
    SimulatedSite site(unitSection("rack-ups", "framed"));
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    const std::string path = site.dir("rack-ups");

    CAnyPort holder;
    ASSERT_TRUE(holder.setTransport(PORT_TRANSPORT_SERIAL));
    PortDescriptor descriptor{};
    descriptor.size = sizeof descriptor;
    descriptor.transport = PORT_TRANSPORT_SERIAL;
    descriptor.portName = path.c_str();
    ASSERT_TRUE(holder.open(&descriptor));

    auto& controller = site.controller();
    EXPECT_TRUE(controller.scanForDevices(nullptr).empty());
    const std::vector<std::string> lines = site.logLines();
    const auto refused = std::find(lines.begin(), lines.end(), "Could not open port '" + path + "'");
    ASSERT_NE(refused, lines.end());
    ASSERT_NE(refused + 1, lines.end());
    EXPECT_NE(refused[1].find("in use by another program"), std::string::npos) << refused[1];

    // Once the first opener lets go, the unit is found again.
    holder.close();
    EXPECT_EQ(controller.scanForDevices(nullptr).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, EachProtocol, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.protocol); });
