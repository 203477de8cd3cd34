#pragma once

#include "download/HttpDownload.h"
#include "net/HttpClient.h"

namespace varnel {

// The HTTP requests of a download over the real network client.
class ClientHttpDownload : public HttpDownload {
public:
    bool connect(const std::string& host, int port) override;
    bool get(const std::string& target) override;
    bool parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body) override;

private:
    HttpClient client;
};

} // namespace varnel
