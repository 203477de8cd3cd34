#pragma once

#include "UniqueHandle.h"

#include <windows.h>

#include <setupapi.h>

namespace linkhid {

struct DeviceInfoSetTraits {
    using Value = HDEVINFO;
    static HDEVINFO invalid() { return INVALID_HANDLE_VALUE; }
    static HDEVINFO adopt(HDEVINFO set) { return set == nullptr ? INVALID_HANDLE_VALUE : set; }
    static void close(HDEVINFO set) { SetupDiDestroyDeviceInfoList(set); }
};

// Owns the device information set SetupDiGetClassDevs returns.
using DeviceInfoSet = linkport::UniqueHandle<DeviceInfoSetTraits>;

} // namespace linkhid
