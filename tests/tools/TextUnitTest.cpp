#include "TextUnit.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace varnel::upssim;

namespace {

struct Text {
    UnitConfig config;
    std::ostringstream journalText;
    Journal journal{journalText, [] { return 0.0; }};
    std::unique_ptr<UnitState> state;
    std::unique_ptr<TextUnit> unit;

    explicit Text(FaultMode fault = FaultMode::None, uint32_t after = 0)
    {
        config.name = "line2";
        config.protocol = UnitProtocol::Text;
        config.configurationInfo = 25;
        config.internalBatteryCount = 2;
        config.internalBatteryType = 1;
        config.externalBatteryCount = 3;
        config.batteryTable.fill(65);
        config.cTable = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        config.cTableHighB = 5;
        config.productName = "SIM-1500";
        config.vendorName = "Sim";
        config.fault = fault;
        config.faultAfter = after;
        state = std::make_unique<UnitState>(config, &journal);
        unit = std::make_unique<TextUnit>(*state, &journal);
    }
    std::string ask(const std::string& request)
    {
        auto answers = unit->receive(reinterpret_cast<const uint8_t*>(request.data()), request.size());
        EXPECT_EQ(answers.size(), 1u) << request;
        return answers.empty() ? std::string()
                               : std::string(answers[0].reply.begin(), answers[0].reply.end());
    }
};

std::string repeat(const std::string& group, int n)
{
    std::string text;
    for (int i = 0; i < n; ++i)
        text += group;
    return text;
}

std::string saveTable(const std::string& count, const std::string& group)
{
    return std::string("~00S086EBP") + count + repeat(group, 20) + std::string(1, '\0');
}

} // namespace

TEST(TextUnit, AnswersEveryQuery)
{
    Text t;
    EXPECT_EQ(t.ask("~00P003CFI"), "~00D00225");
    EXPECT_EQ(t.ask("~00P003IBN"), "~00D007002;001");
    EXPECT_EQ(t.ask("~00P003EBP"), "~00D083003" + repeat(";065", 20));
    EXPECT_EQ(t.ask("~00P003CBP"), "~00D0375;001;002;003;004;005;006;007;008;009");
    EXPECT_EQ(t.ask("~00P003MOD"), "~00D008SIM-1500");
    EXPECT_EQ(t.ask("~00P003MNU"), "~00D003Sim");
    EXPECT_EQ(t.ask("~00P003XYZ"), "~00R000");
}

TEST(TextUnit, SaveCommandsStoreTheirValues)
{
    Text t;
    const std::string first = saveTable("007", ";123");
    ASSERT_EQ(first.size(), 94u);
    EXPECT_EQ(t.ask(first), "~00A000");
    const std::string second = "~00S040CBP4" + repeat(";007", 9) + std::string(1, '\0');
    ASSERT_EQ(second.size(), 48u);
    EXPECT_EQ(t.ask(second), "~00A000");
    EXPECT_EQ(t.ask("~00P003EBP"), "~00D083007" + repeat(";123", 20));
    EXPECT_EQ(t.ask("~00P003CBP"), "~00D0374" + repeat(";007", 9));
}

TEST(TextUnit, RefusesMalformedSavesWithoutStoringAnything)
{
    Text t;
    // A two-digit high B index makes the body one longer than its length field.
    EXPECT_EQ(t.ask("~00S040CBP12" + repeat(";007", 9) + std::string(1, '\0')), "~00R000");
    EXPECT_EQ(t.ask("~00S082EBP003" + repeat(";065", 19) + std::string(1, '\0')), "~00R000"); // 19 values
    EXPECT_EQ(t.ask(saveTable("003", ";300")), "~00R000");                                    // not a byte
    EXPECT_EQ(t.ask(saveTable("003", ",065")), "~00R000");
    EXPECT_EQ(t.state->values().cTableHighB, 5);
    EXPECT_EQ(t.state->values().batteryTable[0], 65);
    EXPECT_EQ(t.journalText.str().find("\"event\":\"write\""), std::string::npos);
}

TEST(TextUnit, IgnoresFramedRequestsAndNoise)
{
    Text t;
    const std::string line = std::string("\x7E\x03\x01\x88\x0A", 5) + "garbage~0~00P003CFI";
    auto answers = t.unit->receive(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(std::string(answers[0].reply.begin(), answers[0].reply.end()), "~00D00225");
    EXPECT_EQ(answers[0].requestSize, 10u);

    // A save arriving in pieces is answered once it is complete.
    const std::string save = saveTable("001", ";010");
    EXPECT_TRUE(t.unit->receive(reinterpret_cast<const uint8_t*>(save.data()), 50).empty());
    EXPECT_TRUE(t.unit->hasPartial());
    EXPECT_EQ(t.unit->receive(reinterpret_cast<const uint8_t*>(save.data()) + 50, save.size() - 50).size(),
              1u);
    EXPECT_EQ(t.state->values().externalBatteryCount, 1);
}

TEST(TextUnit, FaultModes)
{
    {
        Text t(FaultMode::Silent, 1);
        EXPECT_EQ(t.ask("~00P003CFI"), "~00D00225");
        EXPECT_EQ(t.ask("~00P003IBN"), "");
        EXPECT_EQ(t.ask(saveTable("009", ";001")), "");
        EXPECT_EQ(t.state->values().externalBatteryCount, 3);
    }
    {
        Text t(FaultMode::Reject);
        EXPECT_EQ(t.ask("~00P003CFI"), "~00R000");
        EXPECT_EQ(t.ask(saveTable("009", ";001")), "~00R000");
        EXPECT_EQ(t.state->values().externalBatteryCount, 3);
    }
    {
        Text t(FaultMode::BadKind);
        EXPECT_EQ(t.ask("~00P003CFI"), "~00A000");
    }
    {
        Text t(FaultMode::Truncate);
        EXPECT_EQ(t.ask("~00P003IBN"), "~00D007002");
        EXPECT_EQ(t.ask(saveTable("009", ";001")), "~00");
    }
    {
        Text t(FaultMode::IgnoreWrites);
        EXPECT_EQ(t.ask(saveTable("009", ";001")), "~00A000");
        EXPECT_EQ(t.ask("~00P003EBP"), "~00D083003" + repeat(";065", 20));
    }
    {
        Text t(FaultMode::WrongValue);
        EXPECT_EQ(t.ask(saveTable("009", ";001")), "~00A000");
        EXPECT_EQ(t.ask("~00P003EBP"), "~00D083010" + repeat(";002", 20));
    }
}
