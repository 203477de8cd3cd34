// The three ways page 2 obtains the battery data file.
#include "app/FtpDownload.h"
#include "app/HttpDownload.h"
#include "app/VarnelDialog.h"

#include "platform/networkSetup.h"
#include "settings/Log.h"

#include <QFileDialog>
#include <QLabel>

#include <fstream>

namespace varnel {

namespace {

constexpr int kHttpPort = 80;
constexpr int kFtpPort = 21;
constexpr const char* kFileFilter = "XML Configuration Files (*.xml)";

// "path/file"; nothing is put in front, so the target starts as the path does.
std::string remoteTarget(const std::string& path, const std::string& file)
{
    std::string target;
    if (!path.empty())
        target = path + "/";
    if (!file.empty())
        target += file;
    return target;
}

} // namespace

void VarnelDialog::downloadByHttp()
{
    setMainText(text("label.configurehttp"));
    mainText->show();
    dataFilePath.clear();
    const std::string server = controller.setting("http.server", "");
    if (server.empty()) {
        appendStatus(message("msg.noserveraddress"), 1);
        return;
    }
    appendStatus(message("label.connecthttp"), 0);
    log() << "Attempting to connect to HTTP server at " << server << std::endl;
    std::unique_ptr<HttpDownload> client = createHttpDownload();
    networkSetup network;
    if (!runBlocking([&] { return client->connect(server, kHttpPort); })) {
        appendStatus(message("msg.failedconnect"), 1);
        return;
    }
    const std::string file = controller.setting("http.file", "");
    const std::string target = remoteTarget(controller.setting("http.path", ""), file);
    appendStatus(message("label.downloading"), 1);
    std::vector<std::string> headers;
    std::vector<std::string> body;
    if (!runBlocking([&] { return client->get(target) && client->parseResponse(headers, body); })) {
        appendStatus(message("msg.faileddownload"), 1);
        return;
    }
    // An empty file name names no file; opening it fails like any unwritable path.
    std::ofstream copy;
    if (!file.empty())
        copy.open(file, std::ios::binary | std::ios::trunc);
    if (!copy.is_open()) {
        appendStatus(message("msg.failedsave"), 1);
        return;
    }
    for (const std::string& line : body)
        copy << line;
    copy.close();
    // A copy cut short (disk full) must not be parsed as if it were whole.
    if (copy.fail()) {
        appendStatus(message("msg.failedsave"), 1);
        return;
    }
    dataFilePath = file;
}

void VarnelDialog::downloadByFtp()
{
    setMainText(text("label.configureftp"));
    mainText->show();
    dataFilePath.clear();
    const std::string server = controller.setting("ftp.server", "");
    if (server.empty()) {
        appendStatus(message("msg.noserveraddress"), 1);
        return;
    }
    appendStatus(message("label.connectftp"), 1);
    log() << "Attempting to connect to FTP server at " << server << std::endl;
    std::unique_ptr<FtpDownload> client = createFtpDownload();
    networkSetup network;
    if (!runBlocking([&] { return client->connect(server, kFtpPort); })) {
        appendStatus(message("msg.failedconnect"), 1);
        return;
    }
    appendStatus(message("label.loginftp"), 1);
    const std::string user = controller.setting("ftp.user", "");
    const std::string password = controller.setting("ftp.password", "");
    if (!runBlocking([&] { return client->login(user, password); })) {
        appendStatus(message("msg.failedlogin"), 1);
        client->quit();
        return;
    }
    const std::string file = controller.setting("ftp.file", "");
    const std::string target = remoteTarget(controller.setting("ftp.path", ""), file);
    appendStatus(message("label.downloading"), 1);
    if (!runBlocking([&] { return client->downloadRemoteFile(target, file, "A", true); })) {
        appendStatus(message("msg.faileddownload"), 1);
        client->quit();
        return;
    }
    client->quit();
    appendStatus(message("msg.filedownloaded"), 1);
    dataFilePath = file;
}

void VarnelDialog::selectLocalFile()
{
    setMainText(text("label.selectlocalblurb"));
    mainText->show();
    dataFilePath.clear();
    QFileDialog fd(this);
    fd.setObjectName("fileDialog");
    fd.setFileMode(QFileDialog::ExistingFile);
    fd.setAcceptMode(QFileDialog::AcceptOpen);
    fd.setNameFilter(kFileFilter);
    // Qt's own dialog looks and behaves the same on every desktop and under test.
    fd.setOption(QFileDialog::DontUseNativeDialog, true);
    if (fd.exec() == QDialog::Accepted && !fd.selectedFiles().isEmpty()) {
        dataFilePath = QFileInfo(fd.selectedFiles().first()).absoluteFilePath().toLocal8Bit().toStdString();
        mainText->setText("");
    } else {
        setMainText(text("msg.nofileselected"));
    }
}

} // namespace varnel
