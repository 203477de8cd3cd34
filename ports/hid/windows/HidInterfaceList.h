#pragma once

#include "HidPortList.h"

#include <vector>

namespace linkhid {

// The power devices among the HID interfaces SetupAPI lists as present.
class HidInterfaceList {
public:
    // In SetupAPI's order. Each is opened without access rights, which is
    // enough to read its layout and names even while another program (or the
    // system, for keyboards and mice) holds it.
    static std::vector<HidPortEntry> powerDevices();
};

} // namespace linkhid
