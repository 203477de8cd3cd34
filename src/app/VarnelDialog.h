#pragma once

#include "app/BlockingRunner.h"
#include "app/DialogUnits.h"
#include "app/VarnelStatic.h"
#include "controller/VarnelController.h"

#include <QDialog>
#include <QFont>
#include <QIcon>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace varnel {

class DataFileDownload;
class VarnelDevice;

// The program's only window: a fixed-size wizard of five pages that share one
// set of controls.
class VarnelDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* version = VARNEL_VERSION; // the project() version in CMakeLists.txt

    explicit VarnelDialog(QWidget* parent = nullptr);
    ~VarnelDialog() override;

    const char* message(const char* key) const;
    void appendStatus(const char* text, std::uint32_t newLine);
    void showStatus(const char* text, std::uint32_t newLine);
    void resetControls();

    void enterPage1();
    void enterPage2();
    void enterPage3();
    void enterPage4();
    void enterPage5(bool internalOnly);

    void downloadByHttp();
    void downloadByFtp();
    void selectLocalFile();

    int getPage() const { return page; }
    const std::string& getDataFilePath() const { return dataFilePath; }
    VarnelDevice* getSelectedDevice() const { return selectedDevice; }
    VarnelController& getController() { return controller; }
    const DialogUnits& getDialogUnits() const { return units; }
    bool isBusy() const { return runner.isBusy(); }

public slots:
    void onBack();
    void onNext();
    void onInternalBatteriesOnly();
    void onPackSelectionChanged();
    void onDeviceSelectionChanged(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // The operations of the core that the pages call, kept in one file so the
    // pages do not depend on their exact shapes.
    virtual bool backendLoadDataFile(const std::string& path);
    virtual std::vector<std::unique_ptr<VarnelDevice>>& backendScanForDevices(const StatusCallback& callback);
    virtual bool backendComputeConfiguration(VarnelDevice& device,
                                             const std::vector<std::uint32_t>& quantities,
                                             const StatusCallback& callback);
    virtual bool backendSaveDevice(VarnelDevice& device);
    virtual bool backendValidateUpdate(VarnelDevice& device, const StatusCallback& callback);
    // Tests hand the routine their own network clients here; the program keeps its real ones.
    virtual void configureDownload(DataFileDownload& download);

    // Runs one blocking step away from the window's thread; see BlockingRunner.
    bool runBlocking(const std::function<bool()>& step);
    // The status callback handed to the core; safe to call from a blocking step.
    StatusCallback statusCallback();

private:
    // The shared download routine, showing its texts in the main text area and
    // running its network steps through runBlocking.
    DataFileDownload dataFileDownload();
    void createControls();
    void redraw(QWidget* widget);
    void fitMainText();
    std::string text(const char* key) const;
    void setMainText(const std::string& value);
    std::string deviceHeading(const VarnelDevice& device) const;

    QIcon icon;
    int page = 1;
    VarnelController controller;
    QFont font;
    DialogUnits units;
    QPushButton* backButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* internalOnlyButton = nullptr;
    VarnelStatic* sidePanel = nullptr;
    QLabel* mainText = nullptr;
    QRadioButton* httpChoice = nullptr;
    QRadioButton* ftpChoice = nullptr;
    QRadioButton* localFileChoice = nullptr;
    std::vector<QComboBox*> quantityCombos;
    std::vector<QComboBox*> typeCombos;
    QComboBox* deviceCombo = nullptr;
    QProgressBar* busyIndicator = nullptr;
    std::string dataFilePath;
    VarnelDevice* selectedDevice = nullptr;
    bool packSelectionActive = false;
    BlockingRunner runner;
};

} // namespace varnel
