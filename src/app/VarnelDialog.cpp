#include "app/VarnelDialog.h"

#include "device/VarnelDevice.h"
#include "settings/I18N.h"
#include "settings/MessageFormat.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <algorithm>

namespace varnel {

namespace {

constexpr const char* kVersion = "12.04.0041";
constexpr int kDialogWidth = 600;
constexpr int kDialogHeight = 300;
constexpr int kRows = 3;

struct ControlPlace {
    const char* id;
    int left, top, width, height;
};

// Positions in dialog units, left, top, width, height.
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

// Our own icon: a battery on dark blue, drawn rather than shipped as a binary.
QIcon makeIcon() {
    QIcon result;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(VarnelStatic::toQColor(0x00880000));
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, std::max(1, size / 16)));
        painter.setBrush(Qt::NoBrush);
        QRectF body(size * 0.2, size * 0.3, size * 0.55, size * 0.4);
        painter.drawRect(body);
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(size * 0.75, size * 0.42, size * 0.07, size * 0.16));
        painter.fillRect(QRectF(size * 0.25, size * 0.36, size * 0.3, size * 0.28), Qt::green);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace

VarnelDialog::VarnelDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), icon(makeIcon()) {
    setWindowTitle("Varnel");
    setWindowIcon(icon);
    setModal(true);
    // Waits inside the core keep the window painting; user input waits until the step returns.
    sleepHandler = std::make_unique<ScopedSleepHandler>([](std::uint32_t milliseconds) {
        QElapsedTimer timer;
        timer.start();
        do {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            qint64 left = static_cast<qint64>(milliseconds) - timer.elapsed();
            if (left > 0)
                QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
        } while (timer.elapsed() < static_cast<qint64>(milliseconds));
    });
    createControls();
    selectedDevice = nullptr;
    dataFilePath.clear();
    enterPage1();
}

VarnelDialog::~VarnelDialog() = default;

QRect VarnelDialog::dialogUnitsToPixels(int left, int top, int width, int height) const {
    // The Windows dialog manager's base units: the average width of the alphabet and the line height.
    QFontMetrics metrics(font);
    const QString alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    int baseY = metrics.height();
    baseX = std::max(baseX, 1);
    baseY = std::max(baseY, 1);
    return QRect(left * baseX / 4, top * baseY / 8, width * baseX / 4, height * baseY / 8);
}

void VarnelDialog::createControls() {
    font = QFont("Arial", 10, QFont::Bold);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    auto place = [this](QWidget* widget, const ControlPlace& where) {
        widget->setObjectName(where.id);
        widget->setGeometry(dialogUnitsToPixels(where.left, where.top, where.width, where.height));
        widget->setFont(font);
    };

    sidePanel = new VarnelStatic(this);
    place(sidePanel, kSidePanel);
    mainText = new QLabel(this);
    mainText->setTextFormat(Qt::PlainText);
    mainText->setWordWrap(true);
    mainText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(mainText, kMainText);

    httpChoice = new QRadioButton("Download Via HTTP", this);
    place(httpChoice, kHttpChoice);
    ftpChoice = new QRadioButton("Download Via FTP", this);
    place(ftpChoice, kFtpChoice);
    localFileChoice = new QRadioButton("Use Local File", this);
    place(localFileChoice, kLocalChoice);
    auto* group = new QButtonGroup(this);
    group->addButton(httpChoice);
    group->addButton(ftpChoice);
    group->addButton(localFileChoice);
    // The radio buttons' text is taller than 10 dialog units in a 10 pt bold face.
    for (QRadioButton* radio : {httpChoice, ftpChoice, localFileChoice})
        radio->resize(radio->width(), std::max(radio->height(), radio->sizeHint().height()));

    for (int row = 0; row < kRows; ++row) {
        auto* quantity = new QComboBox(this);
        place(quantity, kQuantityCombos[row]);
        quantity->resize(quantity->width(), quantity->sizeHint().height());
        quantityCombos.push_back(quantity);
        auto* type = new QComboBox(this);
        place(type, kTypeCombos[row]);
        type->resize(type->width(), type->sizeHint().height());
        typeCombos.push_back(type);
        connect(quantity, &QComboBox::currentIndexChanged, this, &VarnelDialog::onPackSelectionChanged);
        connect(type, &QComboBox::currentIndexChanged, this, &VarnelDialog::onPackSelectionChanged);
    }
    deviceCombo = new QComboBox(this);
    place(deviceCombo, kDeviceCombo);
    deviceCombo->resize(deviceCombo->width(), deviceCombo->sizeHint().height());
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

    QRect whole = dialogUnitsToPixels(0, 0, kDialogWidth, kDialogHeight);
    setFixedSize(whole.width(), whole.height());
}

void VarnelDialog::keyPressEvent(QKeyEvent* event) {
    // Escape cancels like the Cancel button; Enter does nothing, as no button is the default.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

const char* VarnelDialog::message(const char* key) const {
    I18N* messages = controller.getMessages();
    return messages != nullptr ? messages->lookup(key) : nullptr;
}

std::string VarnelDialog::text(const char* key) const {
    const char* found = message(key);
    return found != nullptr ? found : "";
}

void VarnelDialog::redraw(QWidget* widget) {
    widget->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void VarnelDialog::appendStatus(const char* statusText, std::uint32_t newLine) {
    if (statusText == nullptr)
        return;
    QString current = mainText->text();
    if (newLine != 0)
        current += '\n';
    current += QString::fromUtf8(statusText);
    mainText->setText(current);
    redraw(mainText);
}

void VarnelDialog::showStatus(const char* statusText, std::uint32_t newLine) {
    appendStatus(statusText, newLine);
    redraw(this);
}

void VarnelDialog::resetControls() {
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

void VarnelDialog::enterPage1() {
    resetControls();
    page = 1;
    dataFilePath.clear();
    setWindowTitle(QString("Varnel Version ") + kVersion);
    mainText->setText("Loading Application...");
    mainText->show();
    redraw(this);
    if (!controller.init([this](const char* t, std::uint32_t n) { showStatus(t, n); }))
        return;
    sidePanel->setPlainText(QString::fromStdString(text("label.techsupport") + "\n\nVersion " + kVersion));
    mainText->setText(QString::fromStdString(text("label.welcome")));
    httpChoice->setText(QString::fromStdString(text("label.httpdownload")));
    httpChoice->show();
    httpChoice->setChecked(false);
    localFileChoice->setText(QString::fromStdString(text("label.uselocalfile")));
    localFileChoice->show();
    localFileChoice->setChecked(true);
    nextButton->setEnabled(true);
    backButton->setEnabled(false);
    redraw(this);
}

void VarnelDialog::enterPage2() {
    setWindowTitle(QString::fromStdString(text("label.page2")));
    page = 2;
    resetControls();
    mainText->setText("");
    backButton->setEnabled(true);
    redraw(this);
    if (dataFilePath.empty()) {
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
        if (backendLoadDataFile(dataFilePath)) {
            std::string parsed = formatMessage(message("label.fileparsed"), "label.fileparsed",
                                               {controller.getFileVersionNumber(), controller.getFileVersionDate()});
            appendStatus(parsed.c_str(), 1);
            QComboBox* firstTypes = typeCombos[0];
            packSelectionActive = false;
            firstTypes->clear();
            for (const std::string& name : backendPackNames())
                firstTypes->addItem(QString::fromStdString(name));
            firstTypes->setCurrentIndex(0);
            firstTypes->show();
            nextButton->setEnabled(true);
            backButton->setEnabled(true);
        } else {
            appendStatus(message("msg.parsefailed"), 1);
            redraw(this);
        }
        return;
    }
    auto answer = QMessageBox::question(this, QString(), QString::fromStdString(text("msg.alreadyhavefile")),
                                        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        enterPage1();
        return;
    }
    mainText->setText(QString::fromStdString(text("label.skipfiledownload")));
    mainText->show();
    mainText->setEnabled(true);
    redraw(mainText);
    nextButton->setEnabled(true);
    redraw(this);
}

void VarnelDialog::enterPage3() {
    setWindowTitle(QString::fromStdString(text("label.page3")));
    page = 3;
    resetControls();
    backButton->setEnabled(true);
    if (selectedDevice != nullptr) {
        std::string question = text("label.currentdevice") + " " + selectedDevice->getVendorName() + " : " +
                               selectedDevice->getProductName() + "\n" + text("label.discoveragain");
        auto answer = QMessageBox::question(this, QString::fromStdString(text("label.askdiscoveragain")),
                                            QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            mainText->setText(QString::fromStdString(text("label.skipdiscovery")));
            mainText->show();
            mainText->setEnabled(true);
            redraw(mainText);
            nextButton->setEnabled(true);
            return;
        }
    }
    selectedDevice = nullptr;
    mainText->setText(QString::fromStdString(text("label.discoverdevices")));
    mainText->show();
    mainText->setEnabled(true);
    redraw(mainText);
    std::vector<VarnelDevice*> found = backendScanForDevices();
    if (found.empty()) {
        appendStatus(message("msg.nodevices"), 1);
        return;
    }
    if (found.size() == 1) {
        appendStatus(message("label.discoveredonedevice"), 1);
        selectedDevice = found[0];
        appendStatus(selectedDevice->getVendorName().c_str(), 1);
        appendStatus(" : ", 0);
        appendStatus(selectedDevice->getProductName().c_str(), 0);
    } else {
        appendStatus(message("label.discoveredmultipledevices"), 1);
        {
            // Filling the list must not count as the user choosing a unit.
            QSignalBlocker blocker(deviceCombo);
            deviceCombo->clear();
            for (VarnelDevice* device : found)
                deviceCombo->addItem(
                    QString::fromStdString(device->getVendorName() + " : " + device->getProductName()));
            deviceCombo->setCurrentIndex(0);
        }
        selectedDevice = found[0];
        deviceCombo->show();
        redraw(this);
    }
    appendStatus(message("label.postdiscover"), 1);
    nextButton->setEnabled(true);
}

void VarnelDialog::onDeviceSelectionChanged(int index) {
    auto& devices = controller.getDevices();
    // An emptied list reports -1: there is nothing to select then.
    if (index >= 0 && static_cast<std::size_t>(index) < devices.size())
        selectedDevice = devices[static_cast<std::size_t>(index)].get();
}

void VarnelDialog::enterPage4() {
    setWindowTitle(QString::fromStdString(text("label.page4")));
    page = 4;
    resetControls();
    backButton->setEnabled(true);
    internalOnlyButton->setEnabled(true);
    internalOnlyButton->show();
    std::string description;
    if (selectedDevice != nullptr) {
        description = text("label.currentdevice") + " " + selectedDevice->getVendorName() + " : " +
                      selectedDevice->getProductName() + "\n" + text("label.currentinternalbatteries") + " = " +
                      std::to_string(selectedDevice->getInternalBatteryCount()) + "; " +
                      text("label.currentexternalbatteries") + " = " +
                      std::to_string(selectedDevice->getExternalBatteryCount()) + "\n\n" + text("label.selectpacks");
    }
    mainText->setText(QString::fromStdString(description));
    mainText->show();
    mainText->setEnabled(true);
    redraw(mainText);
    packSelectionActive = true;
    std::vector<std::string> names = backendPackNames();
    for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
        QSignalBlocker quantityBlocker(quantityCombos[row]);
        QSignalBlocker typeBlocker(typeCombos[row]);
        quantityCombos[row]->clear();
        for (int quantity = 0; quantity < 10; ++quantity)
            quantityCombos[row]->addItem(QString::number(quantity));
        quantityCombos[row]->setCurrentIndex(0);
        quantityCombos[row]->show();
        typeCombos[row]->clear();
        typeCombos[row]->addItem(QString::fromStdString(text("label.batterypacknotlisted")));
        for (const std::string& name : names)
            typeCombos[row]->addItem(QString::fromStdString(name));
        typeCombos[row]->setCurrentIndex(0);
        typeCombos[row]->show();
    }
    nextButton->setEnabled(false);
    redraw(this);
}

void VarnelDialog::onPackSelectionChanged() {
    if (!packSelectionActive)
        return;
    bool chosen = false;
    for (std::size_t row = 0; row < quantityCombos.size(); ++row)
        chosen = chosen || (quantityCombos[row]->currentIndex() > 0 && typeCombos[row]->currentIndex() > 0);
    nextButton->setEnabled(chosen);
}

void VarnelDialog::onInternalBatteriesOnly() {
    enterPage5(true);
}

void VarnelDialog::enterPage5(bool internalOnly) {
    auto appendKey = [this](const char* key) { appendStatus(message(key), 1); };
    setWindowTitle(QString::fromStdString(text("label.page5")));
    page = 5;
    resetControls();
    backButton->setEnabled(true);
    mainText->setText(QString::fromStdString(text("label.determinebatterypacks")));
    mainText->show();
    redraw(this);
    std::vector<std::string> names = backendPackNames();
    std::vector<std::uint32_t> batteryPackQuantities(names.size(), 0);
    if (!internalOnly) {
        for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
            int type = typeCombos[row]->currentIndex();
            int quantity = quantityCombos[row]->currentIndex();
            if (type > 0 && static_cast<std::size_t>(type) <= batteryPackQuantities.size() && quantity > 0)
                batteryPackQuantities[static_cast<std::size_t>(type - 1)] += static_cast<std::uint32_t>(quantity);
        }
        mainText->setText(QString::fromStdString(text("label.calculatingbatteryruntime")));
        for (std::size_t pack = 0; pack < batteryPackQuantities.size(); ++pack) {
            if (batteryPackQuantities[pack] == 0)
                continue;
            std::string line = "(" + std::to_string(batteryPackQuantities[pack]) + ") " + names[pack];
            appendStatus(line.c_str(), 1);
        }
    }
    redraw(this);
    appendKey("msg.begincalculations");
    if (selectedDevice == nullptr || !backendComputeConfiguration(selectedDevice, batteryPackQuantities)) {
        appendKey("msg.calculationserror");
        return;
    }
    appendKey("msg.calculationscomplete");
    appendKey("label.savingchanges");
    redraw(this);
    if (!selectedDevice->save()) {
        appendKey("msg.updatefailed");
        redraw(this);
        return;
    }
    appendKey("msg.updatecomplete");
    selectedDevice->dumpToLog(text("label.savingchanges"));
    redraw(this);
    appendKey("msg.beginvalidation");
    appendKey(backendValidateUpdate(selectedDevice) ? "msg.validated" : "msg.notvalidated");
    backButton->setEnabled(false);
    nextButton->setEnabled(false);
    cancelButton->setText(QString::fromStdString(text("label.done")));
    redraw(this);
}

void VarnelDialog::onBack() {
    switch (page) {
    case 2: enterPage1(); break;
    case 3: enterPage2(); break;
    case 4: enterPage3(); break;
    case 5: enterPage4(); break;
    default: break;
    }
}

void VarnelDialog::onNext() {
    switch (page) {
    case 1: enterPage2(); break;
    case 2: enterPage3(); break;
    case 3: enterPage4(); break;
    case 4: enterPage5(false); break;
    default: break;
    }
}

} // namespace varnel
