#include "SerialPortList.h"

#include "PortList.h"

#include <set>

#ifdef _WIN32
#include <cctype>
#else
#include <climits>
#include <cstdlib>
#endif

namespace linkserial {

namespace {

#ifdef _WIN32
// COM3, com3 and \\.\COM3 name one port.
std::string lineOf(const std::string& name)
{
    std::string line = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
    for (char& c : line)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return line;
}
#else
// A name that does not resolve (an adapter unplugged) is compared as written
// and stays listed, so that opening it can say the line is gone.
std::string lineOf(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}
#endif

} // namespace

std::vector<std::string> listedPorts(const std::vector<std::string>& detected, const std::string& named)
{
    std::vector<std::string> ports;
    std::set<std::string> lines;
    auto add = [&](const std::string& path) {
        if (!path.empty() && lines.insert(lineOf(path)).second)
            ports.push_back(path);
    };
    for (const std::string& path : detected)
        add(path);
    for (const std::string& path : linkport::splitPortList(named))
        add(path);
    return ports;
}

} // namespace linkserial
