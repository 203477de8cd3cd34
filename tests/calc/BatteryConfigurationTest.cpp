#include "calc/BatteryConfiguration.h"
#include "controller/VarnelController.h"
#include "data/VarnelXmlParser.h"
#include "device/VarnelDevice.h"
#include "settings/I18N.h"
#include "settings/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace varnel {
namespace {

using Rows = std::array<std::uint32_t, 20>;

Rows uniformRows(std::uint32_t value)
{
    Rows rows;
    rows.fill(value);
    return rows;
}

struct TypeDescription {
    std::uint32_t index;
    std::uint32_t typeSize;
    std::uint32_t wattageIndex;
    Rows runtimes;
    std::uint32_t cTableBase;
    std::uint32_t highB;
};

// Writes battery data files for the cases below; everything goes through the
// real reader, as a technician's file would.
class DataFile {
public:
    DataFile& scalar(std::uint32_t index, const Rows& rows)
    {
        out << "<FWScalarTable index=\"" << index << "\">";
        for (std::uint32_t r = 0; r < 20; ++r)
            out << "<FWScalar rowIndex=\"" << r << "\" value=\"" << rows[r] << "\"/>";
        out << "</FWScalarTable>\n";
        return *this;
    }
    DataFile& wattage(std::uint32_t index, const Rows& rows)
    {
        out << "<BatteryWattageTable index=\"" << index << "\">";
        for (std::uint32_t r = 0; r < 20; ++r)
            out << "<Wattage rowIndex=\"" << r << "\" watts=\"" << rows[r] << "\"/>";
        out << "</BatteryWattageTable>\n";
        return *this;
    }
    DataFile& type(const TypeDescription& t)
    {
        out << "<BatteryTable typeIndex=\"" << t.index << "\" typeSize=\"" << t.typeSize
            << "\" batteryWattageIndex=\"" << t.wattageIndex << "\" typeName=\"Type " << t.index
            << "\" partNumber=\"BT-" << t.index << "\">";
        for (std::uint32_t r = 0; r < 20; ++r)
            out << "<Runtime rowIndex=\"" << r << "\" time=\"" << t.runtimes[r] << "\"/>";
        for (std::uint32_t i = 1; i <= 9; ++i)
            out << "<CTableValue index=\"" << i << "\" value=\"" << (t.cTableBase + i) << "\"/>";
        out << "<CTableHighB>" << t.highB << "</CTableHighB></BatteryTable>\n";
        return *this;
    }
    DataFile& pack(std::uint32_t type, std::uint32_t batteries)
    {
        ++packs;
        out << "<BatteryPack batteryTypeIndex=\"" << type << "\" numberOfBatteries=\"" << batteries
            << "\" name=\"Pack " << packs << "\" partNumber=\"EBP-" << packs << "\"/>\n";
        return *this;
    }
    std::string text() const
    {
        return "<?xml version=\"1.0\"?><ExternalBatteryPack><Version number=\"1\" date=\"d\"/>\n" +
               out.str() + "</ExternalBatteryPack>\n";
    }

private:
    std::ostringstream out;
    int packs = 0;
};

class TestDevice : public VarnelDevice {
public:
    TestDevice(std::uint8_t count, std::uint8_t type, std::uint32_t scalarIndex, std::uint32_t wattageIndex)
    {
        setInternalBatteryCount(count);
        setInternalBatteryType(type);
        setConfigurationInfo(0x01u | (scalarIndex << 1) | (wattageIndex << 3));
        setBatteryTableValues(std::vector<std::uint8_t>(20, 7));
        setCTableValues(std::vector<std::uint8_t>(9, 7));
        setCTableHighB(7);
    }
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override { return false; }
};

// A run directory with the shipped catalogue, the tables of one data file and
// a record of everything shown.
class Computation : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::writeFile("varnelstrings.en", test::readFile(test::distFile("varnelstrings.en")));
        ASSERT_TRUE(messages.load("en", "en"));
    }

    bool read(const DataFile& file)
    {
        std::string number, date;
        VarnelXmlParser parser(file.text(), "test.xml");
        return parser.parse(number, date, scalars, wattages, types, packs);
    }

    BatteryConfiguration calculator() const
    {
        return BatteryConfiguration(scalars, wattages, types, packs, &messages);
    }

    bool compute(VarnelDevice& device, const std::vector<std::uint32_t>& quantities)
    {
        return calculator().computeConfiguration(device, quantities, callback);
    }

    std::string text(const char* key) const { return messages.lookup(key); }
    std::vector<std::string> logLines() const { return test::readLines(dir.path() / "varnel.log"); }

    test::TempDir dir;
    I18N messages;
    ScalarTableMap scalars;
    WattageTableMap wattages;
    BatteryTableMap types;
    BatteryPackList packs;
    std::vector<std::string> shown;
    StatusCallback callback = [this](const char* t, std::uint32_t) { shown.push_back(t ? t : "(null)"); };
};

// The example the unit's tables are checked against: types 3 (2 batteries)
// and 5 (4), row 0 at 100 W, runtimes 30 and 60, divisor 2 -> 25.
TEST_F(Computation, MixedTypesWorkedExample)
{
    Rows runtime3 = uniformRows(10), runtime5 = uniformRows(10);
    runtime3[0] = 30;
    runtime5[0] = 60;
    ASSERT_TRUE(read(DataFile()
                         .scalar(1, uniformRows(2))
                         .wattage(2, uniformRows(100))
                         .type({3, 9, 2, runtime3, 10, 2})
                         .type({5, 9, 2, runtime5, 50, 6})
                         .pack(5, 4)));
    TestDevice device(2, 3, 1, 2);
    ASSERT_TRUE(compute(device, {1}));

    EXPECT_EQ(device.getExternalBatteryCount(), 4);
    EXPECT_EQ(device.getBatteryTableValues()[0], 25);
    EXPECT_EQ(device.getBatteryTableValues()[1], 5); // 10 / 2 rounds half up
    EXPECT_EQ(device.getCTableValues(), (std::vector<std::uint8_t>{51, 52, 53, 54, 55, 56, 57, 58, 59}));
    EXPECT_EQ(device.getCTableHighB(), 6);
    EXPECT_EQ(shown, (std::vector<std::string>{"Internal batteries: 2 of type Type 3",
                                               "External batteries: 4 of type Type 5"}));

    const auto lines = logLines();
    ASSERT_GE(lines.size(), 9u);
    const std::vector<std::string> tail(lines.end() - 9, lines.end());
    EXPECT_EQ(tail[0], text("msg.interpolating"));
    EXPECT_EQ(tail[1].rfind(text("label.interpolatedvalues") + ": 5000, 1000, ", 0), 0u);
    EXPECT_EQ(tail[2], "");
    EXPECT_EQ(tail[3].rfind(text("label.interpolatedtimes") + ": 50, 10, ", 0), 0u);
    EXPECT_EQ(tail[5].rfind(text("label.computedruntimevalues") + ": 25, 5, 5, ", 0), 0u);
    EXPECT_EQ(tail[7], text("msg.ctablevalues") + ": 51, 52, 53, 54, 55, 56, 57, 58, 59");
    EXPECT_EQ(tail[8], text("msg.chightablevalue") + ": 6");
}

TEST_F(Computation, ScalingRoundsHalfUpAndRefusesWhatDoesNotFitAByte)
{
    Rows runtimes = uniformRows(100);
    runtimes[3] = 25549; // 255.49 after the divisor
    ASSERT_TRUE(read(DataFile()
                         .scalar(0, uniformRows(100))
                         .wattage(0, uniformRows(50))
                         .type({1, 5, 0, runtimes, 0, 1})
                         .pack(1, 1)));
    TestDevice device(1, 1, 0, 0);
    ASSERT_TRUE(compute(device, {}));
    EXPECT_EQ(device.getBatteryTableValues()[3], 255);
    EXPECT_EQ(device.getBatteryTableValues()[0], 1); // 1.0 + 0.5

    runtimes[3] = 25550; // 255.5 -> 256
    types.clear();
    scalars.clear();
    wattages.clear();
    ASSERT_TRUE(read(DataFile()
                         .scalar(0, uniformRows(100))
                         .wattage(0, uniformRows(50))
                         .type({1, 5, 0, runtimes, 0, 1})
                         .pack(1, 1)));
    TestDevice refused(1, 1, 0, 0);
    shown.clear();
    EXPECT_FALSE(compute(refused, {}));
    const std::string expected =
        "A runtime of 25550 divided by the scalar 100 gives 256, which does not fit in one byte.";
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), expected);
    EXPECT_EQ(logLines().back(), expected);
    EXPECT_EQ(refused.getBatteryTableValues(), std::vector<std::uint8_t>(20, 7));
    EXPECT_EQ(refused.getCTableValues(), std::vector<std::uint8_t>(9, 7));
}

// A mean energy of exactly n + 0.5 becomes n + 1 before the division by
// watts; without that rounding row 0 would come out as 0.
TEST_F(Computation, MeanEnergyRoundsHalfUpBeforeTheDivisionByWatts)
{
    ASSERT_TRUE(read(DataFile()
                         .scalar(0, uniformRows(4))
                         .wattage(0, uniformRows(1))
                         .type({1, 5, 0, uniformRows(1), 0, 1})
                         .type({2, 5, 0, uniformRows(2), 0, 1})
                         .pack(2, 1)));
    TestDevice device(1, 1, 0, 0);
    ASSERT_TRUE(compute(device, {1}));
    EXPECT_EQ(device.getBatteryTableValues(), std::vector<std::uint8_t>(20, 1));
}

TEST_F(Computation, CTableTypeChoice)
{
    ASSERT_TRUE(read(DataFile()
                         .type({3, 10, 0, uniformRows(1), 0, 1})
                         .type({5, 7, 0, uniformRows(1), 0, 1})
                         .type({6, 7, 0, uniformRows(1), 0, 1})
                         .type({8, 10, 0, uniformRows(1), 0, 1})
                         .scalar(0, uniformRows(1))
                         .wattage(0, uniformRows(1))
                         .pack(3, 1)));
    const BatteryConfiguration c = calculator();
    EXPECT_EQ(c.chooseCTableType({{3, 4}, {5, 4}}), 5u); // tie on count: smaller size
    EXPECT_EQ(c.chooseCTableType({{3, 4}, {8, 4}}), 3u); // tie on size: lower index
    EXPECT_EQ(c.chooseCTableType({{3, 5}, {5, 4}}), 3u); // most batteries wins
    EXPECT_EQ(c.chooseCTableType({{5, 4}, {6, 4}, {8, 9}}), 8u);
    EXPECT_EQ(c.chooseCTableType({{3, 300}, {5, 200}}), 3u); // counts are not cut to 8 bits
    EXPECT_EQ(c.chooseCTableType({{9, 4}, {5, 4}}), 5u);     // a type without a table drops out
    EXPECT_EQ(c.chooseCTableType({{9, 4}, {10, 4}}), BatteryConfiguration::noBatteryType);
    EXPECT_EQ(c.chooseCTableType({}), BatteryConfiguration::noBatteryType);

    TestDevice device(1, 1, 0, 0);
    EXPECT_FALSE(c.applyCTable(device, BatteryConfiguration::noBatteryType, callback));
    EXPECT_EQ(shown.back(), "Battery type 4294967295 is not described in the battery data file.");
}

TEST_F(Computation, SinglePathIgnoresWattageIndicesAndCounts)
{
    ASSERT_TRUE(read(DataFile()
                         .scalar(0, uniformRows(1))
                         .wattage(0, uniformRows(100))
                         .type({3, 5, 2, uniformRows(40), 0, 1})
                         .type({5, 5, 2, uniformRows(60), 0, 1})
                         .pack(3, 4)
                         .pack(5, 4)));
    TestDevice one(1, 3, 0, 0), many(1, 3, 0, 0);
    ASSERT_TRUE(compute(one, {0, 0}));
    ASSERT_TRUE(compute(many, {10, 0}));
    EXPECT_EQ(one.getBatteryTableValues(), std::vector<std::uint8_t>(20, 40));
    EXPECT_EQ(many.getBatteryTableValues(), one.getBatteryTableValues());
    EXPECT_EQ(many.getExternalBatteryCount(), 40);
    EXPECT_EQ(one.getExternalBatteryCount(), 0);

    // Mixed, the first type in ascending order is the one reported.
    TestDevice mixed(1, 3, 0, 0);
    shown.clear();
    EXPECT_FALSE(compute(mixed, {0, 1}));
    EXPECT_EQ(shown.back(),
              "The UPS uses wattage table 0 but the battery type was measured against wattage table 2.");
}

TEST_F(Computation, InternalAndExternalBatteryMessages)
{
    ASSERT_TRUE(read(DataFile()
                         .scalar(0, uniformRows(1))
                         .wattage(0, uniformRows(100))
                         .type({5, 5, 0, uniformRows(60), 20, 3})
                         .pack(5, 4)
                         .pack(7, 2)));
    // Internal type unknown: reported, left out, the packs alone decide.
    TestDevice unknownInternal(2, 9, 0, 0);
    ASSERT_TRUE(compute(unknownInternal, {1, 0}));
    EXPECT_EQ(shown, (std::vector<std::string>{"Battery type 9 is not described in the battery data file.",
                                               "External batteries: 4 of type Type 5"}));
    EXPECT_EQ(unknownInternal.getCTableHighB(), 3);

    // An unknown pack type stays counted, so the run fails later.
    shown.clear();
    TestDevice unknownPack(2, 5, 0, 0);
    EXPECT_FALSE(compute(unknownPack, {0, 3}));
    EXPECT_EQ(unknownPack.getExternalBatteryCount(), 6);
    EXPECT_EQ(unknownPack.getBatteryTableValues(), std::vector<std::uint8_t>(20, 7));
    EXPECT_EQ(shown[1], "Battery type 7 is not described in the battery data file.");

    // No internal battery: said first on screen, then in the log.
    shown.clear();
    TestDevice none(0, 5, 0, 0);
    ASSERT_TRUE(compute(none, {2, 0}));
    EXPECT_EQ(shown.front(), text("msg.nointernalbatteries"));
    EXPECT_EQ(none.getExternalBatteryCount(), 8);

    // A file without packs gives an empty quantity list.
    shown.clear();
    TestDevice noPacks(2, 5, 0, 0);
    noPacks.setExternalBatteryCount(12);
    ASSERT_TRUE(compute(noPacks, {}));
    EXPECT_EQ(shown.back(), text("msg.noexternalbatteries"));
    EXPECT_EQ(noPacks.getExternalBatteryCount(), 0);
}

TEST_F(Computation, DegenerateTablesFailBeforeAnythingIsWritten)
{
    Rows watts = uniformRows(100);
    watts[4] = 0;
    Rows divisors = uniformRows(2);
    divisors[6] = 0;
    ASSERT_TRUE(read(DataFile()
                         .scalar(0, divisors)
                         .scalar(1, uniformRows(2))
                         .wattage(0, watts)
                         .wattage(1, uniformRows(100))
                         .type({3, 5, 0, uniformRows(40), 0, 1})
                         .type({5, 5, 0, uniformRows(60), 0, 1})
                         .pack(5, 4)));
    struct Case {
        std::uint8_t internal;
        std::uint32_t scalarIndex, wattageIndex;
        std::vector<std::uint32_t> quantities;
        std::string message;
    };
    const std::vector<Case> cases = {
        {2, 1, 0, {1}, "The wattage table gives a load of 0 W for row 4; the runtimes cannot be combined."},
        {2, 0, 1, {0}, "The firmware scalar table gives a divisor of 0 for row 6."},
        {0, 1, 1, {0}, text("msg.nobatteries")},
        {2, 3, 1, {0}, "The battery data file has no firmware scalar table 3."},
        {2,
         1,
         3,
         {1},
         "The UPS uses wattage table 3 but the battery type was measured against wattage table 0."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        shown.clear();
        TestDevice device(c.internal, 3, c.scalarIndex, c.wattageIndex);
        EXPECT_FALSE(compute(device, c.quantities));
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), c.message);
        EXPECT_EQ(device.getBatteryTableValues(), std::vector<std::uint8_t>(20, 7));
        EXPECT_EQ(device.getCTableValues(), std::vector<std::uint8_t>(9, 7));
    }
}

// A count the unit's field cannot hold fails the run; nothing is cut to fit.
TEST_F(Computation, ExternalCountsBeyondTheUnitsFieldAreRefused)
{
    ASSERT_TRUE(read(DataFile()
                         .scalar(1, uniformRows(2))
                         .wattage(0, uniformRows(100))
                         .type({3, 5, 0, uniformRows(40), 0, 1})
                         .pack(3, 32772)
                         .pack(3, 4294967295u)
                         .pack(3, 500)));
    struct Case {
        std::uint32_t largest;
        std::vector<std::uint32_t> quantities;
        std::string message; // empty: computed
    };
    const std::vector<Case> cases = {
        {65535,
         {2, 0, 0},
         "The chosen packs hold 65544 external batteries; this UPS can hold at most 65535."},
        {65535,
         {0, 9, 0},
         "The chosen packs hold 4294967295 external batteries; this UPS can hold at most 65535."},
        {999, {0, 0, 2}, "The chosen packs hold 1000 external batteries; this UPS can hold at most 999."},
        {255, {0, 0, 1}, "The chosen packs hold 500 external batteries; this UPS can hold at most 255."},
        {999, {0, 0, 1}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        shown.clear();
        TestDevice device(2, 3, 1, 0);
        device.setExternalBatteryCount(4);
        device.setLargestExternalBatteryCount(c.largest);
        EXPECT_EQ(compute(device, c.quantities), c.message.empty());
        if (c.message.empty()) {
            EXPECT_EQ(device.getExternalBatteryCount(), 500);
            continue;
        }
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), c.message);
        EXPECT_EQ(device.getExternalBatteryCount(), 4);
        EXPECT_EQ(device.getBatteryTableValues(), std::vector<std::uint8_t>(20, 7));
        EXPECT_EQ(device.getCTableValues(), std::vector<std::uint8_t>(9, 7));
    }
}

TEST_F(Computation, LogValuesWritesDoublesAsTheStreamDoes)
{
    BatteryConfiguration::WorkingSet values{};
    values[0] = 1.5;
    values[1] = 25;
    values[2] = 1000000;
    values[3] = 1234567;
    values[19] = 0.125;
    calculator().logValues(values, "Title");
    const auto lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "Title: 1.5, 25, 1e+06, 1.23457e+06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.125");
    EXPECT_EQ(lines.back(), "");
}

// An independent, plain reading of how a unit's battery table is made from a
// mix of types, checked against the computation on generated files.
std::optional<std::vector<std::uint8_t>> expectedMix(const VarnelController& c,
                                                     const std::map<std::uint32_t, std::uint32_t>& counts,
                                                     std::uint32_t scalarIndex, std::uint32_t wattageIndex)
{
    const auto& watts = c.getWattageTables().at(wattageIndex)->getRows();
    const auto& divisors = c.getScalarTables().at(scalarIndex)->getRows();
    std::uint64_t total = 0;
    for (const auto& [type, count] : counts) {
        if (c.getBatteryTables().at(type)->getBatteryWattageIndex() != wattageIndex)
            return std::nullopt;
        total += count;
    }
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t row = 0; row < 20; ++row) {
        long double energy = 0;
        for (const auto& [type, count] : counts) {
            const std::uint64_t product =
                std::uint64_t{c.getBatteryTables().at(type)->getRuntimes().at(row)} * watts.at(row) * count;
            energy += static_cast<long double>(product % 4294967296ull);
        }
        const long double meanEnergy = std::floor(energy / total + 0.5L);
        const long double scaled = std::floor(meanEnergy / watts.at(row) / divisors.at(row) + 0.5L);
        if (scaled > 255)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(scaled));
    }
    return bytes;
}

TEST(ComputationProperty, MixedTypesAgreeWithAPlainComputation)
{
    test::TempDir dir;
    int succeeded = 0;
    std::mt19937 rng(11);
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const std::uint32_t wattageIndex = seed % 4;
        const std::string command = std::string(VARNEL_BINARY_DIR) +
                                    "/bin/gen-batterydata gen.xml --types 6 --packs 12 --seed " +
                                    std::to_string(seed) + " --wattage-index " + std::to_string(wattageIndex);
        ASSERT_EQ(std::system(command.c_str()), 0);
        VarnelController controller;
        ASSERT_TRUE(controller.loadDataFile("gen.xml"));
        const auto& packList = controller.getBatteryPacks();
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<std::uint32_t> quantities(packList.size(), 0);
            for (int row = 0; row < 3; ++row)
                quantities[rng() % quantities.size()] += rng() % 10;
            const std::uint8_t internalType = static_cast<std::uint8_t>(1 + rng() % 6);
            const std::uint8_t internalCount = static_cast<std::uint8_t>(1 + rng() % 4);
            std::map<std::uint32_t, std::uint32_t> counts{{internalType, internalCount}};
            for (std::size_t k = 0; k < quantities.size(); ++k)
                if (quantities[k])
                    counts[packList[k]->getBatteryTypeIndex()] +=
                        quantities[k] * packList[k]->getNumberOfBatteries();
            if (counts.size() < 2)
                continue;
            const std::uint32_t scalarIndex = rng() % 4;
            TestDevice device(internalCount, internalType, scalarIndex, wattageIndex);
            const auto expected = expectedMix(controller, counts, scalarIndex, wattageIndex);
            SCOPED_TRACE("seed " + std::to_string(seed) + " trial " + std::to_string(trial));
            ASSERT_EQ(controller.computeConfiguration(device, quantities, nullptr), expected.has_value());
            if (expected) {
                EXPECT_EQ(device.getBatteryTableValues(), *expected);
                ++succeeded;
            }
        }
    }
    EXPECT_GT(succeeded, 50); // the generated files must mostly fit a unit
}

} // namespace
} // namespace varnel
