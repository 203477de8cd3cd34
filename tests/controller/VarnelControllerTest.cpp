#include "controller/VarnelController.h"
#include "settings/I18N.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
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
    for (const char* key : {"hid.post.read.sleep", "serial.post.read.sleep", "hid.post.write.sleep",
                            "serial.post.write.sleep"})
        EXPECT_FALSE(controller.setting(key, "").empty()) << key;
    EXPECT_EQ(controller.setting("http.server", "absent"), "");
}

} // namespace
} // namespace varnel
