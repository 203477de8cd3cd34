// The dialog's calls into the core. The network requests, whose clients are
// not part of this build yet, fail here with a log line; each becomes a
// one-line call when the clients arrive.
#include "app/FtpDownload.h"
#include "app/HttpDownload.h"
#include "app/VarnelDialog.h"

#include "device/VarnelDevice.h"
#include "settings/Log.h"

namespace varnel {

namespace {

class ClientHttpDownload : public HttpDownload {
public:
    bool connect(const std::string& host, int port) override
    {
        (void)port;
        log() << "No HTTP client in this build; cannot reach " << host << std::endl;
        return false;
    }
    bool get(const std::string& target) override
    {
        (void)target;
        return false;
    }
    bool parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body) override
    {
        (void)headers;
        (void)body;
        return false;
    }
};

class ClientFtpDownload : public FtpDownload {
public:
    bool connect(const std::string& host, int port) override
    {
        (void)port;
        log() << "No FTP client in this build; cannot reach " << host << std::endl;
        return false;
    }
    bool login(const std::string& user, const std::string& password) override
    {
        (void)user;
        (void)password;
        return false;
    }
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                            const std::string& representationType, bool passive) override
    {
        (void)remotePath;
        (void)localPath;
        (void)representationType;
        (void)passive;
        return false;
    }
    void quit() override {}
};

} // namespace

bool VarnelDialog::backendLoadDataFile(const std::string& path)
{
    return controller.loadDataFile(path);
}

std::vector<std::unique_ptr<VarnelDevice>>& VarnelDialog::backendScanForDevices(const StatusCallback& callback)
{
    return controller.scanForDevices(callback);
}

bool VarnelDialog::backendComputeConfiguration(VarnelDevice& device, const std::vector<std::uint32_t>& quantities,
                                               const StatusCallback& callback)
{
    return controller.computeConfiguration(device, quantities, callback);
}

bool VarnelDialog::backendSaveDevice(VarnelDevice& device)
{
    return device.save();
}

bool VarnelDialog::backendValidateUpdate(VarnelDevice& device, const StatusCallback& callback)
{
    return controller.validateUpdate(device, callback);
}

std::unique_ptr<HttpDownload> VarnelDialog::createHttpDownload()
{
    return std::make_unique<ClientHttpDownload>();
}

std::unique_ptr<FtpDownload> VarnelDialog::createFtpDownload()
{
    return std::make_unique<ClientFtpDownload>();
}

} // namespace varnel
