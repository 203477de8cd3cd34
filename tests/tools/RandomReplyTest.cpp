#include "FramedUnit.h"
#include "TextUnit.h"
#include "UnitFileParser.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace varnel::upssim;
using Bytes = std::vector<uint8_t>;

namespace {

UnitConfig randomUnit(UnitProtocol protocol, uint32_t seed)
{
    UnitConfig config;
    config.name = "noisy";
    config.protocol = protocol;
    config.fault = FaultMode::Random;
    config.faultSeed = seed;
    return config;
}

// The replies a framed unit gives to the same write, asked `count` times.
std::vector<Bytes> framedReplies(uint32_t seed, int count, UnitConfig* after = nullptr)
{
    const UnitConfig config = randomUnit(UnitProtocol::Framed, seed);
    UnitState state(config, nullptr);
    FramedUnit unit(state, nullptr);
    const Bytes write = FramedUnit::frame(4, 99, {0x2C, 0x01});
    std::vector<Bytes> replies;
    for (int i = 0; i < count; ++i) {
        auto answers = unit.receive(write.data(), write.size());
        EXPECT_EQ(answers.size(), 1u);
        if (!answers.empty())
            replies.push_back(answers[0].reply);
    }
    if (after)
        *after = state.values();
    return replies;
}

} // namespace

TEST(RandomReplies, SameSeedSameBytesOtherSeedOtherBytes)
{
    const std::vector<Bytes> first = framedReplies(7, 50);
    EXPECT_EQ(framedReplies(7, 50), first);
    EXPECT_NE(framedReplies(8, 50), first);

    std::set<std::size_t> lengths;
    for (const Bytes& reply : first) {
        EXPECT_GE(reply.size(), 1u);
        EXPECT_LE(reply.size(), 200u);
        lengths.insert(reply.size());
    }
    EXPECT_GT(lengths.size(), 10u) << "the lengths hardly vary";
}

TEST(RandomReplies, NothingAskedForIsDone)
{
    UnitConfig after;
    framedReplies(3, 5, &after);
    EXPECT_EQ(after.externalBatteryCount, UnitConfig{}.externalBatteryCount);

    const UnitConfig config = randomUnit(UnitProtocol::Text, 3);
    UnitState state(config, nullptr);
    TextUnit unit(state, nullptr);
    std::string save = "~00S040CBP7";
    for (int i = 0; i < 9; ++i)
        save += ";001";
    save.push_back('\0');
    const auto answers = unit.receive(reinterpret_cast<const uint8_t*>(save.data()), save.size());
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0].reply.empty());
    EXPECT_EQ(state.values().cTableHighB, config.cTableHighB);
    EXPECT_EQ(state.values().cTable, config.cTable);
}

TEST(RandomReplies, UnitFileNamesTheFaultAndItsSeed)
{
    std::vector<UnitConfig> units;
    UnitFileParser parser;
    ASSERT_TRUE(parser.parse("[unit a]\nfault = random\nfault.seed = 42\nfault.after = 3\n[unit b]\n", units))
        << parser.error();
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].fault, FaultMode::Random);
    EXPECT_EQ(units[0].faultSeed, 42u);
    EXPECT_EQ(units[0].faultAfter, 3u);
    EXPECT_EQ(units[1].faultSeed, 1u);
    EXPECT_STREQ(faultName(FaultMode::Random), "random");
}
