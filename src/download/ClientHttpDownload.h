#pragma once

#include "download/HttpDownload.h"
#include "net/HttpClient.h"

namespace varnel {

// The HTTP requests of a download over the real network client.
class ClientHttpDownload : public HttpDownload {
public:
    void setBounds(const TransferBounds& bounds) override;
    bool connect(const std::string& host, int port, bool secure) override;
    bool get(const std::string& target, const HttpClient::BodySink& sink, HttpResponseHead& head) override;
    std::string failure() const override;

private:
    HttpClient client;
};

} // namespace varnel
