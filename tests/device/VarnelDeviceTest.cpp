#include "device/VarnelDevice.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

// A record without a protocol behind it.
class RecordOnly : public VarnelDevice {
public:
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override { return false; }
    using VarnelDevice::setProductName;
};

TEST(VarnelDevice, ConfigurationWordQueries)
{
    RecordOnly device;
    device.setConfigurationInfo(0x1E);
    EXPECT_FALSE(device.supportsExternalPacks());
    EXPECT_EQ(device.scalarTableIndex(), 3u);
    EXPECT_EQ(device.wattageTableIndex(), 3u);
    device.setConfigurationInfo(0x04);
    EXPECT_EQ(device.scalarTableIndex(), 2u);
    EXPECT_EQ(device.wattageTableIndex(), 0u);
    device.setConfigurationInfo(0x19);
    EXPECT_TRUE(device.supportsExternalPacks());
    EXPECT_EQ(device.scalarTableIndex(), 0u);
    EXPECT_EQ(device.wattageTableIndex(), 3u);
}

TEST(VarnelDevice, PortInfoIsAnOwnCopyAndNamesFillOnlyEmptyFields)
{
    std::string name = "/dev/ttyUSB0";
    PortDescriptor descriptor{};
    descriptor.size = sizeof descriptor;
    descriptor.transport = PORT_TRANSPORT_HID;
    descriptor.portName = name.c_str();
    descriptor.reserved12 = 7;
    descriptor.libraryData20 = 20;
    descriptor.libraryData56 = 56;
    descriptor.vendorName = "Vendor";
    descriptor.vendorNameLength = 6;
    descriptor.productName = "Product";
    descriptor.productNameLength = 0; // a name without length counts as absent

    RecordOnly device;
    device.setProductName("From unit");
    device.setPortInfo(descriptor);
    name = "changed";

    const PortDescriptor* copy = device.getPortInfo();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->size, sizeof(PortDescriptor));
    EXPECT_EQ(copy->transport, 4u);
    EXPECT_STREQ(copy->portName, "/dev/ttyUSB0");
    EXPECT_EQ(copy->reserved12, 0u);
    EXPECT_EQ(copy->libraryData20, 20u);
    EXPECT_EQ(copy->libraryData56, 56u);
    EXPECT_EQ(copy->vendorName, nullptr);
    EXPECT_EQ(device.getPortName(), "/dev/ttyUSB0");
    EXPECT_EQ(device.getVendorName(), "Vendor");
    EXPECT_EQ(device.getProductName(), "From unit");
}

TEST(VarnelDevice, DumpWritesEveryValueInDecimalAndHex)
{
    test::TempDir dir;
    PortDescriptor descriptor{};
    descriptor.transport = PORT_TRANSPORT_SERIAL;
    descriptor.portName = "COM1";
    RecordOnly device;
    device.setPortInfo(descriptor);
    device.setProductName("UPS 1000");
    device.setInternalBatteryCount(2);
    device.setInternalBatteryType(17);
    device.setExternalBatteryCount(4);
    device.setConfigurationInfo(70000);
    device.setBatteryTableValues({65, 255});
    device.setCTableHighB(9);
    device.dumpToLog("Device Discovered:");

    const std::vector<std::string> expected{
        "",
        "Device Discovered:",
        "\tCommunication Mode            = 1",
        "\tProduct Name                  = UPS 1000",
        "\tVendor Name                   = ",
        "\tPort Name                     = COM1",
        "\tNummber of Internal Batteries = 2 (0x02)",
        "\tType of Internal Batteries    = 17 (0x11)",
        "\tNumber of External Batteries  = 4 (0x0004)",
        "\tConfiguration Info            = 70000 (0x11170)",
        "\tBattery Table Values          = 65 (0x41), 255 (0xff)",
        "\tC Table Values                = ",
        "\tC Table High B Index          = 9 (0x09)",
        "",
    };
    EXPECT_EQ(test::readLines("varnel.log"), expected);
}

} // namespace
} // namespace varnel
