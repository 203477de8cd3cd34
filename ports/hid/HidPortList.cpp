#include "HidPortList.h"

#include "HidReportDescriptor.h"
#include "PortList.h"
#include "SimulatorTransport.h"

#include <memory>

#ifndef _WIN32
#include "HidrawTransport.h"

#include <dirent.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#endif

namespace linkhid {

#ifndef _WIN32
namespace {

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::vector<uint8_t> readBinary(const std::string& path, size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data(limit);
    if (!in)
        return {};
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(limit));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
}

// hidraw2 before hidraw10.
bool nodeOrder(const std::string& a, const std::string& b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

} // namespace

std::vector<HidPortEntry> HidPortList::hidrawPorts(const std::string& sysRoot)
{
    std::vector<std::string> nodes;
    const std::string classDir = sysRoot + "/class/hidraw";
    if (DIR* dir = opendir(classDir.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.rfind("hidraw", 0) == 0)
                nodes.push_back(name);
        }
        closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end(), nodeOrder);

    std::vector<HidPortEntry> ports;
    const std::string root = realPath(sysRoot);
    for (const std::string& node : nodes) {
        const std::string device = classDir + "/" + node + "/device";
        // One byte over the limit tells an oversized descriptor from a full one.
        std::vector<uint8_t> bytes =
            readBinary(device + "/report_descriptor", HidReportDescriptor::kMaxDescriptorBytes + 1);
        HidReportDescriptor layout;
        if (!layout.parse(bytes.data(), bytes.size()) || !layout.isPowerDevice())
            continue;
        HidPortEntry port{"/dev/" + node, {}, {}};
        HidrawTransport::namesFromSysfs(realPath(device), root, port.manufacturer, port.product);
        ports.push_back(std::move(port));
    }
    return ports;
}
#endif

std::vector<HidPortEntry> HidPortList::simulatorPorts(const std::string& list)
{
    std::vector<HidPortEntry> ports;
    for (const std::string& path : linkport::splitPortList(list)) {
        HidPortEntry port{path, {}, {}};
        int error = 0;
        std::unique_ptr<SimulatorTransport> unit = SimulatorTransport::open(port.path, error);
        if (unit) {
            std::vector<uint8_t> bytes;
            HidReportDescriptor layout;
            if (unit->readDescriptor(bytes) && layout.parse(bytes.data(), bytes.size())) {
                if (!layout.isPowerDevice())
                    continue;
                unit->readNames(port.manufacturer, port.product);
            }
        }
        ports.push_back(std::move(port));
    }
    return ports;
}

} // namespace linkhid
