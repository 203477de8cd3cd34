#include "UnitFileParser.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace varnel::upssim;

TEST(UnitFileParser, ReadsEveryKey)
{
    const char* text = "# two units\n"
                       "[unit line1]\n"
                       "protocol = text\n"
                       "configuration = 0x001B\n"
                       "internal.count = 4\n"
                       "internal.type = 2\n"
                       "external.count = 200\n"
                       "battery.table = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,0xFF\n"
                       "c.table = 9, 8, 7, 6, 5, 4, 3, 2, 1\r\n"
                       "c.highb = 3\n"
                       "vendor = Acme Power; Inc\n"
                       "product = X 1\n"
                       "fault = silent\n"
                       "fault.after = 12\n"
                       "\n"
                       "[unit hid-1]\n"
                       "protocol = hid\n"
                       "usb.vendor = 0x1234\n"
                       "usb.product = 77\n";
    std::vector<UnitConfig> units;
    UnitFileParser parser;
    ASSERT_TRUE(parser.parse(text, units)) << parser.error();
    ASSERT_EQ(units.size(), 2u);
    const UnitConfig& a = units[0];
    EXPECT_EQ(a.name, "line1");
    EXPECT_EQ(a.protocol, UnitProtocol::Text);
    EXPECT_EQ(a.configurationInfo, 0x1B);
    EXPECT_EQ(a.externalBatteryCount, 200);
    EXPECT_EQ(a.batteryTable[19], 255);
    EXPECT_EQ(a.cTable[8], 1);
    EXPECT_EQ(a.vendorName, "Acme Power; Inc");
    EXPECT_EQ(a.fault, FaultMode::Silent);
    EXPECT_EQ(a.faultAfter, 12u);
    EXPECT_EQ(units[1].protocol, UnitProtocol::Hid);
    EXPECT_EQ(units[1].usbVendorId, 0x1234);
    EXPECT_EQ(units[1].usbProductId, 77);
    EXPECT_EQ(units[1].cTableHighB, 5); // left at its default
}

TEST(UnitFileParser, NamesTheLineOfEachMistake)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"[unit a]\nbattery.table = 1,2,3\n", "line 2: battery.table needs 20"},
        {"[unit a]\nc.table = 1,2,3,4,5,6,7,8,9,10\n", "line 2: c.table needs 9"},
        {"[unit a]\nc.table = 1,2,3,4,5,6,7,8,\n", "line 2: c.table needs 9"},
        {"[unit a]\ninternal.count = 256\n", "line 2: 'internal.count' needs a number from 0 to 255"},
        {"[unit a]\nexternal.count = -1\n", "line 2: 'external.count'"},
        {"[unit a]\nprotocol = usb\n", "line 2: protocol 'usb'"},
        {"[unit a]\nfault = flaky\n", "line 2: fault 'flaky'"},
        {"[unit a]\ncolour = red\n", "line 2: unknown key 'colour'"},
        {"protocol = hid\n", "line 1: a key before"},
        {"[unit a]\n[unit a]\n", "line 2: unit 'a' is described twice"},
        {"[unit ../x]\n", "line 1: unit name '../x'"},
        {"[unit a]\nprotocol = text\nexternal.count = 300\n",
         "line 1: unit 'a': a text unit holds at most 255"},
        {"[unit a]\nvendor = tab\there\n", "line 2: vendor must be printable"},
        {"# nothing\n", "no [unit NAME] section"},
    };
    for (const Case& c : cases) {
        std::vector<UnitConfig> units;
        UnitFileParser parser;
        EXPECT_FALSE(parser.parse(c.text, units)) << c.text;
        EXPECT_NE(parser.error().find(c.error), std::string::npos) << c.text << " -> " << parser.error();
    }
    std::vector<UnitConfig> units;
    UnitFileParser parser;
    EXPECT_FALSE(parser.parse("[unit a]\nproduct = " + std::string(65, 'x') + "\n", units));
}

TEST(UnitFileParser, ShippedSampleHasOneUnitOfEachKind)
{
    std::vector<UnitConfig> units;
    UnitFileParser parser;
    ASSERT_TRUE(
        parser.parse(varnel::test::readFile(VARNEL_SOURCE_DIR "/tools/upssim/sample-units.ini"), units))
        << parser.error();
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].protocol, UnitProtocol::Framed);
    EXPECT_EQ(units[1].protocol, UnitProtocol::Text);
    EXPECT_EQ(units[2].protocol, UnitProtocol::Hid);
}
