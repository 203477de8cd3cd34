#pragma once

#include "download/FtpDownload.h"
#include "net/FtpClient.h"

namespace varnel {

// The FTP requests of a download over the real network client. The transfer
// lands in a side file that replaces the local copy only once it is complete.
class ClientFtpDownload : public FtpDownload {
public:
    bool connect(const std::string& host, int port) override;
    bool login(const std::string& user, const std::string& password) override;
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                            const std::string& representationType, bool passive) override;
    void quit() override;

private:
    FtpClient client;
};

} // namespace varnel
