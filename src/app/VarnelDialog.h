#pragma once

#include "app/VarnelStatic.h"
#include "controller/VarnelController.h"
#include "platform/Sleep.h"

#include <QDialog>
#include <QFont>
#include <QIcon>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace varnel {

class VarnelDevice;

// The program's only window: a fixed-size wizard of five pages that share one
// set of controls.
class VarnelDialog : public QDialog {
    Q_OBJECT
public:
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

    // Dialog units to pixels, from the dialog font's average character size.
    QRect dialogUnitsToPixels(int left, int top, int width, int height) const;

public slots:
    void onBack();
    void onNext();
    void onInternalBatteriesOnly();
    void onPackSelectionChanged();
    void onDeviceSelectionChanged(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void redraw(QWidget* widget);
    std::string text(const char* key) const;

    // Calls into parts of the core that other modules provide; kept together
    // so the pages stay independent of their exact shapes.
    bool backendLoadDataFile(const std::string& path);
    std::vector<std::string> backendPackNames();
    std::vector<VarnelDevice*> backendScanForDevices();
    bool backendComputeConfiguration(VarnelDevice* device, const std::vector<std::uint32_t>& quantities);
    bool backendValidateUpdate(VarnelDevice* device);

    QIcon icon;
    int page = 1;
    VarnelController controller;
    QFont font;
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
    std::string dataFilePath;
    VarnelDevice* selectedDevice = nullptr;
    bool packSelectionActive = false;
    std::unique_ptr<ScopedSleepHandler> sleepHandler;
};

} // namespace varnel
