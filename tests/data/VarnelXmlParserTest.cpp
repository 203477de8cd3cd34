#include "data/VarnelXmlParser.h"
#include "controller/VarnelController.h"
#include "data/XmlReading.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace varnel {
namespace {

std::string rows(const char* element, const char* valueName, int from, int to, int base = 100)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += std::string("<") + element + " rowIndex=\"" + std::to_string(i) + "\" " + valueName + "=\"" +
                std::to_string(base + i) + "\"/>";
    return text;
}

std::string cTable(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; ++i)
        text += "<CTableValue index=\"" + std::to_string(i) + "\" value=\"" + std::to_string(10 + i) + "\"/>";
    return text;
}

std::string batteryTable(const std::string& attributes, const std::string& children)
{
    return "<BatteryTable " + attributes + ">" + children + "</BatteryTable>";
}

const std::string goodType = batteryTable(
    "typeIndex=\"1\" typeSize=\"9\" batteryWattageIndex=\"0\" typeName=\"12V 9Ah\" partNumber=\"B-9\"",
    rows("Runtime", "time", 0, 19) + cTable(1, 9) + "<CTableHighB> 7 </CTableHighB>");

std::string document(const std::string& body, bool version = true, bool packs = true)
{
    return "<?xml version=\"1.0\"?><Outer><ExternalBatteryPack>" +
           std::string(version ? "<Version number=\"1.2\" date=\"2026-11-30\"/>" : "") +
           "<FWScalarTable index=\"0\">" + rows("FWScalar", "value", 0, 19, 1) + "</FWScalarTable>" +
           "<Group><BatteryWattageTable index=\"0\">" + rows("Wattage", "watts", 0, 19) +
           "</BatteryWattageTable></Group>" + body +
           (packs ? "<BatteryPack batteryTypeIndex=\"1\" numberOfBatteries=\"4 per pack\" name=\"Pack A\" "
                    "partNumber=\"P-1\"/>"
                  : "") +
           "</ExternalBatteryPack></Outer>";
}

struct Loaded {
    std::string number, date;
    ScalarTableMap scalars;
    WattageTableMap wattages;
    BatteryTableMap types;
    BatteryPackList packs;

    bool parse(const std::string& xml)
    {
        VarnelXmlParser parser(xml, "memory.xml");
        return parser.parse(number, date, scalars, wattages, types, packs);
    }
};

TEST(XmlReading, NumbersReadLikeUnsignedConversion)
{
    EXPECT_EQ(XmlReading::parseNumber(" 12abc"), 12u);
    EXPECT_EQ(XmlReading::parseNumber("-1"), 4294967295u);
    EXPECT_STREQ(XmlReading::refusal("-1", XmlReading::anyNumber), "a minus sign");
    EXPECT_STREQ(XmlReading::refusal(" 4294967296", XmlReading::anyNumber), "more than 32 bits");
    EXPECT_STREQ(XmlReading::refusal("256 x", XmlReading::largestByte), "too large");
    EXPECT_EQ(XmlReading::refusal(" +255 x", XmlReading::largestByte), nullptr);
    EXPECT_EQ(XmlReading::refusal("x-1", XmlReading::largestByte), nullptr); // no number: not read at all
    EXPECT_EQ(XmlReading::parseNumber("+7"), 7u);
    EXPECT_EQ(XmlReading::parseNumber("x1"), std::nullopt);
    EXPECT_EQ(XmlReading::parseNumber(""), std::nullopt);
    EXPECT_EQ(XmlReading::parseNumber("-"), std::nullopt);
}

TEST(VarnelXmlParser, ReadsGroupedTablesBelowANestedRoot)
{
    test::TempDir dir;
    Loaded loaded;
    ASSERT_TRUE(loaded.parse(document(goodType)));
    EXPECT_EQ(loaded.number, "1.2");
    EXPECT_EQ(loaded.date, "2026-11-30");
    ASSERT_EQ(loaded.scalars.count(0), 1u);
    ASSERT_EQ(loaded.wattages.count(0), 1u);
    ASSERT_EQ(loaded.types.count(1), 1u);
    const BatteryTable& type = *loaded.types.at(1);
    EXPECT_EQ(type.getCTableHighB(), 7u);
    EXPECT_EQ(type.getRuntimes().at(19), 119u);
    ASSERT_EQ(loaded.packs.size(), 1u);
    EXPECT_EQ(loaded.packs[0]->getNumberOfBatteries(), 4u);
    EXPECT_EQ(findTable(loaded.types, 2), nullptr);
    EXPECT_EQ(findTable(loaded.types, 2), nullptr);
    EXPECT_EQ(loaded.types.size(), 1u); // a failed lookup leaves no entry
}

TEST(VarnelXmlParser, ValidityRulesDropIncompleteTables)
{
    test::TempDir dir;
    const std::string tableAttrs = "typeSize=\"9\" batteryWattageIndex=\"0\" typeName=\"T\" partNumber=\"P\"";
    const std::string highB = "<CTableHighB>3</CTableHighB>";
    const std::string body =
        "<FWScalarTable index=\"1\">" + rows("FWScalar", "value", 0, 20) + "</FWScalarTable>" +
        "<FWScalarTable index=\"2\">" + rows("FWScalar", "value", 0, 18) + rows("FWScalar", "value", 20, 20) +
        "</FWScalarTable>" + "<FWScalarTable index=\"3\">" + rows("FWScalar", "value", 5, 5, 900) +
        rows("FWScalar", "value", 0, 19) + "</FWScalarTable>" +
        batteryTable("typeIndex=\"2\" " + tableAttrs, rows("Runtime", "time", 0, 19) + cTable(0, 8) + highB) +
        batteryTable("typeIndex=\"3\" " + tableAttrs,
                     rows("Runtime", "time", 0, 19) + cTable(1, 9) + "<CTableHighB>0</CTableHighB>") +
        batteryTable("typeIndex=\"4\" " + tableAttrs,
                     rows("Runtime", "time", 0, 19) + cTable(1, 9) + highB + "<Runtime rowIndex=\"x\"/>") +
        batteryTable("typeIndex=\"5\" typeSize=\"9\" batteryWattageIndex=\"0\" typeName=\"T\"",
                     rows("Runtime", "time", 0, 19) + cTable(1, 9) + highB) +
        "<BatteryPack batteryTypeIndex=\"1\" numberOfBatteries=\"x4\" name=\"Bad\" partNumber=\"P\"/>" +
        "<BatteryPack batteryTypeIndex=\"1\" numberOfBatteries=\" 4294967295 left\" name=\"Many\" "
        "partNumber=\"P\"/>";
    Loaded loaded;
    ASSERT_TRUE(loaded.parse(document(body)));
    EXPECT_EQ(loaded.scalars.count(1), 0u);                 // 21 rows
    EXPECT_EQ(loaded.scalars.count(2), 0u);                 // row 19 missing
    ASSERT_EQ(loaded.scalars.count(3), 1u);                 // a duplicate row, keys still 0..19
    EXPECT_EQ(loaded.scalars.at(3)->getRows().at(5), 105u); // the later row wins
    EXPECT_EQ(loaded.types.count(2), 0u);                   // C table keys 0..8
    EXPECT_EQ(loaded.types.count(3), 0u);                   // high B of 0
    EXPECT_EQ(loaded.types.count(4), 1u);                   // malformed child after complete data
    EXPECT_EQ(loaded.types.count(5), 0u);                   // no part number
    ASSERT_EQ(loaded.packs.size(), 2u);
    EXPECT_EQ(loaded.packs[0]->getNumberOfBatteries(), 4294967295u);
    EXPECT_EQ(loaded.packs[1]->getName(), "Pack A");
}

// Each value that cannot be held where it goes drops its table or pack with a
// log line naming it; the lenient reading around the digits stays.
TEST(VarnelXmlParser, ValuesThatDoNotFitAreRefusedNotCut)
{
    const std::string attrs = "typeSize=\"9\" batteryWattageIndex=\"0\" typeName=\"T\" partNumber=\"P\"";
    const std::string highB = "<CTableHighB>3</CTableHighB>";
    auto withC = [](const std::string& value) {
        return cTable(1, 8) + "<CTableValue index=\"9\" value=\"" + value + "\"/>";
    };
    struct Case {
        std::string element;
        std::string logged; // empty: kept
    };
    const std::vector<Case> cases{
        {batteryTable("typeIndex=\"2\" " + attrs, rows("Runtime", "time", 0, 19) + withC("256") + highB),
         "Refused CTableValue value=\"256\": too large (at most 255)"},
        {batteryTable("typeIndex=\"2\" " + attrs, rows("Runtime", "time", 0, 19) + withC("300") + highB),
         "Refused CTableValue value=\"300\": too large (at most 255)"},
        {batteryTable("typeIndex=\"2\" " + attrs,
                      rows("Runtime", "time", 0, 19) + withC(" 255 units") + highB),
         ""},
        {batteryTable("typeIndex=\"2\" " + attrs,
                      rows("Runtime", "time", 0, 19) + cTable(1, 9) + "<CTableHighB>260</CTableHighB>"),
         "Refused CTableHighB content=\"260\": too large (at most 255)"},
        {batteryTable("typeIndex=\"2\" " + attrs, rows("Runtime", "time", 0, 18) +
                                                      "<Runtime rowIndex=\"19\" time=\"-1\"/>" +
                                                      cTable(1, 9) + highB),
         "Refused Runtime time=\"-1\": a minus sign"},
        {batteryTable("typeIndex=\"300\" " + attrs, rows("Runtime", "time", 0, 19) + cTable(1, 9) + highB),
         "Refused BatteryTable typeIndex=\"300\": too large (at most 255)"},
        {"<FWScalarTable index=\"1\">" + rows("FWScalar", "value", 0, 18) +
             "<FWScalar rowIndex=\"19\" value=\"4294967296\"/></FWScalarTable>",
         "Refused FWScalar value=\"4294967296\": more than 32 bits"},
        {"<BatteryPack batteryTypeIndex=\"1\" numberOfBatteries=\"-4\" name=\"N\" partNumber=\"P\"/>",
         "Refused BatteryPack numberOfBatteries=\"-4\": a minus sign"},
        {"<BatteryPack batteryTypeIndex=\"256\" numberOfBatteries=\"4\" name=\"N\" partNumber=\"P\"/>",
         "Refused BatteryPack batteryTypeIndex=\"256\": too large (at most 255)"},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        Loaded loaded;
        ASSERT_TRUE(loaded.parse(document(c.element + goodType))) << c.element;
        const std::size_t elements = loaded.types.size() + loaded.scalars.size() + loaded.packs.size();
        // The document's own scalar table, type and pack are always there.
        EXPECT_EQ(elements, c.logged.empty() ? 4u : 3u) << c.element;
        const std::vector<std::string> expected =
            c.logged.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.logged};
        EXPECT_EQ(test::readLines("varnel.log"), expected);
    }
}

TEST(VarnelXmlParser, EachMissingStepFailsWithItsLogLine)
{
    test::TempDir dir;
    Loaded noVersion;
    EXPECT_FALSE(noVersion.parse(document(goodType, false)));
    Loaded noPacks;
    EXPECT_FALSE(noPacks.parse(document(goodType, true, false)));
    EXPECT_EQ(noPacks.types.size(), 1u); // earlier steps stay stored
    Loaded noDate;
    EXPECT_FALSE(noDate.parse("<ExternalBatteryPack><Version number=\"9\"/></ExternalBatteryPack>"));
    EXPECT_EQ(noDate.number, "9");
    EXPECT_EQ(noDate.date, "");
    Loaded broken;
    EXPECT_FALSE(broken.parse("<ExternalBatteryPack><Version"));
    const std::vector<std::string> expected{
        "An error occured parsing the File Version", "An error occured parsing the Battery Packs",
        "An error occured parsing the File Version", "Failed to parse file memory.xml",
        "An error occured parsing the File Version"};
    EXPECT_EQ(test::readLines("varnel.log"), expected);
}

TEST(VarnelXmlParser, DocumentTypesAndEntityBombsAreRefused)
{
    test::TempDir dir;
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE ExternalBatteryPack [<!ENTITY a \"aaaaaaaaaa\">";
    char previous = 'a';
    for (char name = 'b'; name <= 'k'; ++name, ++previous)
        bomb += std::string("<!ENTITY ") + name + " \"" + std::string(10, '&') + "\">";
    for (char name = 'b'; name <= 'k'; ++name) {
        const std::string ref = std::string("&") + static_cast<char>(name - 1) + ";";
        std::string replacement;
        for (int i = 0; i < 10; ++i)
            replacement += ref;
        const std::string placeholder =
            std::string("<!ENTITY ") + name + " \"" + std::string(10, '&') + "\">";
        bomb.replace(bomb.find(placeholder), placeholder.size(),
                     std::string("<!ENTITY ") + name + " \"" + replacement + "\">");
    }
    bomb += "]><ExternalBatteryPack><Version number=\"&k;\" date=\"d\"/></ExternalBatteryPack>";
    Loaded loaded;
    EXPECT_FALSE(loaded.parse(bomb));
    EXPECT_TRUE(loaded.number.empty());

    Loaded external;
    EXPECT_FALSE(
        external.parse("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                       "<ExternalBatteryPack><Version number=\"&e;\" date=\"d\"/></ExternalBatteryPack>"));
    EXPECT_TRUE(external.number.empty());
}

TEST(VarnelXmlParser, DocumentTypeLinesPassWhileEntitiesAndUnloadedReferencesAreRefused)
{
    test::TempDir dir;
    // The document type line goes after the declaration; the rest is a whole data file.
    const std::string whole = document(goodType);
    const std::size_t afterDeclaration = whole.find("?>") + 2;
    auto typed = [&](const std::string& doctype, const std::string& number = "1.2") {
        std::string text = whole;
        text.insert(afterDeclaration, doctype);
        text.replace(text.find("number=\"1.2\""), 12, "number=\"" + number + "\"");
        return text;
    };
    struct Case {
        const char* doctype;
        bool accepted;
    };
    const Case cases[] = {
        {"<!DOCTYPE ExternalBatteryPack>", true},
        {"<!DOCTYPE ExternalBatteryPack SYSTEM \"no/such/dir/batterydata.dtd\">", true},
        {"<!DOCTYPE ExternalBatteryPack PUBLIC \"-//X//Battery Data//EN\" \"http://127.0.0.1:1/b.dtd\">",
         true},
        {"<!DOCTYPE ExternalBatteryPack [<!ELEMENT ExternalBatteryPack ANY>]>", true},
        {"<!DOCTYPE ExternalBatteryPack [<!ENTITY v \"9\">]>", false},
        {"<!DOCTYPE ExternalBatteryPack [<!ENTITY % p \"\">]>", false},
        {"<!DOCTYPE ExternalBatteryPack SYSTEM \"no/such.dtd\" [%p;]>", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.doctype);
        Loaded loaded;
        EXPECT_EQ(loaded.parse(typed(c.doctype)), c.accepted);
        EXPECT_EQ(loaded.number, c.accepted ? "1.2" : "");
    }
    // An entity only the unloaded external DTD could define must not be read as text.
    Loaded undeclared;
    EXPECT_FALSE(undeclared.parse(typed("<!DOCTYPE ExternalBatteryPack SYSTEM \"no/such.dtd\">", "&v;")));
    // From disk the system identifier resolves beside the file, where nothing exists either.
    test::writeFile("typed.xml", typed("<!DOCTYPE ExternalBatteryPack SYSTEM \"batterydata.dtd\">"));
    VarnelXmlParser fromDisk("typed.xml");
    Loaded read;
    EXPECT_TRUE(fromDisk.parse(read.number, read.date, read.scalars, read.wattages, read.types, read.packs));
}

TEST(VarnelController, SecondDataFileReplacesAndAFailedOneKeepsTheLast)
{
    test::TempDir dir;
    test::writeFile("one.xml", document(goodType));
    std::string second = document(goodType + "<BatteryPack batteryTypeIndex=\"1\" numberOfBatteries=\"2\" "
                                             "name=\"Family B\" partNumber=\"B-2\"/>",
                                  true, false);
    second.replace(second.find("1.2"), 3, "2.0");
    second.replace(second.find("typeIndex=\"1\""), 13, "typeIndex=\"4\"");
    test::writeFile("two.xml", second);
    // Fails only at the packs, after its version and tables were read.
    std::string broken = document(goodType, true, false);
    broken.replace(broken.find("1.2"), 3, "3.0");
    test::writeFile("broken.xml", broken);

    VarnelController controller;
    ASSERT_TRUE(controller.loadDataFile("one.xml"));
    ASSERT_TRUE(controller.loadDataFile("two.xml"));
    EXPECT_EQ(controller.getFileVersionNumber(), "2.0");
    EXPECT_EQ(controller.packNames(), std::vector<std::string>{"Family B"});
    EXPECT_EQ(controller.getBatteryTables().count(1), 0u);
    EXPECT_EQ(controller.getBatteryTables().count(4), 1u);
    EXPECT_FALSE(controller.loadDataFile("broken.xml"));
    EXPECT_FALSE(controller.loadDataFile("missing.xml"));
    EXPECT_EQ(controller.getFileVersionNumber(), "2.0");
    EXPECT_EQ(controller.packNames(), std::vector<std::string>{"Family B"});
    EXPECT_EQ(controller.getBatteryTables().count(4), 1u);
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

TEST(VarnelXmlParser, ShippedSampleFileIsComplete)
{
    test::TempDir dir;
    VarnelController controller;
    ASSERT_TRUE(controller.loadDataFile(test::distFile("sample-batterydata.xml").string()));
    EXPECT_EQ(controller.getScalarTables().size(), 4u);
    EXPECT_EQ(controller.getWattageTables().size(), 4u);
    EXPECT_EQ(controller.getBatteryTables().size(), 3u);
    EXPECT_EQ(controller.getBatteryPacks().size(), 6u);
    for (const auto& pack : controller.getBatteryPacks())
        EXPECT_NE(findTable(controller.getBatteryTables(), pack->getBatteryTypeIndex()), nullptr);
}

} // namespace
} // namespace varnel

namespace varnel {
namespace {

TEST(VarnelXmlParser, GeneratedFilesLoadCompletely)
{
    test::TempDir dir;
    const std::string command =
        std::string(VARNEL_BINARY_DIR) + "/bin/gen-batterydata generated.xml --types 12 --packs 30 --seed 7";
    ASSERT_EQ(std::system(command.c_str()), 0);
    VarnelController controller;
    ASSERT_TRUE(controller.loadDataFile("generated.xml"));
    EXPECT_EQ(controller.getBatteryTables().size(), 12u);
    EXPECT_EQ(controller.getBatteryPacks().size(), 30u);
    EXPECT_EQ(controller.getScalarTables().size(), 4u);
    EXPECT_EQ(controller.getWattageTables().size(), 4u);
}

} // namespace
} // namespace varnel
