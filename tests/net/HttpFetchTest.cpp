// The download path of HttpClient: bodies exactly as served, however the
// server frames them, and every way a response can be cut or malformed.
#include "net/ChunkedDecoder.h"
#include "net/HttpClient.h"
#include "net/HttpUrl.h"
#include "net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace varnel::test {
namespace {

struct Fetched {
    bool ok = false;
    int status = 0;
    std::string location;
    std::string body;
    std::string lastResponse;
};

Fetched fetchBody(const std::string& answer, std::size_t limit = HttpClient::defaultResponseLimit)
{
    ScriptedServer server([answer](TestPeer& peer) {
        for (std::string line = peer.readLine(); !line.empty() && line != "\r\n"; line = peer.readLine()) {
        }
        peer.send(answer);
    });
    HttpClient client;
    client.setTimeout(5);
    client.setResponseLimit(limit);
    Fetched result;
    EXPECT_TRUE(client.Connect("127.0.0.1", server.port()));
    HttpResponseHead head;
    result.ok = client.Fetch(
        "/data.xml",
        [&](std::string_view bytes) {
            result.body.append(bytes);
            return true;
        },
        head);
    result.status = head.status;
    result.location = head.location;
    result.lastResponse = client.lastResponse();
    return result;
}

const std::string kFile =
    "<?xml version=\"1.0\"?>\n  <a>\r\n\t<b/>\n\n</a>"; // indented, mixed ends, no last LF

TEST(HttpFetch, BodyIsDeliveredExactlyAsServedWhateverTheFraming)
{
    struct Case {
        const char* name;
        std::string answer;
    };
    const Case cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kFile.size()) + "\r\n\r\n" + kFile +
                       "trailing junk"},
        {"to the end, HTTP/1.0", "HTTP/1.0 200 OK\r\nServer: SimpleHTTP/0.6\r\n\r\n" + kFile},
        {"chunked with extension and trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\n" + kFile.substr(0, 5) + "\r\n" +
             "23\r\n" + kFile.substr(5) + "\r\n0\r\nX-Sum: 1\r\n\r\nafter"},
        {"interim 100 first", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n" + kFile},
    };
    ASSERT_EQ(kFile.size() - 5, 0x23u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Fetched got = fetchBody(c.answer);
        EXPECT_TRUE(got.ok) << got.lastResponse;
        EXPECT_EQ(got.status, 200);
        EXPECT_EQ(got.body, kFile);
    }
}

TEST(HttpFetch, CutOrMalformedResponsesFailWithTheirReason)
{
    struct Case {
        std::string answer;
        const char* reason; // the start of lastResponse
        std::size_t limit = HttpClient::defaultResponseLimit;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", "400 Response cut off: 5 of 100 bytes"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         "400 Response cut off: 5 bytes"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n",
         "400 Malformed chunked body: chunk size is not a hexadecimal number"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFF\r\n",
         "400 Malformed chunked body: chunk size too large"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhello\r\n0\r\n\r\n",
         "400 Malformed chunked body: chunk data longer than its size"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nxx", "400 Transfer coding not supported: gzip"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!",
         "400 Content-Length not usable"},
        {"HTTP/1.1 200 OK\r\n\r\n" + std::string(100, 'x'), "400 Response refused: larger than 64 bytes", 64},
        {"SSH-2.0-OpenSSH\r\n", "400 Not an HTTP status line: SSH-2.0-OpenSSH"},
        {"", "400 No response from server"},
        {"HTTP/1.1 200 OK\r\nContent-Le", "400 Response headers cut off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.substr(0, 60));
        const Fetched got = fetchBody(c.answer, c.limit);
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.lastResponse.rfind(c.reason, 0), 0u) << got.lastResponse;
    }
}

TEST(HttpFetch, OtherStatusesComeBackWithTheirLocationAndNoBody)
{
    const Fetched moved = fetchBody("HTTP/1.1 301 Moved Permanently\r\nLocation: https://h/x\r\n"
                                    "Content-Length: 4\r\n\r\nbody");
    EXPECT_TRUE(moved.ok);
    EXPECT_EQ(moved.status, 301);
    EXPECT_EQ(moved.location, "https://h/x");
    EXPECT_EQ(moved.lastResponse, "Moved Permanently");
    EXPECT_EQ(moved.body, "");
}

TEST(ChunkedDecoder, SameResultWhateverThePieces)
{
    const std::string coded = "4\r\nWiki\r\n5\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\n\r\n";
    for (std::size_t piece = 1; piece <= coded.size(); ++piece) {
        ChunkedDecoder decoder;
        std::string data;
        ChunkedDecoder::Status status = ChunkedDecoder::Status::NeedMore;
        for (std::size_t at = 0; at < coded.size() && status == ChunkedDecoder::Status::NeedMore;
             at += piece) {
            std::size_t used = 0;
            status = decoder.feed(
                std::string_view(coded).substr(at, piece),
                [&](std::string_view d) {
                    data.append(d);
                    return true;
                },
                used);
        }
        EXPECT_EQ(status, ChunkedDecoder::Status::Done) << piece;
        EXPECT_EQ(data, "Wikipedia in\r\n\r\nchunks.") << piece;
    }
}

TEST(HttpUrl, ServerSettingsAndLocations)
{
    struct Server {
        const char* text;
        const char* url; // null: refused
    };
    const Server servers[] = {
        {"example.net", "http://example.net/"},
        {"10.0.0.5:8080", "http://10.0.0.5:8080/"},
        {"http://example.net", "http://example.net/"},
        {"HTTPS://example.net:8443/", "https://example.net:8443/"},
        {"https://example.net", "https://example.net/"},
        {"ftp://example.net", nullptr},
        {"https://example.net/path", nullptr},
        {"example.net:0", nullptr},
        {"example.net:99999", nullptr},
        {"user@example.net", nullptr},
        {"exa mple", nullptr},
        {"", nullptr},
    };
    for (const Server& s : servers) {
        const auto url = HttpUrl::parseServer(s.text);
        EXPECT_EQ(url ? url->text() : std::string("refused"), s.url ? s.url : "refused") << s.text;
    }
    HttpUrl base;
    base.secure = true;
    base.host = "h";
    base.port = 443;
    base.target = "/a/b/file.xml?v=1";
    const Server locations[] = {
        {"/moved.xml", "https://h/moved.xml"},
        {"other.xml", "https://h/a/b/other.xml"},
        {"//cdn.example/x", "https://cdn.example/x"},
        {"http://plain.example:81/x#frag", "http://plain.example:81/x"},
        {"/with space", nullptr},
        {"gopher://x/", nullptr},
    };
    for (const Server& l : locations) {
        const auto url = HttpUrl::resolve(base, l.text);
        EXPECT_EQ(url ? url->text() : std::string("refused"), l.url ? l.url : "refused") << l.text;
    }
}

} // namespace
} // namespace varnel::test
