// Walks the wizard through its five pages and saves a picture of each:
// local data file, the second of two identical units chosen (page 3 shows
// the unit list open), two kinds of pack chosen, saved and validated.
// Usage: varnel-screenshots RUN_DIR OUT_DIR (RUN_DIR holds varnel.ini, the
// message file and sample-batterydata.xml).
#include "app/WizardHarness.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {

using varnel::VarnelDevice;

// The real core; when no unit answers on the ports, two illustrative
// records stand in so that pages 3 to 5 can still be shown.
class ScreenshotBackend : public varnel::WizardBackend {
public:
    using WizardBackend::WizardBackend;

    std::vector<std::unique_ptr<VarnelDevice>>&
    scanForDevices(const varnel::StatusCallback& callback) override
    {
        auto& found = WizardBackend::scanForDevices(callback);
        if (found.empty()) {
            std::cerr << "No unit answered; showing three illustrative units." << std::endl;
            found.push_back(
                std::make_unique<varnel::test::FakeDevice>("Simulated", "HID UPS 1500", 4, 0, true));
            for (const char* port : {"/dev/ttyUSB0", "/dev/ttyUSB1"}) {
                auto twin =
                    std::make_unique<varnel::test::FakeDevice>("Simulated", "Serial UPS 3000", 4, 8, true);
                twin->setPort(port);
                found.push_back(std::move(twin));
            }
            illustrative = true;
        }
        return found;
    }
    bool isIllustrative() const { return illustrative; }

private:
    bool illustrative = false;
};

// The dialog, with an open drop-down list drawn over it where it stands.
bool save(QWidget& dialog, const QString& outDir, const QString& page, QWidget* popup = nullptr)
{
    QApplication::processEvents();
    const QString path = QDir(outDir).filePath(QString("page%1.png").arg(page));
    QPixmap picture = dialog.grab();
    if (popup != nullptr && popup->isVisible()) {
        QPainter painter(&picture);
        painter.drawPixmap(dialog.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
    }
    if (!picture.save(path)) {
        std::cerr << "Cannot write " << path.toStdString() << std::endl;
        return false;
    }
    std::cout << path.toStdString() << std::endl;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "usage: varnel-screenshots RUN_DIR OUT_DIR" << std::endl;
        return 2;
    }
    const QString outDir = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    std::error_code error;
    std::filesystem::current_path(argv[1], error);
    if (error) {
        std::cerr << "Cannot enter " << argv[1] << ": " << error.message() << std::endl;
        return 2;
    }
    QDir().mkpath(outDir);

    varnel::VarnelDialog dialog;
    auto backend = std::make_unique<ScreenshotBackend>(dialog.getController());
    const ScreenshotBackend& units = *backend;
    varnel::UpdateSteps steps;
    steps.validate = [&units, &dialog](VarnelDevice& device, const varnel::StatusCallback& callback) {
        return units.isIllustrative() || dialog.getController().validateUpdate(device, callback);
    };
    dialog.getController().setUpdateSteps(std::move(steps));
    dialog.setBackend(std::move(backend));
    dialog.show();
    auto next = [&dialog] { dialog.findChild<QPushButton*>("1001")->click(); };
    bool ok = save(dialog, outDir, "1");

    auto answer =
        varnel::test::ModalAnswer::file(std::filesystem::absolute("sample-batterydata.xml").string());
    next();
    ok = ok && answer->answered && dialog.getPage() == 2 && save(dialog, outDir, "2");
    next();
    ok = ok && dialog.getPage() == 3;
    if (ok) {
        // The last unit is the second of the identical pair.
        auto* units = dialog.findChild<QComboBox*>("1022");
        if (units->isVisible())
            units->setCurrentIndex(units->count() - 1);
        ok = save(dialog, outDir, "3");
        // And once more with the list open, which names every unit.
        if (ok && units->isVisible()) {
            units->showPopup();
            ok = save(dialog, outDir, "3-units", units->view()->window());
            units->hidePopup();
        }
    }
    next();
    if (ok && dialog.getPage() == 4) {
        dialog.findChild<QComboBox*>("1016")->setCurrentIndex(2);
        dialog.findChild<QComboBox*>("1017")->setCurrentIndex(3);
        dialog.findChild<QComboBox*>("1018")->setCurrentIndex(1);
        dialog.findChild<QComboBox*>("1020")->setCurrentIndex(2);
        ok = save(dialog, outDir, "4");
    } else {
        ok = false;
    }
    next();
    ok = ok && dialog.getPage() == 5 && save(dialog, outDir, "5");
    if (!ok)
        std::cerr << "The walk stopped on page " << dialog.getPage() << "; see varnel.log" << std::endl;
    return ok ? 0 : 1;
}
