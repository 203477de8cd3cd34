#include "controller/UnitLabels.h"

#include "device/VarnelDevice.h"
#include "settings/ShownText.h"

#include <algorithm>

namespace varnel {

std::string UnitLabels::portLeaf(const std::string& portName)
{
    std::string trimmed = portName;
    while (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\'))
        trimmed.pop_back();
    const auto slash = trimmed.find_last_of("/\\");
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string UnitLabels::plain(const VarnelDevice& device)
{
    return shownText(device.getVendorName()) + " : " + shownText(device.getProductName());
}

std::vector<std::string> UnitLabels::of(const std::vector<std::unique_ptr<VarnelDevice>>& devices)
{
    std::vector<std::string> plainNames;
    for (const auto& device : devices)
        plainNames.push_back(plain(*device));
    auto sameAs = [](const std::vector<std::string>& names, std::size_t i) {
        return std::count(names.begin(), names.end(), names[i]) > 1;
    };
    std::vector<std::string> leaves;
    for (const auto& device : devices)
        leaves.push_back(plainNames[leaves.size()] + " (" + shownText(portLeaf(device->getPortName())) + ")");
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (!sameAs(plainNames, i))
            labels.push_back(plainNames[i]);
        else if (!sameAs(leaves, i))
            labels.push_back(leaves[i]);
        else
            labels.push_back(plainNames[i] + " (" + shownText(devices[i]->getPortName()) + ")");
    }
    return labels;
}

std::string UnitLabels::of(const std::vector<std::unique_ptr<VarnelDevice>>& devices,
                           const VarnelDevice& device)
{
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&device](const auto& unit) { return unit.get() == &device; });
    if (found == devices.end())
        return plain(device);
    return of(devices)[static_cast<std::size_t>(found - devices.begin())];
}

} // namespace varnel
