// The numbers both charts draw: the stored bytes multiplied back by the
// scalars the unit divides by, against its wattage table's loads.
#include "calc/RuntimePicture.h"
#include "calc/BatteryConfiguration.h"
#include "data/VarnelXmlParser.h"
#include "device/VarnelDevice.h"
#include "settings/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace varnel {
namespace {

using Row = std::function<std::uint32_t(std::uint32_t)>;
using Point = RuntimePicture::Point;

std::string rows(const char* element, const char* kind, const char* attribute, std::uint32_t index,
                 const Row& value)
{
    std::ostringstream out;
    out << "<" << element << " index=\"" << index << "\">";
    for (std::uint32_t r = 0; r < 20; ++r)
        out << "<" << kind << " rowIndex=\"" << r << "\" " << attribute << "=\"" << value(r) << "\"/>";
    out << "</" << element << ">\n";
    return out.str();
}

// Scalar table 2 and wattage table 1 are the unit's; 1 and 2 of the other kind are decoys.
struct Tables {
    Row scalars = [](std::uint32_t r) { return 10 + r; };
    Row watts = [](std::uint32_t r) { return 50 * (r + 1); };

    bool readInto(ScalarTableMap& scalarTables, WattageTableMap& wattageTables, BatteryTableMap& types,
                  BatteryPackList& packs) const
    {
        std::ostringstream doc;
        doc << "<?xml version=\"1.0\"?><ExternalBatteryPack><Version number=\"1\" date=\"d\"/>\n"
            << rows("FWScalarTable", "FWScalar", "value", 1, [](std::uint32_t) { return 99; })
            << rows("FWScalarTable", "FWScalar", "value", 2, scalars)
            << rows("BatteryWattageTable", "Wattage", "watts", 1, watts)
            << rows("BatteryWattageTable", "Wattage", "watts", 2, [](std::uint32_t r) { return 7 * (r + 1); })
            << "<BatteryTable typeIndex=\"1\" typeSize=\"1\" batteryWattageIndex=\"1\" typeName=\"T\" "
               "partNumber=\"B\">";
        for (std::uint32_t r = 0; r < 20; ++r)
            doc << "<Runtime rowIndex=\"" << r << "\" time=\"" << 2000 / (r + 1) + 7 * r << "\"/>";
        for (std::uint32_t i = 1; i <= 9; ++i)
            doc << "<CTableValue index=\"" << i << "\" value=\"" << i << "\"/>";
        doc << "<CTableHighB>3</CTableHighB></BatteryTable>\n"
            << "<BatteryPack batteryTypeIndex=\"1\" numberOfBatteries=\"4\" name=\"P\" partNumber=\"E\"/>\n"
            << "</ExternalBatteryPack>\n";
        std::string number, date;
        VarnelXmlParser parser(doc.str(), "picture.xml");
        return parser.parse(number, date, scalarTables, wattageTables, types, packs);
    }
};

class Unit : public VarnelDevice {
public:
    Unit(std::uint32_t scalarIndex, std::uint32_t wattageIndex)
    {
        setInternalBatteryCount(2);
        setInternalBatteryType(1);
        setConfigurationInfo(0x01u | (scalarIndex << 1) | (wattageIndex << 3));
        std::vector<std::uint8_t> table;
        for (std::uint8_t r = 1; r <= 20; ++r)
            table.push_back(r);
        setBatteryTableValues(table);
    }
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override { return false; }
};

TEST(RuntimePicture, ScalesBackWithTheUnitsScalarsOrShowsTheStoredValues)
{
    struct Case {
        const char* name;
        Tables tables;
        std::uint32_t scalarIndex, wattageIndex;
        bool scaled, watts;
        Point first, last; // of "before": bytes 1 to 20
    };
    Tables zeroDivisor;
    zeroDivisor.scalars = [](std::uint32_t r) { return r == 7 ? 0u : 10 + r; };
    Tables flatLoads;
    flatLoads.watts = [](std::uint32_t r) { return r == 5 ? 250u : 50 * (r + 1); };
    const Case cases[] = {
        {"scalars and watts of the unit", {}, 2, 1, true, true, {50, 10}, {1000, 580}},
        {"no scalar table for the unit", {}, 3, 1, false, true, {50, 1}, {1000, 20}},
        {"a divisor of 0", zeroDivisor, 2, 1, false, true, {50, 1}, {1000, 20}},
        {"no wattage table for the unit", {}, 2, 3, true, false, {1, 10}, {20, 580}},
        {"loads that do not rise", flatLoads, 2, 1, true, false, {1, 10}, {20, 580}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScalarTableMap scalars;
        WattageTableMap wattages;
        BatteryTableMap types;
        BatteryPackList packs;
        ASSERT_TRUE(c.tables.readInto(scalars, wattages, types, packs));
        const Unit unit(c.scalarIndex, c.wattageIndex);
        const RuntimePicture picture(scalars, wattages, unit, unit.getBatteryTableValues(), {200, 3});

        EXPECT_EQ(picture.isScaled(), c.scaled);
        EXPECT_EQ(picture.hasWatts(), c.watts);
        ASSERT_EQ(picture.getBefore().size(), 20u);
        EXPECT_EQ(picture.getBefore().front(), c.first);
        EXPECT_EQ(picture.getBefore().back(), c.last);
        // A short table gives the rows it has, at the same loads and with the same scalars.
        ASSERT_EQ(picture.getAfter().size(), 2u);
        EXPECT_EQ(picture.getAfter()[0].load, c.first.load);
        EXPECT_EQ(picture.getAfter()[0].value, c.scaled ? 2000.0 : 200.0);
    }
}

// The estimate shares the load evenly: with twice the table's batteries the
// runtime at a load is the table's at half of it, read through the energy
// between rows; it is left out wherever it cannot be worked out.
TEST(RuntimePicture, EstimatesTheRuntimeWithTheBatteriesSharingTheLoad)
{
    ScalarTableMap scalars;
    WattageTableMap wattages;
    BatteryTableMap types;
    BatteryPackList packs;
    ASSERT_TRUE(Tables{}.readInto(scalars, wattages, types, packs));
    std::vector<std::uint8_t> table;
    for (std::uint8_t r = 0; r < 20; ++r)
        table.push_back(static_cast<std::uint8_t>(200 - 9 * r));

    RuntimePicture picture(scalars, wattages, Unit(2, 1), {}, table);
    picture.estimateWith(2, 2);
    const RuntimePicture::Series& after = picture.getAfter();
    const RuntimePicture::Series& estimate = picture.getEstimate();
    EXPECT_EQ(picture.getEstimateBatteries(), 4u);
    // 50 W shared is 25 W, below the table's first load.
    ASSERT_EQ(estimate.size(), 19u);
    EXPECT_EQ(estimate.front().load, 100.0);
    for (std::size_t k = 0; k < 10; ++k)
        EXPECT_DOUBLE_EQ(estimate[2 * k].value, after[k].value) << "at " << estimate[2 * k].load << " W";
    // 150 W: 75 W each, half-way between the energies at 50 W and 100 W.
    EXPECT_DOUBLE_EQ(estimate[1].value, (after[0].value * 50 + after[1].value * 100) / 2 / 75);

    struct Case {
        const char* name;
        std::uint32_t scalarIndex, wattageIndex, internal;
        std::int64_t external;
        std::size_t rows;
    };
    const Case none[] = {
        {"no packs added", 2, 1, 2, 0, 20},
        {"a count below 0", 2, 1, 2, -8, 20},
        {"no internal batteries", 2, 1, 0, 8, 20},
        {"no watts", 2, 3, 2, 2, 20},
        {"no scalars", 3, 1, 2, 2, 20},
        {"a short table", 2, 1, 2, 2, 19},
    };
    for (const Case& c : none) {
        SCOPED_TRACE(c.name);
        RuntimePicture without(scalars, wattages, Unit(c.scalarIndex, c.wattageIndex), {},
                               {table.begin(), table.begin() + static_cast<std::ptrdiff_t>(c.rows)});
        without.estimateWith(c.internal, c.external);
        EXPECT_TRUE(without.getEstimate().empty());
        EXPECT_EQ(without.getEstimateBatteries(), 0u);
    }
}

// What page 4 shows ahead: the real computation on a copy, which scales back to
// the type's runtimes within half a divisor, and leaves record and log alone.
TEST(RuntimePicture, PlannedTableScalesBackToTheTypesRuntimes)
{
    test::TempDir dir;
    restartLog();
    ScalarTableMap scalars;
    WattageTableMap wattages;
    BatteryTableMap types;
    BatteryPackList packs;
    ASSERT_TRUE(Tables{}.readInto(scalars, wattages, types, packs));
    const Unit unit(2, 1);
    const BatteryConfiguration configuration(scalars, wattages, types, packs, nullptr);

    std::vector<std::uint8_t> planned;
    ASSERT_TRUE(configuration.planBatteryTable(unit, {3}, planned));
    const RuntimePicture picture(scalars, wattages, unit, unit.getBatteryTableValues(), planned);
    ASSERT_EQ(picture.getAfter().size(), 20u);
    for (std::uint32_t r = 0; r < 20; ++r) {
        const double runtime = types.at(1)->getRuntimes().at(r);
        EXPECT_NEAR(picture.getAfter()[r].value, runtime, (10 + r) / 2.0) << "row " << r;
    }
    EXPECT_EQ(unit.getExternalBatteryCount(), 0);
    EXPECT_EQ(unit.getBatteryTableValues().front(), 1);
    EXPECT_EQ(test::readFile("varnel.log"), "");
}

} // namespace
} // namespace varnel
