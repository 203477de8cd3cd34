#pragma once

#include "app/BlockingRunner.h"
#include "app/DialogLayout.h"
#include "app/WizardBackend.h"
#include "controller/VarnelController.h"

#include <QDialog>
#include <QIcon>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    const DialogUnits& getDialogUnits() const { return layout.getDialogUnits(); }
    // The core operations the pages call; tests hand in their own.
    void setBackend(std::unique_ptr<WizardBackend> replacement);
    bool isBusy() const { return runner.isBusy(); }

public slots:
    void onBack();
    void onNext();
    void onInternalBatteriesOnly();
    void onPackSelectionChanged();
    void onDeviceSelectionChanged(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

    // Runs one blocking step away from the window's thread; see BlockingRunner.
    bool runBlocking(const std::function<bool()>& step);
    // The status callback handed to the core; safe to call from a blocking step.
    StatusCallback statusCallback();
    // The same for the scan of page 3, which shows one line per unit found.
    StatusCallback scanStatusCallback();

private:
    // The shared download routine, showing its texts in the main text area and
    // running its network steps through runBlocking.
    DataFileDownload dataFileDownload();
    // For the length of a download, Cancel stops it and is the only control that takes input.
    class CancellableDownload {
    public:
        explicit CancellableDownload(VarnelDialog& dialog);
        ~CancellableDownload();
        CancellableDownload(const CancellableDownload&) = delete;
        CancellableDownload& operator=(const CancellableDownload&) = delete;

    private:
        VarnelDialog& dialog;
    };
    void connectControls();
    // Where the keyboard is once a page has been set up: its first control,
    // else Next, else Back; Cancel only when nothing else is left.
    void focusFirstControl();
    // A question in a box of the dialog's own title, unless it has one of its own.
    bool askYesNo(const QString& question, const QString& title = QString());
    void redraw(QWidget* widget);
    std::string text(const char* key) const;
    void setMainText(const std::string& value);
    std::string deviceHeading(const VarnelDevice& device) const;
    // The quantity of each pack that the rows of page 4 name.
    std::vector<std::uint32_t> chosenQuantities() const;
    // The unit's runtime for two of its battery tables, in the chart's place on
    // the page; with external batteries, also the runtime estimated with them.
    void showRuntimeChart(const VarnelDevice& device, const std::vector<std::uint8_t>& before,
                          const std::vector<std::uint8_t>& after, const char* afterKey = "label.chart.after",
                          std::int32_t externalBatteries = 0);
    // Page 5's chart once an update (and a restore after it, if given) is over.
    void showOutcomeChart(const VarnelDevice& device, const ConfigurationUpdate& update,
                          const ConfigurationUpdate* restore);
    // Page 5's adapter for an update: see UpdateAdapter.
    class UpdateOnPage;

    QIcon icon;
    int page = 1;
    VarnelController controller;
    DialogLayout layout;
    std::unique_ptr<WizardBackend> backend;
    std::string dataFilePath;
    VarnelDevice* selectedDevice = nullptr;
    // What the scan read from each unit. A computation writes into the unit's
    // record, so after a failed run only these still say what the unit held.
    std::map<const VarnelDevice*, ConfigurationValues> scannedValues;
    // The scanned values of the selected unit, or its record's where it has none.
    std::vector<std::uint8_t> scannedBatteryTable() const;
    bool packSelectionActive = false;
    // A download in progress, and whether its Cancel was clicked.
    bool downloading = false;
    std::atomic<bool> downloadCancel{false};
    BlockingRunner runner;
};

} // namespace varnel
