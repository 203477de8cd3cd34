// Names a unit reports are data: whatever bytes they hold, the terminal, the
// log and the JSON document get them escaped, never raw.
#include "ScriptedPorts.h"
#include "ctl/VarnelCtl.h"
#include "settings/JsonText.h"
#include "settings/ShownText.h"
#include "support/JsonReader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace varnel {
namespace {

TEST(ShownText, ControlsAndBrokenUtf8BecomeVisibleEscapes)
{
    const struct {
        std::string raw;
        std::string shown;
    } cases[] = {
        {"Plain UPS 1500-VA", "Plain UPS 1500-VA"},
        {"title\x1b]0;owned\x07", "title\\x1b]0;owned\\x07"},
        {"one\r\nVarnel Started\ttab", "one\\r\\nVarnel Started\\ttab"},
        {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"}, // well-formed UTF-8 stays
        {"latin \xe9 \xff \xc3", "latin \\xe9 \\xff \\xc3"},      // stray bytes, a cut sequence
        {"\xc2\x9b"
         "2J \xe2\x80\xae",
         "\\xc2\\x9b2J \\xe2\\x80\\xae"},                        // C1 CSI, right-to-left override
        {"\xc0\xaf \xed\xa0\x80", "\\xc0\\xaf \\xed\\xa0\\x80"}, // overlong, surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(shownText(c.raw), c.shown) << c.shown;
}

bool hasRawControl(const std::string& text, bool lineFeedsAllowed)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && !(lineFeedsAllowed && (c == '\n' || c == '\t' || c == '\r'))) || byte == 0x7f)
            return true;
    }
    return false;
}

TEST(HostileNames, ScanShowsNoneRawOnTheTerminalInTheLogOrInJson)
{
    test::ScriptedPorts ports;
    test::SleepRecorder sleeps;
    test::writeFile("varnel.ini", test::readFile(test::distFile("varnel.ini")));
    const std::string vendor = "Evil\x1b]0;owned\x07 \x1b[2J\xff";
    const std::string product = "UPS\r\nDevice Discovered:\n\tForged = 1";
    scripted::Unit& unit = ports.addHid("hid\x1b[31mport");
    unit.config.vendorName = vendor;
    unit.config.productName = product;

    for (const bool json : {false, true}) {
        std::ostringstream out, err;
        VarnelCtl ctl(out, err);
        std::string command = "varnelctl", scan = "scan", flag = "--json";
        std::vector<char*> argv{command.data(), scan.data()};
        if (json)
            argv.push_back(flag.data());
        ASSERT_EQ(ctl.run(static_cast<int>(argv.size()), argv.data()), VarnelCtl::success) << err.str();
        EXPECT_FALSE(hasRawControl(err.str(), true)) << err.str();
        if (!json) {
            EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
            EXPECT_NE(out.str().find("Evil\\x1b]0;owned\\x07 \\x1b[2J\\xff : UPS\\r\\nDevice"),
                      std::string::npos)
                << out.str();
            EXPECT_FALSE(hasRawControl(out.str().substr(0, out.str().size() - 1), false)) << out.str();
            continue;
        }
        // Every byte comes back, from its \u00XX escape, as the text a script reads.
        EXPECT_FALSE(hasRawControl(out.str().substr(0, out.str().size() - 1), false)) << out.str();
        const auto document = test::parseJson(out.str());
        ASSERT_TRUE(document) << out.str();
        const auto& found = (*document)["units"].at(0);
        EXPECT_EQ(found["vendorName"].get<std::string>(), narrowToUtf8(vendor));
        EXPECT_EQ(found["productName"].get<std::string>(), product);
    }

    const std::string log = test::readFile("varnel.log");
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_EQ(log.find("\tForged"), std::string::npos) << "a forged log line";
    EXPECT_TRUE(
        ports.logHas("\tProduct Name                  = UPS\\r\\nDevice Discovered:\\n\\tForged = 1"));
    EXPECT_TRUE(ports.logHas("Checking port 'hid\\x1b[31mport'"));
}

} // namespace
} // namespace varnel
