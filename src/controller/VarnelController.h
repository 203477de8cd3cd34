#pragma once

#include "controller/StatusCallback.h"

#include <memory>
#include <string>
#include <vector>

namespace varnel {

class I18N;
class PropertiesFile;
class VarnelDevice;

// Owner of all state that is not a window, and of the operations the wizard
// pages call, one at a time, on the dialog's thread.
class VarnelController {
public:
    VarnelController();
    ~VarnelController();
    VarnelController(const VarnelController&) = delete;
    VarnelController& operator=(const VarnelController&) = delete;

    // Reads "varnel.ini" and the message file; a second call after success does nothing.
    bool init(const StatusCallback& showMessage);

    I18N* getMessages() const { return messages.get(); }
    // The setting's value, or the default when the key is absent.
    std::string setting(const std::string& key, const std::string& defaultValue) const;

    const std::string& getFileVersionNumber() const { return fileVersionNumber; }
    const std::string& getFileVersionDate() const { return fileVersionDate; }
    std::vector<std::unique_ptr<VarnelDevice>>& getDevices() { return devices; }

    void clearDevices();

private:
    std::unique_ptr<I18N> messages;
    StatusCallback statusCallback;
    std::unique_ptr<PropertiesFile> settings;
    std::string fileVersionNumber;
    std::string fileVersionDate;
    std::vector<std::unique_ptr<VarnelDevice>> devices;
};

} // namespace varnel
