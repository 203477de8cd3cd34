#pragma once

#include "app/VarnelDialog.h"
#include "device/VarnelDevice.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace varnel::test {

// A unit record that never touches a port.
class FakeDevice : public VarnelDevice {
public:
    FakeDevice(const std::string& vendor, const std::string& product, std::uint8_t internalCount,
               std::int32_t externalCount, bool saves);
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override;
    void setPort(const std::string& name);

    int saveCalls = 0;

private:
    bool saves;
};

struct UnitSpec {
    std::string vendor;
    std::string product;
    std::uint8_t internalCount = 2;
    std::int32_t externalCount = 0;
    bool saves = true;
    std::string port = {};
};

// What the fake network requests were asked and are to answer.
struct HttpScript {
    bool connects = true;
    bool gets = true;
    std::vector<std::string> body;
    std::vector<std::string> requested;
};

struct FtpScript {
    bool connects = true;
    bool logsIn = true;
    bool downloads = true;
    std::string content;
    std::vector<std::string> calls;
};

// The real dialog with the operations of the core replaced where a test must
// decide the outcome; everything else runs as in the program.
class TestDialog : public VarnelDialog {
public:
    TestDialog();
    using VarnelDialog::runBlocking;
    using VarnelDialog::statusCallback;

    std::vector<UnitSpec> units;
    int scans = 0;
    std::optional<bool> computeResult; // empty: the real computation
    std::vector<std::uint32_t> computedQuantities;
    bool validateResult = true;
    HttpScript http;
    FtpScript ftp;
    // The network clients a download gets: the scripted ones above unless a test puts in others.
    std::function<void(DataFileDownload&)> downloadClients;
};

// A run directory holding the shipped settings and catalogue, and a dialog on it.
class Wizard : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Extra "key = value" lines are appended to the shipped settings.
    void writeSettings(const std::string& extra);
    TestDialog& open();
    // The dialog exactly as the program runs it, over the real core.
    VarnelDialog& openReal();
    // Whichever of the two dialogs is open.
    VarnelDialog& window() const;

    QPushButton* button(const char* id) const;
    QComboBox* combo(const char* id) const;
    QRadioButton* radio(const char* id) const;
    QLabel* mainTextLabel() const;
    QString mainText() const;
    // The catalogue text as the widgets show it.
    QString qt(const char* key) const;
    // The same for a text that takes one argument, filled with it.
    QString qt(const char* key, const std::string& argument) const;
    // The newest file of the backups folder ("backups/NAME"), empty when there is none.
    static std::string newestBackup();
    QStringList comboEntries(const char* id) const;

    // Pages 1 and 2 with the local file answered by path; true when page 2 read it.
    bool readLocalFile(const std::string& path);
    // Then page 3 with the given units.
    void discover(std::vector<UnitSpec> found);

    TempDir dir;
    std::unique_ptr<TestDialog> dialog;
    std::unique_ptr<VarnelDialog> realDialog;
};

// Answers the next modal question or file dialog from the event loop it runs
// in; keeps what it saw for the test to check.
class ModalAnswer {
public:
    // Clicks the standard button of the next message box.
    static std::shared_ptr<ModalAnswer> question(int standardButton);
    // Picks the file in the next file dialog, or cancels it when path is empty.
    static std::shared_ptr<ModalAnswer> file(const std::string& path);

    bool answered = false;
    QString title;
    QString text;
    // Texts of the labels in the box and in the window behind it that Qt may
    // read as markup; a text from a unit, a file or the catalogue must not be.
    QStringList richLabels;
    QStringList nameFilters;
};

} // namespace varnel::test
