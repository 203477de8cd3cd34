// varnel-ups-id: run by udev for each hidraw node (IMPORT{program}); prints
// VARNEL_UPS=1 when the node's report descriptor is a UPS's, so that only
// then does the rule give the desktop user access to it.
#include "HidReportDescriptor.h"
#include "UpsDescriptorCheck.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // The hidraw node's sysfs path: the argument, or udev's DEVPATH.
    std::string device;
    if (argc == 2) {
        device = argv[1];
    } else if (const char* devpath = std::getenv("DEVPATH"); argc == 1 && devpath) {
        device = std::string("/sys") + devpath;
    } else {
        std::fprintf(stderr, "usage: varnel-ups-id [/sys/class/hidraw/hidrawN]\n");
        return 2;
    }
    const std::string path = device + "/device/report_descriptor";
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "varnel-ups-id: cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<char> bytes(linkhid::HidReportDescriptor::kMaxDescriptorBytes + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const auto size = static_cast<std::size_t>(in.gcount());
    if (varnel::isUpsDescriptor(reinterpret_cast<const std::uint8_t*>(bytes.data()), size))
        std::puts("VARNEL_UPS=1");
    return 0;
}
