#pragma once

#include <string>
#include <vector>

namespace linkhid {

struct HidPortEntry {
    std::string path;
    std::string manufacturer;
    std::string product;
};

// The ports PortEnumerate reports: power devices among the hidraw nodes (on
// Windows, HidInterfaceList's), then the simulated units named in
// LINKHID_SIMULATORS.
class HidPortList {
public:
#ifndef _WIN32
    // Walks <sysRoot>/class/hidraw in node-number order. Descriptors come from
    // sysfs, which anyone may read, so units the user cannot open yet are
    // still found (and their open failure can say why).
    static std::vector<HidPortEntry> hidrawPorts(const std::string& sysRoot);
#endif
    // Every socket (Windows: host:port) in the list, in order, unless it answers
    // with a sound descriptor that is not a power device's. A socket nobody
    // listens on stays in the list so that opening it reports the reason.
    static std::vector<HidPortEntry> simulatorPorts(const std::string& list);
};

} // namespace linkhid
