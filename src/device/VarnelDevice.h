#pragma once

#include "settings/StatusCallback.h"

#include <linkport.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnel {

class CAnyPort;
class I18N;

// The record of one unit on a port: where it is, what it calls itself and its
// battery configuration, as read from the unit or as computed for writing.
// The protocol classes read it from the unit and write it back.
class VarnelDevice {
public:
    VarnelDevice() = default;
    virtual ~VarnelDevice() = default;
    VarnelDevice(const VarnelDevice&) = delete;
    VarnelDevice& operator=(const VarnelDevice&) = delete;

    // Reads the configuration over an open port; callback and catalogue may be null.
    virtual bool load(CAnyPort& port, const StatusCallback& callback, const I18N* messages) = 0;
    // Writes the configuration over a port of its own, opened from portInfo.
    virtual bool save() = 0;

    // Keeps a copy of the descriptor whose name points at this record's own text.
    void setPortInfo(const PortDescriptor& descriptor);
    void dumpToLog(const std::string& title) const;

    bool supportsExternalPacks() const { return (configurationInfo & 0x01u) != 0; }
    std::uint32_t scalarTableIndex() const { return (configurationInfo >> 1) & 0x03u; }
    std::uint32_t wattageTableIndex() const { return (configurationInfo >> 3) & 0x03u; }

    const PortDescriptor* getPortInfo() const { return portInfo.get(); }
    std::uint32_t getPostReadSleep() const { return postReadSleep; }
    std::uint32_t getPostWriteSleep() const { return postWriteSleep; }
    const std::string& getPortName() const { return portName; }
    const std::string& getVendorName() const { return vendorName; }
    const std::string& getProductName() const { return productName; }
    std::uint8_t getInternalBatteryCount() const { return internalBatteryCount; }
    std::uint8_t getInternalBatteryType() const { return internalBatteryType; }
    std::int32_t getExternalBatteryCount() const { return externalBatteryCount; }
    std::uint8_t getCTableHighB() const { return cTableHighB; }
    std::uint32_t getConfigurationInfo() const { return configurationInfo; }
    const std::vector<std::uint8_t>& getBatteryTableValues() const { return batteryTableValues; }
    const std::vector<std::uint8_t>& getCTableValues() const { return cTableValues; }

    void setPostReadSleep(std::uint32_t milliseconds) { postReadSleep = milliseconds; }
    void setPostWriteSleep(std::uint32_t milliseconds) { postWriteSleep = milliseconds; }
    void setInternalBatteryCount(std::uint8_t count) { internalBatteryCount = count; }
    void setInternalBatteryType(std::uint8_t type) { internalBatteryType = type; }
    void setExternalBatteryCount(std::int32_t count) { externalBatteryCount = count; }
    void setCTableHighB(std::uint8_t index) { cTableHighB = index; }
    void setConfigurationInfo(std::uint32_t word) { configurationInfo = word; }
    void setBatteryTableValues(std::vector<std::uint8_t> values) { batteryTableValues = std::move(values); }
    void setCTableValues(std::vector<std::uint8_t> values) { cTableValues = std::move(values); }

protected:
    // "msg.foundandloading" on a new line, when both callback and catalogue are
    // given; a key the catalogue lacks is shown as the key, as the controller does.
    static void reportFoundAndLoading(const StatusCallback& callback, const I18N* messages);

    // The protocol classes fill in what the unit reports.
    void setVendorName(std::string name) { vendorName = std::move(name); }
    void setProductName(std::string name) { productName = std::move(name); }

    std::unique_ptr<PortDescriptor> portInfo;
    std::uint32_t postReadSleep = 0;
    std::uint32_t postWriteSleep = 0;
    std::string portName;
    std::string vendorName;
    std::string productName;
    std::uint8_t internalBatteryCount = 0;
    std::uint8_t internalBatteryType = 0;
    std::int32_t externalBatteryCount = 0;
    std::uint8_t cTableHighB = 0;
    std::uint32_t configurationInfo = 0;
    std::vector<std::uint8_t> batteryTableValues;
    std::vector<std::uint8_t> cTableValues;
};

} // namespace varnel
