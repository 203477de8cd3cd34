#include "controller/VarnelController.h"
#include "controller/UpdateAdapter.h"
#include "device/VarnelDevice.h"
#include "settings/I18N.h"
#include "settings/Log.h"
#include "settings/MessageFormat.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

namespace varnel {
namespace {

struct Shown {
    std::string text;
    std::uint32_t newLine;
};

class ControllerInit : public ::testing::Test {
protected:
    void TearDown() override { std::locale::global(std::locale::classic()); }

    bool runInit(VarnelController& controller)
    {
        return controller.init([this](const char* text, std::uint32_t newLine) {
            shown.push_back({text ? text : "<null>", newLine});
        });
    }

    test::TempDir dir;
    std::vector<Shown> shown;
};

constexpr const char* validIni = "locale.name = English\nlocale.strings = en\n";
constexpr const char* settingsFailed =
    "There was an error parsing the internal configuration file.\nPlease contact technical support.";
constexpr const char* settingsCorrupt =
    "The application's configuration file has become corrupted.\nPlease contact technical support.";
constexpr const char* messagesFailed =
    "The application's message file is missing or cannot be read.\nPlease contact technical support.";

TEST_F(ControllerInit, NormalStartWritesThreeLinesOnceAndOnlyOnce)
{
    test::writeFile("varnel.ini", validIni);
    test::writeFile("varnelstrings.en", "label.done = Done\n");
    VarnelController controller;
    ASSERT_TRUE(runInit(controller));
    EXPECT_TRUE(shown.empty());
    const std::vector<std::string> expected{"Parsing internal configuration file varnel.ini",
                                            "Parsing I18N information", "Varnel Started"};
    EXPECT_EQ(test::readLines("varnel.log"), expected);
    ASSERT_NE(controller.getMessages(), nullptr);
    EXPECT_STREQ(controller.getMessages()->lookup("label.done"), "Done");
    EXPECT_EQ(controller.setting("locale.name", "x"), "English");
    EXPECT_EQ(controller.setting("hid.post.read.sleep", "1000"), "1000");

    EXPECT_TRUE(runInit(controller));
    EXPECT_EQ(test::readLines("varnel.log"), expected);
}

TEST_F(ControllerInit, SettingsWithoutAnyEntryGiveTheFirstText)
{
    for (const char* ini : {static_cast<const char*>(nullptr), "# only a comment\nno delimiter\n"}) {
        std::filesystem::remove("varnel.ini");
        if (ini)
            test::writeFile("varnel.ini", ini);
        shown.clear();
        VarnelController controller;
        EXPECT_FALSE(runInit(controller));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, settingsFailed);
        EXPECT_EQ(shown[0].newLine, 1u);
    }
}

TEST_F(ControllerInit, MissingOrEmptyLocaleGivesTheSecondText)
{
    for (const char* ini : {"locale.name =\nlocale.strings = en\n", "locale.strings = en\n",
                            "locale.name = English\nlocale.strings =\n"}) {
        test::writeFile("varnel.ini", ini);
        test::writeFile("varnelstrings.en", "label.done = Done\n");
        shown.clear();
        VarnelController controller;
        EXPECT_FALSE(runInit(controller)) << ini;
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, settingsCorrupt);
    }
}

TEST_F(ControllerInit, MissingOrEmptyMessageFileGivesTheThirdText)
{
    test::writeFile("varnel.ini", validIni);
    for (bool present : {false, true}) {
        if (present)
            test::writeFile("varnelstrings.en", "# comment only\n");
        shown.clear();
        VarnelController controller;
        EXPECT_FALSE(runInit(controller));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, messagesFailed);
    }
    // Only the lines before the failing step reach the log.
    const auto lines = test::readLines("varnel.log");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Parsing I18N information");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Varnel Started"), 0);
}

TEST_F(ControllerInit, ShippedFilesStartTheProgram)
{
    std::filesystem::copy_file(test::distFile("varnel.ini"), "varnel.ini");
    std::filesystem::copy_file(test::distFile("varnelstrings.en"), "varnelstrings.en");
    VarnelController controller;
    ASSERT_TRUE(runInit(controller));
    for (const char* key :
         {"hid.post.read.sleep", "serial.post.read.sleep", "hid.post.write.sleep", "serial.post.write.sleep"})
        EXPECT_FALSE(controller.setting(key, "").empty()) << key;
    EXPECT_EQ(controller.setting("http.server", "absent"), "");
}

// A record that never touches a port; its save answers as told.
class RecordOnly : public VarnelDevice {
public:
    explicit RecordOnly(bool saves) : saves(saves)
    {
        setBatteryTableValues(std::vector<std::uint8_t>(20, 7));
    }
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override
    {
        ++saveCalls;
        return saves;
    }
    int saveCalls = 0;

private:
    bool saves;
};

// The texts an update shows, apart by whether a step was running.
class Recorder : public UpdateAdapter {
public:
    void show(const char* text, std::uint32_t newLine) override
    {
        EXPECT_EQ(newLine, 1u);
        (inStep ? shownInStep : shown).push_back(text ? text : "<null>");
    }
    bool runStep(const std::function<bool()>& step) override
    {
        inStep = true;
        const bool result = step();
        inStep = false;
        return result;
    }

    std::vector<std::string> shown, shownInStep;

private:
    bool inStep = false;
};

// Each stage is reached only through the one before, its texts are shown
// between the long steps (never inside one, where the wizard would have to
// marshal them), and the result holds the record's values before and after.
TEST(ApplyConfiguration, StagesStopAtTheFirstFailureAndTellWhere)
{
    test::TempDir dir;
    std::filesystem::copy_file(test::distFile("varnelstrings.en"), "varnelstrings.en");
    test::writeFile("varnel.ini", validIni);
    VarnelController controller;
    ASSERT_TRUE(controller.init(nullptr));

    enum Stage { none, compute, identify, backup, save, validate }; // the stage that fails
    const std::vector<std::string> computed{"msg.begincalculations", "step", "msg.calculationscomplete"};
    const std::vector<std::string> saved{"msg.backupwritten", "label.savingchanges", "msg.updatecomplete",
                                         "msg.beginvalidation"};
    auto concat = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct {
        UpdateMode mode;
        Stage fails;
        UpdateOutcome outcome;
        std::vector<std::string> shown; // keys, and "step" for the computation's own text
    } cases[] = {
        {UpdateMode::computeOnly, none, UpdateOutcome::computed, computed},
        {UpdateMode::write,
         compute,
         UpdateOutcome::computeFailed,
         {"msg.begincalculations", "step", "msg.calculationserror"}},
        {UpdateMode::write, identify, UpdateOutcome::unitChanged, concat(computed, {"msg.unitchanged"})},
        {UpdateMode::write, backup, UpdateOutcome::backupFailed, concat(computed, {"msg.backupfailed"})},
        {UpdateMode::write, save, UpdateOutcome::saveFailed,
         concat(computed, {"msg.backupwritten", "label.savingchanges", "msg.updatefailed"})},
        {UpdateMode::write, validate, UpdateOutcome::notValidated,
         concat(concat(computed, saved), {"msg.notvalidated"})},
        {UpdateMode::write, none, UpdateOutcome::validated,
         concat(concat(computed, saved), {"msg.validated"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.outcome));
        // Closed before it goes: Windows removes no open file.
        restartLog();
        std::filesystem::remove("varnel.log");
        std::filesystem::remove_all("backups");
        // A file where the folder should be: no backup can be written, as on a read-only disk.
        if (c.fails == backup)
            test::writeFile("backups", "");
        const bool computes = c.fails != compute, saves = c.fails != save, validates = c.fails != validate;
        RecordOnly device(saves);
        int validations = 0;
        UpdateSteps steps;
        steps.compute = [&](VarnelDevice& unit, const std::vector<std::uint32_t>& quantities,
                            const StatusCallback& callback) {
            EXPECT_EQ(quantities, (std::vector<std::uint32_t>{0, 2}));
            unit.setExternalBatteryCount(8);
            callback("step", 1);
            return computes;
        };
        steps.identify = [&](const VarnelDevice&) { return c.fails != identify; };
        steps.validate = [&](VarnelDevice&, const StatusCallback&) {
            ++validations;
            return validates;
        };
        controller.setUpdateSteps(steps);
        Recorder recorder;

        const ConfigurationUpdate update = controller.applyConfiguration(device, {0, 2}, c.mode, recorder);
        const std::vector<std::string>& shown = recorder.shown;
        const std::vector<std::string>& shownInStep = recorder.shownInStep;
        EXPECT_EQ(update.outcome, c.outcome);
        EXPECT_EQ(update.before.externalBatteryCount, 0);
        EXPECT_EQ(update.after.externalBatteryCount, 8);
        EXPECT_EQ(update.after.batteryTableValues, device.getBatteryTableValues());
        std::vector<std::string> expected;
        for (const std::string& key : c.shown)
            if (key == "msg.backupwritten")
                expected.push_back(formatMessage(controller.getMessages()->lookup(key.c_str()), key.c_str(),
                                                 {update.backupPath}));
            else if (key == "msg.unitchanged")
                expected.push_back(formatMessage(controller.getMessages()->lookup(key.c_str()), key.c_str(),
                                                 {device.getPortName()}));
            else if (key == "msg.backupfailed")
                expected.push_back(formatMessage(controller.getMessages()->lookup(key.c_str()), key.c_str(),
                                                 {"backups", std::strerror(ENOTDIR)}));
            else if (key != "step")
                expected.push_back(controller.getMessages()->lookup(key.c_str()));
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(shownInStep, std::vector<std::string>{"step"});
        const bool saveAsked =
            c.mode == UpdateMode::write && computes && c.fails != backup && c.fails != identify;
        EXPECT_EQ(update.backupPath.empty(), !saveAsked);
        EXPECT_EQ(device.saveCalls, saveAsked ? 1 : 0);
        EXPECT_EQ(validations, saveAsked && saves ? 1 : 0);
        // The record as written goes to the log once the unit took it.
        const bool logged =
            test::readFile("varnel.log").find(controller.getMessages()->lookup("label.savingchanges")) !=
            std::string::npos;
        EXPECT_EQ(logged, update.saved());
    }
}

} // namespace
} // namespace varnel
