#include "device/VarnelDevice.h"

#include "data/TableSizes.h"
#include "device/CAnyPort.h"
#include "settings/CatalogueText.h"
#include "settings/Log.h"
#include "settings/ShownText.h"

#include <iomanip>
#include <ostream>

namespace varnel {

namespace {

// Decimal, then " (0x", at least `width` lower-case hex digits and ")".
struct DecimalAndHex {
    std::uint32_t value;
    int width;
};

std::ostream& operator<<(std::ostream& out, DecimalAndHex v)
{
    out << std::dec << v.value << " (0x" << std::hex << std::nouppercase << std::setfill('0')
        << std::setw(v.width) << v.value << ")" << std::dec << std::setfill(' ');
    return out;
}

void writeValues(std::ostream& out, const std::vector<std::uint8_t>& values)
{
    const char* separator = "";
    for (const std::uint8_t value : values) {
        out << separator << DecimalAndHex{value, 2};
        separator = ", ";
    }
}

} // namespace

void VarnelDevice::reportFoundAndLoading(const StatusCallback& callback, const I18N* messages)
{
    if (!callback || !messages)
        return;
    callback(catalogueText(messages, "msg.foundandloading", Missing::Key), 1);
}

void VarnelDevice::reportChangingAnswers(const StatusCallback& callback, const I18N* messages) const
{
    log() << "The unit on " << portName << " gives changing answers: check the cable" << std::endl;
    if (callback && messages)
        callback(catalogueFormat(messages, "msg.changinganswers", {portName}, Missing::Key).c_str(), 1);
}

bool VarnelDevice::tablesComplete() const
{
    if (batteryTableValues.size() != batteryTableSize) {
        log() << "There are only " << batteryTableValues.size() << " values in the battery table!"
              << std::endl;
        return false;
    }
    if (cTableValues.size() != cTableSize) {
        log() << "There are only " << cTableValues.size() << " values in the C Table!" << std::endl;
        return false;
    }
    return true;
}

bool VarnelDevice::openForSave(CAnyPort& port, const char* protocol) const
{
    if (portInfo)
        port.setTransport(portInfo->transport);
    if (!portInfo || !port.open(portInfo.get())) {
        log() << "Failed to open port " << portName << " to save " << protocol << " information" << std::endl;
        return false;
    }
    return true;
}

void VarnelDevice::setPortInfo(const PortDescriptor& descriptor)
{
    portInfo = std::make_unique<PortDescriptor>();
    *portInfo = PortDescriptor{};
    portInfo->size = sizeof(PortDescriptor);
    portInfo->transport = descriptor.transport;
    portName = descriptor.portName ? descriptor.portName : "";
    portInfo->portName = portName.c_str();
    portInfo->libraryData20 = descriptor.libraryData20;
    portInfo->libraryData56 = descriptor.libraryData56;

    if (descriptor.vendorName && descriptor.vendorNameLength > 0 && vendorName.empty())
        vendorName = descriptor.vendorName;
    if (descriptor.productName && descriptor.productNameLength > 0 && productName.empty())
        productName = descriptor.productName;
}

void VarnelDevice::dumpToLog(const std::string& title) const
{
    std::ostream& out = log();
    const std::uint32_t transport = portInfo ? portInfo->transport : 0;
    out << std::endl;
    out << title << std::endl;
    out << "\tCommunication Mode            = " << transport << std::endl;
    out << "\tProduct Name                  = " << shownText(productName) << std::endl;
    out << "\tVendor Name                   = " << shownText(vendorName) << std::endl;
    out << "\tPort Name                     = " << shownText(portName) << std::endl;
    out << "\tNummber of Internal Batteries = " << DecimalAndHex{internalBatteryCount, 2} << std::endl;
    out << "\tType of Internal Batteries    = " << DecimalAndHex{internalBatteryType, 2} << std::endl;
    out << "\tNumber of External Batteries  = "
        << DecimalAndHex{static_cast<std::uint32_t>(externalBatteryCount), 4} << std::endl;
    out << "\tConfiguration Info            = " << DecimalAndHex{configurationInfo, 4} << std::endl;
    out << "\tBattery Table Values          = ";
    writeValues(out, batteryTableValues);
    out << std::endl;
    out << "\tC Table Values                = ";
    writeValues(out, cTableValues);
    out << std::endl;
    out << "\tC Table High B Index          = " << DecimalAndHex{cTableHighB, 2} << std::endl;
    out << std::endl;
}

} // namespace varnel
