#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace linkhid {

// Raw report access to one HID unit: the kernel's hidraw node, or a simulated
// unit over a socket. Everything above this (descriptor parsing, usage
// mapping, field packing) is shared, so simulated units exercise it exactly
// as hardware does.
class HidTransport {
public:
    virtual ~HidTransport() = default;

    virtual bool readDescriptor(std::vector<uint8_t>& descriptor) = 0;
    // The USB manufacturer and product strings; empty when the unit has none.
    virtual void readNames(std::string& manufacturer, std::string& product) = 0;
    // `report[0]` holds the report id on entry; at most `length` bytes come
    // back, the id first. Returns the byte count including the id, -1 on failure.
    virtual int getFeature(uint8_t* report, size_t length) = 0;
    // `report[0]` is the report id, then the data.
    virtual bool setFeature(const uint8_t* report, size_t length) = 0;
};

} // namespace linkhid
