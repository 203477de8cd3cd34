#pragma once

#include "net/ReceiveBuffer.h"
#include "platform/InactivityClock.h"
#include "platform/SocketHandle.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

class TlsSession;
struct TransferStep;

// What Fetch learnt of a response before its body.
struct HttpResponseHead {
    int status = 0;
    std::string location; // the Location header, empty when there is none
};

// A minimal HTTP/1.1 client over one IPv4 connection: one request, asking the
// server to close after it, then the response up to the end its Content-Length
// declares, or else everything until the server closes or falls silent. Own
// errors are texts beginning "400 "; after a status line lastResponse is its
// reason phrase.
class HttpClient {
public:
    static constexpr std::uint32_t defaultTimeoutSeconds = 30;
    // Far above any data file; a response beyond it is refused, not held.
    static constexpr std::size_t defaultResponseLimit = std::size_t{256} << 20;
    // A status line is a few dozen bytes; a peer that sends no line feed for this
    // long is not an HTTP server, and waiting for one would hold the whole stream.
    static constexpr std::size_t statusLineLimit = std::size_t{64} << 10;

    // Receives a body's bytes exactly as served, in pieces; false stops the download.
    using BodySink = std::function<bool(std::string_view bytes)>;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    bool Connect(const char* host, int port);
    // With `secure`, TLS is made over the connection and the server verified before anything is sent.
    bool Connect(const char* host, int port, bool secure);
    bool Get(const char* path);
    bool Head(const char* path);
    bool Trace(const char* path);
    bool Options(const char* path);
    // GET that hands the body to `sink` as it arrives instead of holding it:
    // chunked coding taken off, a declared length checked, otherwise read to
    // the end of the connection. True when a response head came; then, for a
    // status of class 2, also the whole body went to the sink. Other statuses
    // leave their body unread.
    bool Fetch(const char* path, const BodySink& sink, HttpResponseHead& head);
    // Splits what followed the status line into trimmed header and body lines, each ended by CR LF.
    bool parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body);

    bool isConnected() const { return socket.valid(); }
    const std::string& lastResponse() const { return response; }
    std::uint32_t timeoutSeconds() const { return timeout; }
    void setTimeout(std::uint32_t seconds) { timeout = seconds; }
    std::size_t responseLimit() const { return limit; }
    void setResponseLimit(std::size_t bytes) { limit = bytes; }
    // Applies to every wait from the next call on.
    void setBounds(const TransferBounds& value) { bounds = value; }

private:
    class ResponseEnd;

    bool request(const char* command, const char* path);
    bool sendCommand(const char* command, const char* argument);
    bool checkServerResponse(char expectedClass);
    void getServerResponse(std::string& line);
    void readControlLine(std::string& line);
    std::size_t readFromServer(bool stopAtNewline, ResponseEnd* end = nullptr);
    bool refuseOversizedResponse();
    void refuseEndlessStatusLine();
    TransferStep receiveSome(char* data, std::size_t capacity, InactivityClock& clock);
    std::string stopText() const;
    bool readHead(HttpResponseHead& head, bool& chunked, std::int64_t& length);
    bool readBody(const BodySink& sink, bool chunked, std::int64_t length);

    SocketHandle socket;
    std::string host;
    std::int32_t serverPort = 0;
    std::uint32_t timeout = defaultTimeoutSeconds;
    std::string response; // lastResponse
    ReceiveBuffer receiveBuffer;
    std::size_t limit = defaultResponseLimit;
    bool refused = false;
    bool readFailed = false;
    std::string stopReason; // why the last receive loop ended early, for the caller's message
    TransferBounds bounds;
    std::unique_ptr<TlsSession> tls;
};

} // namespace varnel
