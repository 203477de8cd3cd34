// Units that misbehave once the scan has found them, through the real port
// libraries and upssim's faults: a save that cannot have completed must say
// so, validation must never pass a unit that did not store the values, and
// a scan of a misbehaving unit must fail cleanly.
#include "SimulatedSite.h"

#include "device/VarnelDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>

using varnel::VarnelDevice;
using varnel::test::JournalWrite;
using varnel::test::packsOf;
using varnel::test::SimulatedSite;

namespace {

struct UnitKind {
    const char* protocol;
    const char* name;
    bool hid;
};

const UnitKind kKinds[] = {
    {"hid", "usb-ups", true},
    {"framed", "rack-ups", false},
    {"text", "tower-ups", false},
};

void PrintTo(const UnitKind& kind, std::ostream* out)
{
    *out << kind.protocol;
}

const char* const kFaults[] = {"silent",       "reject",     "badkind", "truncate",
                               "ignorewrites", "wrongvalue", "random"};

// Faults under which no save can complete: nothing the unit answers is an acknowledgement.
const std::set<std::string> kNoSaveCompletes{"silent", "reject", "truncate", "random"};
// Faults that leave the values readable, so a scan still finds the unit.
const std::set<std::string> kReadsStillWork{"ignorewrites", "wrongvalue"};

std::string unitSection(const UnitKind& kind, const std::string& extra = "")
{
    return "[unit " + std::string(kind.name) + "]\nprotocol = " + kind.protocol +
           "\nconfiguration = 0x0003\ninternal.count = 2\ninternal.type = 2\nexternal.count = 0\n"
           "vendor = Simulated Power\nproduct = SIM\n" +
           extra;
}

std::string portName(const SimulatedSite& site, const UnitKind& kind)
{
    return site.dir(kind.hid ? std::string(kind.name) + ".sock" : kind.name);
}

// What a scan of a well-behaved unit of this kind costs in requests.
std::size_t scanRequests(const UnitKind& kind)
{
    SimulatedSite probe(unitSection(kind));
    EXPECT_TRUE(probe.ready()) << probe.simulatorOutput();
    EXPECT_EQ(probe.controller().scanForDevices(nullptr).size(), 1u) << kind.protocol;
    return probe.requests(kind.name);
}

// Whether the unit's journal shows every value of the record stored as asked.
bool unitStoredTheRecord(const SimulatedSite& site, const UnitKind& kind, const VarnelDevice& device)
{
    std::map<std::string, std::uint32_t> stored;
    for (const JournalWrite& write : site.writes(kind.name)) {
        if (write.field.find("Index") != std::string::npos)
            continue;
        const std::string key = write.field + "[" + std::to_string(write.index) + "]";
        if (write.stored != write.value)
            stored.erase(key);
        else
            stored[key] = write.stored;
    }
    std::map<std::string, std::uint32_t> wanted;
    for (std::size_t i = 0; i < device.getBatteryTableValues().size(); ++i)
        wanted["batteryTable[" + std::to_string(i) + "]"] = device.getBatteryTableValues()[i];
    for (std::size_t i = 0; i < device.getCTableValues().size(); ++i)
        wanted["cTable[" + std::to_string(i) + "]"] = device.getCTableValues()[i];
    wanted["cTableHighB[-1]"] = device.getCTableHighB();
    wanted["externalBatteryCount[-1]"] = static_cast<std::uint32_t>(device.getExternalBatteryCount());
    return stored == wanted;
}

bool logHasRefusal(const SimulatedSite& site, const UnitKind& kind)
{
    return site.logHas("Device on port '" + portName(site, kind) +
                       "' does not support external battery packs");
}

using Case = std::tuple<UnitKind, const char*>;

class HostileUnit : public ::testing::TestWithParam<Case> {};
class NoisyUnit : public ::testing::TestWithParam<UnitKind> {};

} // namespace

TEST_P(HostileUnit, SaveAndValidationNeverClaimWhatTheUnitDidNotDo)
{
    const UnitKind& kind = std::get<0>(GetParam());
    const std::string fault = std::get<1>(GetParam());
    // The fault sets in right after a clean scan, so the save meets it first.
    const std::size_t after = scanRequests(kind);
    SimulatedSite site(unitSection(kind, "fault = " + fault + "\nfault.after = " + std::to_string(after) +
                                             "\nfault.seed = 5\n"));
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto& controller = site.controller();
    auto& devices = controller.scanForDevices(nullptr);
    ASSERT_EQ(devices.size(), 1u);
    VarnelDevice& device = *devices[0];
    ASSERT_TRUE(controller.computeConfiguration(device, packsOf(controller, 2, 1), nullptr));

    const bool saved = device.save();
    if (kNoSaveCompletes.count(fault)) {
        EXPECT_FALSE(saved);
    }
    // A unit that acknowledges and then ignores writes cannot be caught by the
    // save, only by the validation; any other save that reports success must
    // have reached the unit whole.
    if (saved && !kReadsStillWork.count(fault)) {
        EXPECT_TRUE(unitStoredTheRecord(site, kind, device));
    }

    EXPECT_FALSE(controller.validateUpdate(device, site.callback()));
    EXPECT_FALSE(site.statusTexts().empty()) << "validation failed without saying why";

    // Scanning the unit again meets the fault from its first request (this
    // destroys the record above).
    const std::vector<std::uint8_t> computed = device.getBatteryTableValues();
    auto& again = controller.scanForDevices(nullptr);
    if (kReadsStillWork.count(fault)) {
        ASSERT_EQ(again.size(), 1u);
        EXPECT_NE(again[0]->getBatteryTableValues(), computed) << "the unit holds what it was sent";
    } else if (fault != "random") {
        EXPECT_TRUE(again.empty());
        EXPECT_TRUE(logHasRefusal(site, kind));
    }
}

TEST_P(NoisyUnit, RandomRepliesFromTheFirstRequestNeverPassForAUnit)
{
    const UnitKind& kind = GetParam();
    for (int seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        SimulatedSite site(unitSection(kind, "fault = random\nfault.seed = " + std::to_string(seed) + "\n"));
        ASSERT_TRUE(site.ready()) << site.simulatorOutput();
        auto& controller = site.controller();
        auto& devices = controller.scanForDevices(nullptr);
        if (devices.empty()) {
            EXPECT_TRUE(logHasRefusal(site, kind));
            continue;
        }
        // Noise that happened to read as a unit: whatever was made of it,
        // writing it and reading it back must not come out as validated.
        VarnelDevice& device = *devices[0];
        if (controller.computeConfiguration(device, packsOf(controller, 2, 1), nullptr) && device.save()) {
            EXPECT_FALSE(controller.validateUpdate(device, nullptr));
        }
    }
}

namespace {

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    return std::string(std::get<0>(info.param).protocol) + "_" + std::get<1>(info.param);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(EndToEnd, HostileUnit,
                         ::testing::Combine(::testing::ValuesIn(kKinds), ::testing::ValuesIn(kFaults)),
                         caseName);
INSTANTIATE_TEST_SUITE_P(EndToEnd, NoisyUnit, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.protocol); });
