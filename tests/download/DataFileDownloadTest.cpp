#include "download/DataFileDownload.h"
#include "settings/I18N.h"
#include "settings/PropertiesFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace varnel {
namespace {

namespace fs = std::filesystem;

// What the fakes were asked, with whether each call ran inside a step of the runner.
struct Record {
    bool insideStep = false;
    std::vector<std::string> calls;
    void add(const std::string& call) { calls.push_back(call + (insideStep ? "" : " (outside a step)")); }
};

class FakeHttp : public HttpDownload {
public:
    FakeHttp(Record& record, std::vector<std::string> body) : record(record), body(std::move(body)) {}
    bool connect(const std::string& host, int port, bool) override
    {
        record.add("connect " + host + ":" + std::to_string(port));
        return true;
    }
    bool get(const std::string& target, const HttpClient::BodySink& sink, HttpResponseHead& head) override
    {
        record.add("get " + target);
        head.status = 200;
        for (const std::string& line : body)
            sink(line);
        return true;
    }

private:
    Record& record;
    std::vector<std::string> body;
};

class FakeFtp : public FtpDownload {
public:
    explicit FakeFtp(Record& record) : record(record) {}
    bool connect(const std::string& host, int port) override
    {
        record.add("connect " + host + ":" + std::to_string(port));
        return true;
    }
    bool login(const std::string& user, const std::string&) override
    {
        record.add("login " + user);
        return true;
    }
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath, const std::string&,
                            bool) override
    {
        record.add("retr " + remotePath);
        test::writeFile(localPath, "<ExternalBatteryPack/>");
        return true;
    }
    void quit() override { record.calls.push_back("quit"); }

private:
    Record& record;
};

class Download : public ::testing::Test {
protected:
    // The shipped catalogue, less the keys named.
    void start(const std::string& lines, const std::vector<std::string>& dropKeys = {})
    {
        std::string catalogue;
        for (const std::string& line : test::readLines(test::distFile("varnelstrings.en"))) {
            bool dropped = false;
            for (const std::string& key : dropKeys)
                dropped = dropped || line.rfind(key + " ", 0) == 0;
            if (!dropped)
                catalogue += line + "\n";
        }
        test::writeFile("varnelstrings.en", catalogue);
        messages = std::make_unique<I18N>();
        ASSERT_TRUE(messages->load("English", "en"));
        settings = std::make_unique<PropertiesFile>();
        settings->loadText(lines);
    }

    DataFileDownload routine(DataFileDownload::Ports ports = {})
    {
        DataFileDownload download(
            settings.get(), messages.get(), [this](const char* text, std::uint32_t newLine) {
                shown.push_back(std::string(text ? text : "<null>") + (newLine ? " /1" : " /0"));
            });
        download.setStepRunner([this](const std::function<bool()>& step) {
            ++steps;
            record.insideStep = true;
            const bool result = step();
            record.insideStep = false;
            return result;
        });
        download.setHttpFactory([this] { return std::make_unique<FakeHttp>(record, body); });
        download.setFtpFactory([this] { return std::make_unique<FakeFtp>(record); });
        download.setPorts(ports);
        return download;
    }

    std::string text(const char* key) const { return messages->lookup(key); }

    test::TempDir dir;
    std::unique_ptr<I18N> messages;
    std::unique_ptr<PropertiesFile> settings;
    Record record;
    std::vector<std::string> body{"<ExternalBatteryPack/>\r\n"};
    std::vector<std::string> shown;
    int steps = 0;
};

TEST_F(Download, EveryNetworkWaitRunsAsAStepAndTheHeadingComesFirst)
{
    start("http.server = h\nhttp.file = a.xml\nftp.server = f\nftp.user = u\nftp.path = /p\nftp.file = "
          "b.xml\n");
    EXPECT_EQ(routine().downloadByHttp(), "a.xml");
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"connect h:80", "get /a.xml"}));
    EXPECT_EQ(shown, (std::vector<std::string>{text("label.configurehttp") + " /1",
                                               text("label.connecthttp") + " /0",
                                               text("label.downloading") + " /1"}));

    record.calls.clear();
    shown.clear();
    steps = 0;
    EXPECT_EQ(routine({8080, 2121}).downloadByFtp(), "b.xml");
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(record.calls, (std::vector<std::string>{"connect f:2121", "login u", "retr /p/b.xml", "quit"}));
    EXPECT_EQ(shown.front(), text("label.configureftp") + " /1");
    EXPECT_EQ(shown.back(), text("msg.filedownloaded") + " /1");
}

TEST_F(Download, HeadingIsAnnouncedEvenWithoutItsText)
{
    // A front end replaces its page at the first text, so the first call must come regardless.
    start("", {"label.configurehttp"});
    EXPECT_EQ(routine().downloadByHttp(), "");
    EXPECT_EQ(shown, (std::vector<std::string>{"<null> /1", text("msg.noserveraddress") + " /1"}));
    EXPECT_TRUE(record.calls.empty());
}

TEST_F(Download, HttpCopyIsReplacedOnlyByACompleteOne)
{
    start("http.server = h\nhttp.file = packs.xml\n");
    test::writeFile("packs.xml", "older copy");
    body = {"<ExternalBatteryPack>\r\n", "</ExternalBatteryPack>\r\n"};
    EXPECT_EQ(routine().downloadByHttp(), "packs.xml");
    EXPECT_EQ(test::readFile("packs.xml"), body[0] + body[1]);
    EXPECT_FALSE(fs::exists("packs.xml.part"));

    // Names that cannot take the copy: it fails as a save, leaving what was there.
    fs::create_directory("folder");
    test::writeFile("folder/inside.xml", "kept");
    for (const char* name : {"folder", "missing/packs.xml"}) {
        SCOPED_TRACE(name);
        shown.clear();
        start(std::string("http.server = h\nhttp.file = ") + name + "\n");
        EXPECT_EQ(routine().downloadByHttp(), "");
        ASSERT_GE(shown.size(), 2u);
        EXPECT_EQ(shown[shown.size() - 2], text("msg.failedsave") + " /1") << "then the reason";
        EXPECT_FALSE(fs::exists(std::string(name) + ".part"));
    }
    EXPECT_EQ(test::readFile("folder/inside.xml"), "kept");
}

// Names in the current folder that begin with `prefix`, other than `prefix` itself.
std::vector<std::string> namesAfter(const std::string& prefix)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        if (const std::string name = entry.path().filename().string();
            name.rfind(prefix, 0) == 0 && name != prefix)
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Download, SideFileNeverTakesAUsersFile)
{
    // One file that a download replaces, one it cannot (a folder): the user's
    // "<name>.part" beside each is left as it was, and no side file stays.
    fs::create_directory("folder");
    for (const char* name : {"packs.xml", "folder"}) {
        SCOPED_TRACE(name);
        test::writeFile(std::string(name) + ".part", "the user's own");
        start(std::string("http.server = h\nhttp.file = ") + name + "\n");
        shown.clear();
        const bool replaceable = std::string(name) == "packs.xml";
        EXPECT_EQ(routine().downloadByHttp(), replaceable ? name : "");
        EXPECT_EQ(shown[shown.size() - (replaceable ? 1 : 2)],
                  replaceable ? text("label.downloading") + " /1" : text("msg.failedsave") + " /1");
        EXPECT_EQ(test::readFile(std::string(name) + ".part"), "the user's own");
        EXPECT_EQ(namesAfter(name), (std::vector<std::string>{std::string(name) + ".part"}));
    }
    EXPECT_EQ(test::readFile("packs.xml"), body[0]);
}

TEST_F(Download, EmptyFileSettingIsRefusedBeforeConnecting)
{
    start("http.server = h\nhttp.path = /data\nftp.server = f\nftp.path = pub\n");
    EXPECT_EQ(routine().downloadByHttp(), "");
    EXPECT_EQ(shown, (std::vector<std::string>{text("label.configurehttp") + " /1",
                                               text("msg.faileddownload") + " /1"}));
    shown.clear();
    EXPECT_EQ(routine().downloadByFtp(), "");
    EXPECT_EQ(shown, (std::vector<std::string>{text("label.configureftp") + " /1",
                                               text("msg.faileddownload") + " /1"}));
    EXPECT_TRUE(record.calls.empty());
    EXPECT_TRUE(namesAfter(".").empty());
}

TEST_F(Download, RequestTargetsHaveOneSlashBetweenTheirParts)
{
    struct Case {
        const char* path;
        const char* file;
        const char* http;
        // An FTP path without a leading "/" is relative to the login directory and stays so.
        const char* ftp;
    };
    const Case cases[] = {
        {"", "data.xml", "/data.xml", "data.xml"},
        {"ups", "data.xml", "/ups/data.xml", "ups/data.xml"},
        {"ups/", "data.xml", "/ups/data.xml", "ups/data.xml"},
        {"/ups", "data.xml", "/ups/data.xml", "/ups/data.xml"},
        {"/ups/", "data.xml", "/ups/data.xml", "/ups/data.xml"},
        {"/", "data.xml", "/data.xml", "/data.xml"},
        {"//ups//v2//", "data.xml", "/ups/v2/data.xml", "/ups/v2/data.xml"},
        {"ups", "v2/data.xml", "/ups/v2/data.xml", "ups/v2/data.xml"},
    };
    fs::create_directory("v2"); // where the local copy of "v2/data.xml" goes
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " + " + c.file);
        start(std::string("http.server = h\nhttp.path = ") + c.path + "\nhttp.file = " + c.file +
              "\nftp.server = f\nftp.path = " + c.path + "\nftp.file = " + c.file + "\n");
        record.calls.clear();
        routine().downloadByHttp();
        routine().downloadByFtp();
        ASSERT_GE(record.calls.size(), 5u);
        EXPECT_EQ(record.calls[1], std::string("get ") + c.http);
        EXPECT_EQ(record.calls[4], std::string("retr ") + c.ftp);
    }
}

} // namespace
} // namespace varnel
