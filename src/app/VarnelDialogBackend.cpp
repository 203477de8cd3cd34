// The dialog's calls into the core, kept in one place.
#include "app/VarnelDialog.h"

#include "device/VarnelDevice.h"

namespace varnel {

bool VarnelDialog::backendLoadDataFile(const std::string& path)
{
    return controller.loadDataFile(path);
}

std::vector<std::unique_ptr<VarnelDevice>>&
VarnelDialog::backendScanForDevices(const StatusCallback& callback)
{
    return controller.scanForDevices(callback);
}

bool VarnelDialog::backendComputeConfiguration(VarnelDevice& device,
                                               const std::vector<std::uint32_t>& quantities,
                                               const StatusCallback& callback)
{
    return controller.computeConfiguration(device, quantities, callback);
}

bool VarnelDialog::backendSaveDevice(VarnelDevice& device)
{
    return device.save();
}

bool VarnelDialog::backendValidateUpdate(VarnelDevice& device, const StatusCallback& callback)
{
    return controller.validateUpdate(device, callback);
}

void VarnelDialog::configureDownload(DataFileDownload&) {}

} // namespace varnel
