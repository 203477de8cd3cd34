#pragma once

#include <memory>
#include <string>
#include <vector>

namespace varnel {

class VarnelDevice;

// How units are named to the technician. Two units of one model in a rack
// read the same, and choosing between them must not be a matter of luck.
class UnitLabels {
public:
    // The last element of a port's path: "/dev/ttyUSB1" gives "ttyUSB1", "\\.\COM3" "COM3".
    static std::string portLeaf(const std::string& portName);
    // "vendor : product" for each unit, in list order; where two would read
    // the same, each of them also names its port, "vendor : product (ttyUSB1)",
    // and its whole path when even the last elements agree.
    static std::vector<std::string> of(const std::vector<std::unique_ptr<VarnelDevice>>& devices);
    // The label of one unit of the list; the plain name when it is not in it.
    static std::string of(const std::vector<std::unique_ptr<VarnelDevice>>& devices,
                          const VarnelDevice& device);
    static std::string plain(const VarnelDevice& device);
};

} // namespace varnel
