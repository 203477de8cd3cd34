#include "app/WizardHarness.h"

#include "download/DataFileDownload.h"
#include "settings/MessageFormat.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace varnel::test {

namespace {

QString asShown(const char* text)
{
    QString result = QString::fromLocal8Bit(text != nullptr ? text : "");
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return result;
}

// Polls for the modal window a step opens; stops when the test lets go of its
// answer, and gives up after a while so a missing dialog fails the test
// instead of hanging it. The limit is in time, not in polls: on a loaded
// machine the step before the dialog (a scan, a wait) can take many seconds.
template <typename Handle>
void whenModal(std::weak_ptr<ModalAnswer> answer, Handle handle,
               std::chrono::steady_clock::time_point giveUp = std::chrono::steady_clock::now() +
                                                              std::chrono::seconds(60))
{
    QTimer::singleShot(10, [answer, handle, giveUp] {
        auto keep = answer.lock();
        if (!keep)
            return;
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && handle(*keep, modal)) {
            keep->answered = true;
            return;
        }
        if (std::chrono::steady_clock::now() < giveUp) {
            whenModal(answer, handle, giveUp);
            return;
        }
        // Unanswered: close it so the test fails on its checks instead of
        // waiting in the dialog until the test runner kills it.
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
}

class FakeHttpDownload : public HttpDownload {
public:
    explicit FakeHttpDownload(HttpScript& script) : script(script) {}
    bool connect(const std::string& host, int port, bool) override
    {
        script.requested.push_back("connect " + host + ":" + std::to_string(port));
        return script.connects;
    }
    bool get(const std::string& target, const HttpClient::BodySink& sink, HttpResponseHead& head) override
    {
        script.requested.push_back("get " + target);
        head.status = 200;
        for (const std::string& line : script.body)
            if (!sink(line))
                return false;
        return script.gets;
    }

private:
    HttpScript& script;
};

class FakeFtpDownload : public FtpDownload {
public:
    explicit FakeFtpDownload(FtpScript& script) : script(script) {}
    bool connect(const std::string& host, int port) override
    {
        script.calls.push_back("connect " + host + ":" + std::to_string(port));
        return script.connects;
    }
    bool login(const std::string& user, const std::string& password) override
    {
        script.calls.push_back("login " + user + " " + password);
        return script.logsIn;
    }
    bool downloadRemoteFile(const std::string& remotePath, const std::string& localPath,
                            const std::string& representationType, bool passive) override
    {
        // The transfer lands in a side file beside the copy; the copy's name is what the test follows.
        script.calls.push_back("retr " + remotePath + " " + localPath.substr(0, localPath.find(".part-")) +
                               " " + representationType + (passive ? " passive" : " active"));
        if (!script.downloads)
            return false;
        std::ofstream(localPath, std::ios::binary) << script.content;
        return true;
    }
    void quit() override { script.calls.push_back("quit"); }

private:
    FtpScript& script;
};

} // namespace

FakeDevice::FakeDevice(const std::string& vendor, const std::string& product, std::uint8_t internalCount,
                       std::int32_t externalCount, bool saves)
    : saves(saves)
{
    setVendorName(vendor);
    setProductName(product);
    setInternalBatteryCount(internalCount);
    setInternalBatteryType(1);
    setExternalBatteryCount(externalCount);
    setConfigurationInfo(0x01u);
    setBatteryTableValues(std::vector<std::uint8_t>(20, 7));
    setCTableValues(std::vector<std::uint8_t>(9, 7));
}

void FakeDevice::setPort(const std::string& name)
{
    PortDescriptor descriptor{};
    descriptor.portName = name.c_str();
    setPortInfo(descriptor);
}

bool FakeDevice::save()
{
    ++saveCalls;
    return saves;
}

namespace {

class TestBackend : public WizardBackend {
public:
    explicit TestBackend(TestDialog& dialog) : WizardBackend(dialog.getController()), dialog(dialog) {}

    std::vector<std::unique_ptr<VarnelDevice>>& scanForDevices(const StatusCallback& callback) override
    {
        ++dialog.scans;
        auto& devices = controller.getDevices();
        controller.clearDevices();
        for (const UnitSpec& unit : dialog.units) {
            auto device = std::make_unique<FakeDevice>(unit.vendor, unit.product, unit.internalCount,
                                                       unit.externalCount, unit.saves);
            if (!unit.port.empty())
                device->setPort(unit.port);
            devices.push_back(std::move(device));
        }
        if (callback)
            callback("scanned", 1);
        return devices;
    }
    void configureDownload(DataFileDownload& download) override { dialog.downloadClients(download); }

private:
    TestDialog& dialog;
};

} // namespace

TestDialog::TestDialog()
    : downloadClients([this](DataFileDownload& download) {
          download.setHttpFactory([this] { return std::make_unique<FakeHttpDownload>(http); });
          download.setFtpFactory([this] { return std::make_unique<FakeFtpDownload>(ftp); });
      })
{
    setBackend(std::make_unique<TestBackend>(*this));
    UpdateSteps steps;
    steps.compute = [this](VarnelDevice& device, const std::vector<std::uint32_t>& quantities,
                           const StatusCallback& callback) {
        computedQuantities = quantities;
        if (computeResult)
            return *computeResult;
        return getController().computeConfiguration(device, quantities, callback);
    };
    // The fake units have no port to read them again from.
    steps.identify = [](const VarnelDevice&) { return true; };
    steps.validate = [this](VarnelDevice&, const StatusCallback&) { return validateResult; };
    getController().setUpdateSteps(std::move(steps));
}

void Wizard::SetUp()
{
    std::filesystem::copy_file(distFile("varnelstrings.en"), "varnelstrings.en",
                               std::filesystem::copy_options::overwrite_existing);
    writeSettings("");
}

void Wizard::TearDown()
{
    dialog.reset();
    realDialog.reset();
}

void Wizard::writeSettings(const std::string& extra)
{
    writeFile("varnel.ini", readFile(distFile("varnel.ini")) + "\n" + extra + "\n");
}

TestDialog& Wizard::open()
{
    dialog = std::make_unique<TestDialog>();
    dialog->show();
    return *dialog;
}

VarnelDialog& Wizard::openReal()
{
    realDialog = std::make_unique<VarnelDialog>();
    realDialog->show();
    return *realDialog;
}

VarnelDialog& Wizard::window() const
{
    return realDialog ? *realDialog : *dialog;
}

QPushButton* Wizard::button(const char* id) const
{
    return window().findChild<QPushButton*>(id);
}

QComboBox* Wizard::combo(const char* id) const
{
    return window().findChild<QComboBox*>(id);
}

QRadioButton* Wizard::radio(const char* id) const
{
    return window().findChild<QRadioButton*>(id);
}

QLabel* Wizard::mainTextLabel() const
{
    return window().findChild<QLabel*>("1005");
}

QString Wizard::mainText() const
{
    return mainTextLabel()->text();
}

QString Wizard::qt(const char* key) const
{
    return asShown(window().message(key));
}

QString Wizard::qt(const char* key, const std::string& argument) const
{
    return asShown(formatMessage(window().message(key), key, {argument}).c_str());
}

std::string Wizard::newestBackup()
{
    // By time written: a second backup within one second is named "-2", which sorts first.
    std::string newest;
    std::filesystem::file_time_type newestTime{};
    if (std::filesystem::is_directory("backups"))
        for (const auto& entry : std::filesystem::directory_iterator("backups"))
            if (newest.empty() || entry.last_write_time() > newestTime) {
                newest = entry.path().generic_string();
                newestTime = entry.last_write_time();
            }
    return newest;
}

QStringList Wizard::comboEntries(const char* id) const
{
    QStringList entries;
    QComboBox* box = combo(id);
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

bool Wizard::readLocalFile(const std::string& path)
{
    if (!dialog && !realDialog)
        open();
    auto answer = ModalAnswer::file(path);
    button("1001")->click();
    return answer->answered && window().getPage() == 2 && button("1001")->isEnabled();
}

void Wizard::discover(std::vector<UnitSpec> found)
{
    dialog->units = std::move(found);
    button("1001")->click();
}

std::shared_ptr<ModalAnswer> ModalAnswer::question(int standardButton)
{
    auto answer = std::make_shared<ModalAnswer>();
    whenModal(answer, [standardButton](ModalAnswer& seen, QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr)
            return false;
        seen.title = box->windowTitle();
        seen.text = box->text();
        QWidget* behind = box->parentWidget() != nullptr ? box->parentWidget() : box;
        for (QLabel* label : behind->findChildren<QLabel*>())
            if (!label->text().isEmpty() && label->textFormat() != Qt::PlainText)
                seen.richLabels << label->text();
        box->button(static_cast<QMessageBox::StandardButton>(standardButton))->click();
        return true;
    });
    return answer;
}

std::shared_ptr<ModalAnswer> ModalAnswer::file(const std::string& path)
{
    auto answer = std::make_shared<ModalAnswer>();
    whenModal(answer, [path](ModalAnswer& seen, QWidget* modal) {
        auto* fd = qobject_cast<QFileDialog*>(modal);
        if (fd == nullptr)
            return false;
        seen.nameFilters = fd->nameFilters();
        if (path.empty()) {
            fd->reject();
            return true;
        }
        // Typed as a user would: selectFile() leaves the name field alone
        // whenever that field has the focus, which depends on when the window
        // system activated the dialog, and the dialog then stays open.
        auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
        if (name != nullptr)
            name->setText(QString::fromStdString(path));
        else
            fd->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(fd)->accept();
        // Still open means it refused the name; try again on the next poll
        // rather than leave the test waiting on it.
        return !fd->isVisible();
    });
    return answer;
}

} // namespace varnel::test
