#include "net/HttpClient.h"

#include "net/TcpConnector.h"
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

struct ConnectText {
    ConnectFailure failure;
    const char* text;
};

constexpr ConnectText connectTexts[] = {
    {ConnectFailure::Unresolved, "400 Failed to resolve server address "},
    {ConnectFailure::NoSocket, "400 Failed to create socket to host"},
    {ConnectFailure::NoOptions, "400 Failed to set socket options"},
    {ConnectFailure::Refused, "400 Failed to connect to server"},
};

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

bool HttpClient::Connect(const char* host, int port)
{
    // A second Connect replaces the first connection instead of leaking it;
    // bytes left over from it belong to no request on the new one.
    socket.reset();
    receiveBuffer.clear();
    refused = false;
    const ConnectFailure failure = TcpConnector::open(host, port, timeout, socket);
    if (failure != ConnectFailure::None) {
        for (const auto& entry : connectTexts)
            if (entry.failure == failure)
                response = entry.text;
        if (failure == ConnectFailure::Unresolved && host)
            response += host;
        return false;
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
    const TransferStatus status = SocketIo::sendAll(socket.get(), composite, timeout);
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
    InactivityClock clock(timeout);
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
        const TransferStep got = SocketIo::receiveSome(socket.get(), space, room, clock);
        if (got.status == TransferStatus::Failed) {
            response = "400 Read error on socket";
            readFailed = true;
        }
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
