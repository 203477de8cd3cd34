// Downloads from real servers on loopback, the way the wizard and varnelctl
// make them: nginx with TLS as installed, Python's HTTP/1.0 server, and a
// trickling peer. Each good download is the file as served, byte for byte;
// each failure names its reason and leaves the earlier copy as it was.
#include "download/DataFileDownload.h"
#include "net/NetTestSupport.h"
#include "net/RealServers.h"
#include "platform/Sha256.h"
#include "settings/PropertiesFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPrevious = "the previous good copy";

struct Outcome {
    std::string path;
    std::string shown; // every text the routine showed, one a line
};

Outcome download(const std::string& settingsText, const std::atomic<bool>* cancel = nullptr)
{
    PropertiesFile settings;
    settings.loadText(settingsText);
    Outcome outcome;
    DataFileDownload routine(&settings, nullptr, [&](const char* text, std::uint32_t) {
        if (text != nullptr)
            outcome.shown += std::string(text) + "\n";
    });
    routine.setCancelFlag(cancel);
    outcome.path = routine.downloadByHttp();
    return outcome;
}

std::string settingsFor(const std::string& server, const std::string& path, const std::string& file,
                        const std::string& extra = "")
{
    return "http.server = " + server + "\nhttp.path = " + path + "\nhttp.file = " + file + "\n" + extra;
}

class SecureDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        sample = readFile(distFile("sample-batterydata.xml"));
        fs::create_directories(dir.path() / "www" / "chunked");
        writeFile(dir.path() / "www" / "sample.xml", sample);
        writeFile(dir.path() / "www" / "chunked" / "sample.xml", sample);
    }
    void TearDown() override
    {
        unsetenv("SSL_CERT_FILE");
        unsetenv("SSL_CERT_DIR");
    }

    TempDir dir;
    std::string sample;
};

TEST_F(SecureDownload, FromStockServersByteForByteOrWithTheReason)
{
    const TlsNginxServer nginx(dir.path() / "nginx", dir.path() / "www");
    ASSERT_TRUE(nginx.running()) << nginx.failure();
    const PythonHttpServer python(dir.path() / "python", dir.path() / "www");
    ASSERT_TRUE(python.running()) << python.failure();
    // The company CA, as a technician's machine would be told of it.
    setenv("SSL_CERT_FILE", nginx.caFile().c_str(), 1);
    setenv("SSL_CERT_DIR", (dir.path() / "no-such-dir").c_str(), 1);
    const std::string good = std::to_string(nginx.port(TlsNginxServer::good));
    auto https = [&](TlsNginxServer::Site site, const char* host = "127.0.0.1") {
        return std::string("https://") + host + ":" + std::to_string(nginx.port(site));
    };
    const std::string wrongPin(64, '0');

    struct Case {
        std::string settings;
        const char* reason; // null: a good download
        const char* logged = nullptr;
    };
    const Case cases[] = {
        {settingsFor(https(TlsNginxServer::good), "", "sample.xml"), nullptr},
        {settingsFor(https(TlsNginxServer::good, "localhost"), "chunked", "sample.xml"), nullptr},
        {settingsFor("http://127.0.0.1:" + std::to_string(nginx.port(TlsNginxServer::plain)), "",
                     "sample.xml"),
         nullptr, "Redirected (301) from http://127.0.0.1:"},
        {settingsFor("127.0.0.1:" + std::to_string(python.port()), "", "sample.xml"), nullptr},
        {settingsFor(https(TlsNginxServer::good), "", "sample.xml",
                     "http.sha256 = " + Sha256::ofFile((dir.path() / "www" / "sample.xml").string())),
         nullptr},
        {settingsFor(https(TlsNginxServer::expired), "", "sample.xml"), "certificate expired"},
        {settingsFor(https(TlsNginxServer::wronghost), "", "sample.xml"), "certificate name mismatch"},
        // The resolver's short form of 127.0.0.1 is checked as a name, never let through unchecked.
        {settingsFor(https(TlsNginxServer::good, "127.1"), "", "sample.xml"), "certificate name mismatch"},
        {settingsFor(https(TlsNginxServer::untrusted), "", "sample.xml"),
         "certificate from an unknown issuer"},
        {settingsFor(https(TlsNginxServer::plain), "", "sample.xml"), "protocol error"},
        {settingsFor(https(TlsNginxServer::good), "", "loop.xml"), "redirect loop: more than 5 redirects"},
        {settingsFor(https(TlsNginxServer::good), "", "plain.xml"), "redirect from https to http refused"},
        {settingsFor(https(TlsNginxServer::good), "", "missing.xml"), "the server answered 404 Not Found"},
        {settingsFor(https(TlsNginxServer::good), "", "sample.xml", "http.sha256 = " + wrongPin),
         "SHA-256 mismatch: expected 0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        const std::string file =
            c.settings.substr(c.settings.find("http.file = ") + 12,
                              c.settings.find(".xml") + 4 - c.settings.find("http.file = ") - 12);
        writeFile(file, kPrevious);
        const Outcome got = download(c.settings);
        const std::string log = readFile("varnel.log");
        if (c.reason == nullptr) {
            EXPECT_EQ(got.path, file) << got.shown;
            EXPECT_TRUE(readFile(file) == sample) << "not the file as served";
            EXPECT_NE(log.find("SHA-256 " + Sha256::ofFile(file)), std::string::npos) << log;
        } else {
            EXPECT_EQ(got.path, "");
            EXPECT_EQ(readFile(file), kPrevious);
            EXPECT_NE(got.shown.find(c.reason), std::string::npos) << got.shown;
            EXPECT_NE(log.find(c.reason), std::string::npos) << log;
        }
        if (c.logged != nullptr) {
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        }
    }
}

TEST_F(SecureDownload, FtpPinMismatchIsRefusedAndTheCopyKept)
{
    const PyFtpServer ftp(dir.path() / "ftpd", dir.path() / "www");
    ASSERT_TRUE(ftp.running()) << ftp.failure();
    const std::string digest = Sha256::ofFile((dir.path() / "www" / "sample.xml").string());
    for (const std::string& pin : {std::string(64, 'f'), digest}) {
        SCOPED_TRACE(pin);
        writeFile("sample.xml", kPrevious);
        PropertiesFile settings;
        settings.loadText(
            "ftp.server = 127.0.0.1\nftp.user = anonymous\nftp.password = x@\nftp.file = sample.xml\n"
            "ftp.sha256 = " +
            pin + "\n");
        std::string shown;
        DataFileDownload routine(&settings, nullptr, [&](const char* text, std::uint32_t) {
            if (text != nullptr)
                shown += std::string(text) + "\n";
        });
        routine.setPorts({80, ftp.port()});
        const bool good = pin == digest;
        EXPECT_EQ(routine.downloadByFtp(), good ? "sample.xml" : "") << shown;
        EXPECT_EQ(readFile("sample.xml") == sample, good);
        if (!good) {
            EXPECT_EQ(readFile("sample.xml"), kPrevious);
            EXPECT_NE(shown.find("SHA-256 mismatch: expected " + pin + ", got " + digest), std::string::npos)
                << shown;
        }
    }
}

TEST_F(SecureDownload, TricklingServerStopsAtTheDeadlineOrOnCancel)
{
    struct Case {
        const char* timeout;
        bool cancel;
        const char* reason;
    };
    const Case cases[] = {
        {"2", false, "the download's time limit ran out"},
        {"60", true, "cancelled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::atomic<bool> stop{false};
        ScriptedServer server([&stop](TestPeer& peer) {
            for (std::string line = peer.readLine(); !line.empty() && line != "\r\n";
                 line = peer.readLine()) {
            }
            peer.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
            // One byte every half second: never silent long enough for the inactivity limit.
            for (int i = 0; i < 60 && !stop.load(); ++i) {
                peer.send("x");
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
        });
        writeFile("slow.xml", kPrevious);
        std::atomic<bool> cancel{false};
        std::thread user;
        if (c.cancel)
            user = std::thread([&cancel] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                cancel.store(true);
            });
        const Outcome got = download(settingsFor("127.0.0.1:" + std::to_string(server.port()), "", "slow.xml",
                                                 std::string("download.timeout = ") + c.timeout + "\n"),
                                     &cancel);
        stop.store(true);
        if (user.joinable())
            user.join();
        EXPECT_EQ(got.path, "");
        EXPECT_NE(got.shown.find(c.reason), std::string::npos) << got.shown;
        EXPECT_EQ(readFile("slow.xml"), kPrevious);
    }
}

} // namespace
} // namespace varnel::test
