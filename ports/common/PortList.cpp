#include "PortList.h"

#include <cstdlib>

namespace linkport {

std::vector<std::string> splitPortList(const std::string& list)
{
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(kPortListSeparator, start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::string environmentText(const char* variable)
{
    const char* text = std::getenv(variable);
    return text ? text : "";
}

bool detectionWanted(const char* variable)
{
    return environmentText(variable) != "0";
}

} // namespace linkport
