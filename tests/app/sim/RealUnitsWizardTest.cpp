// The wizard as a technician runs it: the real dialog and controller, the
// real port libraries, and upssim units on the other end of the line.
#include "SimulatedUnits.h"
#include "support/JsonReader.h"

#include "app/WizardHarness.h"
#include "controller/VarnelController.h"
#include "device/VarnelDevice.h"

#include "chart/RuntimeChart.h"
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <thread>

namespace varnel::test {
namespace {

// Short pauses: the units are a simulator, not firmware that needs time. The
// framed protocol hands its pauses to the port library as time limits, so
// they stay long enough for a reply to arrive on a loaded machine.
const char* kPauses = "hid.post.read.sleep = 110\nserial.post.read.sleep = 150\n"
                      "hid.post.write.sleep = 120\nserial.post.write.sleep = 200";
constexpr std::uint32_t kLongestWaitMs = 5;

void shortWait(std::uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, kLongestWaitMs)));
}

// Index of "EBP-48 Small (4 x 7Ah)" in the sample file's type lists (entry 0 names no pack).
constexpr int kSmallFourPack = 1;

class RealUnits : public Wizard {
protected:
    void SetUp() override
    {
        Wizard::SetUp();
        writeSettings(kPauses);
    }
    void TearDown() override
    {
        waits.reset();
        Wizard::TearDown();
        units.reset();
    }

    // upssim with these units, then the dialog on page 1. The dialog installs
    // its own wait; the short one goes on top of it.
    void start(const std::string& unitFile, const std::string& name = "site")
    {
        waits.reset();
        realDialog.reset();
        units.reset();
        units = std::make_unique<SimulatedUnits>(name, unitFile);
        ASSERT_TRUE(units->ready()) << units->output();
        openReal();
        waits.emplace(shortWait);
    }

    // A probe run counts the requests a scan of one text unit makes, and
    // the reads before a save that make sure the unit is the one scanned, so
    // a fault can be set to begin with the save.
    void countScanRequests(std::size_t& scanRequests)
    {
        start(unitSection("line-ups", "text"), "probe");
        VarnelController probe;
        ASSERT_TRUE(probe.init(nullptr));
        ASSERT_EQ(probe.scanForDevices(nullptr).size(), 1u);
        ASSERT_TRUE(probe.identifyUnit(*probe.getDevices()[0]));
        scanRequests = units->requests("line-ups");
    }

    // Page 1 to page 3 with the shipped sample data file.
    void toPage3()
    {
        ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string())) << mainText().toStdString();
        button("1001")->click();
        ASSERT_EQ(window().getPage(), 3);
        ASSERT_TRUE(button("1001")->isEnabled()) << mainText().toStdString();
    }

    void toPage4()
    {
        button("1001")->click();
        ASSERT_EQ(window().getPage(), 4);
    }

    void saveWith(int quantity, int type)
    {
        combo("1016")->setCurrentIndex(quantity);
        combo("1017")->setCurrentIndex(type);
        ASSERT_TRUE(button("1001")->isEnabled());
        button("1001")->click();
        ASSERT_EQ(window().getPage(), 5);
    }

    QString lastLine() const { return mainText().split('\n').last(); }
    // The names of the lines the runtime chart draws.
    QStringList chartLines() const
    {
        QStringList names;
        if (auto* view = window().findChild<RuntimeChart*>("runtimeChart"); view != nullptr)
            names = view->seriesNames();
        return names;
    }
    std::string selectedProduct() const
    {
        VarnelDevice* device = window().getSelectedDevice();
        return device != nullptr ? device->getProductName() : "(none)";
    }

    // Every table value and both single values of the record reached the
    // unit exactly, and nothing else was written into it.
    void expectUnitHolds(const std::string& unit, const VarnelDevice& device)
    {
        expectJournalHolds(units->writes(unit), unit, device);
    }

    void expectSavedUpdate(const QString& outcome)
    {
        EXPECT_EQ(lastLine(), outcome) << mainText().toStdString();
        EXPECT_TRUE(mainText().contains(qt("msg.updatecomplete")));
        EXPECT_FALSE(button("1002")->isEnabled());
        EXPECT_FALSE(button("1001")->isEnabled());
        EXPECT_EQ(button("1000")->text(), qt("label.done"));
    }

    std::unique_ptr<SimulatedUnits> units;
    std::optional<ScopedSleepHandler> waits;
};

TEST_F(RealUnits, SecondOfTwoUnitsGetsTheUpdateAndTheFirstIsLeftAlone)
{
    start(unitSection("usb-ups", "hid") +
          unitSection("tower-ups", "text", "internal.count = 4\nexternal.count = 1\n"));
    toPage3();
    QComboBox* list = combo("1022");
    ASSERT_TRUE(list->isVisible()) << mainText().toStdString();
    EXPECT_EQ(comboEntries("1022"),
              (QStringList{"Simulated Power : SIM usb-ups", "Simulated Power : SIM tower-ups"}));
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(selectedProduct(), "SIM usb-ups");
    list->setCurrentIndex(1);
    EXPECT_EQ(selectedProduct(), "SIM tower-ups");

    toPage4();
    // What the unit itself reported, in a line that reads as one sentence.
    EXPECT_EQ(mainText(), qt("label.currentdevice") + " Simulated Power : SIM tower-ups\n" +
                              qt("label.currentinternalbatteries") + " = 4; " +
                              qt("label.currentexternalbatteries") + " = 1\n\n" + qt("label.selectpacks"));
    EXPECT_FALSE(mainText().contains(": =")) << mainText().toStdString();

    saveWith(2, kSmallFourPack);
    expectSavedUpdate(qt("msg.validated"));
    const VarnelDevice& chosen = *window().getSelectedDevice();
    EXPECT_EQ(chosen.getProductName(), "SIM tower-ups");
    EXPECT_EQ(chosen.getExternalBatteryCount(), 8);
    expectUnitHolds("tower-ups", chosen);
    // Reading the tables selects each entry in turn; no value may have been stored.
    for (const JournalWrite& write : units->writes("usb-ups"))
        if (!isIndexSelection(write))
            ADD_FAILURE() << "the other unit was written: " << write.field << " " << write.index << " = "
                          << write.value;
    const std::vector<std::string> log = readLines("varnel.log");
    EXPECT_NE(std::find(log.begin(), log.end(), "Device Read for Validation"), log.end());
}

// Two units of one model beside a third: each found once, in a line of its
// own whatever its protocol, listed by its port, and only the one chosen written.
TEST_F(RealUnits, IdenticalUnitsAreToldApartByTheirPorts)
{
    const std::string twin = "protocol = framed\nconfiguration = 0x0003\ninternal.type = 2\n"
                             "vendor = Simulated Power\nproduct = SIM twin\n";
    start(unitSection("usb-ups", "hid") + "[unit twin-a]\n" + twin + "[unit twin-b]\n" + twin);
    toPage3();
    const QString found = qt("label.devicediscovered") + " Simulated Power : SIM ";
    EXPECT_EQ(mainText(),
              (QStringList{qt("label.discoverdevices"), qt("label.scanusb"), found + "usb-ups (usb-ups.sock)",
                           qt("label.scanserial"), found + "twin (twin-a)", found + "twin (twin-b)",
                           qt("label.discoveredmultipledevices"), qt("label.postdiscover")})
                  .join('\n'));
    EXPECT_EQ(comboEntries("1022"),
              (QStringList{"Simulated Power : SIM usb-ups", "Simulated Power : SIM twin (twin-a)",
                           "Simulated Power : SIM twin (twin-b)"}));
    combo("1022")->setCurrentIndex(2);
    toPage4();
    EXPECT_TRUE(mainText().startsWith(qt("label.currentdevice") + " Simulated Power : SIM twin (twin-b)\n"));

    saveWith(2, kSmallFourPack);
    expectSavedUpdate(qt("msg.validated"));
    expectUnitHolds("twin-b", *window().getSelectedDevice());
    for (const JournalWrite& write : units->writes("twin-a"))
        if (!isIndexSelection(write))
            ADD_FAILURE() << "the twin was written: " << write.field << " " << write.index;
    EXPECT_EQ(chartLines(), (QStringList{qt("label.chart.before"), qt("label.chart.readback"),
                                         qt("label.chart.estimate").replace("%u", "10")}));
    // The backup's name is short; the whole port stays inside it.
    const std::string backup = newestBackup();
    EXPECT_TRUE(
        std::regex_match(backup, std::regex(R"(backups/\d{8}-\d{6}-Simulated_Power-SIM_twin-twin-b\.json)")))
        << backup;
    EXPECT_EQ((*parseJson(readFile(backup)))["portName"], window().getSelectedDevice()->getPortName());
}

TEST_F(RealUnits, DiscoveringAgainAsksTheUnitsNothingOnNoAndReadsThemAfreshOnYes)
{
    start(unitSection("rack-ups", "framed") + unitSection("line-ups", "text", "internal.count = 4\n"));
    toPage3();
    ASSERT_EQ(combo("1022")->count(), 2);
    combo("1022")->setCurrentIndex(1);
    VarnelDevice* chosen = window().getSelectedDevice();
    toPage4();
    const std::size_t rackRequests = units->requests("rack-ups");
    const std::size_t lineRequests = units->requests("line-ups");

    {
        auto no = ModalAnswer::question(QMessageBox::No);
        button("1002")->click();
        ASSERT_TRUE(no->answered);
        EXPECT_EQ(no->title, qt("label.askdiscoveragain"));
        EXPECT_TRUE(no->text.contains("SIM line-ups")) << no->text.toStdString();
    }
    EXPECT_EQ(window().getPage(), 3);
    EXPECT_EQ(mainText(), qt("label.skipdiscovery"));
    EXPECT_EQ(window().getSelectedDevice(), chosen);
    EXPECT_EQ(units->requests("rack-ups"), rackRequests);
    EXPECT_EQ(units->requests("line-ups"), lineRequests);
    toPage4();
    EXPECT_TRUE(mainText().contains("SIM line-ups")) << mainText().toStdString();

    {
        auto yes = ModalAnswer::question(QMessageBox::Yes);
        button("1002")->click();
        ASSERT_TRUE(yes->answered);
    }
    EXPECT_GT(units->requests("rack-ups"), rackRequests);
    EXPECT_GT(units->requests("line-ups"), lineRequests);
    // A new scan starts again at the first unit.
    EXPECT_EQ(selectedProduct(), "SIM rack-ups");
    EXPECT_EQ(combo("1022")->currentIndex(), 0);
    toPage4();
    EXPECT_TRUE(mainText().contains("SIM rack-ups")) << mainText().toStdString();

    // Once the units are gone, a further scan leaves nothing chosen that page 4 could still reach.
    ASSERT_TRUE(units->stop());
    {
        auto yes = ModalAnswer::question(QMessageBox::Yes);
        button("1002")->click();
        ASSERT_TRUE(yes->answered);
    }
    EXPECT_EQ(lastLine(), qt("msg.nodevices")) << mainText().toStdString();
    EXPECT_EQ(window().getSelectedDevice(), nullptr);
    EXPECT_FALSE(button("1001")->isEnabled());
    EXPECT_TRUE(button("1002")->isEnabled());
}

TEST_F(RealUnits, UnitFallingSilentDuringTheSaveLeavesBackEnabled)
{
    // A probe run counts the requests of a scan, so the unit takes the first
    // value of the save and answers neither the second nor its second try;
    // it answers again for the next run.
    std::size_t scanRequests = 0;
    ASSERT_NO_FATAL_FAILURE(countScanRequests(scanRequests));
    start(unitSection("line-ups", "text",
                      "fault = silent\nfault.count = 2\nfault.after = " + std::to_string(scanRequests + 1) +
                          "\n"));
    toPage3();
    ASSERT_EQ(selectedProduct(), "SIM line-ups");
    toPage4();
    auto no = ModalAnswer::question(QMessageBox::No);
    saveWith(1, kSmallFourPack);

    ASSERT_TRUE(no->answered);
    EXPECT_TRUE(mainText().endsWith(qt("label.savingchanges") + "\n" + qt("msg.updatefailed") + "\n" +
                                    qt("msg.chart.notwritten") + "\n" +
                                    qt("msg.restoredeclined", newestBackup())))
        << mainText().toStdString();
    EXPECT_EQ(chartLines(), QStringList{qt("label.chart.before")});
    EXPECT_TRUE(button("1002")->isEnabled());
    EXPECT_FALSE(button("1001")->isEnabled());
    EXPECT_EQ(button("1000")->text(), "Cancel");
    EXPECT_FALSE(units->writes("line-ups").empty());
    // Nothing is read back from a unit that did not take the update.
    const std::vector<std::string> log = readLines("varnel.log");
    EXPECT_EQ(std::find(log.begin(), log.end(), "Device Read for Validation"), log.end());

    // Back to a fresh page 4, from which page 5 can run again.
    button("1002")->click();
    EXPECT_EQ(window().getPage(), 4);
    EXPECT_EQ(combo("1016")->currentIndex(), 0);
    EXPECT_EQ(combo("1017")->currentIndex(), 0);
    EXPECT_FALSE(button("1001")->isEnabled());

    // The second run's backup keeps what the unit held, not the first run's plan.
    saveWith(2, kSmallFourPack);
    EXPECT_EQ(lastLine(), qt("msg.validated")) << mainText().toStdString();
    std::vector<nlohmann::json> backups;
    for (const auto& entry : std::filesystem::directory_iterator("backups"))
        backups.push_back(*parseJson(readFile(entry.path())));
    ASSERT_EQ(backups.size(), 2u);
    for (const char* field : {"externalBatteryCount", "batteryTableValues", "cTableValues", "cTableHighB"})
        EXPECT_EQ(backups[0][field], backups[1][field]) << field;
}

TEST_F(RealUnits, UnitKeepingOtherValuesIsSavedButNotValidated)
{
    // A unit that stores each value one too high is caught at the high B
    // index, which is compared first; one that keeps its old values is caught
    // wherever the update changed something.
    struct Case {
        const char* fault;
        const char* protocol;
        const char* reason;
    };
    for (const Case& fault : {Case{"wrongvalue", "framed", "msg.validatefailed.ctablehighb"},
                              Case{"ignorewrites", "hid", nullptr}}) {
        SCOPED_TRACE(fault.fault);
        start(unitSection("odd-ups", fault.protocol, std::string("fault = ") + fault.fault + "\n"),
              fault.fault);
        toPage3();
        toPage4();
        auto no = ModalAnswer::question(QMessageBox::No);
        saveWith(3, kSmallFourPack);
        ASSERT_TRUE(no->answered);
        expectSavedUpdate(qt("msg.restoredeclined", newestBackup()));
        const QStringList shown = mainText().split('\n');
        ASSERT_GE(shown.size(), 3);
        EXPECT_EQ(shown[shown.size() - 3], qt("msg.notvalidated")) << mainText().toStdString();
        EXPECT_EQ(shown[shown.size() - 2], qt("msg.chart.notwritten"));
        if (fault.reason != nullptr) {
            EXPECT_EQ(shown[shown.size() - 4], qt(fault.reason)) << mainText().toStdString();
        }
        // What the check read back stands beside the scanned table, not what was computed.
        EXPECT_EQ(chartLines(), (QStringList{qt("label.chart.before"), qt("label.chart.readback")}));
        EXPECT_FALSE(mainText().contains(qt("msg.validated"))) << mainText().toStdString();
    }
}

TEST_F(RealUnits, SaveCutShortAndAnsweredYesLeavesTheUnitWithItsOriginalValues)
{
    // The unit takes a few values of the save, misses a request and the one
    // trying it again, and answers again after them.
    std::size_t scanRequests = 0;
    ASSERT_NO_FATAL_FAILURE(countScanRequests(scanRequests));
    start(unitSection("line-ups", "text",
                      "fault = silent\nfault.count = 2\nfault.after = " + std::to_string(scanRequests + 1) +
                          "\n"));
    toPage3();
    toPage4();
    const VarnelDevice& unit = *window().getSelectedDevice();
    const std::int32_t external = unit.getExternalBatteryCount();
    const std::uint8_t highB = unit.getCTableHighB();
    const std::vector<std::uint8_t> batteryTable = unit.getBatteryTableValues();
    const std::vector<std::uint8_t> cTable = unit.getCTableValues();

    auto yes = ModalAnswer::question(QMessageBox::Yes);
    saveWith(2, kSmallFourPack);
    ASSERT_TRUE(yes->answered);
    EXPECT_EQ(yes->text, qt("msg.restorequestion", newestBackup()));
    EXPECT_TRUE(yes->richLabels.isEmpty()) << yes->richLabels.join('|').toStdString();
    EXPECT_EQ(lastLine(), qt("msg.restored")) << mainText().toStdString();
    EXPECT_TRUE(mainText().contains(qt("msg.updatefailed"))) << mainText().toStdString();
    EXPECT_TRUE(button("1002")->isEnabled());

    // What the unit stored last, field by field, is what it held before the save.
    auto original = [&](const JournalWrite& write) -> std::uint32_t {
        const auto i = static_cast<std::size_t>(write.index);
        if (write.field == "batteryTable")
            return i < batteryTable.size() ? batteryTable[i] : 0x100;
        if (write.field == "cTable")
            return i < cTable.size() ? cTable[i] : 0x100;
        return write.field == "cTableHighB" ? highB : static_cast<std::uint32_t>(external);
    };
    std::map<std::pair<std::string, int>, JournalWrite> last;
    bool changed = false;
    for (const JournalWrite& write : units->writes("line-ups")) {
        if (isIndexSelection(write))
            continue;
        changed = changed || write.stored != original(write);
        last[{write.field, write.index}] = write;
    }
    EXPECT_TRUE(changed); // the failed save had reached the unit
    EXPECT_EQ(last.size(), 2 + batteryTable.size() + cTable.size());
    for (const auto& [where, write] : last)
        EXPECT_EQ(write.stored, original(write)) << where.first << " " << where.second;
}

TEST_F(RealUnits, InternalBatteriesOnlyClearsTheUnitsExternalCount)
{
    start(unitSection("usb-ups", "hid", "external.count = 2\n"));
    toPage3();
    toPage4();
    EXPECT_TRUE(mainText().contains(qt("label.currentexternalbatteries") + " = 2"))
        << mainText().toStdString();
    button("1009")->click();
    ASSERT_EQ(window().getPage(), 5);
    expectSavedUpdate(qt("msg.validated"));
    EXPECT_FALSE(mainText().contains(qt("label.calculatingbatteryruntime")));
    for (const QString& line : mainText().split('\n'))
        EXPECT_FALSE(line.startsWith('(')) << line.toStdString();
    const VarnelDevice& unit = *window().getSelectedDevice();
    EXPECT_EQ(unit.getExternalBatteryCount(), 0);
    expectUnitHolds("usb-ups", unit);
}

} // namespace
} // namespace varnel::test
