#pragma once

#include <cstdint>
#include <functional>

namespace varnel {

// Progress and failure texts on their way to the user. The text may be null
// (nothing to show); newLine 1 starts a new line, 0 appends to the current one.
using StatusCallback = std::function<void(const char* text, std::uint32_t newLine)>;

} // namespace varnel
