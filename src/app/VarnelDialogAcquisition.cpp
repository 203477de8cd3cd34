// The three ways page 2 obtains the battery data file.
#include "app/VarnelDialog.h"

#include "settings/Log.h"

#include <QFileDialog>
#include <QLabel>

namespace varnel {

namespace {

// "path/file", without adding a leading "/".
std::string remoteTarget(const std::string& path, const std::string& file) {
    std::string target;
    if (!path.empty())
        target = path + "/";
    if (!file.empty())
        target += file;
    return target;
}

} // namespace

void VarnelDialog::downloadByHttp() {
    mainText->setText(QString::fromStdString(text("label.configurehttp")));
    mainText->show();
    dataFilePath.clear();
    std::string server = controller.setting("http.server", "");
    if (server.empty()) {
        appendStatus(message("msg.noserveraddress"), 1);
        return;
    }
    appendStatus(message("label.connecthttp"), 0);
    log() << "Attempting to connect to HTTP server at " << server << std::endl;
    std::string target = remoteTarget(controller.setting("http.path", ""), controller.setting("http.file", ""));
    (void)target;
    // The HTTP client is not part of this build yet.
    appendStatus(message("msg.failedconnect"), 1);
}

void VarnelDialog::downloadByFtp() {
    mainText->setText(QString::fromStdString(text("label.configureftp")));
    mainText->show();
    dataFilePath.clear();
    std::string server = controller.setting("ftp.server", "");
    if (server.empty()) {
        appendStatus(message("msg.noserveraddress"), 1);
        return;
    }
    appendStatus(message("label.connectftp"), 1);
    log() << "Attempting to connect to FTP server at " << server << std::endl;
    std::string target = remoteTarget(controller.setting("ftp.path", ""), controller.setting("ftp.file", ""));
    (void)target;
    // The FTP client is not part of this build yet.
    appendStatus(message("msg.failedconnect"), 1);
}

void VarnelDialog::selectLocalFile() {
    mainText->setText(QString::fromStdString(text("label.selectlocalblurb")));
    mainText->show();
    dataFilePath.clear();
    QFileDialog fd(this);
    fd.setObjectName("fileDialog");
    fd.setFileMode(QFileDialog::ExistingFile);
    fd.setAcceptMode(QFileDialog::AcceptOpen);
    fd.setNameFilter("XML Configuration Files (*.xml)");
    // Qt's own dialog behaves the same on every desktop and under test.
    fd.setOption(QFileDialog::DontUseNativeDialog, true);
    if (fd.exec() == QDialog::Accepted && !fd.selectedFiles().isEmpty()) {
        dataFilePath = QFileInfo(fd.selectedFiles().first()).absoluteFilePath().toStdString();
        mainText->setText("");
    } else {
        mainText->setText(QString::fromStdString(text("msg.nofileselected")));
    }
}

} // namespace varnel
