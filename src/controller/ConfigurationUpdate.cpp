#include "controller/ConfigurationUpdate.h"

#include "device/VarnelDevice.h"

namespace varnel {

ConfigurationValues ConfigurationValues::of(const VarnelDevice& device)
{
    return {device.getExternalBatteryCount(), device.getBatteryTableValues(), device.getCTableValues(),
            device.getCTableHighB()};
}

} // namespace varnel
