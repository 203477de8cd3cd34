// The framed protocol class over linkserial against a simulated unit: what
// the system sends is what the simulator understands.
#include "device/CAnyPort.h"
#include "device/Protocol3014.h"
#include "support/TestSupport.h"
#include "support/UpssimRunner.h"

#include <gtest/gtest.h>
#include <serialline.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace varnel;
using varnel::test::readFile;

namespace {

std::unique_ptr<Protocol3014> loadFrom(const std::string& path)
{
    PortDescriptor descriptor{};
    descriptor.size = sizeof descriptor;
    descriptor.transport = 1;
    descriptor.portName = path.c_str();
    CAnyPort port;
    port.setTransport(1);
    if (!port.open(&descriptor))
        return nullptr;
    port.configureSerial(SERIAL_LINE_BAUD, SERIAL_LINE_PARITY, SERIAL_LINE_DATA_BITS, SERIAL_LINE_STOP_BITS,
                         0);
    auto device = std::make_unique<Protocol3014>();
    device->setPortInfo(descriptor);
    const bool loaded = device->load(port, nullptr, nullptr);
    port.close();
    return loaded ? std::move(device) : nullptr;
}

} // namespace

TEST(Protocol3014OverUpssim, LoadSaveAndReadBack)
{
    test::TempDir temp;
    test::writeFile("units.ini",
                    "[unit good]\nprotocol = framed\nconfiguration = 0x0009\nexternal.count = 2\n"
                    "product = SIM-3000\n"
                    "[unit liar]\nprotocol = framed\nfault = wrongvalue\n");
    test::Upssim sim({"--dir", "ups", "--journal", "journal.jsonl", "--ready", "ready", "units.ini"});
    ASSERT_TRUE(test::waitForFile("ready")) << readFile("upssim.out");
    const std::string good = fs::absolute("ups/good").string();

    {
        // The simulator keeps its own hold on the line; that must not let a second program in.
        PortDescriptor descriptor{};
        descriptor.size = sizeof descriptor;
        descriptor.transport = 1;
        descriptor.portName = good.c_str();
        CAnyPort first;
        CAnyPort second;
        first.setTransport(1);
        second.setTransport(1);
        ASSERT_TRUE(first.open(&descriptor));
        EXPECT_FALSE(second.open(&descriptor));
        second.close();
        first.close();
    }

    auto device = loadFrom(good);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->getConfigurationInfo(), 9u);
    EXPECT_EQ(device->getExternalBatteryCount(), 2);
    EXPECT_EQ(device->getProductName(), "SIM-3000");
    EXPECT_EQ(device->getBatteryTableValues().size(), 20u);
    EXPECT_EQ(device->getCTableValues(), (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80, 90}));

    std::vector<uint8_t> table(20);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<uint8_t>(250 - i);
    device->setExternalBatteryCount(300);
    device->setBatteryTableValues(table);
    device->setCTableValues({9, 8, 7, 6, 5, 4, 3, 2, 1});
    device->setCTableHighB(3);
    ASSERT_TRUE(device->save());

    auto again = loadFrom(good);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->getExternalBatteryCount(), 300);
    EXPECT_EQ(again->getBatteryTableValues(), table);
    EXPECT_EQ(again->getCTableValues(), (std::vector<uint8_t>{9, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(again->getCTableHighB(), 3);

    // A unit that stores what it was given off by one reads back different values.
    const std::string liar = fs::absolute("ups/liar").string();
    auto lying = loadFrom(liar);
    ASSERT_TRUE(lying);
    lying->setCTableHighB(3);
    ASSERT_TRUE(lying->save());
    EXPECT_EQ(loadFrom(liar)->getCTableHighB(), 4);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(readFile("journal.jsonl")
                  .find(R"("unit":"good","event":"write","field":"cTable","index":8,"value":1)"),
              std::string::npos);
}
