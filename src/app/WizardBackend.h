#pragma once

#include "settings/StatusCallback.h"

#include <memory>
#include <string>
#include <vector>

namespace varnel {

class DataFileDownload;
class VarnelController;
class VarnelDevice;

// What pages 2 and 3 ask of the core (a data file, a scan, a download's
// network clients), in one place so tests can put in their own units and
// servers. The program's own forwards to the controller. Page 5 runs the
// controller's update itself.
class WizardBackend {
public:
    explicit WizardBackend(VarnelController& controller) : controller(controller) {}
    virtual ~WizardBackend() = default;
    WizardBackend(const WizardBackend&) = delete;
    WizardBackend& operator=(const WizardBackend&) = delete;

    virtual bool loadDataFile(const std::string& path);
    virtual std::vector<std::unique_ptr<VarnelDevice>>& scanForDevices(const StatusCallback& callback);
    // The network clients of a download; the program keeps the real ones.
    virtual void configureDownload(DataFileDownload& download);

protected:
    VarnelController& controller;
};

} // namespace varnel
