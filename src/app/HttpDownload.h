#pragma once

#include <string>
#include <vector>

namespace varnel {

// The HTTP requests page 2 makes, one object per download. The dialog's
// backend supplies the implementation over the network client.
class HttpDownload {
public:
    virtual ~HttpDownload() = default;

    virtual bool connect(const std::string& host, int port) = 0;
    virtual bool get(const std::string& target) = 0;
    // Body lines each end in CR LF; false when nothing followed the status line.
    virtual bool parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body) = 0;
};

} // namespace varnel
