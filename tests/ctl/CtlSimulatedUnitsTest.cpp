// varnelctl against upssim through the real port libraries: the shipped demo
// units, one of each protocol, with every value written checked in the
// simulator's journal.
#include "CtlRunner.h"
#include "device/VarnelDevice.h"
#include "e2e/SimulatedSite.h"
#include "settings/MessageFormat.h"
#include "support/JsonReader.h"

#include <gtest/gtest.h>

#include <map>

namespace varnel::test {
namespace {

// The demo units in scan order: HID first, then the serial lines.
struct DemoUnit {
    const char* name;
    const char* port;
    const char* product;
    std::uint32_t configuration;
    std::uint32_t cTableHighB;
    int pack; // a pack of the battery type the unit's wattage table fits
};

const DemoUnit kDemoUnits[] = {
    {"usb-ups", "usb-ups.sock", "SIM-2000 USB", 0x03, 5, 4},
    {"rack-ups", "rack-ups", "SIM-3000 framed", 0x01, 5, 2},
    {"tower-ups", "tower-ups", "SIM-1500 text", 0x0D, 4, 6},
};

// upssim's defaults for the tables the demo file leaves out.
const std::vector<std::uint32_t> kDefaultBatteryTable{120, 104, 90, 78, 68, 60, 53, 47, 42, 38,
                                                      34,  31,  28, 26, 24, 22, 20, 19, 18, 17};
const std::vector<std::uint32_t> kDefaultCTable{10, 20, 30, 40, 50, 60, 70, 80, 90};

struct Values {
    std::uint32_t externalBatteryCount = 0;
    std::vector<std::uint32_t> batteryTable;
    std::vector<std::uint32_t> cTable;
    std::uint32_t cTableHighB = 0;
};

bool operator==(const Values& a, const Values& b)
{
    return a.externalBatteryCount == b.externalBatteryCount && a.batteryTable == b.batteryTable &&
           a.cTable == b.cTable && a.cTableHighB == b.cTableHighB;
}

std::ostream& operator<<(std::ostream& out, const Values& v)
{
    out << "external " << v.externalBatteryCount << ", high B " << v.cTableHighB << ", battery table";
    for (std::uint32_t b : v.batteryTable)
        out << ' ' << b;
    out << ", C table";
    for (std::uint32_t c : v.cTable)
        out << ' ' << c;
    return out;
}

Values fromRecord(const VarnelDevice& device)
{
    Values v;
    v.externalBatteryCount = static_cast<std::uint32_t>(device.getExternalBatteryCount());
    v.batteryTable.assign(device.getBatteryTableValues().begin(), device.getBatteryTableValues().end());
    v.cTable.assign(device.getCTableValues().begin(), device.getCTableValues().end());
    v.cTableHighB = device.getCTableHighB();
    return v;
}

Values fromJson(nlohmann::json& json)
{
    return {numberOf(json["externalBatteryCount"]), numbersOf(json["batteryTableValues"]),
            numbersOf(json["cTableValues"]), numberOf(json["cTableHighB"])};
}

// The values the unit stored from its journal's writes, starting at write `from`;
// every write must have stored what it asked for.
Values fromJournal(const SimulatedSite& site, const std::string& unit, std::size_t from = 0)
{
    Values v;
    std::map<int, std::uint32_t> battery, cTable;
    std::map<std::string, int> singles;
    const std::vector<JournalWrite> writes = site.writes(unit);
    for (std::size_t i = from; i < writes.size(); ++i) {
        const JournalWrite& w = writes[i];
        EXPECT_EQ(w.stored, w.value) << unit << " " << w.field << " " << w.index;
        if (w.field == "batteryTable")
            battery[w.index] = w.stored;
        else if (w.field == "cTable")
            cTable[w.index] = w.stored;
        else if (w.field == "externalBatteryCount")
            v.externalBatteryCount = w.stored, ++singles[w.field];
        else if (w.field == "cTableHighB")
            v.cTableHighB = w.stored, ++singles[w.field];
    }
    // Each table entry and each single value exactly once, in index order.
    for (const auto& [index, value] : battery)
        if (index == static_cast<int>(v.batteryTable.size()))
            v.batteryTable.push_back(value);
    for (const auto& [index, value] : cTable)
        if (index == static_cast<int>(v.cTable.size()))
            v.cTable.push_back(value);
    EXPECT_EQ(singles, (std::map<std::string, int>{{"cTableHighB", 1}, {"externalBatteryCount", 1}})) << unit;
    return v;
}

// What the controller itself computes for each unit of a fresh scan.
std::vector<Values> reference(SimulatedSite& site, const std::vector<std::vector<std::uint32_t>>& quantities)
{
    auto& devices = site.controller().scanForDevices(nullptr);
    std::vector<Values> expected;
    EXPECT_EQ(devices.size(), quantities.size());
    for (std::size_t i = 0; i < devices.size() && i < quantities.size(); ++i) {
        EXPECT_TRUE(site.controller().computeConfiguration(*devices[i], quantities[i], nullptr));
        expected.push_back(fromRecord(*devices[i]));
    }
    site.controller().clearDevices();
    return expected;
}

// Writes of values; selecting a table index while reading a unit is not one.
std::vector<JournalWrite> valueWrites(const SimulatedSite& site, const std::string& unit)
{
    std::vector<JournalWrite> found;
    for (const JournalWrite& write : site.writes(unit))
        if (write.field != "batteryTableIndex" && write.field != "cTableIndex")
            found.push_back(write);
    return found;
}

std::string demoUnits()
{
    return readFile(distFile("demo-units.ini"));
}

// Always an object, so a missing member reads as null.
nlohmann::json parsed(const CtlResult& run)
{
    std::optional<nlohmann::json> doc = parseJson(run.out);
    EXPECT_TRUE(doc && doc->is_object()) << "not one JSON document: " << run.out;
    return doc && doc->is_object() ? *doc : nlohmann::json::object();
}

TEST(CtlSimulatedUnits, ScanListsTheThreeDemoUnitsAsTextAndJson)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();

    const CtlResult text = runCtl({"scan"});
    ASSERT_EQ(text.code, 0) << text.err;
    const std::vector<std::string> lines = linesOf(text.out);
    ASSERT_EQ(lines.size(), 3u) << text.out;
    EXPECT_EQ(lines[0],
              "1  '" + site.dir("usb-ups.sock") +
                  "'  Simulated Power : SIM-2000 USB  internal 2 of type 2  external 0  configuration 0x03");
    EXPECT_NE(text.err.find(catalogueText("msg.ctl.discoveredmultipledevices")), std::string::npos);

    const CtlResult json = runCtl({"scan", "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    nlohmann::json doc = parsed(json);
    ASSERT_TRUE(doc["units"].is_array());
    ASSERT_EQ(doc["units"].size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(kDemoUnits[i].name);
        nlohmann::json& unit = doc["units"][i];
        ASSERT_TRUE(unit.is_object());
        EXPECT_EQ(unit["number"], i + 1);
        EXPECT_EQ(unit["portName"], site.dir(kDemoUnits[i].port));
        EXPECT_EQ(unit["vendorName"], "Simulated Power");
        EXPECT_EQ(unit["productName"], kDemoUnits[i].product);
        EXPECT_EQ(unit["configurationInfo"], kDemoUnits[i].configuration);
        EXPECT_EQ(unit["externalBatteryCount"], 0);
        EXPECT_EQ(numbersOf(unit["batteryTableValues"]), kDefaultBatteryTable);
        EXPECT_EQ(numbersOf(unit["cTableValues"]), kDefaultCTable);
        EXPECT_EQ(unit["cTableHighB"], kDemoUnits[i].cTableHighB);
        EXPECT_TRUE(valueWrites(site, kDemoUnits[i].name).empty());
    }
}

TEST(CtlSimulatedUnits, PlanWritesNothingAndApplyWritesExactlyThePlanOnEachProtocol)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    // A different count per unit, so values landing on the wrong unit show.
    std::vector<std::vector<std::uint32_t>> quantities;
    for (std::uint32_t i = 0; i < 3; ++i)
        quantities.push_back(packsOf(site.controller(), kDemoUnits[i].pack - 1, i + 1));
    const std::vector<Values> expected = reference(site, quantities);
    ASSERT_EQ(expected.size(), 3u);

    for (std::size_t i = 0; i < 3; ++i) {
        const DemoUnit& unit = kDemoUnits[i];
        SCOPED_TRACE(unit.name);
        const std::vector<std::string> selection{"--unit", std::to_string(i + 1), "--pack",
                                                 std::to_string(unit.pack) + "=" + std::to_string(i + 1)};
        std::vector<std::string> plan{"plan", "--json", "--data", "sample-batterydata.xml"};
        plan.insert(plan.end(), selection.begin(), selection.end());
        const CtlResult planned = runCtl(plan);
        ASSERT_EQ(planned.code, 0) << planned.err;
        nlohmann::json planDoc = parsed(planned);
        EXPECT_EQ(fromJson(planDoc["planned"]), expected[i]);
        EXPECT_EQ(numbersOf(planDoc["current"]["batteryTableValues"]), kDefaultBatteryTable);
        EXPECT_FALSE(planDoc.contains("saved")); // plan says nothing about saving
        EXPECT_TRUE(valueWrites(site, unit.name).empty());

        std::vector<std::string> apply{"apply", "--yes", "--data", "sample-batterydata.xml", "--json"};
        apply.insert(apply.end(), selection.begin(), selection.end());
        const CtlResult applied = runCtl(apply);
        ASSERT_EQ(applied.code, 0) << applied.err << site.simulatorOutput();
        nlohmann::json doc = parsed(applied);
        EXPECT_EQ(doc["saved"], true);
        EXPECT_EQ(doc["validated"], true);
        EXPECT_EQ(doc["exitCode"], 0);
        EXPECT_EQ(fromJson(doc["planned"]), expected[i]);
        EXPECT_EQ(fromJournal(site, unit.name), expected[i]);
        for (std::size_t later = i + 1; later < 3; ++later)
            EXPECT_TRUE(valueWrites(site, kDemoUnits[later].name).empty()) << kDemoUnits[later].name;
    }
    EXPECT_TRUE(site.logHas("Device Read for Validation"));
}

TEST(CtlSimulatedUnits, InternalOnlyWritesTheUnitsOwnBatteriesAndNoPacks)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    const std::vector<std::uint32_t> none(site.controller().getBatteryPacks().size(), 0);
    const std::vector<Values> expected = reference(site, {none, none, none});
    ASSERT_EQ(expected.size(), 3u);

    const CtlResult text =
        runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--unit", "3", "--internal-only"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("Saved and validated."), std::string::npos) << text.out;
    const Values written = fromJournal(site, "tower-ups");
    EXPECT_EQ(written, expected[2]);
    EXPECT_EQ(written.externalBatteryCount, 0u);
    EXPECT_TRUE(valueWrites(site, "usb-ups").empty());
    EXPECT_TRUE(valueWrites(site, "rack-ups").empty());
}

TEST(CtlSimulatedUnits, BadPackOrUnitTouchesNoUnit)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();

    const CtlResult pack =
        runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--unit", "1", "--pack", "7=1"});
    EXPECT_EQ(pack.code, 1);
    EXPECT_NE(pack.err.find("there is no pack 7: the data file has 6"), std::string::npos) << pack.err;
    // Refused before the scan: not one request reached a unit.
    for (const DemoUnit& unit : kDemoUnits)
        EXPECT_EQ(site.requests(unit.name), 0u) << unit.name;

    const CtlResult unit = runCtl(
        {"apply", "--yes", "--data", "sample-batterydata.xml", "--json", "--unit", "4", "--pack", "1=1"});
    EXPECT_EQ(unit.code, 3);
    nlohmann::json doc = parsed(unit);
    EXPECT_EQ(doc["exitCode"], 3);
    EXPECT_EQ(doc["error"], "there is no unit 4: the scan found 3");

    // Packs the unit's wattage table does not fit: the computation refuses and nothing is written.
    const CtlResult unfit =
        runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--unit", "3", "--pack", "4=1"});
    EXPECT_EQ(unfit.code, 4);
    EXPECT_NE(unfit.err.find(catalogueText("msg.calculationserror")), std::string::npos) << unfit.err;
    for (const DemoUnit& demo : kDemoUnits)
        EXPECT_TRUE(valueWrites(site, demo.name).empty()) << demo.name;
}

#ifdef VARNEL_WITH_CHART
// 'plan --plot' draws without a display and writes nothing into the unit; a
// failed computation still draws the unit's table; a file that cannot be
// written is said so and fails the command.
TEST(CtlSimulatedUnits, PlanPlotWritesTheRuntimeChartAsSvg)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    const std::vector<std::string> plan{"plan", "--data", "sample-batterydata.xml", "--unit", "2", "--pack",
                                        "2=1",  "--plot"};

    std::vector<std::string> drawn = plan;
    drawn.push_back("runtime.svg");
    const CtlResult plotted = runCtl(drawn);
    ASSERT_EQ(plotted.code, 0) << plotted.err;
    const std::string svg = readFile("runtime.svg");
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u) << svg.substr(0, 80);
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find(">" + catalogueText("label.chart.loadwatts") + "<"), std::string::npos);
    EXPECT_NE(plotted.err.find("runtime.svg"), std::string::npos) << plotted.err;
    EXPECT_TRUE(valueWrites(site, "rack-ups").empty());

    // Without the unit's scalar table nothing is computed, but the chart still
    // shows what the unit holds, as stored, and says so.
    std::string data = readFile("sample-batterydata.xml");
    const std::size_t table = data.find("<FWScalarTable index=\"0\">");
    ASSERT_NE(table, std::string::npos);
    const std::string end = "</FWScalarTable>";
    data.erase(table, data.find(end, table) + end.size() - table);
    writeFile("no-scalars.xml", data);
    std::vector<std::string> unscaled = drawn;
    unscaled[2] = "no-scalars.xml";
    const CtlResult raw = runCtl(unscaled);
    EXPECT_EQ(raw.code, 4);
    EXPECT_NE(readFile("runtime.svg").find(">" + catalogueText("label.chart.tablevalue") + "<"),
              std::string::npos);
    EXPECT_NE(raw.err.find(catalogueText("msg.chart.unscaled")), std::string::npos) << raw.err;

    std::vector<std::string> nowhere = plan;
    nowhere.push_back("no/such/folder/runtime.svg");
    const CtlResult failed = runCtl(nowhere);
    EXPECT_EQ(failed.code, 1);
    const std::string reason =
        formatMessage(catalogueText("msg.ctl.plotfailed").c_str(), "", {"no/such/folder/runtime.svg"});
    EXPECT_NE(failed.err.find(reason), std::string::npos) << failed.err;
}
#endif

// Where a page's text asks for a click, the terminal gets its own wording.
TEST(CtlSimulatedUnits, ConsoleWordingsInsteadOfThePagesOnes)
{
    SimulatedSite site("[unit no-packs]\nprotocol = framed\nconfiguration = 0x0000\n"
                       "internal.count = 2\ninternal.type = 1\n");
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    writeFile("broken.xml", "<ExternalBatteryPack><Version");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* console;
        const char* wizard;
    } cases[] = {
        {{"scan"}, 3, "msg.ctl.nodevices", "msg.nodevices"},
        {{"packs", "--data", "sample-batterydata.xml"}, 0, "msg.ctl.fileparsed", "label.fileparsed"},
        {{"packs", "--data", "broken.xml"}, 2, "msg.ctl.parsefailed", "msg.parsefailed"},
        {{"packs", "--data", "http"}, 2, "msg.ctl.unabletocontinue", "label.unabletocontinue"},
    };
    auto shown = [](const char* key) {
        const std::string format = catalogueText(key);
        return formatMessage(format.c_str(), key, {"3.1", "2026-11-30"});
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.console);
        const CtlResult run = runCtl(c.args);
        EXPECT_EQ(run.code, c.code) << run.err;
        ASSERT_FALSE(catalogueText(c.console).empty());
        EXPECT_NE(run.err.find(shown(c.console)), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(shown(c.wizard)), std::string::npos) << run.err;
    }
}

TEST(CtlSimulatedUnits, UnitStoringWrongValuesExitsWithSix)
{
    std::string units;
    for (const char* protocol : {"hid", "framed", "text"})
        units += std::string("[unit wrong-") + protocol + "]\nprotocol = " + protocol +
                 "\nconfiguration = 0x0003\ninternal.count = 2\ninternal.type = 2\nfault = wrongvalue\n";
    SimulatedSite site(units);
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();

    int number = 1;
    for (const char* unit : {"wrong-hid", "wrong-framed", "wrong-text"}) {
        SCOPED_TRACE(unit);
        const CtlResult run = runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--json",
                                      "--unit", std::to_string(number++), "--pack", "2=1"});
        EXPECT_EQ(run.code, 6) << run.err;
        nlohmann::json doc = parsed(run);
        EXPECT_EQ(doc["saved"], true);
        EXPECT_EQ(doc["validated"], false);
        EXPECT_EQ(doc["exitCode"], 6);
        EXPECT_NE(run.err.find("differ from those written"), std::string::npos);
        const std::vector<JournalWrite> writes = site.writes(unit);
        ASSERT_FALSE(writes.empty());
        for (const JournalWrite& write : writes) {
            if (write.field == "cTableHighB") {
                EXPECT_EQ(write.stored, write.value + 1);
            }
        }
    }
}

} // namespace
} // namespace varnel::test
