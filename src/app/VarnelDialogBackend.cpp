// The dialog's calls into the core, kept in one place.
#include "app/FtpDownload.h"
#include "app/HttpDownload.h"
#include "app/VarnelDialog.h"

#include "device/VarnelDevice.h"
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include <cstdio>

namespace varnel {

namespace {

class ClientHttpDownload : public HttpDownload {
public:
    bool connect(const std::string& host, int port) override { return client.Connect(host.c_str(), port); }
    bool get(const std::string& target) override { return client.Get(target.c_str()); }
    bool parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body) override
    {
        return client.parseResponse(headers, body);
    }

private:
    HttpClient client;
};

class ClientFtpDownload : public FtpDownload {
public:
    bool connect(const std::string& host, int port) override { return client.Connect(host.c_str(), port); }
    bool login(const std::string& user, const std::string& password) override
    {
        return client.Login(user.c_str(), password.c_str());
    }
    // The transfer goes to a side file that replaces the local copy only once
    // complete, so a broken transfer never leaves a file that looks whole
    // and an earlier good copy survives it.
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                            const std::string& representationType, bool passive) override
    {
        const std::string partial = localPath + ".part";
        if (!client.DownloadRemoteFile(remotePath.c_str(), partial.c_str(), representationType.c_str(), passive)) {
            std::remove(partial.c_str());
            return false;
        }
        if (std::rename(partial.c_str(), localPath.c_str()) != 0) {
            std::remove(partial.c_str());
            return false;
        }
        return true;
    }
    void quit() override { client.Quit(); }

private:
    FtpClient client;
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
