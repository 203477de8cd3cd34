#pragma once

#include <cstdint>
#include <map>

namespace varnel {

// Rows of a table: row (or entry) index to value, in ascending order.
using RowMap = std::map<std::uint32_t, std::uint32_t>;

// True when the map holds exactly the keys first..last.
inline bool hasExactKeys(const RowMap& rows, std::uint32_t first, std::uint32_t last)
{
    if (rows.size() != last - first + 1)
        return false;
    return rows.begin()->first == first && rows.rbegin()->first == last;
}

} // namespace varnel
