#pragma once

#include "download/FtpDownload.h"
#include "net/FtpClient.h"

namespace varnel {

// The FTP requests of a download over the real network client.
class ClientFtpDownload : public FtpDownload {
public:
    bool connect(const std::string& host, int port) override;
    bool login(const std::string& user, const std::string& password) override;
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                            const std::string& representationType, bool passive) override;
    void quit() override;
    void setBounds(const TransferBounds& bounds) override;
    std::string failure() const override;

private:
    FtpClient client;
};

} // namespace varnel
