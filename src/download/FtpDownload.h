#pragma once

#include "platform/InactivityClock.h"

#include <string>

namespace varnel {

// The FTP requests of a data file download, one object per download.
// ClientFtpDownload is the one over the network client; tests put in fakes.
class FtpDownload {
public:
    virtual ~FtpDownload() = default;

    // Includes reading the server's greeting.
    virtual bool connect(const std::string& host, int port) = 0;
    virtual bool login(const std::string& user, const std::string& password) = 0;
    // Writes the remote file to localPath itself.
    virtual bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                                    const std::string& representationType, bool passive) = 0;
    virtual void quit() = 0;
    // Applies to everything after it.
    virtual void setBounds(const TransferBounds&) {}
    // The reason of the last failure.
    virtual std::string failure() const { return {}; }
};

} // namespace varnel
