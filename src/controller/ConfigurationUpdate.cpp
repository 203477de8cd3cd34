#include "controller/ConfigurationUpdate.h"

#include "device/VarnelDevice.h"

namespace varnel {

ConfigurationValues ConfigurationValues::of(const VarnelDevice& device)
{
    return {device.getExternalBatteryCount(), device.getBatteryTableValues(), device.getCTableValues(),
            device.getCTableHighB()};
}

void ConfigurationValues::applyTo(VarnelDevice& device) const
{
    device.setExternalBatteryCount(externalBatteryCount);
    device.setBatteryTableValues(batteryTableValues);
    device.setCTableValues(cTableValues);
    device.setCTableHighB(cTableHighB);
}

} // namespace varnel
