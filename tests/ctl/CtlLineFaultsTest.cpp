// varnelctl apply against upssim units whose replies go wrong on the line:
// each time the unit ends with exactly the values computed for it (the fault
// passed and the second try read the truth) or untouched with a clear error.
#include "CtlRunner.h"
#include "device/VarnelDevice.h"
#include "e2e/SimulatedSite.h"
#include "settings/MessageFormat.h"

#include <gtest/gtest.h>

#include <map>

namespace varnel::test {
namespace {

using Stored = std::map<std::pair<std::string, int>, std::uint32_t>;

// What the unit stored last per field and entry, from its journal.
Stored lastStored(const SimulatedSite& site, const std::string& unit)
{
    Stored stored;
    for (const JournalWrite& write : site.writes(unit))
        if (write.field != "batteryTableIndex" && write.field != "cTableIndex")
            stored[{write.field, write.index}] = write.stored;
    return stored;
}

Stored fromRecord(const VarnelDevice& device)
{
    Stored values{
        {{"externalBatteryCount", -1}, static_cast<std::uint32_t>(device.getExternalBatteryCount())},
        {{"cTableHighB", -1}, device.getCTableHighB()}};
    for (std::size_t i = 0; i < device.getBatteryTableValues().size(); ++i)
        values[{"batteryTable", static_cast<int>(i)}] = device.getBatteryTableValues()[i];
    for (std::size_t i = 0; i < device.getCTableValues().size(); ++i)
        values[{"cTable", static_cast<int>(i)}] = device.getCTableValues()[i];
    return values;
}

std::string unitSection(const char* protocol, const std::string& extra = "")
{
    return std::string("[unit line]\nprotocol = ") + protocol +
           "\nconfiguration = 0x0001\ninternal.count = 2\ninternal.type = 1\nproduct = SIM line\n" + extra;
}

TEST(CtlLineFaults, EachFaultEndsRightOrUntouched)
{
    // Where fault.after counts from: the scan, the reads before the save, the save.
    enum Phase { scan, identify, save };
    struct Case {
        const char* protocol;
        const char* fault;
        Phase phase;
        std::size_t after; // requests into the phase
        std::size_t count; // 0: for good
        bool applied;      // else untouched, with the unit named as changed
    };
    const Case cases[] = {
        // The internal type read wrong once: its checksum no longer fits.
        {"framed", "flipbit", scan, 4, 1, true},
        // A value read back in the validation wrong once: the checksum sends it back for the truth.
        {"framed", "flipbit", save, 69, 1, true},
        // A save's reply naming another command: the write is tried again.
        {"framed", "othercommand", save, 5, 1, true},
        // Every value read wrong from the scan on: the word without its packs bit is not the unit.
        {"framed", "flipbit", identify, 0, 0, false},
        // A text reply whose length digits lie, once, then for good.
        {"text", "badlength", scan, 2, 1, true},
        {"text", "badlength", identify, 0, 0, false},
        // Another unit on the port between scan and save.
        {"framed", "swapped", identify, 0, 0, false},
        {"text", "swapped", identify, 0, 0, false},
        {"hid", "swapped", identify, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.protocol) + " " + c.fault + " " + std::to_string(c.phase) + "+" +
                     std::to_string(c.after));
        // A fault-free run of the same unit counts a scan's requests and
        // computes what the unit must end with.
        Stored expected;
        std::size_t starts[3] = {0, 0, 0};
        {
            SimulatedSite probe(unitSection(c.protocol));
            ASSERT_TRUE(probe.ready()) << probe.simulatorOutput();
            auto& devices = probe.controller().scanForDevices(nullptr);
            ASSERT_EQ(devices.size(), 1u);
            starts[identify] = probe.requests("line");
            ASSERT_TRUE(probe.controller().identifyUnit(*devices[0]));
            starts[save] = probe.requests("line");
            ASSERT_TRUE(probe.controller().computeConfiguration(*devices[0],
                                                                packsOf(probe.controller(), 1, 2), nullptr));
            expected = fromRecord(*devices[0]);
        }
        SimulatedSite site(unitSection(
            c.protocol, std::string("fault = ") + c.fault + "\nfault.count = " + std::to_string(c.count) +
                            "\nfault.after = " + std::to_string(starts[c.phase] + c.after) + "\n"));
        ASSERT_TRUE(site.ready()) << site.simulatorOutput();
        const CtlResult run =
            runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--unit", "1", "--pack", "2=2"});
        if (c.applied) {
            EXPECT_EQ(run.code, 0) << run.err;
            EXPECT_EQ(lastStored(site, "line"), expected);
        } else {
            EXPECT_EQ(run.code, 5) << run.err;
            EXPECT_TRUE(lastStored(site, "line").empty());
            const std::string format = catalogueText("msg.unitchanged");
            const std::string port =
                site.dir(std::string("line") + (c.protocol == std::string("hid") ? ".sock" : ""));
            const std::string changed = formatMessage(format.c_str(), "msg.unitchanged", {port});
            EXPECT_NE(run.err.find(changed), std::string::npos) << run.err;
        }
    }
}

} // namespace
} // namespace varnel::test
