// Random bytes on a line or a socket: no crash, no unbounded buffering, and
// a well-formed request afterwards is still answered.
#include "FramedUnit.h"
#include "HidUnit.h"
#include "HidWire.h"
#include "TextUnit.h"

#include <gtest/gtest.h>

#include <random>

using namespace varnel::upssim;

TEST(LineNoise, UnitsRecoverFromRandomBytes)
{
    std::mt19937 rng(7);
    UnitConfig config;
    UnitState state(config, nullptr);
    FramedUnit framed(state, nullptr);
    TextUnit text(state, nullptr);
    PowerDeviceReports reports;
    HidUnit hid(state, nullptr, reports);
    // Bytes the protocols care about, so the noise often looks like a request.
    const uint8_t alphabet[] = {0x7E, 0x03, 0x04, 0x01, 0x02, '0', 'P', 'S', '3', 0x00, 0x88, 0x63, ';', '9'};
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> noise(rng() % 64);
        for (uint8_t& b : noise)
            b = rng() % 2 ? alphabet[rng() % sizeof alphabet] : static_cast<uint8_t>(rng());
        framed.receive(noise.data(), noise.size());
        text.receive(noise.data(), noise.size());
        std::vector<uint8_t> reply;
        if (!noise.empty())
            hid.handle(noise, reply);
    }
    framed.discardPartial();
    text.discardPartial();
    const uint8_t read[] = {0x7E, 0x03, 0x01, 0x5D, 0xDF};
    EXPECT_EQ(framed.receive(read, sizeof read).size(), 1u);
    const std::string query = "~00P003IBN";
    EXPECT_EQ(text.receive(reinterpret_cast<const uint8_t*>(query.data()), query.size()).size(), 1u);

    // Start bytes that never become a frame do not hide the next real one.
    std::vector<uint8_t> flood(4096, 0x7E);
    for (std::size_t i = 1; i < flood.size(); i += 2)
        flood[i] = 0x03;
    framed.receive(flood.data(), flood.size());
    EXPECT_EQ(framed.receive(read, sizeof read).size(), 1u);
    const std::string saves(10000, '~');
    text.receive(reinterpret_cast<const uint8_t*>(saves.data()), saves.size());
    const std::string openSave = "~00S086" + std::string(300, '1');
    EXPECT_TRUE(text.receive(reinterpret_cast<const uint8_t*>(openSave.data()), openSave.size()).empty());
    EXPECT_FALSE(text.hasPartial()); // longer than any save: dropped as noise
}
