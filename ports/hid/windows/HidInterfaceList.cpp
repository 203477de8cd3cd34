#include "HidInterfaceList.h"

#include "DeviceInfoSet.h"
#include "HidpPort.h"
#include "OwnedHandle.h"

#include <windows.h>

// MinGW's HID headers do not declare their functions extern "C" themselves.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

#include <cstddef>
#include <cstring>

namespace linkhid {

namespace {

// Interface paths run to a few hundred characters; more is no HID device's.
constexpr DWORD kMaxDetailBytes = 4096;

// The interface's path, empty if SetupAPI cannot give it.
std::string interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& entry)
{
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &entry, nullptr, 0, &required, nullptr);
    constexpr DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (required <= pathOffset || required > kMaxDetailBytes)
        return {};
    // DWORDs, so the structure is aligned.
    std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &entry, detail, required, nullptr, nullptr))
        return {};
    return std::string(detail->DevicePath, strnlen(detail->DevicePath, required - pathOffset));
}

} // namespace

std::vector<HidPortEntry> HidInterfaceList::powerDevices()
{
    std::vector<HidPortEntry> ports;
    GUID hidGuid{};
    HidD_GetHidGuid(&hidGuid);
    DeviceInfoSet set(
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid())
        return ports;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA entry{};
        entry.cbSize = sizeof entry;
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &entry))
            break; // ERROR_NO_MORE_ITEMS, or a list we cannot walk further
        HidPortEntry port{interfacePath(set.get(), entry), {}, {}};
        if (port.path.empty())
            continue;
        linkport::OwnedHandle device(CreateFileA(port.path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        if (!device.valid() || !HidpPort::isPowerDevice(device.get()))
            continue;
        HidpPort::readNames(device.get(), port.manufacturer, port.product);
        ports.push_back(std::move(port));
    }
    return ports;
}

} // namespace linkhid
