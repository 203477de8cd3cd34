// Servers that misbehave on purpose: endless streams, lines without end,
// silence and resets. Each request must end inside the client's limits,
// without holding the stream in memory and without leaving a file behind
// that could pass for a complete download.
#include "net/FakeFtpServer.h"
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/NetTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace varnel::test {
namespace {

constexpr std::size_t MB = std::size_t{1} << 20;
// More than a client within its limits ever takes; a server stops here so a
// client that buffers everything fails the test instead of the machine.
constexpr std::size_t floodCap = 120 * MB;

std::size_t peakResidentBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// Sends the chunk again and again until the client goes or the cap is reached.
std::size_t flood(TestPeer& peer, const std::string& chunk)
{
    std::size_t sent = 0;
    while (sent < floodCap && peer.send(chunk))
        sent += chunk.size();
    return sent;
}

void skipRequest(TestPeer& peer)
{
    for (std::string line = peer.readLine(); !line.empty() && line != "\r\n"; line = peer.readLine()) {
    }
}

// ---- HTTP
// ------------------------------------------------------------------------------------------------------

struct HttpOutcome {
    bool got = true;
    bool parsed = true;
    std::string lastResponse;
    std::vector<std::string> body;
    std::size_t peakGrowth = 0;
};

HttpOutcome fetchFrom(ScriptedServer& server, const std::function<void(HttpClient&)>& configure = {})
{
    HttpOutcome outcome;
    const std::size_t peakBefore = peakResidentBytes();
    {
        const SilentPeerClock clock;
        HttpClient client;
        client.setTimeout(1);
        if (configure)
            configure(client);
        EXPECT_TRUE(client.Connect("127.0.0.1", server.port()));
        outcome.got = client.Get("/data.xml");
        outcome.lastResponse = client.lastResponse();
        std::vector<std::string> headers;
        outcome.parsed = client.parseResponse(headers, outcome.body);
    } // the client hangs up here, which ends the server's flood
    server.join();
    outcome.peakGrowth = peakResidentBytes() - peakBefore;
    return outcome;
}

TEST(HostileHttpServer, EndlessBodyWithoutLineFeedIsCutOffAtTheLimit)
{
    std::size_t sent = 0;
    ScriptedServer server([&](TestPeer& peer) {
        skipRequest(peer);
        peer.send("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<ExternalBatteryPack ");
        sent = flood(peer, std::string(64 * 1024, 'x'));
    });
    const HttpOutcome outcome = fetchFrom(server, [](HttpClient& c) { c.setResponseLimit(8 * MB); });
    EXPECT_FALSE(outcome.got);
    EXPECT_EQ(outcome.lastResponse, "400 Response refused: larger than 8388608 bytes");
    EXPECT_FALSE(outcome.parsed) << "nothing of a refused response may be delivered";
    EXPECT_LT(sent, floodCap) << "the client kept reading past its limit";
    EXPECT_LT(outcome.peakGrowth, 48 * MB);
}

TEST(HostileHttpServer, HundredMegabyteStatusLineIsRefusedLongBeforeItsEnd)
{
    // The default limits: a status line is refused long before the response limit.
    std::size_t sent = 0;
    ScriptedServer server([&](TestPeer& peer) {
        skipRequest(peer);
        peer.send("HTTP/1.1 200 ");
        const std::string chunk(MB, 'x');
        for (int i = 0; i < 100 && peer.send(chunk); ++i)
            sent += chunk.size();
        peer.waitForClose();
    });
    const HttpOutcome outcome = fetchFrom(server);
    EXPECT_FALSE(outcome.got);
    EXPECT_EQ(outcome.lastResponse, "400 Status line refused: no line feed in 65536 bytes");
    EXPECT_FALSE(outcome.parsed);
    EXPECT_LT(sent, 100 * MB) << "the client read the whole line";
    EXPECT_LT(outcome.peakGrowth, 32 * MB);
}

TEST(HostileHttpServer, StatusLineThenSilenceDeliversNothing)
{
    ScriptedServer server([](TestPeer& peer) {
        skipRequest(peer);
        peer.send("HTTP/1.1 200 OK\r\n");
        peer.waitForClose(10000);
    });
    const HttpOutcome outcome = fetchFrom(server);
    // A status line alone may still be a good answer from a server that keeps
    // the connection open, but no line of a body may come out of it.
    EXPECT_FALSE(outcome.parsed);
    EXPECT_TRUE(outcome.body.empty());
}

TEST(HostileHttpServer, StatusLineCutOffBeforeItsEndFailsTheRequest)
{
    ScriptedServer server([](TestPeer& peer) {
        skipRequest(peer);
        peer.send("HTTP/1.1 200 O");
        peer.waitForClose(10000);
    });
    const HttpOutcome outcome = fetchFrom(server);
    EXPECT_FALSE(outcome.got);
    EXPECT_EQ(outcome.lastResponse, "400 Response should start with HTTP/1.1; received ");
}

TEST(HostileHttpServer, ResetInTheMiddleOfTheBodyFailsAndDeliversNothing)
{
    ScriptedServer server([](TestPeer& peer) {
        skipRequest(peer);
        peer.send("HTTP/1.1 200 OK\r\n\r\n<ExternalBatteryPack>\r\n" + std::string(200000, 'x') + "\r\n");
        peer.reset();
    });
    const HttpOutcome outcome = fetchFrom(server);
    EXPECT_FALSE(outcome.got);
    EXPECT_EQ(outcome.lastResponse, "400 Read error on socket");
    EXPECT_FALSE(outcome.parsed) << "a cut body must not pass for the whole file";
}

TEST(HostileHttpServer, BodyShorterThanItsContentLengthFailsAndDeliversNothing)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    const std::string part = "<ExternalBatteryPack>\r\n</ExternalBatteryPack>\r\n";
    for (bool stalls : {true, false}) {
        ScriptedServer server([&](TestPeer& peer) {
            skipRequest(peer);
            peer.send(head + part);
            if (stalls)
                peer.waitForClose(10000);
        });
        const HttpOutcome outcome = fetchFrom(server);
        EXPECT_FALSE(outcome.got) << stalls;
        EXPECT_EQ(outcome.lastResponse,
                  "400 Response cut off: " + std::to_string(part.size()) + " of 1000 bytes received");
        EXPECT_FALSE(outcome.parsed) << "a cut body must not pass for the whole file";
    }
    // The length that was promised, in any case of the header name, is a whole body.
    ScriptedServer whole([&](TestPeer& peer) {
        skipRequest(peer);
        peer.send("HTTP/1.1 200 OK\r\ncontent-LENGTH:  " + std::to_string(part.size()) + "\r\n\r\n" + part);
        peer.waitForClose(10000);
    });
    const HttpOutcome outcome = fetchFrom(whole);
    EXPECT_TRUE(outcome.got) << outcome.lastResponse;
    EXPECT_EQ(outcome.body,
              (std::vector<std::string>{"<ExternalBatteryPack>\r\n", "</ExternalBatteryPack>\r\n"}));
}

// ---- FTP
// -------------------------------------------------------------------------------------------------------

TEST(HostileFtpServer, PassiveReplyNamingAClosedPortFailsBeforeRetr)
{
    TempDir dir;
    const std::uint16_t closed = freeLoopbackPort();
    FakeFtpServer server;
    server.on("PASV", "227 Entering Passive Mode (127,0,0,1," + std::to_string(closed >> 8) + "," +
                          std::to_string(closed & 0xFF) + ").\r\n");
    server.start();
    {
        FtpClient client;
        client.setTimeout(1);
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        EXPECT_FALSE(client.DownloadRemoteFile("data.xml", "data.xml", "A", true));
        client.Quit();
    }
    server.join();
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"TYPE A", "PASV", "QUIT"}));
    EXPECT_FALSE(std::filesystem::exists("data.xml"));
}

TEST(HostileFtpServer, MultiLineReplyThatNeverEndsIsRefusedInBoundedMemory)
{
    std::size_t sent = 0;
    ScriptedServer server([&](TestPeer& peer) {
        peer.send("220-Welcome\r\n");
        sent = flood(peer, "220-and there is more to say about this server\r\n");
    });
    const std::size_t peakBefore = peakResidentBytes();
    {
        FtpClient client;
        client.setTimeout(1);
        EXPECT_FALSE(client.Connect("127.0.0.1", server.port()));
        EXPECT_EQ(client.lastResponse(), "Reply from server refused: longer than 1048576 bytes");
    }
    server.join();
    EXPECT_LT(sent, floodCap);
    EXPECT_LT(peakResidentBytes() - peakBefore, 32 * MB);
}

// Each way a download can break after RETR was accepted.
struct BrokenDownload {
    const char* name;
    std::function<void(FakeFtpServer&)> retr;
    const char* transferError;
};

void PrintTo(const BrokenDownload& broken, std::ostream* out)
{
    *out << broken.name;
}

const BrokenDownload brokenDownloads[] = {
    {"stall",
     [](FakeFtpServer& s) {
         s.reply("150 Opening data connection.\r\n");
         TestPeer data = s.acceptData();
         data.send("<ExternalBatteryPack>\r\n<BatteryTable");
         data.waitForClose();
         s.reply("426 Connection closed; transfer aborted.\r\n");
     },
     "Timed out waiting for data from server"},
    {"reset",
     [](FakeFtpServer& s) {
         s.reply("150 Opening data connection.\r\n");
         TestPeer data = s.acceptData();
         data.send("<ExternalBatteryPack>\r\n" + std::string(100000, 'x'));
         data.reset();
         s.reply("226 Transfer complete.\r\n");
     },
     "Read error on socket"},
    {"endless",
     [](FakeFtpServer& s) {
         s.reply("150 Opening data connection.\r\n");
         TestPeer data = s.acceptData();
         flood(data, std::string(64 * 1024, 'x'));
         s.reply("426 Connection closed; transfer aborted.\r\n");
     },
     "Download refused: larger than 4194304 bytes"},
    {"aborted",
     [](FakeFtpServer& s) {
         // Every byte arrives, but the server itself says the file is not whole.
         s.reply("150 Opening data connection.\r\n");
         TestPeer data = s.acceptData();
         data.send("<ExternalBatteryPack>\r\n</ExternalBatteryPack>\r\n");
         data.close();
         s.reply("451 Requested action aborted: local error in processing.\r\n");
     },
     ""},
};

class BrokenFtpDownload : public ::testing::TestWithParam<BrokenDownload> {};

TEST_P(BrokenFtpDownload, FailsAndLeavesNoFileUnderTheTargetName)
{
    const BrokenDownload& broken = GetParam();
    TempDir dir;
    writeFile("data.xml", "<ExternalBatteryPack>from an earlier run</ExternalBatteryPack>\r\n");
    FakeFtpServer server;
    server.on("RETR", [&broken](const std::string&, FakeFtpServer& s) { broken.retr(s); });
    server.start();
    {
        const SilentPeerClock clock;
        FtpClient client;
        client.setTimeout(1);
        client.setDownloadLimit(4 * MB);
        ASSERT_TRUE(client.Connect("127.0.0.1", server.port()));
        EXPECT_FALSE(client.DownloadRemoteFile("data.xml", "data.xml", "A", true));
        EXPECT_EQ(client.lastTransferError(), broken.transferError);
        EXPECT_FALSE(std::filesystem::exists("data.xml"));
        // The control connection is still in step: the next command meets its own reply.
        EXPECT_FALSE(client.Site("HELP"));
        EXPECT_EQ(client.lastResponse(), "Command not implemented.");
        client.Quit();
    }
    server.join();
}

INSTANTIATE_TEST_SUITE_P(HostileFtpServer, BrokenFtpDownload, ::testing::ValuesIn(brokenDownloads),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace varnel::test
