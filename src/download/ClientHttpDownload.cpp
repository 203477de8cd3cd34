#include "download/ClientHttpDownload.h"

namespace varnel {

bool ClientHttpDownload::connect(const std::string& host, int port)
{
    return client.Connect(host.c_str(), port);
}

bool ClientHttpDownload::get(const std::string& target)
{
    return client.Get(target.c_str());
}

bool ClientHttpDownload::parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body)
{
    return client.parseResponse(headers, body);
}

} // namespace varnel
