#include "HidPortList.h"
#include "ports/UpsDescriptor.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using varnel::test::writeFile;

std::string bytes(const std::vector<uint8_t>& data)
{
    return std::string(data.begin(), data.end());
}

// A HID device below a USB device, as sysfs lays them out, linked from class/hidraw.
fs::path addNode(const fs::path& root, const std::string& node, const std::string& usbDevice,
                 const std::string& descriptor)
{
    const fs::path usb = root / "devices/pci0000:00/usb1" / usbDevice;
    const fs::path hid = usb / (usbDevice + ":1.0") / ("0003:0665:5161." + node);
    fs::create_directories(hid);
    writeFile(hid / "report_descriptor", descriptor);
    fs::create_directories(root / "class/hidraw" / node);
    fs::create_directory_symlink(hid, root / "class/hidraw" / node / "device");
    return usb;
}

TEST(HidPortList, KeepsPowerDevicesInNodeOrderWithTheirUsbStrings)
{
    varnel::test::TempDir dir;
    const fs::path root = dir.path() / "sys";
    const fs::path named = addNode(root, "hidraw10", "1-1", bytes(varnel::test::upsDescriptor()));
    writeFile(named / "manufacturer", "Varnel Power\n");
    writeFile(named / "product", "VP-1500 UPS\n");
    const fs::path keyboard = addNode(root, "hidraw1", "1-2", bytes(varnel::test::keyboardDescriptor()));
    writeFile(keyboard / "manufacturer", "Keys Inc\n");
    addNode(root, "hidraw2", "1-3", bytes(varnel::test::upsDescriptor()));
    addNode(root, "hidraw3", "1-4", std::string(5000, '\0'));
    std::vector<uint8_t> cut = varnel::test::upsDescriptor();
    cut.resize(50);
    addNode(root, "hidraw4", "1-5", bytes(cut));
    // Names above the sysfs root are not the unit's.
    writeFile(dir.path() / "manufacturer", "Wrong\n");

    const std::vector<linkhid::HidPortEntry> ports = linkhid::HidPortList::hidrawPorts(root.string());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].path, "/dev/hidraw2");
    EXPECT_EQ(ports[0].manufacturer, "");
    EXPECT_EQ(ports[0].product, "");
    EXPECT_EQ(ports[1].path, "/dev/hidraw10");
    EXPECT_EQ(ports[1].manufacturer, "Varnel Power");
    EXPECT_EQ(ports[1].product, "VP-1500 UPS");

    EXPECT_TRUE(linkhid::HidPortList::hidrawPorts((dir.path() / "no-sysfs").string()).empty());
}

} // namespace
