#pragma once

#include <windows.h>

#include <setupapi.h>

#include <utility>

namespace linkhid {

// Owns the device information set SetupDiGetClassDevs returns.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set(set) {}
    ~DeviceInfoSet()
    {
        if (valid())
            SetupDiDestroyDeviceInfoList(set);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    HDEVINFO get() const { return set; }
    bool valid() const { return set != INVALID_HANDLE_VALUE && set != nullptr; }

private:
    HDEVINFO set;
};

} // namespace linkhid
