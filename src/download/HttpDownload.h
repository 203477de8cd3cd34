#pragma once

#include <string>
#include <vector>

namespace varnel {

// The HTTP requests of a data file download, one object per download.
// ClientHttpDownload is the one over the network client; tests put in fakes.
class HttpDownload {
public:
    virtual ~HttpDownload() = default;

    virtual bool connect(const std::string& host, int port) = 0;
    virtual bool get(const std::string& target) = 0;
    // Body lines each end in CR LF; false when nothing followed the status line.
    virtual bool parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body) = 0;
};

} // namespace varnel
