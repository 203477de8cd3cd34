// The whole wizard over the real controller, discovery, protocols and
// validation, against the scripted units behind the test port libraries.
#include "ScriptedPorts.h"
#include "app/WizardHarness.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace varnel::test {
namespace {

using scripted::Protocol;

class ScriptedWizard : public Wizard {
protected:
    // The dialog's own scan and validation, not the test dialog's stand-ins.
    class RealDialog : public VarnelDialog {};

    void SetUp() override
    {
        Wizard::SetUp();
        writeSettings("hid.post.read.sleep = 0\nserial.post.read.sleep = 0\nhid.post.write.sleep = 0\n"
                      "serial.post.write.sleep = 0");
    }
    void TearDown() override
    {
        sleeps.reset();
        real.reset();
    }

    // The dialog installs its own wait; the recorder goes on top of it, so the
    // fixed pauses of saving and validation are only recorded.
    void openReal()
    {
        real = std::make_unique<RealDialog>();
        real->show();
        sleeps.emplace();
    }
    QPushButton* realButton(const char* id) const { return real->findChild<QPushButton*>(id); }
    QComboBox* realCombo(const char* id) const { return real->findChild<QComboBox*>(id); }
    QString realText() const { return real->findChild<QLabel*>("1005")->text(); }
    QString text(const char* key) const { return QString::fromLocal8Bit(ports.text(key).c_str()); }

    // Page 1 to page 3 with the shipped sample data file.
    void toPage3()
    {
        openReal();
        auto answer = ModalAnswer::file(distFile("sample-batterydata.xml").string());
        realButton("1001")->click();
        ASSERT_TRUE(answer->answered);
        ASSERT_TRUE(realButton("1001")->isEnabled()) << realText().toStdString();
        realButton("1001")->click();
        ASSERT_EQ(real->getPage(), 3);
    }

    ScriptedPorts ports;
    std::unique_ptr<RealDialog> real;
    std::optional<SleepRecorder> sleeps;
};

TEST_F(ScriptedWizard, UpdatesTheSecondOfTwoUnitsAndValidatesIt)
{
    scripted::Unit& hid = ports.addHid("hid-0");
    hid.config.productName = "Tower 1500";
    scripted::Unit& framed = ports.addSerial("ttyS0", Protocol::Framed);
    framed.config.productName = "Rack 3000";
    framed.config.internalBatteryCount = 4;
    framed.config.externalBatteryCount = 0;

    toPage3();
    ASSERT_EQ(real->findChild<QComboBox*>("1022")->count(), 2) << realText().toStdString();
    realCombo("1022")->setCurrentIndex(1);
    ASSERT_NE(real->getSelectedDevice(), nullptr);
    EXPECT_EQ(real->getSelectedDevice()->getProductName(), "Rack 3000");

    realButton("1001")->click();
    ASSERT_EQ(real->getPage(), 4);
    EXPECT_TRUE(realText().contains(" = 4; ")) << realText().toStdString();
    realCombo("1016")->setCurrentIndex(2);
    realCombo("1017")->setCurrentIndex(1); // two packs of four 7 Ah batteries
    realButton("1001")->click();

    EXPECT_TRUE(realText().endsWith(text("msg.validated"))) << realText().toStdString();
    EXPECT_EQ(realButton("1000")->text(), text("label.done"));
    EXPECT_FALSE(realButton("1002")->isEnabled());
    EXPECT_EQ(ports.serial().units[0].values().externalBatteryCount, 8);
    EXPECT_EQ(ports.hid().units[0].values().externalBatteryCount, 3); // the other unit is left alone
    const auto& waited = sleeps->durations();
    EXPECT_NE(std::find(waited.begin(), waited.end(), 6000u), waited.end()); // the settle before reading back
}

// A unit's names are shown as text, escapes and all: nothing raw reaches the
// list of units or the page that describes the chosen one.
TEST_F(ScriptedWizard, NamesWithControlCharactersAreShownEscaped)
{
    for (const char* port : {"hid-0", "hid-1"}) {
        scripted::Unit& hid = ports.addHid(port);
        hid.config.vendorName = "Evil\x1b]0;owned\x07";
        hid.config.productName = "UPS\r\nForged";
    }

    toPage3();
    ASSERT_EQ(realCombo("1022")->count(), 2) << realText().toStdString();
    const QString listed = realCombo("1022")->itemText(0);
    // Two units that read the same are told apart by their ports.
    EXPECT_EQ(listed.toStdString(), "Evil\\x1b]0;owned\\x07 : UPS\\r\\nForged (hid-0)");
    realButton("1001")->click();
    ASSERT_EQ(real->getPage(), 4);
    for (const QString& shown : {listed, realText()})
        EXPECT_FALSE(shown.contains(QChar(0x1b)) || shown.contains(QChar(0x07)) || shown.contains("UPS\r"))
            << shown.toStdString();
    EXPECT_TRUE(realText().contains("UPS\\r\\nForged")) << realText().toStdString();
}

TEST_F(ScriptedWizard, AUnitThatStopsTakingWritesLeavesBackEnabled)
{
    scripted::Unit& unit = ports.addSerial("ttyS1", Protocol::Text);

    toPage3();
    ASSERT_NE(real->getSelectedDevice(), nullptr) << realText().toStdString();
    // Found and read, and before the save asked again who it is (the framed
    // probe, then configuration, internal batteries and the two names once);
    // from there on the unit takes no more requests.
    unit.failWritesAfter = unit.writes + 5;
    realButton("1001")->click();
    realCombo("1016")->setCurrentIndex(1);
    realCombo("1017")->setCurrentIndex(1);
    auto no = ModalAnswer::question(QMessageBox::No);
    realButton("1001")->click();
    ASSERT_TRUE(no->answered);
    EXPECT_TRUE(realText().contains(text("msg.updatefailed") + "\n")) << realText().toStdString();
    EXPECT_TRUE(realButton("1002")->isEnabled());
    EXPECT_EQ(realButton("1000")->text(), "Cancel");
}

TEST_F(ScriptedWizard, NoUnitsMeansNoNext)
{
    ports.addSerial("ttyS2", Protocol::Text).config.fault = upssim::FaultMode::Silent;
    toPage3();
    EXPECT_TRUE(realText().endsWith(text("msg.nodevices"))) << realText().toStdString();
    EXPECT_FALSE(realButton("1001")->isEnabled());
}

// Names a unit reports and texts of the message file are shown as they stand,
// never read as markup: every question and text area shows them literally.
TEST_F(ScriptedWizard, MarkupInNamesAndMessagesIsShownLiterally)
{
    const std::string product = "<b>X</b><img src=\"missing.png\">";
    const std::string again = "<i>Again?</i> <a href=\"x\">yes</a>";
    writeFile("varnelstrings.en", readFile("varnelstrings.en") + "\nmsg.alreadyhavefile = " + again + "\n");
    ports.addHid("hid-0").config.productName = product;

    toPage3();
    const QString shownProduct = QString::fromStdString(product);
    EXPECT_TRUE(realText().contains(" : " + shownProduct)) << realText().toStdString();
    realButton("1001")->click();
    ASSERT_EQ(real->getPage(), 4);

    struct Question {
        const char* where;
        QString text;
    };
    // Back from page 4 asks about the unit, back from page 3 about the file.
    const Question questions[] = {
        {"page 3", text("label.currentdevice") + " Scripted Maker : " + shownProduct + "\n" +
                       text("label.discoveragain")},
        {"page 2", QString::fromStdString(again)},
    };
    for (const Question& question : questions) {
        SCOPED_TRACE(question.where);
        auto no = ModalAnswer::question(QMessageBox::No);
        realButton("1002")->click();
        ASSERT_TRUE(no->answered);
        EXPECT_EQ(no->text, question.text);
        EXPECT_TRUE(no->richLabels.isEmpty()) << no->richLabels.join(" | ").toStdString();
    }
    EXPECT_EQ(real->getPage(), 2);
}

} // namespace
} // namespace varnel::test
