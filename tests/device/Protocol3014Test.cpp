#include "device/Protocol3014.h"

#include <gtest/gtest.h>

namespace varnel {

using Bytes = std::vector<std::uint8_t>;

TEST(Protocol3014Test, RequestFramesCarryLengthAndChecksum)
{
    EXPECT_EQ((Bytes{0x7E, 0x03, 0x01, 0x88, 0x0A}), Protocol3014::buildFrame(3, 0x88, {}));
    EXPECT_EQ((Bytes{0x7E, 0x03, 0x01, 0x5D, 0xDF}), Protocol3014::buildFrame(3, 93, {}));
    EXPECT_EQ((Bytes{0x7E, 0x04, 0x02, 0x83, 0x05, 0x0C}), Protocol3014::buildFrame(4, 131, {5}));
    EXPECT_EQ((Bytes{0x7E, 0x04, 0x03, 0x63, 0x2C, 0x01, 0x15}),
              Protocol3014::buildFrame(4, 99, {0x2C, 0x01}));
}

TEST(Protocol3014Test, RepliesAreCheckedAndNeverReadPastWhatArrived)
{
    Bytes payload{9};
    const Bytes empty{0x7E, 0x02, 0x01, 0x88};
    EXPECT_TRUE(Protocol3014::parseReply(empty.data(), 4, payload));
    EXPECT_TRUE(payload.empty());
    const Bytes word{0x7E, 0x05, 0x03, 0x88, 0x01, 0x02};
    EXPECT_TRUE(Protocol3014::parseReply(word.data(), 6, payload));
    EXPECT_EQ((Bytes{1, 2}), payload);
    const Bytes wrongKind{0x7E, 0x03, 0x01, 0x88};
    EXPECT_FALSE(Protocol3014::parseReply(wrongKind.data(), 4, payload));
    const Bytes wrongStart{0x7F, 0x02, 0x01, 0x88};
    EXPECT_FALSE(Protocol3014::parseReply(wrongStart.data(), 4, payload));
    const Bytes shortReply{0x7E, 0x02, 0x10, 0x88, 0x01};
    EXPECT_FALSE(Protocol3014::parseReply(shortReply.data(), 5, payload));
    EXPECT_FALSE(Protocol3014::parseReply(empty.data(), 3, payload));
}

TEST(Protocol3014Test, SaveRefusesWrongTableSizesWithoutAPort)
{
    Protocol3014 device;
    device.setBatteryTableValues(Bytes(19, 1));
    device.setCTableValues(Bytes(9, 1));
    EXPECT_FALSE(device.save());
    device.setBatteryTableValues(Bytes(20, 1));
    device.setCTableValues(Bytes(10, 1));
    EXPECT_FALSE(device.save());
}

} // namespace varnel
