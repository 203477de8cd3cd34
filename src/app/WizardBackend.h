#pragma once

#include "settings/StatusCallback.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnel {

class DataFileDownload;
class VarnelController;
class VarnelDevice;

// The operations of the core that the wizard's pages call, in one place so
// the pages do not depend on their exact shapes. The program's own forwards
// to the controller; tests put in their own where they must decide an outcome.
class WizardBackend {
public:
    explicit WizardBackend(VarnelController& controller) : controller(controller) {}
    virtual ~WizardBackend() = default;
    WizardBackend(const WizardBackend&) = delete;
    WizardBackend& operator=(const WizardBackend&) = delete;

    virtual bool loadDataFile(const std::string& path);
    virtual std::vector<std::unique_ptr<VarnelDevice>>& scanForDevices(const StatusCallback& callback);
    virtual bool computeConfiguration(VarnelDevice& device, const std::vector<std::uint32_t>& quantities,
                                      const StatusCallback& callback);
    // Whether the unit on the record's port is still the one scanned.
    virtual bool identifyUnit(const VarnelDevice& device);
    virtual bool saveDevice(VarnelDevice& device);
    virtual bool validateUpdate(VarnelDevice& device, const StatusCallback& callback);
    // The network clients of a download; the program keeps the real ones.
    virtual void configureDownload(DataFileDownload& download);

protected:
    VarnelController& controller;
};

} // namespace varnel
