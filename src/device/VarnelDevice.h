#pragma once

#include "settings/StatusCallback.h"

#include <linkport.h>

#include <cstdint>
#include <memory>
#include <optional>
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
    // What load reads to tell one unit from another (configuration word,
    // internal batteries, names), and no tables: enough to know the unit on
    // the port is still the one scanned.
    bool loadIdentity(CAnyPort& port)
    {
        identityOnly = true;
        const bool loaded = load(port, nullptr, nullptr);
        identityOnly = false;
        return loaded;
    }

    // Keeps a copy of the descriptor whose name points at this record's own text.
    void setPortInfo(const PortDescriptor& descriptor);
    void dumpToLog(const std::string& title) const;

    bool supportsExternalPacks() const { return (configurationInfo & 0x01u) != 0; }
    std::uint32_t scalarTableIndex() const { return (configurationInfo >> 1) & 0x03u; }
    std::uint32_t wattageTableIndex() const { return (configurationInfo >> 3) & 0x03u; }

    const PortDescriptor* getPortInfo() const { return portInfo.get(); }
    std::uint32_t getPostReadSleep() const { return postReadSleep; }
    std::uint32_t getPostWriteSleep() const { return postWriteSleep; }
    std::uint32_t getPreSaveSleep() const { return preSaveSleep; }
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
    // The most external batteries the unit's field takes over its protocol.
    std::uint32_t getLargestExternalBatteryCount() const { return largestExternalBatteryCount; }

    void setPostReadSleep(std::uint32_t milliseconds) { postReadSleep = milliseconds; }
    void setPostWriteSleep(std::uint32_t milliseconds) { postWriteSleep = milliseconds; }
    void setPreSaveSleep(std::uint32_t milliseconds) { preSaveSleep = milliseconds; }
    void setInternalBatteryCount(std::uint8_t count) { internalBatteryCount = count; }
    void setInternalBatteryType(std::uint8_t type) { internalBatteryType = type; }
    void setExternalBatteryCount(std::int32_t count) { externalBatteryCount = count; }
    void setCTableHighB(std::uint8_t index) { cTableHighB = index; }
    void setConfigurationInfo(std::uint32_t word) { configurationInfo = word; }
    void setBatteryTableValues(std::vector<std::uint8_t> values) { batteryTableValues = std::move(values); }
    void setCTableValues(std::vector<std::uint8_t> values) { cTableValues = std::move(values); }
    void setLargestExternalBatteryCount(std::uint32_t count) { largestExternalBatteryCount = count; }

protected:
    // "msg.foundandloading" on a new line, when both callback and catalogue are
    // given; a key the catalogue lacks is shown as the key, as the controller does.
    static void reportFoundAndLoading(const StatusCallback& callback, const I18N* messages);
    // Logs, and shows when it can, that the unit's answers keep changing.
    void reportChangingAnswers(const StatusCallback& callback, const I18N* messages) const;

    // What every save checks before it writes a byte: both tables whole. A
    // table of another length logs its count and stops the save.
    bool tablesComplete() const;
    // Opens `port` from portInfo for a save; `protocol` names the class in the
    // line logged when that fails.
    bool openForSave(CAnyPort& port, const char* protocol) const;

    // A value the computation or the identity of the unit rests on is read
    // until two reads in a row agree, three at most: one bit dropped on the
    // line must not become another battery type. `read` gives nothing when
    // the exchange failed, which fails the load as any failed read does.
    template <typename Value, typename Read>
    bool readAgreed(Read read, Value& value, const StatusCallback& callback, const I18N* messages) const
    {
        const std::optional<Value> first = read();
        if (!first)
            return false;
        // Telling units apart needs no second read: a spoilt one can only make
        // the unit look like another, and then nothing is written.
        if (identityOnly) {
            value = std::move(*first);
            return true;
        }
        std::optional<Value> second = read();
        if (!second)
            return false;
        if (*first != *second) {
            const std::optional<Value> third = read();
            if (!third)
                return false;
            if (*third != *second) {
                reportChangingAnswers(callback, messages);
                return false;
            }
        }
        value = std::move(*second);
        return true;
    }

    // The protocol classes fill in what the unit reports.
    void setVendorName(std::string name) { vendorName = std::move(name); }
    void setProductName(std::string name) { productName = std::move(name); }

    bool identityOnly = false; // load stops once the unit's identity is read
    std::unique_ptr<PortDescriptor> portInfo;
    std::uint32_t postReadSleep = 0;
    std::uint32_t postWriteSleep = 0;
    std::uint32_t preSaveSleep = 0; // before the first write of a save
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
    std::uint32_t largestExternalBatteryCount = 65535;
};

} // namespace varnel
