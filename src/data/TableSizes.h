#pragma once

#include <cstddef>

namespace varnel {

// The unit's battery table has one byte per load point; the data file's
// runtimes, wattages and firmware scalars have one row each (rows 0 to 19).
inline constexpr std::size_t batteryTableSize = 20;
// The unit's C table; the data file numbers its entries from 1 to 9.
inline constexpr std::size_t cTableSize = 9;

} // namespace varnel
