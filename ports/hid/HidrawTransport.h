#pragma once

#include "FileDescriptor.h"
#include "HidTransport.h"

#include <memory>
#include <string>

namespace linkhid {

// A unit behind a Linux hidraw node.
class HidrawTransport : public HidTransport {
public:
    // Opens the node for exclusive use by this process; null with `error` set
    // to an errno value on failure (EWOULDBLOCK: another program holds it).
    static std::unique_ptr<HidrawTransport> open(const std::string& path, int& error);
    ~HidrawTransport() override;
    HidrawTransport(const HidrawTransport&) = delete;
    HidrawTransport& operator=(const HidrawTransport&) = delete;

    bool readDescriptor(std::vector<uint8_t>& descriptor) override;
    void readNames(std::string& manufacturer, std::string& product) override;
    int getFeature(uint8_t* report, size_t length) override;
    bool setFeature(const uint8_t* report, size_t length) override;

    // The USB device's strings, found by walking up from a sysfs device
    // directory to the first ancestor that has them.
    static void namesFromSysfs(const std::string& deviceDir, const std::string& stopAt,
                               std::string& manufacturer, std::string& product);

private:
    explicit HidrawTransport(linkport::FileDescriptor fd);
    linkport::FileDescriptor fd;
};

} // namespace linkhid
