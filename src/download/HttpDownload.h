#pragma once

#include "net/HttpClient.h"
#include "platform/InactivityClock.h"

#include <string>

namespace varnel {

// The HTTP requests of a data file download, one object per connection.
// ClientHttpDownload is the one over the network client; tests put in fakes.
class HttpDownload {
public:
    virtual ~HttpDownload() = default;

    // Applies to everything after it.
    virtual void setBounds(const TransferBounds&) {}
    // With `secure`, over TLS with the server verified.
    virtual bool connect(const std::string& host, int port, bool secure) = 0;
    // GET: true when a response head came; for a status of class 2 its body
    // has then gone to the sink byte for byte, whole.
    virtual bool get(const std::string& target, const HttpClient::BodySink& sink, HttpResponseHead& head) = 0;
    // The reason of the last failure, or the last status line's reason phrase.
    virtual std::string failure() const { return {}; }
};

} // namespace varnel
