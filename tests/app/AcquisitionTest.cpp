#include "app/WizardHarness.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>

namespace varnel::test {
namespace {

class Acquisition : public Wizard {
protected:
    std::string log() const { return std::filesystem::exists("varnel.log") ? readFile("varnel.log") : ""; }
};

TEST_F(Acquisition, HttpWithoutServerSaysSoAndTouchesNoNetwork)
{
    open();
    dialog->downloadByHttp();
    EXPECT_EQ(mainText(), qt("label.configurehttp") + "\n" + qt("msg.noserveraddress"));
    EXPECT_TRUE(dialog->http.requested.empty());
    EXPECT_EQ(log().find("Attempting"), std::string::npos);
    EXPECT_TRUE(dialog->getDataFilePath().empty());
}

TEST_F(Acquisition, HttpStoresTheBodyUnderTheFileName)
{
    writeSettings("http.server = 127.0.0.1\nhttp.path = /data/ups\nhttp.file = packs.xml");
    open();
    const std::string sample = readFile(distFile("sample-batterydata.xml"));
    dialog->http.body = {sample};
    dialog->downloadByHttp();
    EXPECT_EQ(dialog->http.requested,
              (std::vector<std::string>{"connect 127.0.0.1:80", "get /data/ups/packs.xml"}));
    EXPECT_EQ(mainText(),
              qt("label.configurehttp") + qt("label.connecthttp") + "\n" + qt("label.downloading"));
    EXPECT_EQ(dialog->getDataFilePath(), "packs.xml");
    EXPECT_EQ(readFile("packs.xml"), sample);
    EXPECT_NE(log().find("Attempting to connect to HTTP server at 127.0.0.1\n"), std::string::npos);
}

TEST_F(Acquisition, HttpTargetWithoutPathStartsAtTheRoot)
{
    writeSettings("http.server = example.net\nhttp.file = packs.xml");
    open();
    dialog->downloadByHttp();
    EXPECT_EQ(dialog->http.requested.back(), "get /packs.xml");
    // An empty body is no data file: nothing is stored.
    EXPECT_EQ(dialog->getDataFilePath(), "");
    EXPECT_FALSE(std::filesystem::exists("packs.xml"));
}

TEST_F(Acquisition, HttpFailuresLeaveNoPathAndSayWhere)
{
    struct Case {
        const char* settings;
        bool connects, gets;
        const char* last;
    };
    const Case cases[] = {
        {"http.server = 10.0.0.1\nhttp.file = a.xml", false, true, "msg.failedconnect"},
        {"http.server = 10.0.0.1\nhttp.file = a.xml", true, false, "msg.faileddownload"},
        {"http.server = 10.0.0.1\nhttp.path = dir\nhttp.file = nodir/a.xml", true, true, "msg.failedsave"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        writeSettings(c.settings);
        open();
        dialog->http.connects = c.connects;
        dialog->http.gets = c.gets;
        dialog->downloadByHttp();
        // The message, then the reason when the client gave one.
        EXPECT_TRUE(mainText().contains("\n" + qt(c.last))) << mainText().toStdString();
        EXPECT_TRUE(dialog->getDataFilePath().empty());
        EXPECT_FALSE(std::filesystem::exists("a.xml"));
        dialog.reset();
    }
}

TEST_F(Acquisition, HttpChoiceOnPage1LeadsToTheDownloadAndItsData)
{
    writeSettings("http.server = 127.0.0.1\nhttp.file = packs.xml");
    open();
    dialog->http.body = {readFile(distFile("sample-batterydata.xml"))};
    radio("1006")->click();
    button("1001")->click();
    EXPECT_EQ(dialog->getPage(), 2);
    EXPECT_EQ(dialog->getDataFilePath(), "packs.xml");
    EXPECT_TRUE(button("1001")->isEnabled()) << mainText().toStdString();
    EXPECT_EQ(dialog->getController().getBatteryPacks().size(), 6u);
}

TEST_F(Acquisition, FtpDownloadsInPassiveImageMode)
{
    writeSettings("ftp.server = 127.0.0.1\nftp.user = tech\nftp.password = secret\nftp.path = pub\n"
                  "ftp.file = packs.xml");
    open();
    dialog->ftp.content = readFile(distFile("sample-batterydata.xml"));
    dialog->downloadByFtp();
    EXPECT_EQ(dialog->ftp.calls,
              (std::vector<std::string>{"connect 127.0.0.1:21", "login tech secret",
                                        "retr pub/packs.xml packs.xml I passive", "quit"}));
    EXPECT_EQ(mainText(), qt("label.configureftp") + "\n" + qt("label.connectftp") + "\n" +
                              qt("label.loginftp") + "\n" + qt("label.downloading") + "\n" +
                              qt("msg.filedownloaded"));
    EXPECT_EQ(dialog->getDataFilePath(), "packs.xml");
    EXPECT_NE(log().find("Attempting to connect to FTP server at 127.0.0.1\n"), std::string::npos);
    EXPECT_EQ(log().find("secret"), std::string::npos);
}

TEST_F(Acquisition, FtpFailuresQuitOnlyAfterConnecting)
{
    writeSettings("ftp.server = 127.0.0.1\nftp.file = packs.xml");
    open();
    dialog->ftp.connects = false;
    dialog->downloadByFtp();
    EXPECT_TRUE(mainText().endsWith(qt("msg.failedconnect")));
    EXPECT_EQ(dialog->ftp.calls.back(), "connect 127.0.0.1:21");

    dialog->ftp = {};
    dialog->ftp.logsIn = false;
    dialog->downloadByFtp();
    EXPECT_TRUE(mainText().endsWith(qt("msg.failedlogin")));
    EXPECT_EQ(dialog->ftp.calls.back(), "quit");

    dialog->ftp = {};
    dialog->ftp.downloads = false;
    dialog->downloadByFtp();
    EXPECT_TRUE(mainText().endsWith(qt("msg.faileddownload")));
    EXPECT_EQ(dialog->ftp.calls.back(), "quit");
    EXPECT_TRUE(dialog->getDataFilePath().empty());

    writeSettings("");
    dialog.reset();
    open();
    dialog->downloadByFtp();
    EXPECT_EQ(mainText(), qt("label.configureftp") + "\n" + qt("msg.noserveraddress"));
    EXPECT_TRUE(dialog->ftp.calls.empty());
}

} // namespace
} // namespace varnel::test
