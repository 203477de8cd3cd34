#include "app/VarnelDialog.h"

#include "app/StatusText.h"

#include "device/VarnelDevice.h"
#include "platform/Sleep.h"
#include "settings/CatalogueText.h"
#include "settings/I18N.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
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

constexpr int kDialogWidth = 600;
constexpr int kDialogHeight = 300;
constexpr int kRows = 3;
constexpr int kQuantityEntries = 10;

struct ControlPlace {
    const char* id;
    int left, top, width, height;
};

// The dialog template, in dialog units: left, top, width, height. The
// drop-down lists take the height their font needs.
constexpr ControlPlace kSidePanel{"1004", 0, 0, 198, 300};
constexpr ControlPlace kMainText{"1005", 210, 6, 378, 118};
constexpr ControlPlace kHttpChoice{"1006", 240, 150, 134, 10};
constexpr ControlPlace kFtpChoice{"1007", 240, 180, 132, 10};
constexpr ControlPlace kLocalChoice{"1008", 239, 179, 136, 13};
constexpr ControlPlace kQuantityCombos[kRows] = {
    {"1016", 210, 138, 30, 12}, {"1018", 210, 168, 30, 12}, {"1019", 210, 198, 30, 12}};
constexpr ControlPlace kTypeCombos[kRows] = {
    {"1017", 252, 138, 270, 12}, {"1020", 252, 168, 270, 12}, {"1021", 252, 198, 270, 12}};
constexpr ControlPlace kDeviceCombo{"1022", 210, 150, 312, 12};
constexpr ControlPlace kInternalOnly{"1009", 204, 270, 132, 18};
constexpr ControlPlace kBack{"1002", 342, 270, 78, 18};
constexpr ControlPlace kNext{"1001", 426, 270, 78, 18};
constexpr ControlPlace kCancel{"1000", 510, 270, 78, 18};
// Not in the template: a thin bar above the buttons while a blocking step runs.
constexpr ControlPlace kBusyIndicator{"busyIndicator", 210, 256, 378, 7};

// The template's font sets the dialog units; every control then gets the
// bold face. Where the Windows faces are missing, fontconfig's
// metric-compatible substitutes stand in.
QFont templateFont()
{
    QFont::insertSubstitutions("MS Shell Dlg",
                               {"Tahoma", "Microsoft Sans Serif", "Liberation Sans", "Arial"});
    QFont result("MS Shell Dlg");
    result.setPointSize(8);
    result.setStyleHint(QFont::SansSerif);
    return result;
}

QFont controlFont()
{
    QFont result("Arial");
    result.setPointSize(10);
    result.setWeight(QFont::Bold);
    result.setStyleHint(QFont::SansSerif);
    return result;
}

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

// Every question shows texts from units, files and the catalogue, which Qt
// would otherwise guess to be markup: a unit reporting "<b>" must not change
// what the technician reads.
bool askYesNo(QWidget* parent, const QString& title, const QString& question)
{
    QMessageBox box(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return box.standardButton(box.clickedButton()) == QMessageBox::Yes;
}

// Widens a radio button to its caption, never past the width it was allowed.
void fitCaption(QRadioButton* radio)
{
    int allowed = radio->property("maxWidth").toInt();
    int wanted = std::min(radio->sizeHint().width(), allowed);
    if (wanted > radio->width())
        radio->resize(wanted, radio->height());
}

} // namespace

VarnelDialog::VarnelDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), icon(applicationIcon()),
      font(controlFont()), units(templateFont()), runner(*this)
{
    setWindowTitle("Varnel");
    setWindowIcon(icon);
    setModal(true);
    createControls();
    runner.setIndicator(busyIndicator);
    selectedDevice = nullptr;
    dataFilePath.clear();
    enterPage1();
}

VarnelDialog::~VarnelDialog() = default;

void VarnelDialog::createControls()
{
    setFont(font);
    auto place = [this](QWidget* widget, const ControlPlace& where) {
        widget->setObjectName(where.id);
        widget->setGeometry(units.toPixels(where.left, where.top, where.width, where.height));
        widget->setFont(font);
    };
    // Drop-down lists and radio buttons are never cut below what their text needs.
    auto atLeastHint = [](QWidget* widget) {
        widget->resize(widget->width(), std::max(widget->height(), widget->sizeHint().height()));
    };

    sidePanel = new VarnelStatic(this);
    place(sidePanel, kSidePanel);
    mainText = new StatusText(this);
    mainText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(mainText, kMainText);

    httpChoice = new QRadioButton("Download Via HTTP", this);
    place(httpChoice, kHttpChoice);
    ftpChoice = new QRadioButton("Download Via FTP", this);
    place(ftpChoice, kFtpChoice);
    localFileChoice = new QRadioButton("Use Local File", this);
    place(localFileChoice, kLocalChoice);
    auto* group = new QButtonGroup(this);
    for (QRadioButton* radio : {httpChoice, ftpChoice, localFileChoice}) {
        group->addButton(radio);
        atLeastHint(radio);
    }
    // Their captions come from the message file and are set later; let them
    // grow to the dialog's right margin rather than cut the text.
    const int rightMargin = units.toPixels(kDialogWidth - 12, 0).width();
    for (QRadioButton* radio : {httpChoice, ftpChoice, localFileChoice})
        radio->setProperty("maxWidth", rightMargin - radio->x());

    for (int row = 0; row < kRows; ++row) {
        auto* quantity = new QComboBox(this);
        place(quantity, kQuantityCombos[row]);
        atLeastHint(quantity);
        quantityCombos.push_back(quantity);
        auto* type = new QComboBox(this);
        place(type, kTypeCombos[row]);
        atLeastHint(type);
        typeCombos.push_back(type);
        connect(quantity, &QComboBox::currentIndexChanged, this, &VarnelDialog::onPackSelectionChanged);
        connect(type, &QComboBox::currentIndexChanged, this, &VarnelDialog::onPackSelectionChanged);
    }
    deviceCombo = new QComboBox(this);
    place(deviceCombo, kDeviceCombo);
    atLeastHint(deviceCombo);
    connect(deviceCombo, &QComboBox::currentIndexChanged, this, &VarnelDialog::onDeviceSelectionChanged);

    internalOnlyButton = new QPushButton("Use Internal Batteries Only", this);
    place(internalOnlyButton, kInternalOnly);
    backButton = new QPushButton("< Back", this);
    place(backButton, kBack);
    nextButton = new QPushButton("Next >", this);
    place(nextButton, kNext);
    cancelButton = new QPushButton("Cancel", this);
    place(cancelButton, kCancel);
    for (QPushButton* button : {internalOnlyButton, backButton, nextButton, cancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(backButton, &QPushButton::clicked, this, &VarnelDialog::onBack);
    connect(nextButton, &QPushButton::clicked, this, &VarnelDialog::onNext);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(internalOnlyButton, &QPushButton::clicked, this, &VarnelDialog::onInternalBatteriesOnly);

    busyIndicator = new QProgressBar(this);
    place(busyIndicator, kBusyIndicator);
    busyIndicator->setRange(0, 0);
    busyIndicator->setTextVisible(false);
    busyIndicator->hide();

    setFixedSize(units.toPixels(kDialogWidth, kDialogHeight));
}

void VarnelDialog::keyPressEvent(QKeyEvent* event)
{
    // Escape cancels like the Cancel button; Enter does nothing, as no button is the default.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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
    mainText->setText(toQt(value));
    fitMainText();
}

std::string VarnelDialog::deviceHeading(const VarnelDevice& device) const
{
    return text("label.currentdevice") + " " + device.getVendorName() + " : " + device.getProductName();
}

void VarnelDialog::fitMainText()
{
    const QRect base = units.toPixels(kMainText.left, kMainText.top, kMainText.width, kMainText.height);
    // Long status logs grow into the empty space below, never over a control that is shown there.
    int floor = units.toPixels(0, kBack.top - 6, 0, 0).top();
    std::vector<QWidget*> below{httpChoice, ftpChoice, localFileChoice, deviceCombo, internalOnlyButton};
    below.insert(below.end(), quantityCombos.begin(), quantityCombos.end());
    below.insert(below.end(), typeCombos.begin(), typeCombos.end());
    for (QWidget* control : below)
        if (!control->isHidden())
            floor = std::min(floor, control->y() - units.toPixels(0, 4).height());
    const int needed = mainText->heightForWidth(base.width());
    const int room = std::max(base.height(), floor - base.top());
    mainText->setGeometry(base.left(), base.top(), base.width(), std::clamp(needed, base.height(), room));
    // When even that is too little, the newest lines are the ones to keep in sight.
    mainText->setAlignment(Qt::AlignLeft | (needed > room ? Qt::AlignBottom : Qt::AlignTop));
}

void VarnelDialog::redraw(QWidget* widget)
{
    fitMainText();
    widget->repaint();
}

void VarnelDialog::appendStatus(const char* statusText, std::uint32_t newLine)
{
    if (statusText == nullptr)
        return;
    QString current = mainText->text();
    if (newLine != 0)
        current += '\n';
    current += toQt(statusText);
    mainText->setText(current);
    redraw(mainText);
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

bool VarnelDialog::runBlocking(const std::function<bool()>& step)
{
    return runner.run(step);
}

void VarnelDialog::resetControls()
{
    nextButton->setEnabled(false);
    backButton->setEnabled(false);
    mainText->hide();
    internalOnlyButton->hide();
    httpChoice->hide();
    ftpChoice->hide();
    localFileChoice->hide();
    for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
        quantityCombos[row]->hide();
        typeCombos[row]->hide();
    }
    deviceCombo->hide();
}

void VarnelDialog::enterPage1()
{
    resetControls();
    page = 1;
    dataFilePath.clear();
    setWindowTitle(QString("Varnel Version ") + version);
    mainText->setText("Loading Application...");
    mainText->show();
    redraw(this);
    if (!controller.init(statusCallback()))
        return;
    sidePanel->setPlainText(toQt(text("label.techsupport") + "\r\n\r\nVersion " + version));
    setMainText(text("label.welcome"));
    httpChoice->setText(toQt(text("label.httpdownload")));
    fitCaption(httpChoice);
    httpChoice->show();
    httpChoice->setChecked(false);
    localFileChoice->setText(toQt(text("label.uselocalfile")));
    fitCaption(localFileChoice);
    localFileChoice->show();
    localFileChoice->setChecked(true);
    nextButton->setEnabled(true);
    backButton->setEnabled(false);
    redraw(this);
}

void VarnelDialog::enterPage2()
{
    setWindowTitle(toQt(text("label.page2")));
    page = 2;
    resetControls();
    mainText->setText("");
    backButton->setEnabled(true);
    redraw(this);
    if (!dataFilePath.empty()) {
        if (askYesNo(this, QString(), toQt(text("msg.alreadyhavefile")))) {
            enterPage1();
            return;
        }
        setMainText(text("label.skipfiledownload"));
        mainText->show();
        mainText->setEnabled(true);
        redraw(mainText);
        nextButton->setEnabled(true);
        redraw(this);
        return;
    }

    if (httpChoice->isChecked())
        downloadByHttp();
    else if (ftpChoice->isChecked())
        downloadByFtp();
    else
        selectLocalFile();
    if (dataFilePath.empty()) {
        appendStatus(message("label.unabletocontinue"), 1);
        mainText->show();
        redraw(this);
        return;
    }
    appendStatus(message("label.parsingfile"), 1);
    const std::string path = dataFilePath;
    if (!runBlocking([this, &path] { return backendLoadDataFile(path); })) {
        appendStatus(message("msg.parsefailed"), 1);
        redraw(this);
        return;
    }
    appendStatus(controller.fileVersionText("label.fileparsed", Missing::Empty).c_str(), 1);
    // Only shows what the file offers; choosing in it has no effect.
    QComboBox* firstTypes = typeCombos[0];
    packSelectionActive = false;
    firstTypes->clear();
    for (const std::string& name : controller.packNames())
        firstTypes->addItem(toQt(name));
    firstTypes->setCurrentIndex(0);
    firstTypes->show();
    // The text was fitted while nothing stood below it; now the list does.
    redraw(this);
    nextButton->setEnabled(true);
    backButton->setEnabled(true);
}

void VarnelDialog::enterPage3()
{
    setWindowTitle(toQt(text("label.page3")));
    page = 3;
    resetControls();
    backButton->setEnabled(true);
    if (selectedDevice != nullptr) {
        std::string question = deviceHeading(*selectedDevice) + "\n" + text("label.discoveragain");
        if (!askYesNo(this, toQt(text("label.askdiscoveragain")), toQt(question))) {
            setMainText(text("label.skipdiscovery"));
            mainText->show();
            mainText->setEnabled(true);
            redraw(mainText);
            nextButton->setEnabled(true);
            return;
        }
    }
    selectedDevice = nullptr;
    setMainText(text("label.discoverdevices"));
    mainText->show();
    mainText->setEnabled(true);
    redraw(mainText);

    std::vector<std::unique_ptr<VarnelDevice>>* found = nullptr;
    StatusCallback callback = statusCallback();
    runBlocking([this, &found, &callback] {
        found = &backendScanForDevices(callback);
        return true;
    });
    if (found == nullptr || found->empty()) {
        appendStatus(message("msg.nodevices"), 1);
        return;
    }
    if (found->size() == 1) {
        appendStatus(message("label.discoveredonedevice"), 1);
        selectedDevice = found->front().get();
        appendStatus(selectedDevice->getVendorName().c_str(), 1);
        appendStatus(" : ", 0);
        appendStatus(selectedDevice->getProductName().c_str(), 0);
    } else {
        appendStatus(message("label.discoveredmultipledevices"), 1);
        {
            // Filling the list is not the user choosing a unit.
            QSignalBlocker blocker(deviceCombo);
            deviceCombo->clear();
            for (const auto& device : *found)
                deviceCombo->addItem(toQt(device->getVendorName() + " : " + device->getProductName()));
            deviceCombo->setCurrentIndex(0);
        }
        selectedDevice = found->front().get();
        deviceCombo->show();
        redraw(this);
    }
    appendStatus(message("label.postdiscover"), 1);
    nextButton->setEnabled(true);
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
    backButton->setEnabled(true);
    internalOnlyButton->setEnabled(true);
    internalOnlyButton->show();
    std::string description;
    if (selectedDevice != nullptr) {
        description = deviceHeading(*selectedDevice) + "\n" + text("label.currentinternalbatteries") + " = " +
                      std::to_string(selectedDevice->getInternalBatteryCount()) + "; " +
                      text("label.currentexternalbatteries") + " = " +
                      std::to_string(selectedDevice->getExternalBatteryCount()) + "\n\n" +
                      text("label.selectpacks");
    }
    setMainText(description);
    mainText->show();
    mainText->setEnabled(true);
    redraw(mainText);
    packSelectionActive = true;
    const std::vector<std::string> names = controller.packNames();
    for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
        QSignalBlocker quantityBlocker(quantityCombos[row]);
        QSignalBlocker typeBlocker(typeCombos[row]);
        quantityCombos[row]->clear();
        for (int quantity = 0; quantity < kQuantityEntries; ++quantity)
            quantityCombos[row]->addItem(QString::number(quantity));
        quantityCombos[row]->setCurrentIndex(0);
        quantityCombos[row]->show();
        typeCombos[row]->clear();
        typeCombos[row]->addItem(toQt(text("label.batterypacknotlisted")));
        for (const std::string& name : names)
            typeCombos[row]->addItem(toQt(name));
        typeCombos[row]->setCurrentIndex(0);
        typeCombos[row]->show();
    }
    nextButton->setEnabled(false);
    redraw(this);
}

void VarnelDialog::onPackSelectionChanged()
{
    if (!packSelectionActive)
        return;
    bool chosen = false;
    for (std::size_t row = 0; row < quantityCombos.size(); ++row)
        chosen = chosen || (quantityCombos[row]->currentIndex() > 0 && typeCombos[row]->currentIndex() > 0);
    nextButton->setEnabled(chosen);
}

void VarnelDialog::onInternalBatteriesOnly()
{
    enterPage5(true);
}

void VarnelDialog::enterPage5(bool internalOnly)
{
    setWindowTitle(toQt(text("label.page5")));
    page = 5;
    resetControls();
    backButton->setEnabled(true);
    setMainText(text("label.determinebatterypacks"));
    mainText->show();
    redraw(this);
    std::vector<std::uint32_t> batteryPackQuantities(controller.getBatteryPacks().size(), 0);
    if (!internalOnly) {
        for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
            int type = typeCombos[row]->currentIndex();
            int quantity = quantityCombos[row]->currentIndex();
            // The list may hold more entries than packs if the catalogue lost its first one.
            if (type > 0 && static_cast<std::size_t>(type) <= batteryPackQuantities.size() && quantity > 0)
                batteryPackQuantities[static_cast<std::size_t>(type - 1)] +=
                    static_cast<std::uint32_t>(quantity);
        }
        setMainText(text("label.calculatingbatteryruntime"));
        for (const std::string& line : controller.chosenPackLines(batteryPackQuantities))
            appendStatus(line.c_str(), 1);
    }
    redraw(this);
    VarnelDevice* device = selectedDevice;
    // Page 5 is reachable only with a unit chosen; without one there is nothing to compute for.
    if (device == nullptr) {
        appendStatus(message("msg.begincalculations"), 1);
        appendStatus(message("msg.calculationserror"), 1);
        return;
    }
    // The texts between the steps are shown here, on the window's thread;
    // only the steps themselves run blocking.
    UpdateSteps steps;
    steps.compute = [this](VarnelDevice& unit, const std::vector<std::uint32_t>& quantities,
                           const StatusCallback& callback) {
        return backendComputeConfiguration(unit, quantities, callback);
    };
    steps.save = [this](VarnelDevice& unit) { return backendSaveDevice(unit); };
    steps.validate = [this](VarnelDevice& unit, const StatusCallback& callback) {
        return backendValidateUpdate(unit, callback);
    };
    steps.run = [this](const std::function<bool()>& step) { return runBlocking(step); };
    const ConfigurationUpdate update = controller.applyConfiguration(
        *device, batteryPackQuantities, UpdateMode::write, statusCallback(), steps);
    // A failed computation or save leaves Back enabled, for another selection and another run.
    if (!update.saved())
        return;
    backButton->setEnabled(false);
    nextButton->setEnabled(false);
    cancelButton->setText(toQt(text("label.done")));
    redraw(this);
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
        break;
    }
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
        break;
    }
}

} // namespace varnel
