#include "net/HttpClient.h"

#include "net/ChunkedDecoder.h"
#include "net/TcpConnector.h"
#include "net/TlsSession.h"
#include "platform/SocketIo.h"
#include "settings/Trim.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace varnel {

namespace {

constexpr std::size_t receiveBlockSize = 1024;
// The body is read straight into the buffer in large blocks; 1024-byte reads
// cost a system call per kilobyte and make a large file several times slower.
constexpr std::size_t bodyBlockSize = 64 * 1024;
constexpr std::size_t statusPrefixLength = 9;  // "HTTP/1.1 "
constexpr std::size_t shortestStatusLine = 12; // version, space, three digits
constexpr std::size_t reasonOffset = 13;       // after version, space, code and space
constexpr std::string_view lineEnd = "\r\n";
constexpr std::string_view blanks = " \t\r\n"; // what trim takes off

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char c) {
               return std::tolower(static_cast<unsigned char>(c)) == lower;
           });
}

} // namespace

// Follows the header lines as they arrive, to tell where a response ends: a
// server that keeps the connection open would otherwise cost the whole
// inactivity limit. Unusable or conflicting lengths, a transfer coding and
// headers without an end declare nothing; such a body runs until the server
// closes or falls silent.
class HttpClient::ResponseEnd {
public:
    explicit ResponseEnd(bool bodiless) : bodiless(bodiless) {}

    // Takes the header lines completed in `received` since the last call.
    void update(std::string_view received)
    {
        while (!headersEnded) {
            const std::size_t newline = received.find('\n', std::max(scanned, searched));
            if (newline == std::string_view::npos) {
                searched = received.size(); // a long line is not searched again from its start
                return;
            }
            const std::string line = trim(received.substr(scanned, newline - scanned));
            scanned = newline + 1;
            if (line.empty())
                headersEnded = true;
            else
                readHeader(line);
        }
    }
    bool declaresLength() const { return headersEnded && lengthSeen && !unusable && !chunked; }
    // Whether the headers tell how many body bytes follow them.
    bool known() const { return headersEnded && (bodiless || declaresLength()); }
    std::uint64_t length() const { return bodiless ? 0 : declaredLength; }
    std::size_t bodyStart() const { return scanned; }
    std::uint64_t bodyReceived(std::size_t received) const { return received - scanned; }
    std::uint64_t missing(std::size_t received) const
    {
        return bodyReceived(received) >= length() ? 0 : length() - bodyReceived(received);
    }

private:
    void readHeader(std::string_view line)
    {
        if (startsWithNoCase(line, "transfer-encoding:"))
            chunked = true;
        if (!startsWithNoCase(line, "content-length:"))
            return;
        std::string_view value = line.substr(std::string_view("content-length:").size());
        value.remove_prefix(std::min(value.size(), value.find_first_not_of(" \t")));
        std::uint64_t length = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
        if (error != std::errc() || end != value.data() + value.size() ||
            (lengthSeen && declaredLength != length))
            unusable = true;
        lengthSeen = true;
        declaredLength = length;
    }

    bool bodiless;
    std::size_t scanned = 0;  // header bytes read, up to the end of the last whole line
    std::size_t searched = 0; // bytes already searched for a line feed
    bool headersEnded = false;
    bool lengthSeen = false;
    bool unusable = false;
    bool chunked = false;
    std::uint64_t declaredLength = 0;
};

HttpClient::HttpClient() = default;

HttpClient::~HttpClient()
{
    tls.reset(); // before the socket it runs over
}

bool HttpClient::Connect(const char* host, int port)
{
    return Connect(host, port, false);
}

bool HttpClient::Connect(const char* host, int port, bool secure)
{
    // A second Connect replaces the first connection instead of leaking it;
    // bytes left over from it belong to no request on the new one.
    tls.reset();
    socket.reset();
    receiveBuffer.clear();
    refused = false;
    const ConnectFailure failure = TcpConnector::open(host, port, timeout, socket, &bounds);
    if (failure != ConnectFailure::None) {
        response = "400 " + TcpConnector::failureText(failure, host);
        return false;
    }
    if (secure) {
        tls = std::make_unique<TlsSession>();
        InactivityClock clock(timeout, &bounds);
        if (!tls->start(socket.get(), host, clock)) {
            response = std::string("400 TLS handshake with ") + host + " failed: " + tls->failure();
            tls.reset();
            socket.reset();
            return false;
        }
    }
    this->host = host;
    serverPort = port;
    return true;
}

bool HttpClient::Get(const char* path)
{
    return request("GET", path);
}
bool HttpClient::Head(const char* path)
{
    return request("HEAD", path);
}
bool HttpClient::Trace(const char* path)
{
    return request("TRACE", path);
}
bool HttpClient::Options(const char* path)
{
    return request("OPTIONS", path);
}

bool HttpClient::request(const char* command, const char* path)
{
    refused = false;
    readFailed = false;
    if (!sendCommand(command, path) || !checkServerResponse('2'))
        return false;
    // A response to HEAD carries no body, whatever length its headers name.
    ResponseEnd end(std::strcmp(command, "HEAD") == 0);
    readFromServer(false, &end);
    if (readFailed) {
        // A connection lost in the middle leaves a cut body that could pass for the whole file.
        receiveBuffer.clear();
        return false;
    }
    if (refused)
        return false;
    // Bytes past the declared end belong to no response of ours.
    if (end.known() && end.missing(receiveBuffer.size()) == 0)
        receiveBuffer.keep(end.bodyStart() + static_cast<std::size_t>(end.length()));
    // A server that stalls or hangs up early must not pass a cut body off as the whole file.
    if (std::strcmp(command, "GET") == 0 && end.declaresLength() && end.missing(receiveBuffer.size()) > 0) {
        response = "400 Response cut off: " + std::to_string(end.bodyReceived(receiveBuffer.size())) +
                   " of " + std::to_string(end.length()) + " bytes received";
        receiveBuffer.clear();
        return false;
    }
    return true;
}

bool HttpClient::sendCommand(const char* command, const char* argument)
{
    response.clear();
    if (!isConnected()) {
        response = "400 Not connected to a server";
        return false;
    }
    if (command == nullptr || *command == '\0') {
        response = "400 Missing command";
        return false;
    }
    std::string composite = command;
    if (argument) {
        composite += ' ';
        composite += argument;
    }
    composite += " HTTP/1.1\r\n";
    if (std::strcmp(command, "TRACE") == 0)
        composite += "Accept: *\r\n";
    composite += "Host: ";
    composite += host;
    // The client makes one request per connection; without this a server
    // keeps the connection open, and only a declared length ends the response.
    composite += "\r\nConnection: close\r\n\r\n";
    TransferStatus status = TransferStatus::Done;
    if (tls) {
        InactivityClock clock(timeout, &bounds);
        for (std::string_view left = composite; !left.empty() && status == TransferStatus::Done;) {
            const TransferStep sent = tls->send(left.data(), left.size(), clock);
            status = sent.status;
            left.remove_prefix(sent.count);
        }
    } else {
        status = SocketIo::sendAll(socket.get(), composite, timeout, &bounds);
    }
    if (status == TransferStatus::TimedOut)
        stopReason = stopText();
    if (status == TransferStatus::Failed)
        response = "400 Write error on socket";
    return status == TransferStatus::Done;
}

bool HttpClient::refuseOversizedResponse()
{
    response = "400 Response refused: larger than " + std::to_string(limit) + " bytes";
    receiveBuffer.release();
    refused = true;
    return false;
}

void HttpClient::refuseEndlessStatusLine()
{
    response = "400 Status line refused: no line feed in " + std::to_string(statusLineLimit) + " bytes";
    receiveBuffer.release();
    refused = true;
}

std::size_t HttpClient::readFromServer(bool stopAtNewline, ResponseEnd* end)
{
    const std::size_t blockSize = stopAtNewline ? receiveBlockSize : bodyBlockSize;
    const bool newlineSeen = stopAtNewline && receiveBuffer.view().find('\n') != std::string_view::npos;
    InactivityClock clock(timeout, &bounds);
    for (;;) {
        const std::size_t used = receiveBuffer.size();
        // At the limit, one byte more tells a refused response from one that just fits.
        std::size_t room = used >= limit ? 1 : std::min(blockSize, limit - used);
        if (end != nullptr) {
            // Checked before every receive: once the response is whole, nothing the
            // server does afterwards (keeping the connection, a reset) concerns it.
            end->update(receiveBuffer.view());
            if (end->known()) {
                const std::uint64_t missing = end->missing(used);
                if (missing == 0)
                    break;
                room = static_cast<std::size_t>(std::min<std::uint64_t>(room, missing));
            }
        }
        char* space = receiveBuffer.prepare(room);
        if (space == nullptr) {
            refuseOversizedResponse();
            break;
        }
        const TransferStep got = receiveSome(space, room, clock);
        if (got.status == TransferStatus::Failed) {
            response = "400 Read error on socket";
            readFailed = true;
        }
        if (got.status == TransferStatus::TimedOut)
            stopReason = stopText();
        if (got.status == TransferStatus::Closed)
            stopReason = "the server closed the connection";
        if (got.status != TransferStatus::Done)
            break;
        if (used >= limit) {
            refuseOversizedResponse();
            break;
        }
        receiveBuffer.commit(got.count);
        if (stopAtNewline && (newlineSeen || std::memchr(space, '\n', got.count)))
            break;
        if (stopAtNewline && receiveBuffer.size() >= statusLineLimit) {
            refuseEndlessStatusLine();
            break;
        }
    }
    return receiveBuffer.size();
}

void HttpClient::readControlLine(std::string& line)
{
    line.clear();
    if (receiveBuffer.view().find('\n') == std::string_view::npos)
        readFromServer(true);
    const std::size_t end = receiveBuffer.view().find('\n');
    if (end == std::string_view::npos)
        return;
    line.assign(receiveBuffer.data(), end + 1);
    receiveBuffer.consume(end + 1);
}

void HttpClient::getServerResponse(std::string& line)
{
    response.clear();
    line.clear();
    std::string raw;
    readControlLine(raw);
    if (raw.empty())
        return;
    line = trim(raw);
    if (line.size() > reasonOffset)
        response = line.substr(reasonOffset);
}

bool HttpClient::checkServerResponse(char expectedClass)
{
    std::string line;
    getServerResponse(line);
    if (refused)
        return false;
    if (line.compare(0, statusPrefixLength, "HTTP/1.1 ") != 0) {
        response = "400 Response should start with HTTP/1.1; received " + line;
        return false;
    }
    if (line.size() < shortestStatusLine) {
        response.clear();
        return false;
    }
    return line[statusPrefixLength] == expectedClass;
}

TransferStep HttpClient::receiveSome(char* data, std::size_t capacity, InactivityClock& clock)
{
    if (tls)
        return tls->receive(data, capacity, clock);
    return SocketIo::receiveSome(socket.get(), data, capacity, clock);
}

std::string HttpClient::stopText() const
{
    if (bounds.cancelled())
        return "cancelled";
    if (bounds.pastDeadline())
        return "the download's time limit ran out";
    return "no data from the server for " + std::to_string(timeout) + " s";
}

bool HttpClient::Fetch(const char* path, const BodySink& sink, HttpResponseHead& head)
{
    head = {};
    refused = false;
    readFailed = false;
    stopReason.clear();
    bool chunked = false;
    std::int64_t length = -1;
    if (!sendCommand("GET", path) || !readHead(head, chunked, length))
        return false;
    if (head.status / 100 != 2)
        return true;
    return readBody(sink, chunked, length);
}

bool HttpClient::readHead(HttpResponseHead& head, bool& chunked, std::int64_t& length)
{
    // Interim 1xx responses come before the real one and are passed over.
    for (;;) {
        std::string line;
        getServerResponse(line);
        if (refused || readFailed)
            return false;
        if (line.empty()) {
            response =
                "400 No response from server: " + (stopReason.empty() ? "nothing received" : stopReason);
            return false;
        }
        const bool known = line.compare(0, statusPrefixLength, "HTTP/1.1 ") == 0 ||
                           line.compare(0, statusPrefixLength, "HTTP/1.0 ") == 0;
        int status = 0;
        const char* digits = line.data() + statusPrefixLength;
        const auto parsed = known && line.size() >= shortestStatusLine
                                ? std::from_chars(digits, digits + 3, status)
                                : std::from_chars_result{digits, std::errc::invalid_argument};
        if (!known || parsed.ec != std::errc() || parsed.ptr != digits + 3 || status < 100 ||
            (line.size() > shortestStatusLine && line[shortestStatusLine] != ' ')) {
            response = "400 Not an HTTP status line: " + line;
            return false;
        }
        head.status = status;
        std::string reason = response;
        chunked = false;
        length = -1;
        head.location.clear();
        std::size_t headerBytes = 0;
        for (;;) {
            std::string raw;
            readControlLine(raw);
            headerBytes += raw.size();
            if (refused)
                return false;
            if (headerBytes > statusLineLimit) {
                response =
                    "400 Response headers refused: longer than " + std::to_string(statusLineLimit) + " bytes";
                return false;
            }
            if (raw.empty()) {
                response =
                    "400 Response headers cut off: " + (stopReason.empty() ? "nothing received" : stopReason);
                return false;
            }
            const std::string header = trim(raw);
            if (header.empty())
                break;
            const std::size_t colon = header.find(':');
            if (colon == std::string::npos)
                continue;
            std::string value = trim(std::string_view(header).substr(colon + 1));
            const std::string_view name = std::string_view(header).substr(0, colon);
            if (startsWithNoCase(name, "transfer-encoding") && name.size() == 17) {
                std::string lower;
                for (char c : value)
                    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                // Chunked must be the last coding; any other leaves a body we cannot read.
                if (lower.size() < 7 || lower.compare(lower.size() - 7, 7, "chunked") != 0 ||
                    lower.find(',') != std::string::npos) {
                    response = "400 Transfer coding not supported: " + value;
                    return false;
                }
                chunked = true;
            } else if (startsWithNoCase(name, "content-length") && name.size() == 14) {
                std::int64_t declared = -1;
                const auto [end, error] =
                    std::from_chars(value.data(), value.data() + value.size(), declared);
                if (error != std::errc() || end != value.data() + value.size() || declared < 0 ||
                    (length >= 0 && length != declared)) {
                    response = "400 Content-Length not usable: " + value;
                    return false;
                }
                length = declared;
            } else if (startsWithNoCase(name, "location") && name.size() == 8) {
                head.location = value;
            }
        }
        response = reason;
        if (status / 100 != 1)
            return true;
    }
}

bool HttpClient::readBody(const BodySink& sink, bool chunked, std::int64_t length)
{
    // A chunked body ends where its coding says, whatever Content-Length claims.
    if (chunked)
        length = -1;
    std::uint64_t delivered = 0;
    bool sinkFailed = false;
    auto deliver = [&](std::string_view bytes) {
        if (delivered + bytes.size() > limit) {
            response = "400 Response refused: larger than " + std::to_string(limit) + " bytes";
            refused = true;
            return false;
        }
        delivered += bytes.size();
        if (!sink(bytes)) {
            sinkFailed = true;
            response = "400 Body could not be stored";
            return false;
        }
        return true;
    };
    ChunkedDecoder decoder;
    // True while more is to come; sets the failure text when the body cannot go on.
    auto take = [&](std::string_view bytes) {
        if (chunked) {
            std::size_t used = 0;
            const auto status = decoder.feed(bytes, deliver, used);
            if (status == ChunkedDecoder::Status::Failed && !refused && !sinkFailed)
                response = "400 Malformed chunked body: " + decoder.error();
            return status == ChunkedDecoder::Status::NeedMore;
        }
        if (length >= 0) {
            const std::uint64_t missing = static_cast<std::uint64_t>(length) - delivered;
            bytes = bytes.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(missing, bytes.size())));
        }
        if (!bytes.empty() && !deliver(bytes))
            return false;
        return length < 0 || delivered < static_cast<std::uint64_t>(length);
    };
    auto failedNow = [&] {
        return refused || sinkFailed || decoder.status() == ChunkedDecoder::Status::Failed;
    };
    bool more = take(receiveBuffer.view());
    receiveBuffer.clear();
    if (failedNow())
        return false;
    std::unique_ptr<char[]> block(new char[bodyBlockSize]);
    InactivityClock clock(timeout, &bounds);
    while (more) {
        const TransferStep got = receiveSome(block.get(), bodyBlockSize, clock);
        if (got.status == TransferStatus::Done) {
            more = take(std::string_view(block.get(), got.count));
            if (failedNow())
                return false;
            continue;
        }
        if (got.status == TransferStatus::Closed && !chunked && length < 0)
            return true; // HTTP/1.0 style: the end of the connection is the end of the body
        if (got.status == TransferStatus::Closed) {
            response = "400 Response cut off: " + std::to_string(delivered) +
                       (length >= 0 ? " of " + std::to_string(length) : std::string()) +
                       " bytes received before the server closed the connection";
        } else if (got.status == TransferStatus::TimedOut) {
            response = "400 Response cut off after " + std::to_string(delivered) + " bytes: " + stopText();
        } else {
            response = "400 Read error on socket after " + std::to_string(delivered) + " bytes" +
                       (tls ? ": " + tls->failure() : std::string());
        }
        return false;
    }
    return true;
}

bool HttpClient::parseResponse(std::vector<std::string>& headers, std::vector<std::string>& body)
{
    headers.clear();
    body.clear();
    if (receiveBuffer.empty())
        return false;
    bool inHeaders = true;
    const std::string_view all = receiveBuffer.view();
    std::size_t start = 0;
    body.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
    auto deliver = [&](std::string_view raw) {
        const std::size_t first = raw.find_first_not_of(blanks);
        if (first != std::string_view::npos) {
            raw = raw.substr(first, raw.find_last_not_of(blanks) + 1 - first);
            std::string line;
            line.reserve(raw.size() + lineEnd.size());
            line.append(raw).append(lineEnd);
            (inHeaders ? headers : body).push_back(std::move(line));
        } else if (inHeaders) {
            inHeaders = false;
        } else if (!body.empty()) {
            body.emplace_back(lineEnd);
        }
    };
    // Lines are cut out by position; erasing each from the front would copy the rest every time.
    for (std::size_t end; (end = all.find('\n', start)) != std::string_view::npos; start = end + 1)
        deliver(all.substr(start, end + 1 - start));
    // A last line without a line feed (a closing tag at the very end of a file) is part of the body too.
    if (start < all.size() && !trim(all.substr(start)).empty())
        deliver(all.substr(start));
    receiveBuffer.clear();
    return true;
}

} // namespace varnel
