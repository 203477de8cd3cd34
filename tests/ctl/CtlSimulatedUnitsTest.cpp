// varnelctl against upssim through the real port libraries: the shipped demo
// units, one of each protocol, with every value written checked in the
// simulator's journal.
#include "CtlRunner.h"
#include "controller/ConfigurationBackup.h"
#include "device/VarnelDevice.h"
#include "e2e/SimulatedSite.h"
#include "settings/MessageFormat.h"
#include "support/JsonReader.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <map>
#include <random>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace varnel::test {
namespace {

// The demo units in scan order: HID first, then the serial lines.
struct DemoUnit {
    const char* name;
    const char* port;
    const char* product;
    std::uint32_t configuration;
    std::uint32_t cTableHighB;
    int pack;                                // a pack of the battery type the unit's wattage table fits
    std::vector<std::uint32_t> batteryTable; // its internal batteries' table
};

const DemoUnit kDemoUnits[] = {
    {"usb-ups", "usb-ups.sock", "SIM-2000 USB", 0x03, 5, 4, {100, 44, 27, 19, 15, 10, 9, 7, 6, 6,
                                                             5,   4,  4,  3,  3,  3,  2, 2, 2, 2}},
    {"rack-ups", "rack-ups", "SIM-3000 framed", 0x01, 5, 2, {100, 42, 25, 18, 13, 9, 8, 6, 6, 5,
                                                             4,   3,  3,  3,  3,  2, 2, 2, 2, 2}},
    {"tower-ups", "tower-ups", "SIM-1500 text", 0x0D, 4, 6, {108, 49, 31, 22, 17, 13, 11, 9, 8, 7,
                                                             6,   5,  5,  4,  4,  4,  3,  3, 3, 3}},
};

// upssim's default for the C table the demo file leaves out.
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

// The demo file's units of one protocol each, which these tests number 1 to
// 3; the pair of identical units after them is there for the wizard.
std::string demoUnits()
{
    const std::string all = readFile(distFile("demo-units.ini"));
    return all.substr(0, all.find("[unit rack-1]"));
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
        EXPECT_EQ(numbersOf(unit["batteryTableValues"]), kDemoUnits[i].batteryTable);
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
        EXPECT_EQ(numbersOf(planDoc["current"]["batteryTableValues"]), unit.batteryTable);
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
    std::vector<std::string> picture = plan;
    picture.push_back("runtime.png");
    ASSERT_EQ(runCtl(picture).code, 0);
    EXPECT_EQ(readFile("runtime.png").rfind("\x89PNG\r\n", 0), 0u);

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

// Backups before every save, and writing them back.

namespace fs = std::filesystem;

std::vector<fs::path> backupFiles()
{
    std::vector<fs::path> files;
    if (fs::is_directory("backups"))
        for (const auto& entry : fs::directory_iterator("backups"))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

nlohmann::json fileJson(const fs::path& path)
{
    std::optional<nlohmann::json> doc = parseJson(readFile(path));
    return doc && doc->is_object() ? *doc : nlohmann::json::object();
}

// The value each field and table entry of a unit stored last, from its journal.
std::map<std::pair<std::string, int>, std::uint32_t> lastStored(const SimulatedSite& site,
                                                                const std::string& unit)
{
    std::map<std::pair<std::string, int>, std::uint32_t> stored;
    for (const JournalWrite& write : valueWrites(site, unit))
        stored[{write.field, write.index}] = write.stored;
    return stored;
}

const char* const kRecordFields[] = {"portName",
                                     "vendorName",
                                     "productName",
                                     "configurationInfo",
                                     "internalBatteryCount",
                                     "internalBatteryType",
                                     "externalBatteryCount",
                                     "batteryTableValues",
                                     "cTableValues",
                                     "cTableHighB"};

TEST(CtlBackups, ApplyKeepsTheUnitsValuesInABackupBeforeWritingAny)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    nlohmann::json before = parsed(runCtl({"scan", "--json"}))["units"][1];

    const CtlResult applied = runCtl(
        {"apply", "--yes", "--json", "--data", "sample-batterydata.xml", "--unit", "2", "--pack", "2=1"});
    ASSERT_EQ(applied.code, 0) << applied.err;
    nlohmann::json doc = parsed(applied);
    const std::vector<fs::path> files = backupFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::string path = files[0].generic_string();
    EXPECT_EQ(doc["backup"], path);
    EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                                 std::regex(R"(\d{8}-\d{6}-Simulated_Power-SIM-3000_framed-rack-ups\.json)")))
        << path;
    nlohmann::json backup = fileJson(files[0]);
    for (const char* field : kRecordFields)
        EXPECT_EQ(backup[field], before[field]) << field;
    EXPECT_EQ(backup["planned"], doc["planned"]);
    EXPECT_EQ(backup["fileVersionNumber"], "3.1");
    // The data file the planned values came from, as --json names it too.
    EXPECT_EQ(backup["fileSha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(backup["fileSha256"], doc["fileSha256"]);
    EXPECT_TRUE(std::regex_match(backup["savedAt"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    EXPECT_TRUE(site.logHas("Backup of the unit's configuration written to " + path));
    EXPECT_NE(applied.err.find(path), std::string::npos) << applied.err;

    // Two saves in one second keep two files.
    ASSERT_EQ(
        runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--unit", "2", "--pack", "2=2"}).code,
        0);
    ASSERT_EQ(runCtl({"backup", "--unit", "2"}).code, 0);
    EXPECT_EQ(backupFiles().size(), 3u);
}

TEST(CtlBackups, UnwritableBackupFolderRefusesTheSaveBeforeTheUnitIsTouched)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    writeFile("backups", "a file where the folder belongs");

    const CtlResult applied = runCtl(
        {"apply", "--yes", "--json", "--data", "sample-batterydata.xml", "--unit", "1", "--pack", "4=1"});
    EXPECT_EQ(applied.code, 5) << applied.err;
    nlohmann::json doc = parsed(applied);
    EXPECT_EQ(doc["saved"], false);
    EXPECT_TRUE(doc["backup"].is_null());
    EXPECT_NE(applied.err.find("could not be saved in the folder backups"), std::string::npos) << applied.err;
    EXPECT_EQ(applied.err.find(catalogueText("label.savingchanges")), std::string::npos) << applied.err;
    for (const DemoUnit& unit : kDemoUnits)
        EXPECT_TRUE(valueWrites(site, unit.name).empty()) << unit.name;
}

TEST(CtlBackups, SaveCutShortBySilentUnitIsUndoneByRestore)
{
    // A probe counts the requests of a scan and of the reads before a save
    // that make sure the unit is the one scanned; the unit then takes
    // a few values of the save, misses a request and its second try, and
    // answers again after them.
    const std::string unit =
        "[unit rack-ups]\nprotocol = framed\nconfiguration = 0x0001\ninternal.type = 1\n";
    std::size_t scanRequests = 0;
    {
        SimulatedSite probe(unit);
        ASSERT_TRUE(probe.ready()) << probe.simulatorOutput();
        ASSERT_EQ(probe.controller().scanForDevices(nullptr).size(), 1u);
        ASSERT_TRUE(probe.controller().identifyUnit(*probe.controller().getDevices()[0]));
        scanRequests = probe.requests("rack-ups");
    }
    SimulatedSite site(
        unit + "fault = silent\nfault.count = 2\nfault.after = " + std::to_string(scanRequests + 6) + "\n");
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();

    const CtlResult applied =
        runCtl({"apply", "--yes", "--data", "sample-batterydata.xml", "--unit", "1", "--pack", "2=3"});
    ASSERT_EQ(applied.code, 5) << applied.err;
    ASSERT_EQ(backupFiles().size(), 1u);
    const fs::path saved = backupFiles()[0];
    nlohmann::json original = fileJson(saved);
    // The unit was left half-written, not untouched.
    bool changed = false;
    for (const JournalWrite& write : valueWrites(site, "rack-ups"))
        changed = changed ||
                  (write.field == "cTableHighB" && write.stored != numberOf(original["cTableHighB"])) ||
                  (write.field == "externalBatteryCount" &&
                   write.stored != numberOf(original["externalBatteryCount"]));
    ASSERT_TRUE(changed);

    const CtlResult restored =
        runCtl({"restore", "--yes", "--json", "--unit", "1", "--from", saved.string()});
    ASSERT_EQ(restored.code, 0) << restored.err;
    nlohmann::json doc = parsed(restored);
    EXPECT_EQ(doc["validated"], true);
    // The half-written state was kept too, before the restore wrote anything.
    const std::vector<fs::path> files = backupFiles();
    ASSERT_EQ(files.size(), 2u);
    // Within one second the second name gets "-2", which sorts before the first.
    EXPECT_EQ(doc["backup"], (files[0] == saved ? files[1] : files[0]).generic_string());

    nlohmann::json now = parsed(runCtl({"scan", "--json"}))["units"][0];
    for (const char* field : kRecordFields)
        EXPECT_EQ(now[field], original[field]) << field;
    const auto stored = lastStored(site, "rack-ups");
    EXPECT_EQ(stored.at({"cTableHighB", -1}), numberOf(original["cTableHighB"]));
    EXPECT_EQ(stored.at({"externalBatteryCount", -1}), numberOf(original["externalBatteryCount"]));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(stored.at({"batteryTable", i}), numberOf(original["batteryTableValues"][i])) << i;
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(stored.at({"cTable", i}), numberOf(original["cTableValues"][i])) << i;
}

TEST(CtlBackups, RestoreRefusesForeignUnitsAndMalformedFilesWritingNothing)
{
    SimulatedSite site(demoUnits());
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    const CtlResult taken = runCtl({"backup", "--json", "--unit", "2"});
    ASSERT_EQ(taken.code, 0) << taken.err;
    const std::string good = readFile(parsed(taken)["backup"].get<std::string>());
    ASSERT_TRUE(valueWrites(site, "rack-ups").empty());
    auto edited = [&good](const std::function<void(nlohmann::json&)>& edit) {
        nlohmann::json doc = *parseJson(good);
        edit(doc);
        return doc.dump();
    };

    const struct {
        const char* what;
        std::string content;
        const char* unit;
        int code;
        std::string shown;
    } cases[] = {
        {"truncated", good.substr(0, good.size() / 2), "2", 2, "it is missing, damaged or not a backup file"},
        {"empty", "", "2", 2, "it is missing, damaged or not a backup file"},
        {"short battery table", edited([](auto& d) { d["batteryTableValues"].erase(0); }), "2", 2,
         "its batteryTableValues is missing"},
        {"C table value above 255", edited([](auto& d) { d["cTableValues"][3] = 256; }), "2", 2,
         "its cTableValues is missing"},
        {"negative high B", edited([](auto& d) { d["cTableHighB"] = -1; }), "2", 2,
         "its cTableHighB is missing"},
        {"text as a count", edited([](auto& d) { d["externalBatteryCount"] = "4"; }), "2", 2,
         "its externalBatteryCount is missing"},
        {"no vendor", edited([](auto& d) { d.erase("vendorName"); }), "2", 2, "its vendorName is missing"},
        {"other configuration word", edited([](auto& d) { d["configurationInfo"] = 3; }), "2", 3,
         "its configurationInfo differs"},
        {"other internal type", edited([](auto& d) { d["internalBatteryType"] = 2; }), "2", 3,
         "its internalBatteryType differs"},
        {"other product", good, "1", 3, "its productName differs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile("candidate.json", c.content);
        const CtlResult run =
            runCtl({"restore", "--yes", "--json", "--unit", c.unit, "--from", "candidate.json"});
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_NE(run.err.find(c.shown), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Nothing was written"), std::string::npos) << run.err;
        EXPECT_EQ(parsed(run)["exitCode"], c.code);
    }
    EXPECT_EQ(runCtl({"restore", "--yes", "--unit", "2", "--from", "no-such-file.json"}).code, 2);
    // Named by mistake, a device that never ends is not read to its end.
    EXPECT_EQ(runCtl({"restore", "--yes", "--unit", "2", "--from", "/dev/zero"}).code, 2);
    // Nor is a pipe waited on.
    ASSERT_EQ(mkfifo("backup-pipe.json", 0600), 0);
    EXPECT_EQ(runCtl({"restore", "--yes", "--unit", "2", "--from", "backup-pipe.json"}).code, 2);
    for (const DemoUnit& unit : kDemoUnits)
        EXPECT_TRUE(valueWrites(site, unit.name).empty()) << unit.name;

    // Another kind of unit takes it when told to.
    writeFile("candidate.json", good);
    const CtlResult forced =
        runCtl({"restore", "--yes", "--force", "--unit", "1", "--from", "candidate.json"});
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_FALSE(valueWrites(site, "usb-ups").empty());
}

TEST(CtlBackups, KilledDuringTheBackupLeavesNoPartFileUnderAFinalName)
{
    // The program runs with its real waits here, kept short so the loop stays quick.
    SimulatedSite site("[unit usb-ups]\nprotocol = hid\nconfiguration = 0x0003\n", {},
                       "locale.name = English\nlocale.strings = en\nhid.post.read.sleep = 1\n");
    ASSERT_TRUE(site.ready()) << site.simulatorOutput();
    auto start = [] {
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execl(VARNEL_BINARY_DIR "/bin/varnelctl", "varnelctl", "backup", "--unit", "1", nullptr);
            _exit(127);
        }
        return pid;
    };
    // A whole run first, watched for the moment its file appears, to aim the kills at the write.
    const auto begun = std::chrono::steady_clock::now();
    const pid_t first = start();
    ASSERT_GT(first, 0);
    std::chrono::microseconds appeared{0};
    int status = 0;
    while (waitpid(first, &status, WNOHANG) == 0) {
        if (appeared.count() == 0 && !backupFiles().empty())
            appeared = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - begun);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(backupFiles().size(), 1u);
    ASSERT_GT(appeared.count(), 0);

    // Killed at a random moment around then, or within a few milliseconds of
    // a new name showing in the folder (the temporary file: the write is under
    // way), whichever comes first.
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> delay(appeared.count() - 200000, appeared.count() + 2000000);
    std::uniform_int_distribution<long> afterNewName(0, 3000);
    for (int run = 0; run < 6; ++run) {
        const std::size_t known = backupFiles().size();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(delay(random));
        const pid_t pid = start();
        ASSERT_GT(pid, 0);
        while (std::chrono::steady_clock::now() < deadline && backupFiles().size() == known)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (backupFiles().size() != known)
            std::this_thread::sleep_for(std::chrono::microseconds(afterNewName(random)));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        for (const fs::path& file : backupFiles()) {
            if (file.filename().string().front() == '.')
                continue; // a temporary file, never under a final name
            BackupRecord record;
            std::string field;
            EXPECT_EQ(ConfigurationBackup::read(file.string(), record, field),
                      ConfigurationBackup::ReadResult::read)
                << file << ": " << readFile(file);
        }
    }
}

} // namespace
} // namespace varnel::test
