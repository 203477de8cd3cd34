#include "controller/UnitRecordJson.h"
#include "controller/ConfigurationBackup.h"
#include "device/VarnelDevice.h"
#include "settings/JsonText.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace varnel {
namespace {

class Named : public VarnelDevice {
public:
    Named()
    {
        setVendorName("Acme \xe9");
        setProductName("UPS 1500");
        PortDescriptor descriptor{};
        descriptor.portName = "/dev/ttyS0";
        setPortInfo(descriptor);
        setConfigurationInfo(0x0B);
        setInternalBatteryCount(2);
        setInternalBatteryType(1);
        setExternalBatteryCount(8);
        setBatteryTableValues(std::vector<std::uint8_t>(20, 7));
        setCTableValues({1, 2, 3, 4, 5, 6, 7, 8, 9});
        setCTableHighB(4);
    }
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override { return false; }
};

// Stored backups and scripts reading --json rely on the members' names and
// order as they stand, byte for byte; a backup must read back as it was written.
TEST(UnitRecordJson, BackupsAndListingsKeepTheirMembersAndReadBack)
{
    test::TempDir dir;
    const Named device;
    const ConfigurationValues held = ConfigurationValues::of(device);
    const std::string table = "[7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7]";

    EXPECT_EQ(toAsciiJson(UnitRecordJson::encode(device, held, UnitRecordJson::listingOrder)),
              R"({"portName":"/dev/ttyS0","vendorName":"Acme \u00e9","productName":"UPS 1500",)"
              R"("internalBatteryCount":2,"internalBatteryType":1,"externalBatteryCount":8,)"
              R"("configurationInfo":11,"batteryTableValues":)" +
                  table + R"(,"cTableValues":[1,2,3,4,5,6,7,8,9],"cTableHighB":4})");

    ConfigurationValues planned = held;
    planned.externalBatteryCount = 0;
    const ConfigurationBackup::Written written =
        ConfigurationBackup().write(device, held, &planned, "3.1", "x");
    ASSERT_FALSE(written.path.empty()) << written.failure;
    const std::string content = test::readFile(written.path);
    const std::string afterStamp = content.substr(content.find('\n', 2) + 1);
    EXPECT_EQ(afterStamp, "  \"fileVersionNumber\": \"3.1\",\n"
                          "  \"fileVersionDate\": \"x\",\n"
                          "  \"fileSha256\": \"\",\n"
                          "  \"portName\": \"/dev/ttyS0\",\n"
                          "  \"vendorName\": \"Acme \\u00e9\",\n"
                          "  \"productName\": \"UPS 1500\",\n"
                          "  \"configurationInfo\": 11,\n"
                          "  \"internalBatteryCount\": 2,\n"
                          "  \"internalBatteryType\": 1,\n"
                          "  \"externalBatteryCount\": 8,\n"
                          "  \"batteryTableValues\": " +
                              table +
                              ",\n"
                              "  \"cTableValues\": [1,2,3,4,5,6,7,8,9],\n"
                              "  \"cTableHighB\": 4,\n"
                              "  \"planned\": {\"externalBatteryCount\":0,\"batteryTableValues\":" +
                              table + ",\"cTableValues\":[1,2,3,4,5,6,7,8,9],\"cTableHighB\":4}\n}\n");

    BackupRecord record;
    std::string field;
    ASSERT_EQ(ConfigurationBackup::read(written.path, record, field), ConfigurationBackup::ReadResult::read)
        << field;
    EXPECT_EQ(record.values, held);
    EXPECT_EQ(record.portName, "/dev/ttyS0");
    EXPECT_EQ(ConfigurationBackup::otherKind(record, device), nullptr);
}

} // namespace
} // namespace varnel
