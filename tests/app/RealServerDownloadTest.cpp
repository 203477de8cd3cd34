// Page 2 over the real network clients, from nginx and pyftpdlib on loopback:
// the choice on page 1, the download, the stored copy and its packs listed.
#include "app/WizardHarness.h"
#include "download/ClientFtpDownload.h"
#include "download/ClientHttpDownload.h"
#include "download/DataFileDownload.h"
#include "net/NetTestSupport.h"
#include "net/RealServers.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>

#include <atomic>
#include <filesystem>
#include <thread>

namespace varnel::test {
namespace {

namespace fs = std::filesystem;

// The real clients, sent to the test server's port. The port the dialog asked
// for is kept: a user's wizard must still go to the standard ports.
template <typename Base, typename Client> class Redirected : public Base {
public:
    Redirected(int port, std::vector<int>& asked) : port(port), asked(asked) {}

protected:
    int redirect(int wanted)
    {
        asked.push_back(wanted);
        return port;
    }
    Client client;

private:
    int port;
    std::vector<int>& asked;
};

class RedirectedHttp : public Redirected<HttpDownload, ClientHttpDownload> {
public:
    using Redirected::Redirected;
    bool connect(const std::string& host, int wanted, bool secure) override
    {
        return client.connect(host, redirect(wanted), secure);
    }
    bool get(const std::string& target, const HttpClient::BodySink& sink, HttpResponseHead& head) override
    {
        return client.get(target, sink, head);
    }
    std::string failure() const override { return client.failure(); }
    void setBounds(const TransferBounds& bounds) override { client.setBounds(bounds); }
};

class RedirectedFtp : public Redirected<FtpDownload, ClientFtpDownload> {
public:
    using Redirected::Redirected;
    bool connect(const std::string& host, int wanted) override
    {
        return client.connect(host, redirect(wanted));
    }
    bool login(const std::string& user, const std::string& password) override
    {
        return client.login(user, password);
    }
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                            const std::string& representationType, bool passive) override
    {
        return client.downloadRemoteFile(remotePath, localPath, representationType, passive);
    }
    void quit() override { client.quit(); }
    std::string failure() const override { return client.failure(); }
    void setBounds(const TransferBounds& bounds) override { client.setBounds(bounds); }
};

class ServerDialog : public TestDialog {
public:
    ServerDialog()
    {
        downloadClients = [this](DataFileDownload& download) {
            download.setHttpFactory(
                [this] { return std::make_unique<RedirectedHttp>(serverPort, askedPorts); });
            download.setFtpFactory(
                [this] { return std::make_unique<RedirectedFtp>(serverPort, askedPorts); });
        };
    }

    int serverPort = 0;
    std::vector<int> askedPorts;
};

class RealServerDownload : public Wizard {
protected:
    void SetUp() override
    {
        Wizard::SetUp();
        sample = readFile(distFile("sample-batterydata.xml"));
        fs::create_directories(served / "data");
        writeFile(served / "data" / "packs.xml", sample);
    }

    ServerDialog& openOn(int port)
    {
        auto created = std::make_unique<ServerDialog>();
        ServerDialog& server = *created;
        server.serverPort = port;
        dialog = std::move(created);
        dialog->show();
        return server;
    }

    // Row 1's type list on page 2 names the packs the file offers.
    void expectPacksListed()
    {
        QStringList names;
        for (const auto& pack : dialog->getController().getBatteryPacks())
            names << QString::fromStdString(pack->getName());
        EXPECT_EQ(names.size(), 6);
        EXPECT_EQ(comboEntries("1017"), names);
        EXPECT_TRUE(button("1001")->isEnabled()) << mainText().toStdString();
    }

    fs::path served = fs::absolute("served");
    std::string sample;
};

TEST_F(RealServerDownload, HttpChoiceFetchesFromNginxAndListsThePacks)
{
    const NginxServer nginx(dir.path() / "nginx", served);
    ASSERT_TRUE(nginx.running()) << nginx.failure();
    writeSettings("http.server = 127.0.0.1\nhttp.path = /data\nhttp.file = packs.xml");
    ServerDialog& server = openOn(nginx.port());

    radio("1006")->click();
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 2);
    EXPECT_EQ(server.askedPorts, std::vector<int>{80});
    EXPECT_EQ(dialog->getDataFilePath(), "packs.xml");
    EXPECT_EQ(readFile("packs.xml"), sample) << "saved byte for byte as served";
    EXPECT_TRUE(mainText().startsWith(qt("label.configurehttp") + qt("label.connecthttp") + "\n" +
                                      qt("label.downloading") + "\n" + qt("label.parsingfile")))
        << mainText().toStdString();
    expectPacksListed();
}

TEST_F(RealServerDownload, FtpChoiceFetchesFromPyftpdlibAndListsThePacks)
{
    const PyFtpServer ftpd(dir.path() / "ftpd", served);
    ASSERT_TRUE(ftpd.running()) << ftpd.failure();
    writeSettings("ftp.server = 127.0.0.1\nftp.user = anonymous\nftp.password = varnel@\nftp.path = data\n"
                  "ftp.file = packs.xml");
    ServerDialog& server = openOn(ftpd.port());

    // Page 1 never shows the FTP choice; the dispatch on page 2 still honours it.
    radio("1007")->setChecked(true);
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 2);
    EXPECT_EQ(server.askedPorts, std::vector<int>{21});
    EXPECT_EQ(dialog->getDataFilePath(), "packs.xml");
    EXPECT_EQ(withoutCarriageReturns(readFile("packs.xml")), withoutCarriageReturns(sample));
    EXPECT_FALSE(fs::exists("packs.xml.part"));
    EXPECT_TRUE(mainText().contains("\n" + qt("label.downloading") + "\n" + qt("msg.filedownloaded") + "\n" +
                                    qt("label.parsingfile")))
        << mainText().toStdString();
    expectPacksListed();
}

// Press and release through the application's event queue, as a user's click arrives.
void clickAsAUserWould(QWidget* widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

TEST_F(RealServerDownload, CancelStopsADownloadAndTheWizardGoesOn)
{
    std::atomic<bool> stop{false};
    ScriptedServer server([&stop](TestPeer& peer) {
        for (std::string line = peer.readLine(); !line.empty() && line != "\r\n"; line = peer.readLine()) {
        }
        peer.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        for (int i = 0; i < 300 && !stop.load(); ++i) {
            peer.send("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    writeFile("packs.xml", "the previous copy");
    writeSettings("http.server = 127.0.0.1\nhttp.file = packs.xml");
    openOn(server.port());
    radio("1006")->click();
    // While the download runs only Cancel takes a click: Back is ignored, Cancel stops the download, not the
    // wizard.
    QTimer::singleShot(800, [this] {
        clickAsAUserWould(button("1002"));
        clickAsAUserWould(button("1000"));
    });
    button("1001")->click();
    stop.store(true);
    EXPECT_EQ(dialog->getPage(), 2);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->getDataFilePath().empty());
    EXPECT_EQ(readFile("packs.xml"), "the previous copy");
    EXPECT_TRUE(mainText().contains("cancelled")) << mainText().toStdString();
    EXPECT_TRUE(mainText().endsWith(qt("label.unabletocontinue"))) << mainText().toStdString();
    // The page is usable again: Back leads to page 1.
    ASSERT_TRUE(button("1002")->isEnabled());
    clickAsAUserWould(button("1002"));
    EXPECT_EQ(dialog->getPage(), 1);
}

} // namespace
} // namespace varnel::test
