#include "download/ClientFtpDownload.h"

namespace varnel {

bool ClientFtpDownload::connect(const std::string& host, int port)
{
    return client.Connect(host.c_str(), port);
}

bool ClientFtpDownload::login(const std::string& user, const std::string& password)
{
    return client.Login(user.c_str(), password.c_str());
}

bool ClientFtpDownload::downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                                           const std::string& representationType, bool passive)
{
    return client.DownloadRemoteFile(remotePath.c_str(), localPath.c_str(), representationType.c_str(),
                                     passive);
}

void ClientFtpDownload::setBounds(const TransferBounds& bounds)
{
    client.setBounds(bounds);
}

std::string ClientFtpDownload::failure() const
{
    // A transfer's own error says more than the reply that followed it.
    if (!client.lastTransferError().empty())
        return client.lastTransferError();
    return client.lastResponse().empty() ? "no usable reply from the server in time" : client.lastResponse();
}

void ClientFtpDownload::quit()
{
    client.Quit();
}

} // namespace varnel
