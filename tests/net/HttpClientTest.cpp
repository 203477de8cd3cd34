#include "net/HttpClient.h"
#include "net/NetTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace varnel::test {
namespace {

// Answers one request with fixed bytes and hangs up; keeps the request for the test.
struct OneShotServer {
    explicit OneShotServer(std::string answer, bool keepOpen = false)
        : server([this, answer, keepOpen](TestPeer& peer) {
              for (std::string line = peer.readLine(); !line.empty(); line = peer.readLine()) {
                  request += line;
                  if (line == "\r\n")
                      break;
              }
              peer.send(answer);
              if (keepOpen)
                  peer.waitForClose(10000);
          })
    {
    }
    std::string request;
    ScriptedServer server;
};

struct Fetched {
    bool got = false;
    std::string lastResponse;
    std::vector<std::string> headers;
    std::vector<std::string> body;
    bool parsed = false;
};

Fetched fetch(const std::string& answer, std::uint32_t timeout = 5)
{
    OneShotServer server(answer);
    HttpClient client;
    client.setTimeout(timeout);
    Fetched result;
    EXPECT_TRUE(client.Connect("127.0.0.1", server.server.port()));
    result.got = client.Get("/data.xml");
    result.lastResponse = client.lastResponse();
    result.parsed = client.parseResponse(result.headers, result.body);
    return result;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& line : lines)
        all += line;
    return all;
}

TEST(HttpClient, SendsExactRequestBytesForEachMethod)
{
    struct Case {
        const char* method;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"GET", "/dir/file.xml",
         "GET /dir/file.xml HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
        {"HEAD", "/x", "HEAD /x HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
        {"TRACE", "/x", "TRACE /x HTTP/1.1\r\nAccept: *\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
        {"OPTIONS", "*", "OPTIONS * HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
        {"GET", nullptr, "GET HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
        {"GET", "", "GET  HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + (c.path ? c.path : "(null)"));
        std::string request;
        {
            OneShotServer server("HTTP/1.1 200 OK\r\n\r\n");
            HttpClient client;
            ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
            const std::string method = c.method;
            const bool ok = method == "GET"     ? client.Get(c.path)
                            : method == "HEAD"  ? client.Head(c.path)
                            : method == "TRACE" ? client.Trace(c.path)
                                                : client.Options(c.path);
            EXPECT_TRUE(ok) << client.lastResponse();
            server.server.join();
            request = server.request;
        }
        EXPECT_EQ(request, c.expected);
    }
}

TEST(HttpClient, ChecksStatusLine)
{
    struct Case {
        const char* statusLine;
        bool ok;
        const char* lastResponse;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK", true, "OK"},
        {"HTTP/1.1 200", true, ""}, // twelve characters are enough
        {"HTTP/1.1 20", false, ""},
        {"HTTP/1.1 404 Not Found", false, "Not Found"},
        {"HTTP/1.0 200 OK", false, "400 Response should start with HTTP/1.1; received HTTP/1.0 200 OK"},
        {"", false, "400 Response should start with HTTP/1.1; received "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statusLine);
        const Fetched result = fetch(std::string(c.statusLine) + "\r\nServer: test\r\n\r\nbody\r\n");
        EXPECT_EQ(result.got, c.ok);
        EXPECT_EQ(result.lastResponse, c.lastResponse);
    }
}

TEST(HttpClient, SplitsHeadersAndTrimmedBodyLines)
{
    const Fetched result = fetch("HTTP/1.1 200 OK\r\n"
                                 "Content-Type: text/xml\r\n"
                                 "  Server: test  \r\n"
                                 "\r\n"
                                 "\r\n"
                                 " \t\r\n"
                                 "<a>\r\n"
                                 "\t  <b/>  \n"
                                 "\r\n"
                                 "  \r\n"
                                 "</a>"); // no line feed after the last line
    ASSERT_TRUE(result.got);
    ASSERT_TRUE(result.parsed);
    EXPECT_EQ(result.headers, (std::vector<std::string>{"Content-Type: text/xml\r\n", "Server: test\r\n"}));
    EXPECT_EQ(result.body, (std::vector<std::string>{"<a>\r\n", "<b/>\r\n", "\r\n", "\r\n", "</a>\r\n"}));
}

TEST(HttpClient, DeliversChunkSizeLinesAsBody)
{
    const Fetched result =
        fetch("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
    ASSERT_TRUE(result.parsed);
    EXPECT_EQ(joined(result.body), "5\r\nhello\r\n0\r\n\r\n");
}

TEST(HttpClient, ParseWithoutAnythingReceivedFails)
{
    HttpClient client;
    std::vector<std::string> headers{"stale"}, body{"stale"};
    EXPECT_FALSE(client.parseResponse(headers, body));
    EXPECT_TRUE(headers.empty());
    EXPECT_TRUE(body.empty());
}

TEST(HttpClient, ReportsConnectAndRequestFailures)
{
    HttpClient client;
    EXPECT_FALSE(client.Get("/x"));
    EXPECT_EQ(client.lastResponse(), "400 Not connected to a server");

    EXPECT_FALSE(client.Connect(nullptr, 80));
    EXPECT_EQ(client.lastResponse(), "400 Failed to resolve server address ");
    EXPECT_FALSE(client.Connect("", 80));
    EXPECT_EQ(client.lastResponse(), "400 Failed to resolve server address ");
    EXPECT_FALSE(client.Connect("no-such-host.invalid", 80));
    EXPECT_EQ(client.lastResponse(), "400 Failed to resolve server address no-such-host.invalid");

    EXPECT_FALSE(client.Connect("127.0.0.1", freeLoopbackPort()));
    EXPECT_EQ(client.lastResponse(), "400 Failed to connect to server");
    EXPECT_FALSE(client.isConnected());

    {
        FaultySocketApi faults;
        faults.failOpen = true;
        EXPECT_FALSE(client.Connect("127.0.0.1", 80));
        EXPECT_EQ(client.lastResponse(), "400 Failed to create socket to host");
        faults.failOpen = false;
        faults.failReuse = true;
        EXPECT_FALSE(client.Connect("127.0.0.1", 80));
        EXPECT_EQ(client.lastResponse(), "400 Failed to set socket options");
        EXPECT_EQ(faults.opened, faults.closed);
    }
}

TEST(HttpClient, SecondConnectClosesTheFirstConnection)
{
    FaultySocketApi counting;
    bool firstSawClose = false;
    ScriptedServer first([&](TestPeer& peer) { firstSawClose = peer.waitForClose(); });
    OneShotServer second("HTTP/1.1 200 OK\r\n\r\nfrom second\r\n");
    {
        HttpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", first.port()));
        ASSERT_TRUE(client.Connect("localhost", second.server.port()));
        first.join();
        EXPECT_TRUE(firstSawClose);
        EXPECT_TRUE(client.Get("/"));
        std::vector<std::string> headers, body;
        ASSERT_TRUE(client.parseResponse(headers, body));
        EXPECT_EQ(joined(body), "from second\r\n");
    }
    EXPECT_EQ(counting.opened, 2);
    EXPECT_EQ(counting.closed, 2);
}

TEST(HttpClient, KeptOpenConnectionEndsAfterInactivityLimitWithoutBurningCpu)
{
    OneShotServer server("HTTP/1.1 200 OK\r\n\r\nline\r\n", true);
    HttpClient client;
    client.setTimeout(1);
    ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    EXPECT_TRUE(client.Get("/"));
    const double cpuUsed = threadCpuSeconds() - cpuStart;
    const auto waited = std::chrono::steady_clock::now() - wallStart;
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    EXPECT_LT(cpuUsed, 0.2) << "the wait spins instead of sleeping in poll";
    std::vector<std::string> headers, body;
    ASSERT_TRUE(client.parseResponse(headers, body));
    EXPECT_EQ(joined(body), "line\r\n");
}

TEST(HttpClient, ResponseEndsWhereItsHeadersSayEvenOnAConnectionKeptOpen)
{
    struct Case {
        const char* method;
        std::string answer;
        std::vector<std::string> body;
    };
    const Case cases[] = {
        {"GET",
         "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n<a>\r\n</a>\r\nHTTP/1.1 200 OK\r\n",
         {"<a>\r\n", "</a>\r\n"}},
        {"GET", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", {}},
        {"HEAD", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        bool closedByClient = false;
        ScriptedServer server([&](TestPeer& peer) {
            for (std::string line = peer.readLine(); !line.empty() && line != "\r\n";
                 line = peer.readLine()) {
            }
            peer.send(c.answer);
            // Far inside the client's own limit: only a client that stopped reading lets go this soon.
            closedByClient = peer.waitForClose(20000);
            peer.send("stray\r\n");
        });
        std::vector<std::string> headers, body;
        {
            HttpClient client;
            client.setTimeout(120);
            ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
            const std::string method = c.method;
            EXPECT_TRUE(method == "HEAD" ? client.Head("/") : client.Get("/")) << client.lastResponse();
            EXPECT_TRUE(client.parseResponse(headers, body));
        }
        server.join();
        EXPECT_TRUE(closedByClient) << "the client waited for more after the declared end";
        EXPECT_EQ(headers.size(), 1u);
        EXPECT_EQ(body, c.body);
    }
}

TEST(HttpClient, ResetAfterTheDeclaredBodyIsNoFailure)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n";
    const std::string answer = head + "line\r\n";
    // Reset once the whole response came in, or one byte before its end.
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}}) {
        SCOPED_TRACE(cut);
        OneShotServer server(answer, true);
        FaultySocketApi faults;
        faults.resetAfterReceived = static_cast<std::int64_t>(answer.size() - cut);
        HttpClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
        EXPECT_EQ(client.Get("/"), cut == 0) << client.lastResponse();
        std::vector<std::string> headers, body;
        EXPECT_EQ(client.parseResponse(headers, body), cut == 0);
        EXPECT_EQ(joined(body), cut == 0 ? "line\r\n" : "");
    }
}

TEST(HttpClient, RefusesResponseBeyondLimit)
{
    OneShotServer server("HTTP/1.1 200 OK\r\n\r\n" + std::string(5000, 'x') + "\r\n");
    HttpClient client;
    client.setResponseLimit(1000);
    ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
    EXPECT_FALSE(client.Get("/"));
    EXPECT_EQ(client.lastResponse(), "400 Response refused: larger than 1000 bytes");
    std::vector<std::string> headers, body;
    EXPECT_FALSE(client.parseResponse(headers, body)) << "nothing of a refused response may be delivered";
}

TEST(HttpClient, ResponseOfExactlyTheLimitIsKept)
{
    // The limit counts what follows the status line: here the blank line and the body.
    for (const std::size_t extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        OneShotServer server("HTTP/1.1 200 OK\r\n\r\n" + std::string(996 + extra, 'x') + "\r\n");
        HttpClient client;
        client.setResponseLimit(1000);
        ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
        EXPECT_EQ(client.Get("/"), extra == 0) << client.lastResponse();
        std::vector<std::string> headers, body;
        EXPECT_EQ(client.parseResponse(headers, body), extra == 0);
    }
}

TEST(HttpClient, StatusLineThatNeverEndsIsRefusedToo)
{
    ScriptedServer server([](TestPeer& peer) {
        peer.readLine();
        peer.send("HTTP/1.1 200 " + std::string(3000, 'x'));
        peer.waitForClose();
    });
    HttpClient client;
    client.setResponseLimit(1000);
    ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
    EXPECT_FALSE(client.Get("/"));
    EXPECT_EQ(client.lastResponse(), "400 Response refused: larger than 1000 bytes");
}

TEST(HttpClient, SurvivesShortSendsInterruptionsAndWouldBlockStorms)
{
    const std::string body = std::string(3000, 'a') + "\r\n" + std::string(3000, 'b') + "\r\n";
    OneShotServer server("HTTP/1.1 200 OK\r\nX: 1\r\n\r\n" + body);
    FaultySocketApi faults;
    faults.maxSendChunk = 1;
    faults.maxReceiveChunk = 7;
    faults.interruptEvery = 3;
    faults.wouldBlockBeforeEachCall = 2;
    HttpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
    ASSERT_TRUE(client.Get("/long/path")) << client.lastResponse();
    std::vector<std::string> headers, lines;
    ASSERT_TRUE(client.parseResponse(headers, lines));
    EXPECT_EQ(joined(lines), body);
    server.server.join();
    EXPECT_EQ(server.request, "GET /long/path HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

TEST(HttpClient, ResetInTheMiddleOfTheBodyFailsTheRequest)
{
    OneShotServer server("HTTP/1.1 200 OK\r\n\r\n" + std::string(4000, 'x') + "\r\n");
    FaultySocketApi faults;
    faults.resetAfterReceived = 2000;
    HttpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.server.port()));
    EXPECT_FALSE(client.Get("/"));
    EXPECT_EQ(client.lastResponse(), "400 Read error on socket");
    std::vector<std::string> headers, body;
    EXPECT_FALSE(client.parseResponse(headers, body)) << "a cut body must not pass for the whole file";
}

} // namespace
} // namespace varnel::test
