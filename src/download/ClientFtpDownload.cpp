#include "download/ClientFtpDownload.h"

#include "download/LocalCopy.h"

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
    // Without a side file there is nowhere to put the file; asking the server would only waste a transfer.
    LocalCopy copy(localPath);
    if (copy.partialPath().empty())
        return false;
    return client.DownloadRemoteFile(remotePath.c_str(), copy.partialPath().c_str(),
                                     representationType.c_str(), passive) &&
           copy.commit();
}

void ClientFtpDownload::quit()
{
    client.Quit();
}

} // namespace varnel
