// The dialog's calls into the battery data, computation and discovery
// modules, kept in one place.
#include "app/VarnelDialog.h"

#include "data/BatteryPack.h"
#include "device/VarnelDevice.h"

namespace varnel {

bool VarnelDialog::backendLoadDataFile(const std::string& path) {
    return controller.loadDataFile(path);
}

std::vector<std::string> VarnelDialog::backendPackNames() {
    std::vector<std::string> names;
    for (const auto& pack : controller.getBatteryPacks())
        names.push_back(pack->getName());
    return names;
}

std::vector<VarnelDevice*> VarnelDialog::backendScanForDevices() {
    controller.clearDevices();
    std::vector<VarnelDevice*> found;
    for (auto& device : controller.getDevices())
        found.push_back(device.get());
    return found;
}

bool VarnelDialog::backendComputeConfiguration(VarnelDevice* device, const std::vector<std::uint32_t>& quantities) {
    (void)device;
    (void)quantities;
    return false;
}

bool VarnelDialog::backendValidateUpdate(VarnelDevice* device) {
    (void)device;
    return false;
}

} // namespace varnel
