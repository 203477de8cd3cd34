#include "app/WizardHarness.h"
#include "platform/Sha256.h"

#include "settings/Log.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>
#include <filesystem>

namespace varnel::test {
namespace {

// A data file with three packs named "Pack 0" to "Pack 2", made by the generator.
std::string threePackFile()
{
    const std::string command =
        std::string(VARNEL_BINARY_DIR) + "/bin/gen-batterydata three.xml --types 2 --packs 3 --seed 3";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return std::filesystem::absolute("three.xml").string();
}

const QStringList kThreePacks{"Pack 0", "Pack 1", "Pack 2"};

class Pages : public Wizard {
protected:
    // Straight to page 4 with one unit and the three-pack file.
    void toPage4(std::vector<UnitSpec> units = {{"Acme", "UPS 1500", 2, 1}})
    {
        ASSERT_TRUE(readLocalFile(threePackFile()));
        discover(std::move(units));
        ASSERT_EQ(dialog->getPage(), 3);
        ASSERT_TRUE(button("1001")->isEnabled());
        button("1001")->click();
        ASSERT_EQ(dialog->getPage(), 4);
    }
    void choose(const char* quantityId, int quantity, const char* typeId, int type)
    {
        combo(quantityId)->setCurrentIndex(quantity);
        combo(typeId)->setCurrentIndex(type);
    }
    QStringList lines() const { return mainText().split('\n'); }
};

TEST_F(Pages, CancelledFileDialogLeavesPage2WithBackOnly)
{
    open();
    auto answer = ModalAnswer::file("");
    button("1001")->click();
    ASSERT_TRUE(answer->answered);
    EXPECT_EQ(answer->nameFilters, QStringList{"XML Configuration Files (*.xml)"});
    EXPECT_EQ(dialog->getPage(), 2);
    EXPECT_EQ(dialog->windowTitle(), qt("label.page2"));
    EXPECT_EQ(mainText(), qt("msg.nofileselected") + "\n" + qt("label.unabletocontinue"));
    EXPECT_TRUE(mainTextLabel()->isVisible());
    EXPECT_TRUE(dialog->getDataFilePath().empty());
    EXPECT_FALSE(button("1001")->isEnabled());
    EXPECT_TRUE(button("1002")->isEnabled());

    // Back offers the choice again.
    button("1002")->click();
    EXPECT_EQ(dialog->getPage(), 1);
    EXPECT_TRUE(button("1001")->isEnabled());
}

TEST_F(Pages, DataFileListsItsPacksOnPage2)
{
    const std::string file = threePackFile();
    ASSERT_TRUE(readLocalFile(file));
    EXPECT_EQ(dialog->getDataFilePath(), file);
    EXPECT_TRUE(button("1002")->isEnabled());
    EXPECT_TRUE(combo("1017")->isVisible());
    EXPECT_EQ(comboEntries("1017"), kThreePacks);
    EXPECT_EQ(combo("1017")->currentIndex(), 0);
    EXPECT_FALSE(combo("1016")->isVisible());
    QStringList shown = mainText().split('\n');
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[1], qt("label.parsingfile"));
    EXPECT_TRUE(shown[2].contains("9.9.9"));
    EXPECT_TRUE(shown[2].contains("2026-12-01"));
    EXPECT_EQ(shown[3].toStdString(), "SHA-256 " + Sha256::ofFile(file));

    // Looking at the list changes nothing.
    combo("1017")->setCurrentIndex(2);
    EXPECT_TRUE(button("1001")->isEnabled());
}

// However long the status text grows, it stays above the pack list, its
// newest lines in sight.
TEST_F(Pages, LongStatusTextOnPage2StaysAboveThePackList)
{
    std::string longText = "label.parsingfile =";
    for (int i = 0; i < 80; ++i)
        longText += " Reading the battery data file, part " + std::to_string(i) + ".";
    writeFile("varnelstrings.en", readFile("varnelstrings.en") + "\n" + longText + "\n");
    ASSERT_TRUE(readLocalFile(threePackFile()));
    ASSERT_TRUE(combo("1017")->isVisible());
    const QLabel* text = mainTextLabel();
    EXPECT_FALSE(text->geometry().intersects(combo("1017")->geometry()))
        << text->geometry().bottom() << " reaches below " << combo("1017")->geometry().top();
    ASSERT_GT(text->heightForWidth(text->width()), text->height()); // the case at stake: it does not fit
    EXPECT_TRUE(text->alignment() & Qt::AlignBottom);
}

TEST_F(Pages, UnreadableDataFileKeepsNextDisabled)
{
    writeFile("broken.xml", "<ExternalBatteryPack><Version");
    ASSERT_FALSE(readLocalFile(std::filesystem::absolute("broken.xml").string()));
    EXPECT_EQ(dialog->getPage(), 2);
    EXPECT_TRUE(mainText().endsWith(qt("msg.parsefailed")));
    EXPECT_TRUE(button("1002")->isEnabled());
}

TEST_F(Pages, ReturningToPage2AsksWhetherToObtainTheFileAgain)
{
    ASSERT_TRUE(readLocalFile(threePackFile()));
    discover({});
    ASSERT_EQ(dialog->getPage(), 3);

    auto no = ModalAnswer::question(QMessageBox::No);
    button("1002")->click();
    ASSERT_TRUE(no->answered);
    EXPECT_EQ(no->text, qt("msg.alreadyhavefile"));
    EXPECT_EQ(dialog->getPage(), 2);
    EXPECT_EQ(mainText(), qt("label.skipfiledownload"));
    EXPECT_TRUE(button("1001")->isEnabled());
    EXPECT_FALSE(dialog->getDataFilePath().empty());

    dialog->units = {{"Acme", "UPS", 1, 0}};
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 3);
    auto yes = ModalAnswer::question(QMessageBox::Yes);
    button("1002")->click();
    ASSERT_TRUE(yes->answered);
    EXPECT_EQ(dialog->getPage(), 1);
    EXPECT_TRUE(dialog->getDataFilePath().empty());

    // A second file's packs replace the first one's.
    ASSERT_TRUE(readLocalFile(threePackFile()));
    EXPECT_EQ(comboEntries("1017").size(), 3);
}

TEST_F(Pages, ScanWithoutUnitsEndsPage3WithNextDisabled)
{
    ASSERT_TRUE(readLocalFile(threePackFile()));
    discover({});
    EXPECT_EQ(dialog->getPage(), 3);
    EXPECT_EQ(dialog->windowTitle(), qt("label.page3"));
    EXPECT_EQ(mainText(), qt("label.discoverdevices") + "\nscanned\n" + qt("msg.nodevices"));
    EXPECT_FALSE(button("1001")->isEnabled());
    EXPECT_TRUE(button("1002")->isEnabled());
    EXPECT_EQ(dialog->getSelectedDevice(), nullptr);
}

TEST_F(Pages, OneUnitIsChosenAndNamed)
{
    ASSERT_TRUE(readLocalFile(threePackFile()));
    discover({{"Acme", "UPS 1500", 2, 1}});
    EXPECT_EQ(mainText(), qt("label.discoverdevices") + "\nscanned\n" + qt("label.discoveredonedevice") +
                              "\nAcme : UPS 1500\n" + qt("label.postdiscover"));
    ASSERT_NE(dialog->getSelectedDevice(), nullptr);
    EXPECT_EQ(dialog->getSelectedDevice()->getProductName(), "UPS 1500");
    EXPECT_FALSE(combo("1022")->isVisible());
    EXPECT_TRUE(button("1001")->isEnabled());
}

TEST_F(Pages, SeveralUnitsAreListedAndTheSecondCanBeChosen)
{
    ASSERT_TRUE(readLocalFile(threePackFile()));
    discover({{"Acme", "First", 2, 0}, {"Bolt", "Second", 3, 4}});
    EXPECT_TRUE(combo("1022")->isVisible());
    EXPECT_EQ(comboEntries("1022"), (QStringList{"Acme : First", "Bolt : Second"}));
    EXPECT_EQ(combo("1022")->currentIndex(), 0);
    EXPECT_EQ(dialog->getSelectedDevice()->getProductName(), "First");
    EXPECT_TRUE(mainText().contains(qt("label.discoveredmultipledevices")));

    combo("1022")->setCurrentIndex(1);
    EXPECT_EQ(dialog->getSelectedDevice()->getProductName(), "Second");
    // No selection at all must not pick anything, nor read past the list.
    dialog->onDeviceSelectionChanged(-1);
    dialog->onDeviceSelectionChanged(2);
    EXPECT_EQ(dialog->getSelectedDevice()->getProductName(), "Second");

    button("1001")->click();
    EXPECT_EQ(dialog->getPage(), 4);
    EXPECT_EQ(mainText(), qt("label.currentdevice") + " Bolt : Second\n" +
                              qt("label.currentinternalbatteries") + " = 3; " +
                              qt("label.currentexternalbatteries") + " = 4\n\n" + qt("label.selectpacks"));
    dialog->computeResult = true;
    combo("1016")->setCurrentIndex(1);
    combo("1017")->setCurrentIndex(1);
    button("1001")->click();
    auto& devices = dialog->getController().getDevices();
    EXPECT_EQ(static_cast<FakeDevice*>(devices[0].get())->saveCalls, 0);
    EXPECT_EQ(static_cast<FakeDevice*>(devices[1].get())->saveCalls, 1);
}

TEST_F(Pages, DiscoveringAgainAsksFirst)
{
    ASSERT_TRUE(readLocalFile(threePackFile()));
    discover({{"Acme", "First", 2, 0}});
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 4);

    auto no = ModalAnswer::question(QMessageBox::No);
    button("1002")->click();
    ASSERT_TRUE(no->answered);
    EXPECT_EQ(no->title, qt("label.askdiscoveragain"));
    EXPECT_EQ(no->text, qt("label.currentdevice") + " Acme : First\n" + qt("label.discoveragain"));
    EXPECT_EQ(dialog->scans, 1);
    EXPECT_EQ(mainText(), qt("label.skipdiscovery"));
    EXPECT_TRUE(button("1001")->isEnabled());
    EXPECT_EQ(dialog->getSelectedDevice()->getProductName(), "First");

    dialog->units = {{"Bolt", "Other", 1, 0}};
    button("1001")->click();
    auto yes = ModalAnswer::question(QMessageBox::Yes);
    button("1002")->click();
    ASSERT_TRUE(yes->answered);
    EXPECT_EQ(dialog->scans, 2);
    EXPECT_EQ(dialog->getSelectedDevice()->getProductName(), "Other");
}

TEST_F(Pages, Page4ListsEveryPackAfterNotListedAndEnablesNextOnAFullRow)
{
    toPage4();
    EXPECT_EQ(dialog->windowTitle(), qt("label.page4"));
    EXPECT_TRUE(button("1009")->isVisible());
    EXPECT_TRUE(button("1009")->isEnabled());
    EXPECT_TRUE(button("1002")->isEnabled());
    EXPECT_FALSE(button("1001")->isEnabled());
    for (const char* id : {"1017", "1020", "1021"}) {
        EXPECT_EQ(comboEntries(id), QStringList{qt("label.batterypacknotlisted")} + kThreePacks) << id;
        EXPECT_EQ(combo(id)->currentIndex(), 0);
    }
    for (const char* id : {"1016", "1018", "1019"}) {
        EXPECT_EQ(comboEntries(id), (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"})) << id;
        EXPECT_TRUE(combo(id)->isVisible());
    }

    combo("1016")->setCurrentIndex(2);
    EXPECT_FALSE(button("1001")->isEnabled()); // a quantity of an unlisted pack
    combo("1017")->setCurrentIndex(1);
    EXPECT_TRUE(button("1001")->isEnabled());
    combo("1016")->setCurrentIndex(0);
    EXPECT_FALSE(button("1001")->isEnabled());
    choose("1019", 4, "1021", 3);
    EXPECT_TRUE(button("1001")->isEnabled()); // the last row counts as well

    // Coming back rebuilds the page from scratch.
    dialog->computeResult = false;
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 5);
    button("1002")->click();
    EXPECT_EQ(dialog->getPage(), 4);
    EXPECT_EQ(combo("1019")->currentIndex(), 0);
    EXPECT_EQ(combo("1021")->currentIndex(), 0);
    EXPECT_FALSE(button("1001")->isEnabled());
}

TEST_F(Pages, RowsNamingOnePackAddUp)
{
    toPage4();
    dialog->computeResult = true;
    choose("1016", 2, "1017", 2);
    choose("1018", 7, "1020", 0); // ignored: no pack named
    choose("1019", 3, "1021", 2);
    button("1001")->click();
    EXPECT_EQ(dialog->getPage(), 5);
    EXPECT_EQ(dialog->computedQuantities, (std::vector<std::uint32_t>{0, 5, 0}));
    QStringList shown = lines();
    ASSERT_GE(shown.size(), 3);
    EXPECT_EQ(shown[0], qt("label.calculatingbatteryruntime"));
    EXPECT_EQ(shown[1], "(5) Pack 1");
    EXPECT_EQ(shown[2], qt("msg.begincalculations"));
}

TEST_F(Pages, InternalBatteriesOnlyPassesZerosAndListsNoPack)
{
    toPage4();
    dialog->computeResult = false;
    choose("1016", 2, "1017", 2); // ignored on this path
    button("1009")->click();
    EXPECT_EQ(dialog->getPage(), 5);
    EXPECT_EQ(dialog->windowTitle(), qt("label.page5"));
    EXPECT_EQ(dialog->computedQuantities, (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(mainText(), qt("label.determinebatterypacks") + "\n" + qt("msg.begincalculations") + "\n" +
                              qt("msg.calculationserror"));
    EXPECT_TRUE(button("1002")->isEnabled());
    EXPECT_FALSE(button("1009")->isVisible());
}

TEST_F(Pages, SavedUpdateLeavesOnlyDone)
{
    for (bool validated : {true, false}) {
        SCOPED_TRACE(validated ? "validated" : "not validated");
        SetUp();
        toPage4();
        dialog->computeResult = true;
        dialog->validateResult = validated;
        choose("1016", 1, "1017", 1);
        // A failed check offers to write the previous values back; declined here.
        auto no = validated ? nullptr : ModalAnswer::question(QMessageBox::No);
        button("1001")->click();
        QStringList shown = lines();
        const std::string backup = newestBackup();
        QStringList expected{qt("msg.begincalculations"),
                             qt("msg.calculationscomplete"),
                             qt("msg.backupwritten", backup),
                             qt("label.savingchanges"),
                             qt("msg.updatecomplete"),
                             qt("msg.beginvalidation"),
                             validated ? qt("msg.validated") : qt("msg.notvalidated")};
        if (!validated) {
            expected << qt("msg.chart.notwritten");
            ASSERT_TRUE(no->answered);
            EXPECT_EQ(no->text, qt("msg.restorequestion", backup));
            expected << qt("msg.restoredeclined", backup);
        }
        ASSERT_GE(shown.size(), expected.size());
        EXPECT_EQ(shown.mid(shown.size() - expected.size()), expected);
        EXPECT_FALSE(button("1002")->isEnabled());
        EXPECT_FALSE(button("1001")->isEnabled());
        EXPECT_EQ(button("1000")->text(), qt("label.done"));
        EXPECT_TRUE(std::filesystem::exists("varnel.log"));
        EXPECT_NE(readFile("varnel.log").find(dialog->message("label.savingchanges")), std::string::npos);
        dialog.reset();
        std::filesystem::remove_all("backups");
    }
}

TEST_F(Pages, FailedSaveLeavesBackEnabled)
{
    toPage4({{"Acme", "Stubborn", 2, 0, false}});
    dialog->computeResult = true;
    choose("1016", 1, "1017", 1);
    auto no = ModalAnswer::question(QMessageBox::No);
    button("1001")->click();
    ASSERT_TRUE(no->answered);
    EXPECT_TRUE(mainText().endsWith(qt("label.savingchanges") + "\n" + qt("msg.updatefailed") + "\n" +
                                    qt("msg.chart.notwritten") + "\n" +
                                    qt("msg.restoredeclined", newestBackup())))
        << mainText().toStdString();
    EXPECT_TRUE(button("1002")->isEnabled());
    EXPECT_EQ(button("1000")->text(), "Cancel");
    button("1002")->click();
    EXPECT_EQ(dialog->getPage(), 4);
}

// Page 5 through the real computation: the unit's record receives the new external count.
TEST_F(Pages, RealComputationWritesIntoTheChosenUnit)
{
    ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string()));
    discover({{"Acme", "UPS 1500", 4, 0}});
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 4);
    choose("1016", 2, "1017", 1); // two packs of four batteries
    button("1001")->click();
    EXPECT_TRUE(mainText().contains(qt("msg.calculationscomplete"))) << mainText().toStdString();
    EXPECT_EQ(dialog->getSelectedDevice()->getExternalBatteryCount(), 8);
}

} // namespace
} // namespace varnel::test
