#pragma once

#include <string>
#include <string_view>

namespace varnel {

enum TrimMode : int { TrimBoth = 0, TrimRight = 1, TrimLeft = 2 };

// Copy of the text without spaces, tabs, carriage returns and line feeds at
// both ends (mode 0), the right end (1) or the left end (2).
std::string trim(std::string_view text, int mode = TrimBoth);

} // namespace varnel
