#pragma once

#include <string>
#include <vector>

namespace linkserial {

// The lines PortEnumerate reports: the detected ones in their order, then the
// named ones (LINKSERIAL_PORTS, split at linkport::kPortListSeparator) in
// theirs. A line reached by two names (/dev/ttyUSB0 and a /dev/serial/by-id
// link to it, COM3 and \\.\com3, or one name given twice) is listed once,
// under the first, so it is not probed twice.
std::vector<std::string> listedPorts(const std::vector<std::string>& detected, const std::string& named);

} // namespace linkserial
