#include "app/VarnelDialog.h"

#include "app/VarnelStatic.h"
#include "controller/UnitLabels.h"
#include "controller/UpdateAdapter.h"
#include "controller/UpdateNarrator.h"
#ifndef VARNEL_WITHOUT_CHART
#include "chart/RuntimeChart.h"
#endif

#include "device/VarnelDevice.h"
#include "platform/Sleep.h"
#include "settings/CatalogueText.h"
#include "settings/I18N.h"
#include "settings/LicenceNotice.h"
#include "settings/ShownText.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

// Resources of a static library must be registered by name before first use.
static void registerResources()
{
    Q_INIT_RESOURCE(varnel);
}

namespace varnel {

namespace {

QIcon applicationIcon()
{
    registerResources();
    QIcon result;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        result.addFile(QString(":/varnel/varnel-%1.png").arg(size), QSize(size, size));
    return result;
}

// Texts are narrow; the catalogue writes line breaks as CR LF, the widgets want LF.
QString toQt(const std::string& value)
{
    QString result = QString::fromLocal8Bit(value.data(), static_cast<qsizetype>(value.size()));
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return result;
}

} // namespace

VarnelDialog::VarnelDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), icon(applicationIcon()),
      layout(*this), backend(std::make_unique<WizardBackend>(controller)), runner(*this)
{
    setWindowTitle("Varnel");
    setWindowIcon(icon);
    setModal(true);
    connectControls();
    runner.setIndicator(layout.busyIndicator);
    selectedDevice = nullptr;
    dataFilePath.clear();
    enterPage1();
    focusFirstControl();
}

VarnelDialog::~VarnelDialog() = default;

// Every question shows texts from units, files and the catalogue, which Qt
// would otherwise guess to be markup: a unit reporting "<b>" must not change
// what the technician reads.
bool VarnelDialog::askYesNo(const QString& question, const QString& title)
{
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? windowTitle() : title, question,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return box.standardButton(box.clickedButton()) == QMessageBox::Yes;
}

void VarnelDialog::focusFirstControl()
{
    auto usable = [](QWidget* widget) { return !widget->isHidden() && widget->isEnabled(); };
    QWidget* target = nullptr;
    for (QWidget* control : layout.controlsInScreenOrder()) {
        if (control == layout.internalOnlyButton)
            break;
        if (usable(control)) {
            target = control;
            break;
        }
    }
    // Tab enters a radio group on its checked button; so does this.
    if (qobject_cast<QRadioButton*>(target) != nullptr)
        for (QRadioButton* other : {layout.httpChoice, layout.localFileChoice, layout.ftpChoice})
            if (usable(other) && other->isChecked())
                target = other;
    for (QWidget* button :
         {layout.nextButton, layout.backButton, layout.internalOnlyButton, layout.cancelButton})
        if (target == nullptr && usable(button))
            target = button;
    if (target != nullptr)
        target->setFocus(Qt::OtherFocusReason);
}

void VarnelDialog::connectControls()
{
    for (std::size_t row = 0; row < layout.quantityCombos.size(); ++row) {
        connect(layout.quantityCombos[row], &QComboBox::currentIndexChanged, this,
                &VarnelDialog::onPackSelectionChanged);
        connect(layout.typeCombos[row], &QComboBox::currentIndexChanged, this,
                &VarnelDialog::onPackSelectionChanged);
    }
    connect(layout.deviceCombo, &QComboBox::currentIndexChanged, this,
            &VarnelDialog::onDeviceSelectionChanged);
    connect(layout.backButton, &QPushButton::clicked, this, &VarnelDialog::onBack);
    connect(layout.nextButton, &QPushButton::clicked, this, &VarnelDialog::onNext);
    // While a download runs, Cancel stops the download, not the wizard.
    connect(layout.cancelButton, &QPushButton::clicked, this, [this] {
        if (downloading)
            downloadCancel.store(true);
        else
            reject();
    });
    connect(layout.internalOnlyButton, &QPushButton::clicked, this, &VarnelDialog::onInternalBatteriesOnly);
}

void VarnelDialog::setBackend(std::unique_ptr<WizardBackend> replacement)
{
    backend = std::move(replacement);
}

void VarnelDialog::closeEvent(QCloseEvent* event)
{
    // The window manager can still ask to close while a step runs; the step owns the unit until it returns.
    if (runner.isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

const char* VarnelDialog::message(const char* key) const
{
    return catalogueText(controller.getMessages(), key, Missing::Null);
}

std::string VarnelDialog::text(const char* key) const
{
    return catalogueText(controller.getMessages(), key, Missing::Empty);
}

void VarnelDialog::setMainText(const std::string& value)
{
    layout.mainText->setText(toQt(value));
    layout.fitMainText();
}

std::string VarnelDialog::deviceHeading(const VarnelDevice& device) const
{
    return text("label.currentdevice") + " " + UnitLabels::of(controller.getDevices(), device);
}

void VarnelDialog::redraw(QWidget* widget)
{
    layout.fitMainText();
    widget->repaint();
}

void VarnelDialog::appendStatus(const char* statusText, std::uint32_t newLine)
{
    if (statusText == nullptr)
        return;
    QString current = layout.mainText->text();
    if (newLine != 0)
        current += '\n';
    current += toQt(statusText);
    layout.mainText->setText(current);
    redraw(layout.mainText);
    sleepMs(0);
}

void VarnelDialog::showStatus(const char* statusText, std::uint32_t newLine)
{
    appendStatus(statusText, newLine);
    redraw(this);
}

StatusCallback VarnelDialog::statusCallback()
{
    return runner.marshal(
        [this](const char* statusText, std::uint32_t newLine) { showStatus(statusText, newLine); });
}

StatusCallback VarnelDialog::scanStatusCallback()
{
    // One line per event, whatever the protocol: the protocol classes announce
    // each unit they start to read and dot their table reads, each at its own
    // pace, and the controller then says the unit was found. That last line
    // stays, naming the unit and its port; the announcements and dots go.
    return runner.marshal([this](const char* statusText, std::uint32_t newLine) {
        if (statusText == nullptr || newLine == 0)
            return;
        const std::string shown = statusText;
        if (shown == catalogueText(controller.getMessages(), "msg.foundandloading", Missing::Key))
            return;
        // The step waits until the line is shown, so the unit just added is the list's last.
        const auto& devices = controller.getDevices();
        if (shown == catalogueText(controller.getMessages(), "label.devicediscovered", Missing::Key) &&
            !devices.empty()) {
            const VarnelDevice& unit = *devices.back();
            const std::string port = shownText(UnitLabels::portLeaf(unit.getPortName()));
            showStatus(
                (shown + " " + UnitLabels::plain(unit) + (port.empty() ? "" : " (" + port + ")")).c_str(), 1);
            return;
        }
        showStatus(statusText, 1);
    });
}

bool VarnelDialog::runBlocking(const std::function<bool()>& step)
{
    return runner.run(step);
}

void VarnelDialog::resetControls()
{
    // Hiding or disabling the control that has the focus hands it on along the
    // tab chain, to Cancel at last, where a Space pressed while the page's step
    // runs would end the wizard. The dialog keeps it meanwhile.
    setFocus(Qt::OtherFocusReason);
    layout.resetControls();
}

void VarnelDialog::enterPage1()
{
    resetControls();
    page = 1;
    dataFilePath.clear();
    setWindowTitle(QString("Varnel Version ") + version);
    layout.mainText->setText("Loading Application...");
    layout.mainText->show();
    redraw(this);
    if (!controller.init(statusCallback()))
        return;
    layout.sidePanel->setPlainText(toQt(text("label.techsupport") + "\r\n\r\nVersion " + version + "\r\n" +
                                        copyrightNotice + "\r\n\r\n" + licenceNotice));
    setMainText(text("label.welcome"));
    layout.httpChoice->setText(toQt(text("label.httpdownload")));
    DialogLayout::fitCaption(layout.httpChoice);
    layout.httpChoice->show();
    layout.httpChoice->setChecked(false);
    layout.localFileChoice->setText(toQt(text("label.uselocalfile")));
    DialogLayout::fitCaption(layout.localFileChoice);
    layout.localFileChoice->show();
    layout.localFileChoice->setChecked(true);
    layout.nextButton->setEnabled(true);
    layout.backButton->setEnabled(false);
    redraw(this);
}

void VarnelDialog::enterPage2()
{
    setWindowTitle(toQt(text("label.page2")));
    page = 2;
    resetControls();
    layout.mainText->setText("");
    layout.backButton->setEnabled(true);
    redraw(this);
    if (!dataFilePath.empty()) {
        if (askYesNo(toQt(text("msg.alreadyhavefile")))) {
            enterPage1();
            return;
        }
        setMainText(text("label.skipfiledownload"));
        layout.mainText->show();
        layout.mainText->setEnabled(true);
        redraw(layout.mainText);
        layout.nextButton->setEnabled(true);
        redraw(this);
        return;
    }

    if (layout.httpChoice->isChecked())
        downloadByHttp();
    else if (layout.ftpChoice->isChecked())
        downloadByFtp();
    else
        selectLocalFile();
    if (dataFilePath.empty()) {
        appendStatus(message("label.unabletocontinue"), 1);
        layout.mainText->show();
        redraw(this);
        return;
    }
    appendStatus(message("label.parsingfile"), 1);
    const std::string path = dataFilePath;
    if (!runBlocking([this, &path] { return backend->loadDataFile(path); })) {
        appendStatus(message("msg.parsefailed"), 1);
        redraw(this);
        return;
    }
    appendStatus(controller.fileVersionText("label.fileparsed", Missing::Empty).c_str(), 1);
    // Beside version and date, so it can be held against the publisher's checksum.
    if (!controller.getFileDigest().empty())
        appendStatus(("SHA-256 " + controller.getFileDigest()).c_str(), 1);
    // Only shows what the file offers; choosing in it has no effect.
    QComboBox* firstTypes = layout.typeCombos[0];
    packSelectionActive = false;
    firstTypes->clear();
    for (const std::string& name : controller.packNames())
        firstTypes->addItem(toQt(name));
    firstTypes->setCurrentIndex(0);
    firstTypes->show();
    // The text was fitted while nothing stood below it; now the list does.
    redraw(this);
    layout.nextButton->setEnabled(true);
    layout.backButton->setEnabled(true);
}

void VarnelDialog::enterPage3()
{
    setWindowTitle(toQt(text("label.page3")));
    page = 3;
    resetControls();
    layout.backButton->setEnabled(true);
    if (selectedDevice != nullptr) {
        std::string question = deviceHeading(*selectedDevice) + "\n" + text("label.discoveragain");
        if (!askYesNo(toQt(question), toQt(text("label.askdiscoveragain")))) {
            setMainText(text("label.skipdiscovery"));
            layout.mainText->show();
            layout.mainText->setEnabled(true);
            redraw(layout.mainText);
            layout.nextButton->setEnabled(true);
            return;
        }
    }
    selectedDevice = nullptr;
    setMainText(text("label.discoverdevices"));
    layout.mainText->show();
    layout.mainText->setEnabled(true);
    redraw(layout.mainText);

    std::vector<std::unique_ptr<VarnelDevice>>* found = nullptr;
    StatusCallback callback = scanStatusCallback();
    scannedValues.clear();
    runBlocking([this, &found, &callback] {
        found = &backend->scanForDevices(callback);
        return true;
    });
    if (found != nullptr)
        for (const auto& unit : *found)
            scannedValues[unit.get()] = ConfigurationValues::of(*unit);
    if (found == nullptr || found->empty()) {
        appendStatus(message("msg.nodevices"), 1);
        return;
    }
    if (found->size() == 1) {
        appendStatus(message("label.discoveredonedevice"), 1);
        selectedDevice = found->front().get();
        appendStatus(shownText(selectedDevice->getVendorName()).c_str(), 1);
        appendStatus(" : ", 0);
        appendStatus(shownText(selectedDevice->getProductName()).c_str(), 0);
    } else {
        appendStatus(message("label.discoveredmultipledevices"), 1);
        {
            // Filling the list is not the user choosing a unit.
            QSignalBlocker blocker(layout.deviceCombo);
            layout.deviceCombo->clear();
            for (const std::string& label : UnitLabels::of(*found))
                layout.deviceCombo->addItem(toQt(label));
            layout.deviceCombo->setCurrentIndex(0);
        }
        selectedDevice = found->front().get();
        layout.deviceCombo->show();
        redraw(this);
    }
    appendStatus(message("label.postdiscover"), 1);
    layout.nextButton->setEnabled(true);
}

void VarnelDialog::onDeviceSelectionChanged(int index)
{
    auto& devices = controller.getDevices();
    // An emptied list reports -1: nothing is chosen then.
    if (index >= 0 && static_cast<std::size_t>(index) < devices.size())
        selectedDevice = devices[static_cast<std::size_t>(index)].get();
}

void VarnelDialog::enterPage4()
{
    setWindowTitle(toQt(text("label.page4")));
    page = 4;
    resetControls();
    layout.backButton->setEnabled(true);
    layout.internalOnlyButton->setEnabled(true);
    layout.internalOnlyButton->show();
    std::string description;
    if (selectedDevice != nullptr) {
        description = deviceHeading(*selectedDevice) + "\n" + text("label.currentinternalbatteries") + " = " +
                      std::to_string(selectedDevice->getInternalBatteryCount()) + "; " +
                      text("label.currentexternalbatteries") + " = " +
                      std::to_string(selectedDevice->getExternalBatteryCount()) + "\n\n" +
                      text("label.selectpacks");
    }
    setMainText(description);
    layout.mainText->show();
    layout.mainText->setEnabled(true);
    redraw(layout.mainText);
    packSelectionActive = true;
    const std::vector<std::string> names = controller.packNames();
    for (std::size_t row = 0; row < layout.quantityCombos.size(); ++row) {
        QSignalBlocker quantityBlocker(layout.quantityCombos[row]);
        QSignalBlocker typeBlocker(layout.typeCombos[row]);
        layout.quantityCombos[row]->clear();
        for (int quantity = 0; quantity < DialogLayout::quantityEntries; ++quantity)
            layout.quantityCombos[row]->addItem(QString::number(quantity));
        layout.quantityCombos[row]->setCurrentIndex(0);
        layout.quantityCombos[row]->show();
        layout.typeCombos[row]->clear();
        layout.typeCombos[row]->addItem(toQt(text("label.batterypacknotlisted")));
        for (const std::string& name : names)
            layout.typeCombos[row]->addItem(toQt(name));
        layout.typeCombos[row]->setCurrentIndex(0);
        layout.typeCombos[row]->show();
    }
    layout.nextButton->setEnabled(false);
    redraw(this);
}

void VarnelDialog::onPackSelectionChanged()
{
    if (!packSelectionActive)
        return;
    bool chosen = false;
    for (std::size_t row = 0; row < layout.quantityCombos.size(); ++row)
        chosen = chosen || (layout.quantityCombos[row]->currentIndex() > 0 &&
                            layout.typeCombos[row]->currentIndex() > 0);
    layout.nextButton->setEnabled(chosen);
    // A look ahead at what page 5 would write; the unit's record stays as it is.
    layout.hideRuntimeChart();
    if (chosen && selectedDevice != nullptr) {
        layout.runtimeChart->setPicture(
            controller.plannedPicture(*selectedDevice, scannedBatteryTable(), chosenQuantities()),
            controller.getMessages());
        layout.showRuntimeChart(page);
    }
}

std::vector<std::uint8_t> VarnelDialog::scannedBatteryTable() const
{
    const auto scanned = scannedValues.find(selectedDevice);
    if (scanned != scannedValues.end())
        return scanned->second.batteryTableValues;
    return selectedDevice != nullptr ? selectedDevice->getBatteryTableValues() : std::vector<std::uint8_t>{};
}

std::vector<std::uint32_t> VarnelDialog::chosenQuantities() const
{
    std::vector<std::uint32_t> quantities(controller.getBatteryPacks().size(), 0);
    for (std::size_t row = 0; row < layout.quantityCombos.size(); ++row) {
        int type = layout.typeCombos[row]->currentIndex();
        int quantity = layout.quantityCombos[row]->currentIndex();
        // The list may hold more entries than packs if the catalogue lost its first one.
        if (type > 0 && static_cast<std::size_t>(type) <= quantities.size() && quantity > 0)
            quantities[static_cast<std::size_t>(type - 1)] += static_cast<std::uint32_t>(quantity);
    }
    return quantities;
}

void VarnelDialog::showRuntimeChart(const VarnelDevice& device, const std::vector<std::uint8_t>& before,
                                    const std::vector<std::uint8_t>& after, const char* afterKey,
                                    std::int32_t externalBatteries)
{
    const RuntimePicture picture = controller.runtimePicture(device, before, after, externalBatteries);
    layout.runtimeChart->setPicture(picture, controller.getMessages(), afterKey);
    layout.showRuntimeChart(page);
}

void VarnelDialog::onInternalBatteriesOnly()
{
    enterPage5(true);
    focusFirstControl();
}

// Page 5's side of an update: the steps run while the window keeps painting,
// their texts go to the main text area, the questions to message boxes, and
// the outcome to the chart.
class VarnelDialog::UpdateOnPage : public UpdateAdapter {
public:
    UpdateOnPage(VarnelDialog& dialog, const VarnelDevice* device)
        : dialog(dialog), device(device), status(dialog.statusCallback())
    {
    }

    void show(const char* text, std::uint32_t newLine) override { status(text, newLine); }
    void heading(const char* text) override
    {
        dialog.setMainText(text != nullptr ? text : "");
        dialog.layout.mainText->show();
        dialog.redraw(&dialog);
    }
    Missing missingHeading() const override { return Missing::Empty; }
    bool runStep(const std::function<bool()>& step) override { return dialog.runBlocking(step); }
    std::optional<bool> ask(const std::string& question) override { return dialog.askYesNo(toQt(question)); }
    void report(const ConfigurationUpdate& update, const ConfigurationUpdate* restore) override
    {
        if (device == nullptr)
            return;
        dialog.showOutcomeChart(*device, update, restore);
        if (restore == nullptr && update.computed() && !update.validated())
            dialog.appendStatus(dialog.message("msg.chart.notwritten"), 1);
    }

private:
    VarnelDialog& dialog;
    const VarnelDevice* device;
    StatusCallback status;
};

void VarnelDialog::enterPage5(bool internalOnly)
{
    setWindowTitle(toQt(text("label.page5")));
    page = 5;
    resetControls();
    layout.backButton->setEnabled(true);
    const std::vector<std::uint32_t> batteryPackQuantities =
        internalOnly ? std::vector<std::uint32_t>(controller.getBatteryPacks().size(), 0)
                     : chosenQuantities();
    VarnelDevice* device = selectedDevice;
    UpdateOnPage adapter(*this, device);
    const UpdateNarrator narrator(controller.getMessages(), adapter);
    narrator.packsChosen(controller.chosenPackLines(batteryPackQuantities), internalOnly);
    redraw(this);
    // Page 5 is reachable only with a unit chosen; without one there is nothing to compute for.
    if (device == nullptr) {
        narrator.computing();
        narrator.computed(false);
        return;
    }
    // Another run after a failed one starts from what the unit held, not from
    // the last computation, so its backup and a restore keep the unit's own values.
    if (const auto scanned = scannedValues.find(device); scanned != scannedValues.end())
        scanned->second.applyTo(*device);
    const ConfigurationUpdate update =
        controller.applyConfiguration(*device, batteryPackQuantities, UpdateMode::write, adapter);
    // A failed computation or save leaves Back enabled, for another selection and another run.
    if (update.restored == UpdateOutcome::validated || !update.saved())
        return;
    layout.backButton->setEnabled(false);
    layout.nextButton->setEnabled(false);
    layout.cancelButton->setText(toQt(text("label.done")));
    redraw(this);
}

void VarnelDialog::showOutcomeChart(const VarnelDevice& device, const ConfigurationUpdate& update,
                                    const ConfigurationUpdate* restore)
{
    // Beside the table the scan read, only what the unit is known to hold
    // now: a computed table that did not reach it would read as its runtime.
    std::vector<std::uint8_t> held;
    // The estimate only for packs the unit is known to count now.
    std::int32_t external = 0;
    if (restore != nullptr) {
        // Written back and checked, the unit holds the scanned table again.
        if (restore->readBack && !restore->validated())
            held = restore->readBack->batteryTableValues;
    } else if (update.readBack) {
        held = update.readBack->batteryTableValues;
        if (update.validated())
            external = update.readBack->externalBatteryCount;
    } else if (update.validated()) {
        held = update.after.batteryTableValues; // the check found exactly these
        external = update.after.externalBatteryCount;
    }
    showRuntimeChart(device, update.before.batteryTableValues, held, "label.chart.readback", external);
}

void VarnelDialog::onBack()
{
    switch (page) {
    case 2:
        enterPage1();
        break;
    case 3:
        enterPage2();
        break;
    case 4:
        enterPage3();
        break;
    case 5:
        enterPage4();
        break;
    default:
        return;
    }
    focusFirstControl();
}

void VarnelDialog::onNext()
{
    switch (page) {
    case 1:
        enterPage2();
        break;
    case 2:
        enterPage3();
        break;
    case 3:
        enterPage4();
        break;
    case 4:
        enterPage5(false);
        break;
    default:
        return;
    }
    focusFirstControl();
}

} // namespace varnel
