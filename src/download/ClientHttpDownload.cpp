#include "download/ClientHttpDownload.h"

namespace varnel {

void ClientHttpDownload::setBounds(const TransferBounds& bounds)
{
    client.setBounds(bounds);
}

bool ClientHttpDownload::connect(const std::string& host, int port, bool secure)
{
    return client.Connect(host.c_str(), port, secure);
}

bool ClientHttpDownload::get(const std::string& target, const HttpClient::BodySink& sink,
                             HttpResponseHead& head)
{
    return client.Fetch(target.c_str(), sink, head);
}

std::string ClientHttpDownload::failure() const
{
    const std::string& text = client.lastResponse();
    // The client's own texts begin "400 "; what follows is the reason.
    return text.rfind("400 ", 0) == 0 ? text.substr(4) : text;
}

} // namespace varnel
