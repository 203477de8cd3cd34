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

void reportPort(PortEnumerateCallback callback, void* context, uint32_t transport, const std::string& path,
                const std::string& vendor, const std::string& product)
{
    PortDescriptor port{};
    port.size = sizeof(PortDescriptor);
    port.transport = transport;
    port.portName = path.c_str();
    if (!vendor.empty()) {
        port.vendorName = vendor.c_str();
        port.vendorNameLength = static_cast<int32_t>(vendor.size());
    }
    if (!product.empty()) {
        port.productName = product.c_str();
        port.productNameLength = static_cast<int32_t>(product.size());
    }
    callback(&port, context);
}

} // namespace linkport
