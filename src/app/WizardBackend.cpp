#include "app/WizardBackend.h"

#include "controller/VarnelController.h"
#include "device/VarnelDevice.h"

namespace varnel {

bool WizardBackend::loadDataFile(const std::string& path)
{
    return controller.loadDataFile(path);
}

std::vector<std::unique_ptr<VarnelDevice>>& WizardBackend::scanForDevices(const StatusCallback& callback)
{
    return controller.scanForDevices(callback);
}

bool WizardBackend::computeConfiguration(VarnelDevice& device, const std::vector<std::uint32_t>& quantities,
                                         const StatusCallback& callback)
{
    return controller.computeConfiguration(device, quantities, callback);
}

bool WizardBackend::identifyUnit(const VarnelDevice& device)
{
    return controller.identifyUnit(device);
}

bool WizardBackend::saveDevice(VarnelDevice& device)
{
    return device.save();
}

bool WizardBackend::validateUpdate(VarnelDevice& device, const StatusCallback& callback)
{
    return controller.validateUpdate(device, callback);
}

void WizardBackend::configureDownload(DataFileDownload&) {}

} // namespace varnel
