#pragma once

namespace varnel {

// The record of one unit found on a port.
class VarnelDevice {
public:
    virtual ~VarnelDevice() = default;
};

} // namespace varnel
