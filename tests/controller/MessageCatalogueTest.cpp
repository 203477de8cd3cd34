// The shipped English message file: every key the program uses has a text,
// and every format takes exactly the arguments the program passes.
#include "settings/PropertiesFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace varnel {
namespace {

// Argument kinds in order: 'u' an unsigned number, 's' a text.
const std::vector<std::pair<std::string, std::string>> keys = {
    {"label.techsupport", ""}, {"label.welcome", ""}, {"label.httpdownload", ""},
    {"label.uselocalfile", ""}, {"label.page2", ""}, {"msg.alreadyhavefile", ""},
    {"label.skipfiledownload", ""}, {"label.unabletocontinue", ""}, {"label.parsingfile", ""},
    {"msg.parsefailed", ""}, {"label.fileparsed", "ss"}, {"label.page3", ""},
    {"label.currentdevice", ""}, {"label.discoveragain", ""}, {"label.askdiscoveragain", ""},
    {"label.skipdiscovery", ""}, {"label.discoverdevices", ""}, {"msg.nodevices", ""},
    {"label.discoveredonedevice", ""}, {"label.discoveredmultipledevices", ""},
    {"label.postdiscover", ""}, {"label.page4", ""}, {"label.currentinternalbatteries", ""},
    {"label.currentexternalbatteries", ""}, {"label.selectpacks", ""},
    {"label.batterypacknotlisted", ""}, {"label.page5", ""}, {"label.determinebatterypacks", ""},
    {"label.calculatingbatteryruntime", ""}, {"msg.begincalculations", ""},
    {"msg.calculationserror", ""}, {"msg.calculationscomplete", ""}, {"label.savingchanges", ""},
    {"msg.updatecomplete", ""}, {"msg.updatefailed", ""}, {"msg.beginvalidation", ""},
    {"msg.validated", ""}, {"msg.notvalidated", ""}, {"label.done", ""},
    {"label.configurehttp", ""}, {"label.connecthttp", ""}, {"label.configureftp", ""},
    {"label.connectftp", ""}, {"label.loginftp", ""}, {"label.downloading", ""},
    {"label.selectlocalblurb", ""}, {"msg.noserveraddress", ""}, {"msg.failedconnect", ""},
    {"msg.failedlogin", ""}, {"msg.faileddownload", ""}, {"msg.failedsave", ""},
    {"msg.filedownloaded", ""}, {"msg.nofileselected", ""},
    {"label.scanusb", ""}, {"label.scanserial", ""}, {"label.devicediscovered", ""},
    {"msg.validatefailed.open", ""}, {"msg.validatefailed.nodevice", ""},
    {"msg.validatefailed.batterytablesize", ""}, {"msg.validatefailed.ctablesize", ""},
    {"msg.validatefailed.ctablehighb", ""}, {"msg.validatefailed.externalbatterycount", ""},
    {"msg.validatefailed.batteryvalue", "u"}, {"msg.validatefailed.ctablevalue", "u"},
    {"msg.foundandloading", ""},
    {"msg.nointernalbatteries", ""}, {"msg.noexternalbatteries", ""},
    {"label.computedruntimevalues", ""}, {"msg.ctablevalues", ""}, {"msg.chightablevalue", ""},
    {"msg.internalbatteries", "us"}, {"msg.externalbatteries", "us"},
    {"msg.batterytypenotfound", "u"}, {"msg.nobatteries", ""},
    {"msg.singlebatterytype", ""}, {"msg.interpolating", ""}, {"label.noninterpolatedvalues", ""},
    {"label.interpolatedvalues", ""}, {"label.interpolatedtimes", ""},
    {"msg.noruntimeentry", "u"}, {"msg.nowattagetable", "u"}, {"msg.wattagetablemismatch", "uu"},
    {"msg.nowattageentry", "u"}, {"msg.zerowattage", "u"}, {"msg.noscalartable", "u"},
    {"msg.noscalarentry", "u"}, {"msg.zeroscalar", "u"}, {"msg.badscaledvalue", "uuu"},
};

// The kinds of the conversions in a text: d, i, u, x, X, o count as 'u', s as 's'.
std::string conversionsOf(const std::string& text)
{
    std::string kinds;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%')
            continue;
        ++at;
        while (at < text.size() && std::string("-+ #0123456789.hl").find(text[at]) != std::string::npos)
            ++at;
        if (at >= text.size())
            return "!";
        const char type = text[at];
        if (type == '%')
            continue;
        kinds += type == 's' ? 's' : std::string("diuxXo").find(type) != std::string::npos ? 'u' : '!';
    }
    return kinds;
}

TEST(MessageCatalogue, EveryKeyHasAnEnglishTextWithMatchingConversions)
{
    PropertiesFile file(test::distFile("varnelstrings.en").c_str());
    for (const auto& [key, kinds] : keys) {
        const std::string text = file.get(key, "");
        EXPECT_FALSE(text.empty()) << key;
        EXPECT_EQ(conversionsOf(text), kinds) << key << ": " << text;
    }
    EXPECT_EQ(file.size(), keys.size()) << "a text in the file that the program never shows";
}

// Page 4 puts " = " and the count after these, so their own punctuation would double it.
TEST(MessageCatalogue, NamesOfCountsEndWithoutPunctuation)
{
    PropertiesFile file(test::distFile("varnelstrings.en").c_str());
    for (const char* key : {"label.currentinternalbatteries", "label.currentexternalbatteries"}) {
        const std::string text = file.get(key, "");
        ASSERT_FALSE(text.empty()) << key;
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(text.back()))) << key << ": " << text;
    }
}

} // namespace
} // namespace varnel
