#include "FramedUnit.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace varnel::upssim;
using Bytes = std::vector<uint8_t>;

namespace {

struct Framed {
    UnitConfig config;
    std::ostringstream journalText;
    Journal journal{journalText, [] { return 0.0; }};
    std::unique_ptr<UnitState> state;
    std::unique_ptr<FramedUnit> unit;

    explicit Framed(FaultMode fault = FaultMode::None, uint32_t after = 0)
    {
        config.name = "line1";
        config.configurationInfo = 0x0019;
        config.internalBatteryCount = 4;
        config.productName = "SIM-3000";
        config.vendorName = "Sim";
        config.fault = fault;
        config.faultAfter = after;
        state = std::make_unique<UnitState>(config, &journal);
        unit = std::make_unique<FramedUnit>(*state, &journal);
    }
    // Sends one request and returns the single reply.
    Bytes ask(const Bytes& request)
    {
        auto answers = unit->receive(request.data(), request.size());
        EXPECT_EQ(answers.size(), 1u);
        return answers.empty() ? Bytes{} : answers[0].reply;
    }
    Bytes read(uint8_t command) { return ask(FramedUnit::frame(3, command, {})); }
    Bytes write(uint8_t command, const Bytes& payload) { return ask(FramedUnit::frame(4, command, payload)); }
};

} // namespace

TEST(FramedUnit, AnswersTheRequestsByteForByte)
{
    Framed f;
    EXPECT_EQ(f.ask({0x7E, 0x03, 0x01, 0x88, 0x0A}), (Bytes{0x7E, 0x02, 0x03, 0x88, 0x19, 0x00, 0x24}));
    EXPECT_EQ(f.ask({0x7E, 0x03, 0x01, 0x5D, 0xDF}), (Bytes{0x7E, 0x02, 0x02, 0x5D, 0x04, 0xE3}));
    // Selecting battery table index 5, then reading the value there.
    EXPECT_EQ(f.ask({0x7E, 0x04, 0x02, 0x83, 0x05, 0x0C}), (Bytes{0x7E, 0x05, 0x01, 0x83, 0x07}));
    EXPECT_EQ(f.read(132), FramedUnit::frame(2, 132, {f.config.batteryTable[5]}));
    EXPECT_EQ(f.read(40), FramedUnit::frame(2, 40, {'S', 'I', 'M', '-', '3', '0', '0', '0'}));
    EXPECT_EQ(f.read(43), FramedUnit::frame(2, 43, {'S', 'i', 'm'}));
}

TEST(FramedUnit, WritesChangeWhatLaterReadsReturn)
{
    Framed f;
    // An external battery count of 300, low byte first.
    EXPECT_EQ(f.ask({0x7E, 0x04, 0x03, 0x63, 0x2C, 0x01, 0x15})[1], FramedUnit::kAccepted);
    EXPECT_EQ(f.state->values().externalBatteryCount, 300);
    EXPECT_EQ(f.read(99), FramedUnit::frame(2, 99, {0x2C, 0x01}));

    f.write(135, {7});
    for (uint8_t i = 0; i < 20; ++i) {
        f.write(131, {i});
        f.write(132, {static_cast<uint8_t>(200 + i)});
    }
    for (uint8_t j = 0; j < 9; ++j) {
        f.write(133, {j});
        f.write(134, {static_cast<uint8_t>(j * 3)});
    }
    for (uint8_t i = 0; i < 20; ++i) {
        f.write(131, {i});
        EXPECT_EQ(f.read(132)[4], 200 + i);
    }
    f.write(133, {8});
    EXPECT_EQ(f.read(134)[4], 24);
    EXPECT_EQ(f.read(135)[4], 7);
    EXPECT_NE(f.journalText.str().find(R"("field":"batteryTable","index":19,"value":219,"stored":219)"),
              std::string::npos);
}

TEST(FramedUnit, RefusesMalformedAndOutOfRangeRequests)
{
    Framed f;
    f.write(131, {3});
    EXPECT_EQ(f.ask({0x7E, 0x03, 0x01, 0x88, 0x0B}), FramedUnit::frame(6, 0x88, {})); // bad checksum
    EXPECT_EQ(f.write(131, {20}), FramedUnit::frame(6, 131, {}));                     // beyond the table
    EXPECT_EQ(f.write(133, {9}), FramedUnit::frame(6, 133, {}));
    EXPECT_EQ(f.write(136, {0, 0}), FramedUnit::frame(6, 136, {})); // read-only
    EXPECT_EQ(f.write(99, {1}), FramedUnit::frame(6, 99, {}));      // short payload
    EXPECT_EQ(f.read(131), FramedUnit::frame(6, 131, {}));          // write-only
    EXPECT_EQ(f.read(0x10), FramedUnit::frame(6, 0x10, {}));        // unknown
    EXPECT_EQ(f.state->batteryIndex(), 3);
    EXPECT_EQ(f.state->values().configurationInfo, 0x19);
}

TEST(FramedUnit, FindsRequestsAmongNoiseAndAcrossPieces)
{
    Framed f;
    // A text request (its '~' is 0x7E too) must not swallow the frame after it.
    std::string text = "~00P003CFI";
    Bytes line(text.begin(), text.end());
    const Bytes request{0x7E, 0x03, 0x01, 0x5D, 0xDF};
    line.insert(line.end(), request.begin(), request.end());
    auto answers = f.unit->receive(line.data(), line.size() - 2);
    EXPECT_TRUE(answers.empty());
    EXPECT_TRUE(f.unit->hasPartial());
    answers = f.unit->receive(line.data() + line.size() - 2, 2);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].requestSize, 5u);
    EXPECT_EQ(answers[0].reply[4], 4);

    const Bytes two{0x7E, 0x03, 0x01, 0x5D, 0xDF, 0x7E, 0x03, 0x01, 0x88, 0x0A};
    EXPECT_EQ(f.unit->receive(two.data(), two.size()).size(), 2u);
}

TEST(FramedUnit, FaultModes)
{
    {
        Framed f(FaultMode::Silent, 2); // stops answering after two requests
        EXPECT_FALSE(f.read(136).empty());
        EXPECT_FALSE(f.write(135, {9}).empty());
        EXPECT_TRUE(f.read(136).empty());
        EXPECT_TRUE(f.write(135, {1}).empty());
        EXPECT_EQ(f.state->values().cTableHighB, 9);
        EXPECT_NE(f.journalText.str().find(R"("answered":false,"fault":"silent")"), std::string::npos);
    }
    {
        Framed f(FaultMode::Reject);
        EXPECT_EQ(f.write(135, {9}), FramedUnit::frame(6, 135, {}));
        EXPECT_EQ(f.state->values().cTableHighB, 5);
    }
    {
        Framed f(FaultMode::BadKind);
        EXPECT_EQ(f.read(136), FramedUnit::frame(3, 136, {0x19, 0x00}));
    }
    {
        Framed f(FaultMode::Truncate);
        // The header still promises two value bytes; one arrives and no checksum.
        EXPECT_EQ(f.read(136), (Bytes{0x7E, 0x02, 0x03, 0x88, 0x19}));
    }
    {
        Framed f(FaultMode::IgnoreWrites);
        EXPECT_EQ(f.write(131, {4})[1], FramedUnit::kAccepted);
        EXPECT_EQ(f.write(132, {1})[1], FramedUnit::kAccepted);
        EXPECT_EQ(f.read(132)[4], f.config.batteryTable[4]);
    }
    {
        Framed f(FaultMode::WrongValue);
        f.write(99, {0xFF, 0xFF});
        EXPECT_EQ(f.state->values().externalBatteryCount, 0); // wraps within its 16 bits
        f.write(133, {2});
        f.write(134, {41});
        EXPECT_EQ(f.read(134)[4], 42);
    }
}
