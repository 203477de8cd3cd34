// The three ways page 2 obtains the battery data file.
#include "app/VarnelDialog.h"

#include "download/DataFileDownload.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include <utility>

namespace varnel {

namespace {
constexpr const char* kFileFilter = "XML Configuration Files (*.xml)";
} // namespace

DataFileDownload VarnelDialog::dataFileDownload()
{
    // The routine's first text is its heading: it replaces whatever the page showed.
    bool headingShown = false;
    auto show = [this, headingShown](const char* statusText, std::uint32_t newLine) mutable {
        if (!headingShown) {
            headingShown = true;
            setMainText(statusText != nullptr ? statusText : "");
            layout.mainText->show();
            return;
        }
        appendStatus(statusText, newLine);
    };
    DataFileDownload download(controller.getSettings(), controller.getMessages(), std::move(show));
    download.setStepRunner([this](const std::function<bool()>& step) { return runBlocking(step); });
    download.setCancelFlag(&downloadCancel);
    download.setContentCheck(&VarnelController::isDataFile);
    backend->configureDownload(download);
    return download;
}

void VarnelDialog::downloadByHttp()
{
    dataFilePath.clear();
    const CancellableDownload cancellable(*this);
    dataFilePath = dataFileDownload().downloadByHttp();
}

void VarnelDialog::downloadByFtp()
{
    dataFilePath.clear();
    const CancellableDownload cancellable(*this);
    dataFilePath = dataFileDownload().downloadByFtp();
}

VarnelDialog::CancellableDownload::CancellableDownload(VarnelDialog& dialog) : dialog(dialog)
{
    dialog.downloadCancel.store(false);
    dialog.downloading = true;
    dialog.runner.setInputTarget(dialog.layout.cancelButton);
}

VarnelDialog::CancellableDownload::~CancellableDownload()
{
    dialog.runner.setInputTarget(nullptr);
    dialog.downloading = false;
}

void VarnelDialog::selectLocalFile()
{
    setMainText(text("label.selectlocalblurb"));
    layout.mainText->show();
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
        layout.mainText->setText("");
    } else {
        setMainText(text("msg.nofileselected"));
    }
}

} // namespace varnel
