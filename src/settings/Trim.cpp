#include "settings/Trim.h"

namespace varnel {

std::string trim(std::string_view text, int mode)
{
    constexpr std::string_view blanks = " \t\r\n";
    if (mode == TrimBoth || mode == TrimLeft) {
        const auto first = text.find_first_not_of(blanks);
        text.remove_prefix(first == std::string_view::npos ? text.size() : first);
    }
    if (mode == TrimBoth || mode == TrimRight) {
        const auto last = text.find_last_not_of(blanks);
        text = text.substr(0, last == std::string_view::npos ? 0 : last + 1);
    }
    return std::string(text);
}

} // namespace varnel
