#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel {

// Whether a HID report descriptor is a UPS's and nothing else: a top-level
// application collection on the Power Device or Battery System page, and no
// top-level collection on any other standard page (vendor pages aside), so a
// keyboard, a mouse or a security key, alone or sharing a node with a UPS,
// never counts. A descriptor that does not parse does not count either.
bool isUpsDescriptor(const std::uint8_t* data, std::size_t size);

} // namespace varnel
