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

void WizardBackend::configureDownload(DataFileDownload&) {}

} // namespace varnel
