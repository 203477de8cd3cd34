#pragma once

#include "HidReportDescriptor.h"

#include <cstddef>
#include <cstdint>

namespace linkhid {

// Report data is little-endian at the bit level: bit n lives in byte n / 8 at
// position n % 8. `data` is the report without its id byte.

// Copies the field into `out`, least significant byte first, and returns its
// byte count; 0 if the field does not lie inside `size` bytes or `out` is too small.
size_t readField(const HidField& field, const uint8_t* data, size_t size, uint8_t* out, size_t capacity);

// Stores `value` into the field, leaving every other bit alone. False if the
// field does not lie inside the data or the value does not fit its width.
bool writeField(const HidField& field, uint8_t* data, size_t size, uint32_t value);

} // namespace linkhid
